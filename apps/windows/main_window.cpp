// Construction of the main window: start-up options, controls, menu, layout
// by mode, the secondary windows, the port list, docking and the messages
// that are not about runs.
#include "apps/windows/main_window.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>

#include "apps/windows/accessible_names.h"
#include "apps/windows/control_ids.h"
#include "diagnostics/doctor.h"
#include "engine/event_texts.h"
#include "engine/service_mode_setting.h"
#include "ports/port_lister.h"
#include "ports/port_rules.h"

namespace zorvik::win {

namespace {

constexpr int kClientWidth = 355;
constexpr int kPanelHeight = 161;
constexpr int kStatusBarHeight = 15;
constexpr int kFontPoints = 8;
constexpr const wchar_t* kMenuCaption = L"Info v2025-04-24";
// Fixed single border, system menu and minimize box only.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Positions as designed: left, top, width, height inside the panel.
constexpr Bounds kDividerLine{0, 0, kClientWidth, 8};
constexpr Bounds kPortLabel{13, 14, 42, 13};
constexpr Bounds kPortBox{77, 11, 263, 21};
constexpr Bounds kProgressBar{13, 46, 327, 26};
constexpr Bounds kUpdateButton{40, 86, 113, 32};
constexpr Bounds kCloseButton{200, 86, 111, 32};  // "Cancel" lies exactly over it
constexpr Bounds kFileButton{101, 86, 52, 32};
constexpr Bounds kReadInfoOnlyBox{26, 134, 116, 14};
constexpr Bounds kTraceBox{200, 134, 111, 14};  // under "Close", beside "Read info only"
constexpr int kPortListHeight = 160;  // the drop-down list below the port box
// The progress bar's name for screen readers, its window text while no time left is told.
constexpr const wchar_t* kProgressName = L"Progress";

std::wstring programDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

DWORD visibleIf(bool shown) { return shown ? static_cast<DWORD>(WS_VISIBLE) : 0u; }

// The system's own words for a failed update: the checks of the doctor know
// what Windows means by a refused port (another program has it open).
session::Explanation systemExplanation(const std::string& port, const link::Failure& failure) {
  const diagnostics::Explanation e = diagnostics::explainFailure(port, failure);
  return {e.reason, e.fix};
}

session::WindowSetup windowSetup(const std::shared_ptr<EventTarget>& target, const engine::StartupOptions& options,
                                 const history::HistoryRecorders& history) {
  session::WindowSetup setup;
  setup.session.sink = std::make_shared<WinEventSink>(target);
  setup.session.recorder = history.make();
  setup.session.explain = systemExplanation;
  setup.options = options;
  return setup;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, TaskbarWindow& taskbar, const std::vector<std::string>& arguments)
    : taskbar_(taskbar),
      scale_(Scale::ofSystem()),
      font_(makeFont(L"Microsoft Sans Serif", pointsToPixels(kFontPoints), scale_)),
      messageWindow_(scale_),
      overview_(scale_),
      checkPortWindow_(scale_) {
  // The options decide the layout, so they are read first; nothing of the
  // window can be seen before it is complete.
  options_ = engine::readStartupOptions(engine::readServiceModeSetting(), arguments);
  dialogDirectory_ = programDirectory();
  registerClasses(instance);
  CreateWindowExW(0, kMainWindowClass, widen(engine::kAppTitle).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                  scale_(kClientWidth), scale_(kPanelHeight + kStatusBarHeight), taskbar_.handle(), nullptr, instance,
                  this);
  target_ = std::make_shared<EventTarget>(window_);
  controller_ =
      std::make_unique<session::WindowController>(static_cast<session::WindowView&>(*this),
                                                  windowSetup(target_, options_, history_));
  taskbar_.setMainWindow(window_);
  createMenu();
  createControls();
  // Client area: the panel and the status bar, nothing below them.
  const SIZE outer = outerSizeFor(window_, scale_(kClientWidth), scale_(kPanelHeight) + statusHeight_, true);
  SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  readPortList();
  if (SendMessageW(control(kIdPortBox), CB_GETCOUNT, 0, 0) > 0) SendMessageW(control(kIdPortBox), CB_SETCURSEL, 0, 0);
  controller_->showIdle();
  reportWindow_ = std::make_unique<ReportWindow>(instance, taskbar_.handle(), window_, scale_);
}

MainWindow::~MainWindow() {
  if (target_) target_->detach();
  controller_.reset();  // a run left behind ends before the windows it would draw into
  reportWindow_.reset();
  if (window_) DestroyWindow(window_);
}

void MainWindow::registerClasses(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ownedWindowProcedure<MainWindow>;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainWindowClass;
  RegisterClassExW(&wc);
  wc.lpfnWndProc = panelProcedure;
  wc.hIcon = nullptr;
  wc.lpszClassName = kPanelClass;
  RegisterClassExW(&wc);
}

void MainWindow::createMenu() {
  infoMenu_ = CreatePopupMenu();
  AppendMenuW(infoMenu_, MF_STRING, kIdFirmwareAction, L"Firmware");
  // Only file mode has the entry at all (a menu entry cannot be hidden).
  if (options_.fileMode == engine::FileMode::ServiceWithFiles) AppendMenuW(infoMenu_, MF_STRING, kIdFileVersionAction, L"File version");
  AppendMenuW(infoMenu_, MF_STRING, kIdCheckPortAction, L"Check port");
  AppendMenuW(infoMenu_, MF_STRING, kIdAboutAction, L"About");
  AppendMenuW(infoMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(infoMenu_, MF_STRING, kIdExitAction, L"Exit");
  HMENU bar = CreateMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(infoMenu_), kMenuCaption);
  SetMenu(window_, bar);
}

void MainWindow::createControls() {
  const auto at = [this](Bounds b) { return Bounds{scale_(b.x), scale_(b.y), scale_(b.width), scale_(b.height)}; };
  panel_ = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                           scale_(kClientWidth), scale_(kPanelHeight), window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdPanel)),
                           reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE)), this);

  // Created in the tab order; the label right before the box it names.
  createControl(panel_, kIdDividerLine, L"STATIC", L"", WS_VISIBLE | SS_ETCHEDHORZ, at(kDividerLine));
  const HWND label = createControl(panel_, kIdPortLabel, L"STATIC", L"Comport:", WS_VISIBLE | SS_NOPREFIX, at(kPortLabel));
  const HWND portBox = createControl(panel_, kIdPortBox, L"COMBOBOX", L"",
                                     WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                                     at({kPortBox.x, kPortBox.y, kPortBox.width, kPortBox.height + kPortListHeight}));
  const HWND progressBar = createControl(panel_, kIdProgressBar, PROGRESS_CLASSW, L"", WS_VISIBLE, at(kProgressBar));
  SendMessageW(progressBar, PBM_SETRANGE32, 0, 100);
  nameForScreenReaders(progressBar, kProgressName);

  const bool fileMode = options_.fileMode == engine::FileMode::ServiceWithFiles;
  // Without "File", "Update" is as wide as "Close"; with it, both are half
  // that, side by side with 8 pixels between them.
  Bounds update = kUpdateButton;
  Bounds file = kFileButton;
  update.width = fileMode ? kCloseButton.width / 2 : kCloseButton.width;
  if (fileMode) {
    file.width = kCloseButton.width / 2;
    file.x = update.x + update.width + 8;
  }
  createControl(panel_, kIdUpdateButton, L"BUTTON", L"Update", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, at(update));
  createControl(panel_, kIdCancelButton, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, at(kCloseButton));
  createControl(panel_, kIdCloseButton, L"BUTTON", L"Close", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, at(kCloseButton));
  createControl(panel_, kIdFileButton, L"BUTTON", L"File", visibleIf(fileMode) | WS_TABSTOP | BS_PUSHBUTTON,
                at(file));
  createControl(panel_, kIdReadInfoOnlyBox, L"BUTTON", L"Read info only",
                visibleIf(options_.serviceMode) | WS_TABSTOP | BS_AUTOCHECKBOX, at(kReadInfoOnlyBox));
  // Service staff only: a record of every byte on the line, for support.
  createControl(panel_, kIdTraceBox, L"BUTTON", L"Write trace",
                visibleIf(options_.serviceMode) | WS_TABSTOP | BS_AUTOCHECKBOX, at(kTraceBox));

  statusBar_ = createControl(window_, kIdStatusBar, STATUSCLASSNAMEW, L"",
                             WS_VISIBLE | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | SBT_TOOLTIPS,
                             at({0, kPanelHeight, kClientWidth, kStatusBarHeight}));
  int rightEdges[] = {-1};  // one part across the whole bar
  SendMessageW(statusBar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(rightEdges));

  setFont(window_, font_.get());
  for (HWND child = GetWindow(panel_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) setFont(child, font_.get());
  setFont(statusBar_, font_.get());
  statusHeight_ = statusBarHeight();
  place(statusBar_, {0, scale_(kPanelHeight), scale_(kClientWidth), statusHeight_});
  progressText_.attach(progressBar, kProgressName, font_.get());

  // Designed for its original font; a wider substitute gets the room up to
  // the port box, so that the caption is never cut.
  HDC dc = GetDC(label);
  const HGDIOBJ old = SelectObject(dc, font_.get());
  SIZE text{};
  GetTextExtentPoint32W(dc, L"Comport:", 8, &text);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  const Bounds room = at(kPortLabel);
  place(label, {room.x, room.y, std::clamp<int>(text.cx, room.width, scale_(kPortBox.x - kPortLabel.x - 2)),
                std::max<int>(text.cy, room.height)});
  focus_ = portBox;
}

