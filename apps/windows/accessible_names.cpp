#include "apps/windows/accessible_names.h"

#include <commctrl.h>
#include <initguid.h>
#include <oleacc.h>

namespace zorvik::win {

namespace {

constexpr UINT_PTR kAnnotationSubclass = 1;

IAccPropServices* propertyServices() {
  IAccPropServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                              reinterpret_cast<void**>(&services)))) {
    return nullptr;
  }
  return services;
}

// Annotations outlive their window unless they are cleared; the control
// clears its own as it is destroyed.
LRESULT CALLBACK clearOnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
  if (message == WM_NCDESTROY) {
    if (IAccPropServices* services = propertyServices()) {
      MSAAPROPID name = PROPID_ACC_NAME;
      services->ClearHwndProps(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
      services->Release();
    }
    RemoveWindowSubclass(window, clearOnDestroy, id);
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void annotateName(HWND control, const wchar_t* name) {
  IAccPropServices* services = propertyServices();
  if (!services) return;  // no annotation service (older systems, Wine): the window text has to do
  const HRESULT result =
      services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME, name);
  services->Release();
  if (SUCCEEDED(result)) SetWindowSubclass(control, clearOnDestroy, kAnnotationSubclass, 0);
}

void nameForScreenReaders(HWND control, const wchar_t* name) {
  SetWindowTextW(control, name);
  annotateName(control, name);
}

}  // namespace zorvik::win
