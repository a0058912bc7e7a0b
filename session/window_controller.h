// What a desktop window does around its updates, without any toolkit: the
// request made from what the window holds (port, "Read info only", an image
// file, "Write trace"), refusing an update that cannot start, "File version",
// the question before an update (naming the logger, asked aside first) and
// before closing during one, the runs' events held back while the window
// must not handle them, closing during a run, and which controls may be
// used. It sits on one UpdateSession; the Qt window and the Windows window
// implement a WindowView and only draw what it says and forward what the
// user does.
//
// Thread safety: used by the window's thread only, as the session is. The
// runs post to the sink in the setup, the asking before the question to
// WindowView::postTargetAnswer; bringing both back to the window's thread
// (runEventArrived, targetAnswered) is the window's part.
#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/events.h"
#include "engine/logger_identity.h"
#include "engine/run_request.h"
#include "engine/startup_options.h"
#include "images/image_header.h"
#include "link/sleeper.h"
#include "session/session_view.h"
#include "session/target_query.h"
#include "session/update_session.h"

namespace zorvik::session {

// Long enough for a run in the middle of an exchange to notice the cancel
// (five attempts of about 200 ms each at worst) and close the port.
constexpr std::chrono::milliseconds kCloseWait{5000};

// The controls of the window: the session's, less what work aside keeps off
// (a port check, or asking the logger before the update question: neither
// may meet an update at the port).
struct WindowControls {
  bool updateEnabled = true;
  bool fileEnabled = true;
  bool fileVersionEnabled = true;
  bool portEnabled = true;
  bool stationEnabled = true;
  bool checkPortEnabled = true;
  bool cancelShown = false;
  bool closeShown = true;
  bool busyCursor = false;
  friend bool operator==(const WindowControls&, const WindowControls&) = default;
};

enum class Aside { Nothing, PortCheck, AskingLogger };
WindowControls windowControls(const Controls& session, Aside aside);

// The status while the logger is asked who it is, before the update question.
std::string askingLoggerText(const std::string& port);

// What asking the logger found, on its way back to the window's thread.
struct TargetAnswer {
  int query = 0;  // which asking it answers: only the latest counts
  engine::LoggerIdentity identity;
};

// The icon the final message shows: whether the user has a fault to mend.
enum class MessageIcon { Information, Warning };

// The final message: the text the event gives, and under it, for a failed
// update, its cause and its fix, so that every user learns them, not only
// service staff who see the report.
std::string messageText(const std::string& text, const Explanation& why);

// The About box: the program's name and the version it was built as.
std::string aboutText(const std::string& version);

// A file the user picked in the window's file dialog.
struct ChosenFile {
  std::string path;       // as the file is opened (the platform's encoding)
  std::string shownName;  // as the user knows it, for the texts
  bool exists = true;     // still there when the dialog closed
};

// What the controller asks of a window. All calls come on the window's
// thread, from inside a call the window made into the controller.
class WindowView {
 public:
  virtual ~WindowView() = default;

  // Drawing, as SessionView describes each.
  virtual void report(const std::string& text) = 0;
  virtual void setStatus(const std::string& text) = 0;
  virtual void setProgress(int percent) = 0;
  virtual void setLineProgress(const LineProgress& progress) = 0;
  virtual void setTaskbarTitle(const std::string& title) = 0;
  virtual void setCaption(const std::string& /*caption*/) {}
  virtual void showMessage(const std::string& text, MessageIcon icon) = 0;
  virtual void beep() = 0;
  virtual void showControls(const WindowControls& controls) = 0;
  // Empties the report before a new update.
  virtual void clearReport() = 0;
  // The firmware overview: the built-in images, `fileHeader` on top if set.
  virtual void showOverview(const std::optional<images::ImageHeader>& fileHeader) = 0;

  // Modal, and the window's events go on meanwhile. The question's detail,
  // when there is one, stands under its two lines.
  virtual bool ask(const Question& question) = 0;
  virtual std::optional<ChosenFile> chooseFile() = 0;

  // What the window holds.
  virtual std::string portName() = 0;  // the port box, as the port is opened
  virtual bool readInfoOnly() = 0;
  virtual bool traceChecked() = 0;
  virtual std::string pathText(const std::filesystem::path& path) = 0;  // a file's name for the report

  // The window's event loop. Each "later" comes from the loop, after the
  // call that asked for it has returned.
  // Call WindowController::pauseOver() once `pause` has passed; meanwhile
  // the window takes no input (see WindowController::pausing()).
  virtual void startPause(std::chrono::milliseconds pause) = 0;
  virtual void processEventsLater() = 0;  // call WindowController::processRunEvents()
  virtual void closeLater() = 0;          // ask to close the window again
  // Let the window paint for a moment, taking no input, while a cancelled
  // run is waited for.
  virtual void keepPainting() = 0;
  // The runs post into nothing from now on (the window is going).
  virtual void forgetRunEvents() = 0;
  // Called on the thread that asked the logger: bring `answer` to
  // WindowController::targetAnswered on the window's thread, later. Must not
  // throw; once the window is going it may drop the answer.
  virtual void postTargetAnswer(const TargetAnswer& answer) = 0;
};

struct WindowSetup {
  SessionSetup session;
  engine::StartupOptions options;
  std::shared_ptr<link::Sleeper> sleeper;       // the runs' fixed pauses; null: real ones
  std::filesystem::path traceDirectory;   // "Write trace" files; empty: the per-user default
  std::chrono::milliseconds closeWait = kCloseWait;  // for a cancelled run to let go of its port
};

class WindowController final : private SessionView {
 public:
  WindowController(WindowView& view, WindowSetup setup);
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  const engine::StartupOptions& options() const { return setup_.options; }
  bool running() const { return session_.running(); }
  // The pause before a repeat: the window takes no input.
  bool pausing() const { return pausing_; }
  // Neither an update nor a port check nor the asking before the question
  // has the port.
  bool portFree() const { return !session_.running() && !checkingPort_ && !query_; }
  // The logger is being asked who it is; the question follows.
  bool askingLogger() const { return query_ != nullptr; }
  // The header "File version" read, or the image file's the last update sent.
  const std::optional<images::ImageHeader>& fileHeader() const { return fileHeader_; }