// As designed, 15 pixels, unless the bar's font needs more: the bar draws
// its text inside its borders and a sunken edge, and a line of the text must
// fit there whole, not cut off at the bottom.
int MainWindow::statusBarHeight() const {
  int borders[3] = {};  // horizontal, vertical, between parts
  SendMessageW(statusBar_, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
  HDC dc = GetDC(statusBar_);
  const HGDIOBJ old = SelectObject(dc, font_.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(statusBar_, dc);
  const int edge = 1;  // the part's sunken edge, above and below the text
  return std::max<int>(scale_(kStatusBarHeight), metrics.tmHeight + 2 * (borders[1] + edge));
}

void MainWindow::show() {
  // Centred in the work area of the screen.
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const RECT outer = outerRect(window_);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  taskbar_.show();
}

void MainWindow::firstIdle() {
  if (idleSeen_) return;
  idleSeen_ = true;
  if (options_.fileMode != engine::FileMode::Normal) reportWindow_->show();
}

// The program's windows all belong to this, the GUI thread.
bool MainWindow::isOurs(HWND window) const {
  return window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

bool MainWindow::preTranslate(MSG& msg) {
  const bool input = (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
                     (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ||
                     (msg.message >= WM_NCMOUSEMOVE && msg.message <= WM_NCXBUTTONDBLCLK);
  // The pause before a repeat takes no input but "Cancel" (clicked, or
  // Escape and Space while it has the focus); painting and timers go on.
  if (controller_ && controller_->pausing() && input && isOurs(msg.hwnd) && msg.hwnd != control(kIdCancelButton)) {
    return true;
  }
  if (checkPortWindow_.preTranslate(msg)) return true;
  return panel_ && IsDialogMessageW(panel_, &msg);
}

void MainWindow::readPortList() {
  const HWND box = control(kIdPortBox);
  // The box keeps its text, also when that port is gone.
  const std::wstring shown = windowText(box);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& port : ports::listLoggerPorts()) {
    const std::wstring name = widen(port);
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  SetWindowTextW(box, shown.c_str());
}

void MainWindow::handleDeviceChange(WPARAM wParam, LPARAM lParam) {
  // Only arrivals and removals carry a notification header.
  std::uint32_t deviceType = 0;
  if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && lParam != 0) {
    deviceType = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)->dbch_devicetype;
  }
  if (!ports::isPortChange(ports::fromWinDeviceChange(static_cast<std::uintptr_t>(wParam), deviceType))) return;
  readPortList();
  // The new list is shown at once, but only to a user who is working with
  // this program and may pick a port now.
  const HWND box = control(kIdPortBox);
  if (!isOurs(GetForegroundWindow()) || !IsWindowEnabled(box)) return;
  SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
  RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
}

// Enter presses the focused button, elsewhere "Update".
LRESULT MainWindow::defaultButton() const {
  const HWND focus = GetFocus();
  int id = kIdUpdateButton;
  if (focus && GetParent(focus) == panel_ && (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)) {
    id = GetDlgCtrlID(focus);
  }
  return MAKELRESULT(id, DC_HASDEFID);
}

void MainWindow::rememberFocus() {
  const HWND focus = GetFocus();
  if (focus && IsChild(window_, focus)) focus_ = focus;
}

// A control can take the focus when it and the windows it sits in (the port
// box's edit field sits in the box) are shown and enabled.
bool MainWindow::usable(HWND control) const {
  if (!control || !IsChild(panel_, control)) return false;
  for (HWND w = control; w && w != panel_; w = GetParent(w)) {
    if (!IsWindowVisible(w) || !IsWindowEnabled(w)) return false;
  }
  return true;
}

void MainWindow::restoreFocus() {
  const HWND target = usable(focus_) ? focus_ : GetNextDlgTabItem(panel_, nullptr, FALSE);
  if (target) SetFocus(target);
}

// A control that is disabled or hidden while it has the focus leaves the
// keyboard with nothing to type into; the focus moves to the next control
// the user can use, Cancel while a run is under way.
void MainWindow::keepFocusUsable(HWND focus) {
  if (!focus || !IsChild(panel_, focus) || usable(focus)) return;
  const HWND cancel = control(kIdCancelButton);
  SetFocus(usable(cancel) ? cancel : GetNextDlgTabItem(panel_, nullptr, FALSE));
}

void MainWindow::command(int id) {
  switch (id) {
    case kIdUpdateButton: updateClicked(); break;
    case kIdFileButton: fileClicked(); break;
    case kIdCancelButton: controller_->cancelClicked(); break;
    case kIdCloseButton:
    case kIdExitAction: SendMessageW(window_, WM_CLOSE, 0, 0); break;
    case kIdFirmwareAction: showOverview(); break;
    case kIdFileVersionAction: fileVersionClicked(); break;
    case kIdCheckPortAction: checkPortClicked(); break;
    case kIdAboutAction: showAbout(); break;
    case IDCANCEL:
      // Escape: the button at the right-hand place, "Cancel" during a run, else "Close".
      command(IsWindowVisible(control(kIdCancelButton)) ? kIdCancelButton : kIdCloseButton);
      break;
    default: break;
  }
}

void MainWindow::detach() {
  window_ = nullptr;
  panel_ = nullptr;
  statusBar_ = nullptr;
}

// The panel holds the controls; what they tell it goes to the main window.
LRESULT CALLBACK MainWindow::panelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageW(GetParent(window), message, wParam, lParam);
    case DM_GETDEFID:
      if (self) return self->defaultButton();
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunEventMessage:
      runEventArrived(lParam);
      return 0;
    case kResumeEventsMessage:
      if (controller_) controller_->processRunEvents();
      return 0;
    case kPortCheckMessage:
      portCheckArrived(lParam);
      return 0;
    case kTargetAnswerMessage:
      targetAnswerArrived(lParam);
      return 0;
    case WM_TIMER:
      if (wParam == kPauseTimer) pauseOver();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 || HIWORD(wParam) == BN_CLICKED) command(LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      closeRequested();
      return 0;
    case WM_QUERYENDSESSION:
      return endSessionAllowed() ? TRUE : FALSE;
    case WM_ENDSESSION:
      if (wParam) sessionEnding();
      return 0;
    case WM_DESTROY:
      if (target_) target_->detach();
      discardRunEvents(window_);
      discardPosted<PortCheckResult>(window_, kPortCheckMessage);
      discardPosted<session::TargetAnswer>(window_, kTargetAnswerMessage);
      PostQuitMessage(0);
      return 0;
    case WM_MOVE:
      if (reportWindow_) reportWindow_->followMove(window_);
      return 0;
    case WM_DEVICECHANGE:
      handleDeviceChange(wParam, lParam);
      return TRUE;
    case WM_SETCURSOR:
      if (busy_ && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) rememberFocus();
      else restoreFocus();
      return 0;
    case WM_SETFOCUS:
      restoreFocus();
      return 0;
    case WM_SYSCOMMAND:
      // The program minimizes as one, through the window of its task-bar button.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        taskbar_.minimize();
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace zorvik::win
