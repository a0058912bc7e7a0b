// Windows: the loggers' ports are the \Device\VCP entries of the serial port
// map; WM_DEVICECHANGE announces arriving and departing ports to every
// top-level window.
#include <windows.h>
#include <dbt.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include "port_list.h"
#include "port_watcher.h"

namespace zorvik::ui {
namespace {

std::string narrow(const wchar_t* text, DWORD chars) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), out.data(), n, nullptr, nullptr);
  return out;
}

std::vector<std::pair<std::string, std::string>> readSerialMap() {
  std::vector<std::pair<std::string, std::string>> values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"hardware\\devicemap\\serialcomm", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return values;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameChars = 256;
    wchar_t data[256];
    DWORD dataBytes = sizeof data;
    DWORD type = 0;
    const LONG result = RegEnumValueW(key, index, name, &nameChars, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &dataBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    DWORD dataChars = dataBytes / sizeof(wchar_t);
    while (dataChars > 0 && data[dataChars - 1] == L'\0') --dataChars;
    values.emplace_back(narrow(name, nameChars), narrow(data, dataChars));
  }
  RegCloseKey(key);
  return values;
}

class DeviceChangeFilter final : public QAbstractNativeEventFilter {
 public:
  explicit DeviceChangeFilter(PortWatcher::Callback onChange) : onChange_(std::move(onChange)) {}
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "windows_generic_MSG") return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_DEVICECHANGE) return false;
    // Every top-level window receives the broadcast; the main window's is enough.
    if (GetAncestor(msg->hwnd, GA_ROOT) != msg->hwnd || GetWindow(msg->hwnd, GW_OWNER) != nullptr) return false;
    std::uint32_t deviceType = 0;
    if (msg->lParam != 0) deviceType = reinterpret_cast<const DEV_BROADCAST_HDR*>(msg->lParam)->dbch_devicetype;
    onChange_(FromWinDeviceChange(static_cast<std::uintptr_t>(msg->wParam), deviceType));
    return false;
  }

 private:
  PortWatcher::Callback onChange_;
};

}  // namespace

std::vector<std::string> ReadSerialPorts() { return VcpPortsFromSerialMap(readSerialMap()); }

struct PortWatcher::Impl {
  std::unique_ptr<DeviceChangeFilter> filter;
};

PortWatcher::PortWatcher(Callback onChange, QObject* parent) : QObject(parent), impl_(std::make_unique<Impl>()) {
  impl_->filter = std::make_unique<DeviceChangeFilter>(std::move(onChange));
  QCoreApplication::instance()->installNativeEventFilter(impl_->filter.get());
}

PortWatcher::~PortWatcher() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(impl_->filter.get());
}

}  // namespace zorvik::ui
