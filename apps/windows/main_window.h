// The main window: port box, progress bar, the buttons that start, cancel
// and end an update, status bar and the "Info" menu. It only draws: the
// window controller (session/window_controller.h) decides what happens
// around runs (the request, repeats, pauses, closing, texts, which controls
// are enabled) and the window shows it and forwards the user's actions.
// Beside the updates it checks a port ("Check port"), which keeps the
// updates off meanwhile.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/windows/check_port_window.h"
#include "apps/windows/message_window.h"
#include "apps/windows/overview_dialog.h"
#include "apps/windows/port_check.h"
#include "apps/windows/progress_text.h"
#include "apps/windows/report_window.h"
#include "apps/windows/taskbar_window.h"
#include "apps/windows/win_event_sink.h"
#include "apps/windows/win_util.h"
#include "engine/startup_options.h"
#include "history/history_recorder.h"
#include "session/window_controller.h"

namespace zorvik::win {

class MainWindow final : private session::WindowView {
 public:
  // arguments: the program arguments without the program's own path.
  MainWindow(HINSTANCE instance, TaskbarWindow& taskbar, const std::vector<std::string>& arguments);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Centred on the screen, then the task-bar button.
  void show();
  // The application's first idle moment: the report window in service mode.
  void firstIdle();
  // For the message loop: true when the message has been dealt with (input
  // dropped during the pause before a repeat, dialog keys of the panel).
  bool preTranslate(MSG& msg);

 private:
  // Posted to itself: go on with the events held back by a question.
  static constexpr UINT kResumeEventsMessage = WM_APP + 2;
  // lParam: a session::TargetAnswer, owned by the receiver (takePosted).
  static constexpr UINT kTargetAnswerMessage = WM_APP + 4;
  static constexpr UINT_PTR kPauseTimer = 1;

  // Construction (main_window.cpp).
  void registerClasses(HINSTANCE instance);
  void createControls();
  int statusBarHeight() const;
  void createMenu();
  void readPortList();
  void handleDeviceChange(WPARAM wParam, LPARAM lParam);
  friend LRESULT CALLBACK ownedWindowProcedure<MainWindow>(HWND, UINT, WPARAM, LPARAM);
  void attach(HWND window) { window_ = window; }
  void detach();
  static LRESULT CALLBACK panelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT defaultButton() const;
  void command(int id);
  HWND control(int id) const { return GetDlgItem(panel_, id); }
  void rememberFocus();
  bool usable(HWND control) const;
  void restoreFocus();
  // focus: the window that had the focus before the controls changed.
  void keepFocusUsable(HWND focus);
  bool isOurs(HWND window) const;

  // The user's actions, forwarded to the controller.
  void updateClicked() { controller_->updateClicked(); }
  void fileClicked() { controller_->fileClicked(); }
  void showOverview() { controller_->firmwareClicked(); }
  void fileVersionClicked() { controller_->fileVersionClicked(); }
  void showAbout();

  // The port check (main_window_check.cpp).
  void checkPortClicked();
  void portCheckArrived(LPARAM lParam);

  // Events of the runs, the pause's timer and closing (main_window_run.cpp).
  void runEventArrived(LPARAM lParam);
  void targetAnswerArrived(LPARAM lParam);
  void pauseOver();
  void closeRequested();
  bool endSessionAllowed();
  void sessionEnding();

  // What the controller tells the window to draw, ask and read.
  void report(const std::string& text) override;
  void setStatus(const std::string& text) override;
  void setProgress(int percent) override;
  void setLineProgress(const session::LineProgress& progress) override;
  void setTaskbarTitle(const std::string& title) override;
  void setCaption(const std::string& caption) override;
  void showMessage(const std::string& text, session::MessageIcon icon) override;
  void beep() override;
  void showControls(const session::WindowControls& controls) override;
  void clearReport() override;
  void showOverview(const std::optional<images::ImageHeader>& fileHeader) override;
  bool ask(const session::Question& question) override;
  std::optional<session::ChosenFile> chooseFile() override;
  std::string portName() override;
  bool readInfoOnly() override;
  bool traceChecked() override;
  std::string pathText(const std::filesystem::path& path) override;
  void startPause(std::chrono::milliseconds pause) override;
  void processEventsLater() override;
  void closeLater() override;
  void keepPainting() override;
  void forgetRunEvents() override;
  void postTargetAnswer(const session::TargetAnswer& answer) override;

  TaskbarWindow& taskbar_;
  Scale scale_;
  Font font_;
  engine::StartupOptions options_;  // for the layout; the controller decides by its own copy
  std::wstring dialogDirectory_;  // where the file dialog opens

  HWND window_ = nullptr;
  HWND panel_ = nullptr;
  HWND statusBar_ = nullptr;
  HMENU infoMenu_ = nullptr;
  int statusHeight_ = 0;  // the designed 15 pixels, or what the bar's text needs
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  bool busy_ = false;     // the hourglass over the program's windows

  // Every update of this window is recorded there, at the default place, as
  // the Qt window's are; opened once, before the controller that writes it.
  history::HistoryRecorders history_{std::string(), "window"};
  std::shared_ptr<EventTarget> target_;
  std::unique_ptr<session::WindowController> controller_;
  std::unique_ptr<ReportWindow> reportWindow_;
  MessageWindow messageWindow_;
  OverviewDialog overview_;
  CheckPortWindow checkPortWindow_;
  ProgressText progressText_;
  PortCheck portCheck_;  // its thread is waited for as the window object goes
  bool idleSeen_ = false;
};

}  // namespace zorvik::win
