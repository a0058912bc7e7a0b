// Windows: WM_DEVICECHANGE announces arriving and departing ports to every
// top-level window; a native event filter takes it from Qt's message loop.
#include <windows.h>
#include <dbt.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include "ui/port_watcher.h"

namespace zorvik::ui {
namespace {

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
    onChange_(ports::fromWinDeviceChange(static_cast<std::uintptr_t>(msg->wParam), deviceType));
    return false;
  }

 private:
  PortWatcher::Callback onChange_;
};

}  // namespace

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