  // Status, caption, idle controls and task-bar title, as at start-up.
  void showIdle();

  // The user's actions. Where the mode asks before an update, the logger is
  // asked who it is first (aside: the window goes on), and the question
  // comes when it has answered (targetAnswered).
  void updateClicked();
  void fileClicked();
  // Also during the pause before a repeat, the one input the window takes
  // then: the update ends when the pause is over, without the repeat.
  void cancelClicked();
  void fileVersionClicked();
  void firmwareClicked();
  // The window is asked to close: true when it may go now. During the pause
  // the question waits for its end; during a run it is asked, and "Yes"
  // cancels the run and waits (painting) for it to let go of the port. The
  // asking before an update question is cancelled and waited for (a
  // fraction of a second); nothing has been written.
  bool closeRequested();
  // The window goes without asking (the system's session ends): as "Yes".
  void abandonUpdate();

  // "Check port": the window's own check of the port box's port.
  void portCheckStarted();
  void portCheckEnded();

  // The logger has answered (WindowView::postTargetAnswer): the update's
  // question, naming it. An answer to an asking given up is ignored.
  void targetAnswered(const TargetAnswer& answer);

  // A run's event, on the window's thread in posting order.
  void runEventArrived(engine::RunEvent event);
  // Handles the events held back, unless the window still must not.
  void processRunEvents();
  // The pause asked for by WindowView::startPause has passed.
  void pauseOver();

 private:
  bool ask(const Question& question);
  std::optional<ChosenFile> chooseFile();
  void askLogger(const std::string& port);
  void stopAskingLogger();
  void askAndStart(const Question& question, const std::string& port);
  std::optional<engine::RunRequest> prepareRun(const std::string& port, const std::optional<ChosenFile>& file);
  bool openTrace(engine::RunRequest& request);
  void refuseRun(const std::string& text);
  void drawControls();
  // Every status goes through here: the asking puts back the one before it.
  void showStatus(const std::string& text) {
    status_ = text;
    view_.setStatus(text);
  }

  // SessionView: drawn by the window, the pause and the controls kept here.
  void report(const std::string& text) override { view_.report(text); }
  // The status keeps its own text first; a port hint follows it.
  void setStatus(const std::string& text) override { showStatus(portHint_.empty() ? text : text + " (" + portHint_ + ")"); }
  void portHint(const Explanation& hint) override { portHint_ = hint.empty() ? std::string() : hint.reason + ": " + hint.fix; }
  void setProgress(int percent) override { view_.setProgress(percent); }
  void setLineProgress(const LineProgress& progress) override { view_.setLineProgress(progress); }
  void setTaskbarTitle(const std::string& title) override { view_.setTaskbarTitle(title); }
  void setCaption(const std::string& caption) override { view_.setCaption(caption); }
  void showMessage(const std::string& text) override;
  void explain(const std::string& reason, const std::string& fix) override;
  void eventArrived(const engine::RunEvent& event, const engine::EventPresentation& presentation) override;
  void beep() override { view_.beep(); }
  void showControls(const Controls& controls) override;
  void startPause(std::chrono::milliseconds pause) override;

  enum class Closing { No, Waiting, Done };

  WindowView& view_;
  WindowSetup setup_;
  UpdateSession session_;
  Controls sessionControls_ = controlsFor(false);
  bool checkingPort_ = false;
  std::optional<images::ImageHeader> fileHeader_;

  // Update events wait here while the window must not handle them (the pause
  // before a repeat, an open question or file dialog, the closing) and while
  // one is being handled, so that they are handled one at a time in posting
  // order.
  std::deque<engine::RunEvent> pending_;
  bool handling_ = false;
  bool pausing_ = false;
  int questionDepth_ = 0;
  Closing closing_ = Closing::No;
  bool closeAfterPause_ = false;
  std::string portHint_;  // shown after the status while the port stays silent
  bool cancelAfterPause_ = false;
  // Of the event being handled: why it failed, and whether the user has
  // something to mend (a cancel or "Read info only" is no fault).
  Explanation explanation_;
  bool eventFailed_ = false;
  std::string status_;  // the last status shown
  // The asking before the update question; its answers are numbered so that
  // one of an asking given up can never stand for a later one.
  std::unique_ptr<TargetQuery> query_;
  int queries_ = 0;
  std::string statusBeforeAsking_;
};

}  // namespace zorvik::session
