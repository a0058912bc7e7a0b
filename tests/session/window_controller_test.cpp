// The desktop windows' behaviour around their updates, once, without any
// toolkit: a fake window that writes down everything it is told, driven step
// by step as a person and the window's event loop would drive it, with real
// runs against the simulated logger. Each scenario lists, per step, what the
// window was told in that step.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/event_queue.h"
#include "engine/event_texts.h"
#include "images/catalogue.h"
#include "link/serial_port.h"
#include "session/window_controller.h"
#include "tests/session/session_harness.h"

namespace zorvik::testing {
namespace {

namespace fs = std::filesystem;
using session::ChosenFile;
using session::WindowControls;

// The window as the controller sees it; every call becomes one line of `calls`.
class FakeWindow final : public session::WindowView {
 public:
  std::vector<std::string> calls;
  std::deque<bool> answers;                     // none left: "No"
  std::deque<std::optional<ChosenFile>> files;  // none left: the dialog is cancelled
  std::string port;
  bool readInfo = false;
  bool trace = false;
  std::function<void()> duringQuestion;  // runs while a question is open
  int eventsLater = 0;                   // asked for, not yet given
  int closesLater = 0;
  engine::EventQueue<session::TargetAnswer> targetAnswers;  // posted from the asking's thread

  void report(const std::string& text) override { calls.push_back("report: " + text); }
  void setStatus(const std::string& text) override { calls.push_back("status: " + text); }
  void setProgress(int percent) override { calls.push_back("progress: " + std::to_string(percent)); }
  void setLineProgress(const session::LineProgress&) override {}
  void setTaskbarTitle(const std::string& title) override { calls.push_back("title: " + title); }
  void setCaption(const std::string& caption) override { calls.push_back("caption: " + caption); }
  // A warning icon for a fault the user has to mend, information otherwise.
  void showMessage(const std::string& text, session::MessageIcon icon) override {
    calls.push_back((icon == session::MessageIcon::Warning ? "warning: " : "message: ") + text);
  }
  void beep() override { calls.push_back("beep"); }
  void clearReport() override { calls.push_back("clear report"); }

  // "controls:" and what can be used: each enabled control, each button shown.
  void showControls(const WindowControls& c) override {
    std::string line = "controls:";
    const std::pair<bool, const char*> parts[] = {
        {c.updateEnabled, " update"},   {c.fileEnabled, " file"},     {c.fileVersionEnabled, " fileVersion"},
        {c.portEnabled, " port"},       {c.stationEnabled, " station"}, {c.checkPortEnabled, " checkPort"},
        {c.cancelShown, " cancel"},     {c.closeShown, " close"},     {c.busyCursor, " busy"}};
    for (const auto& [on, name] : parts) line += on ? name : "";
    calls.push_back(line);
  }

  void showOverview(const std::optional<images::ImageHeader>& h) override {
    if (!h) {
      calls.push_back("overview: built-in only");
      return;
    }
    std::ostringstream line;
    line << "overview: file bootloader " << h->bootloader << "/" << h->bootloaderVersion << " version "
         << h->versionHigh << "/" << h->versionLow;
    calls.push_back(line.str());
  }

  bool ask(const session::Question& q) override {
    calls.push_back("ask: " + q.line1 + " | " + q.line2 + (q.detail.empty() ? "" : " | " + q.detail));
    if (duringQuestion) duringQuestion();
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }

  std::optional<ChosenFile> chooseFile() override {
    calls.push_back("choose file");
    if (files.empty()) return std::nullopt;
    std::optional<ChosenFile> file = files.front();
    files.pop_front();
    return file;
  }

  std::string portName() override { return port; }
  bool readInfoOnly() override { return readInfo; }
  bool traceChecked() override { return trace; }
  std::string pathText(const fs::path& path) override { return "shown:" + path.filename().string(); }

  void startPause(std::chrono::milliseconds pause) override {
    calls.push_back("pause: " + std::to_string(pause.count()));
  }
  void processEventsLater() override {
    calls.push_back("events later");
    ++eventsLater;
  }
  void closeLater() override {
    calls.push_back("close later");
    ++closesLater;
  }
  void keepPainting() override { calls.push_back("paint"); }
  void forgetRunEvents() override { calls.push_back("forget events"); }
  void postTargetAnswer(const session::TargetAnswer& answer) override { targetAnswers.push(answer); }
};

// The runs' fixed pauses: the first holds its run until released, the rest
// are over at once. A run held so cannot notice a cancel.
class HoldingSleeper final : public link::Sleeper {
 public:
  void sleepMs(int) override {
    std::unique_lock lock(mutex_);
    if (held_) return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
  bool waitUntilHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return held_; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
};

enum class Mode { Normal, MemoryFormat, Service, Files };
enum class Logger { Ready, Paced, SilentOnce, Mute };
enum class File { Cancelled, Gone, GoodHeader, BrokenHeader, Image627 };

struct Step {
  std::string action;
  std::vector<std::string> calls;  // "$PORT" stands for the port; a final '*' matches any rest
  bool onlyThese = true;           // false: these among others, in this order
};

struct Scenario {
  const char* name;
  Mode mode = Mode::Service;
  Logger logger = Logger::Ready;
  std::vector<bool> answers = {};
  std::vector<File> files = {};
  bool readInfo = true;
  bool trace = false;
  bool traceBlocked = false;          // the trace folder cannot be made
  int eventsDuringQuestion = 0;       // runs' events handed over while a question is open
  bool holdRun = false;               // HoldingSleeper instead of no pauses
  std::chrono::milliseconds closeWait = session::kCloseWait;
  const char* port = nullptr;         // instead of the simulated logger's
  bool explain = false;               // the plain words of a failure's cause and fix
  std::vector<Step> steps = {};
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

const std::string kIdle = "controls: update file fileVersion port station checkPort close";
const std::string kRunning = "controls: cancel busy";
const std::string kStart = "report: Start at serial port \"$PORT\"";
const std::string kStartStatus = "status: Start at serial port \"$PORT\"";
const std::string kSaveQuestion = "ask: Do you save your measurements ? | Do you really continue without saving ?";
const std::string kCloseQuestion = "ask: The update is not finished! | Do you really close the program ?";
const std::string kReadInfo = "message: Only read update info!";
// Before the question: the logger is asked who it is, aside.
const std::string kAsking = "status: Asking the logger on $PORT who it is ...";
const std::string kAskingControls = "controls: fileVersion close busy";
// The simulated logger as the question names it.
const std::string kNamed = " | $PORT: ZorvikB, serial number 100200, version 6.26 -> 6.26 (the newest image for its class)";
const std::string kRepeat = "Repeat update because communication error!";
// What starting a run draws, after the report is cleared.
const std::vector<std::string> kRunStart = {kStart, kStartStatus, "progress: 0", kRunning};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

bool matches(const std::string& want, const std::string& call) {
  if (!want.empty() && want.back() == '*') return call.rfind(want.substr(0, want.size() - 1), 0) == 0;
  return want == call;
}

class WindowControllerTest : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override {
    const Scenario& s = GetParam();
    sim::LoggerConfig config;
    config.wireTiming = s.logger == Logger::Paced;
    logger = std::make_unique<sim::SimulatedLogger>(config);
    if (!logger->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
    if (s.logger == Logger::SilentOnce) logger->injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 5});
    if (s.logger == Logger::Mute) logger->injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 1000});
    scratch = fs::temp_directory_path() / ("zorvik-window-controller-" + std::to_string(::getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch);

    view.port = s.port ? s.port : logger->devicePath();
    view.readInfo = s.readInfo;
    view.trace = s.trace;
    view.answers.assign(s.answers.begin(), s.answers.end());
    for (const File f : s.files) view.files.push_back(chosen(f));
    if (s.eventsDuringQuestion > 0) view.duringQuestion = [this, n = s.eventsDuringQuestion] { handOverHeld(n); };

    session::WindowSetup setup;
    setup.session.sink = sink;
    // The explanations have tests of their own; here only where they go.
    setup.session.explain = s.explain ? session::Explain(session::explainFailure) : nullptr;
    setup.options.serviceMode = s.mode == Mode::Service || s.mode == Mode::Files;
    setup.options.memoryFormat = s.mode == Mode::MemoryFormat;
    setup.options.fileMode = s.mode == Mode::Files      ? engine::FileMode::ServiceWithFiles
                             : setup.options.serviceMode ? engine::FileMode::Service
                                                         : engine::FileMode::Normal;
    if (s.holdRun) holder = std::make_shared<HoldingSleeper>();
    setup.sleeper = holder ? std::shared_ptr<link::Sleeper>(holder) : std::make_shared<link::NoPauses>();
    setup.traceDirectory = scratch / "traces";
    if (s.traceBlocked) {
      std::ofstream(scratch / "plain-file") << "x";
      setup.traceDirectory = scratch / "plain-file" / "traces";
    }
    setup.closeWait = s.closeWait;
    controller = std::make_unique<session::WindowController>(view, std::move(setup));
  }

  void TearDown() override {
    if (holder) holder->release();
    controller.reset();  // waits for a run left behind
    if (!scratch.empty()) fs::remove_all(scratch);
  }

  std::optional<ChosenFile> chosen(File f) {
    const auto file = [this](const std::string& name, const std::string& text) {
      std::ofstream(scratch / name, std::ios::binary) << text;
      return ChosenFile{(scratch / name).string(), "shown:" + name, fs::exists(scratch / name)};
    };
    switch (f) {
      case File::Cancelled: return std::nullopt;
      case File::Gone: return ChosenFile{(scratch / "gone.txt").string(), "shown:gone.txt", false};
      case File::GoodHeader:
        return file("good.txt",
                    "bootloader=3\nbootloader version=4\nclass=26113\nversionH=7\nversionL=5\n"
                    "platform=24\nprint=53\ndate=01.02.2026 03:04:05\n:00000001FF\n");
      case File::BrokenHeader:  // the bootloader lines are read before the bad class line
        return file("broken.txt", "bootloader=2\nbootloader version=1\nclass=x\n");
      case File::Image627: return file("image.txt", image12As627());
    }
    return std::nullopt;
  }

  // Built-in image 12's records under a header of its own (version 6.27): the
  // texts tell whether the file or the built-in image went out.
  static std::string image12As627() {
    const images::ImageHeader h = images::builtInHeader(12);
    std::ostringstream text;
    text << "bootloader=" << h.bootloader << "\nbootloader version=" << h.bootloaderVersion
         << "\nclass=" << h.deviceClass << "\nversionH=" << h.versionHigh << "\nversionL=27\nplatform=" << h.platform
         << "\nprint=" << h.print << "\ndate=" << h.date << "\n";
    const images::ImageSource builtIn;
    for (int i = 0; i <= builtIn.lastLine(12); ++i) text << builtIn.line(12, i) << "\n";
    return text.str();
  }

  // While a question is open: the next `n` events of the run reach the
  // controller, which must draw none of them yet.
  void handOverHeld(int n) {
    const std::size_t before = view.calls.size();
    for (int i = 0; i < n; ++i) {
      auto event = sink->takeWithin(std::chrono::seconds(20));
      if (!event) break;
      controller->runEventArrived(*event);
    }
    view.calls.push_back("during question: " + std::to_string(view.calls.size() - before) + " drawn");
  }

  // What the window's event loop does next: the "later" calls asked for,
  // then the next event of a run.
  void turn(std::chrono::milliseconds wait = std::chrono::milliseconds(100)) {
    while (view.eventsLater > 0 || view.closesLater > 0) {
      if (view.closesLater > 0) {
        --view.closesLater;
        close();
      } else {
        --view.eventsLater;
        controller->processRunEvents();
      }
    }
    if (auto event = sink->takeWithin(wait)) controller->runEventArrived(*event);
  }

  void runUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!done() && std::chrono::steady_clock::now() < deadline) turn();
    ASSERT_TRUE(done()) << "not within the time";
  }

  bool drewProgress(std::size_t from) const {
    for (std::size_t i = from; i < view.calls.size(); ++i) {
      if (view.calls[i].rfind("progress: ", 0) == 0 && view.calls[i] != "progress: 0") return true;
    }
    return false;
  }

  void close() { view.calls.push_back(controller->closeRequested() ? "closed: yes" : "closed: no"); }

  void perform(const std::string& action) {
    const std::size_t from = view.calls.size();
    if (action == "show idle") controller->showIdle();
    else if (action == "update") controller->updateClicked();
    else if (action == "file") controller->fileClicked();
    else if (action == "file version") controller->fileVersionClicked();
    else if (action == "firmware") controller->firmwareClicked();
    else if (action == "cancel") controller->cancelClicked();
    else if (action == "check port") controller->portCheckStarted();
    else if (action == "check port done") controller->portCheckEnded();
    else if (action == "pause over") controller->pauseOver();
    else if (action == "close") {
      if (view.closesLater > 0) --view.closesLater;  // this is the close asked for
      close();
    } else if (action == "loop") turn(std::chrono::milliseconds(0));
    else if (action == "run until pause") runUntil([this] { return controller->pausing(); });
    else if (action == "run until progress") runUntil([this, from] { return drewProgress(from); });
    else if (action == "run to end") {
      runUntil([this] {
        if (controller->pausing()) controller->pauseOver();
        return !controller->running() && view.eventsLater == 0;
      });
    } else if (action == "drain") {
      while (auto event = sink->takeWithin(std::chrono::milliseconds(1500))) controller->runEventArrived(*event);
    } else if (action == "release run") holder->release();
    else if (action == "wait until held") view.calls.push_back(holder->waitUntilHeld() ? "run held" : "run not held");
    else if (action == "port free?") view.calls.push_back(controller->portFree() ? "port free: yes" : "port free: no");
    else if (action == "reopen port") {
      link::PortHandle again = link::openSerialPort(logger->devicePath(), 9600);
      view.calls.push_back(again ? "port reopened: yes" : "port reopened: no");
      link::closeSerialPort(again);
    } else if (action == "logger") {
      view.calls.push_back("logger requests: " + std::to_string(logger->requests().size()));
    } else if (action == "logger state") {
      // Asked who it is, or written to (anything beyond the asking).
      int asked = 0;
      int written = 0;
      for (const sim::Request r : logger->requests()) {
        if (r == sim::Request::IdentityQuery) ++asked;
        else if (r != sim::Request::NullFrame && r != sim::Request::SerialQuery) ++written;
      }
      view.calls.push_back("logger: written " + std::to_string(written) + ", " +
                           (logger->mode() == sim::Mode::Application ? "application" : "bootloader") + ", asked " +
                           std::to_string(asked));
    } else if (action == "answered" || action == "answer") {
      // The asking's answer as the window's event loop hands it over; "answer"
      // also says how the asking ended.
      const auto answer = view.targetAnswers.takeWithin(std::chrono::seconds(20));
      if (!answer) {
        view.calls.push_back("no answer");
        return;
      }
      if (action == "answer") view.calls.push_back("answer: error " + std::to_string(answer->identity.error));
      controller->targetAnswered(*answer);
    } else if (action == "trace files") {
      const fs::path folder = scratch / "traces";
      std::size_t n = 0;
      if (fs::exists(folder)) n = static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
      view.calls.push_back("trace files: " + std::to_string(n));
    } else if (action.rfind("event ", 0) == 0) {
      std::istringstream words(action.substr(6));
      std::uint32_t code = 0;
      std::int32_t value = 0;
      words >> code >> value;
      controller->runEventArrived(engine::RunEvent{code, value});
    } else {
      FAIL() << "no step " << action;
    }
  }

  std::string withPort(std::string text) const {
    const std::string port = view.port;
    for (std::size_t at; (at = text.find("$PORT")) != std::string::npos;) text.replace(at, 5, port);
    return text;
  }

  // The calls of one step against what it should have told the window.
  void expectCalls(const Step& step, const std::vector<std::string>& got) {
    std::string told;
    for (const std::string& call : got) told += "\n    " + call;
    SCOPED_TRACE("the window was told:" + told);
    std::size_t at = 0;
    for (const std::string& raw : step.calls) {
      const std::string want = withPort(raw);
      if (step.onlyThese) {
        ASSERT_LT(at, got.size()) << "missing " << want;
        EXPECT_TRUE(matches(want, got[at])) << "call " << at << ": " << got[at] << "\n   wanted: " << want;
        ++at;
        continue;
      }
      while (at < got.size() && !matches(want, got[at])) ++at;
      ASSERT_LT(at, got.size()) << "missing, or out of order: " << want;
      ++at;
    }
    if (step.onlyThese) {
      EXPECT_EQ(at, got.size()) << "more calls than listed, from: " << (at < got.size() ? got[at] : "");
    }
  }

  FakeWindow view;
  std::shared_ptr<QueueSink> sink = std::make_shared<QueueSink>();
  std::shared_ptr<HoldingSleeper> holder;
  std::unique_ptr<sim::SimulatedLogger> logger;
  std::unique_ptr<session::WindowController> controller;
  fs::path scratch;
};

TEST_P(WindowControllerTest, TellsTheWindowWhatToDraw) {
  for (const Step& step : GetParam().steps) {
    SCOPED_TRACE("step \"" + step.action + "\"");
    const std::size_t from = view.calls.size();
    perform(step.action);
    if (HasFatalFailure()) return;
    expectCalls(step, {view.calls.begin() + static_cast<std::ptrdiff_t>(from), view.calls.end()});
    if (HasFatalFailure()) return;
  }
}

const Scenario kScenarios[] = {
    {.name = "idle at start-up with memory format",
     .mode = Mode::MemoryFormat,
     .steps = {{"show idle", {"status: F", std::string("caption: ") + engine::kAppTitle, kIdle, std::string("title: ") + engine::kAppTitle}}}},
    {.name = "update declined starts nothing",
     .mode = Mode::Normal,
     .answers = {false},
     .steps = {{"update", {kAsking, kAskingControls}},
               {"port free?", {"port free: no"}},
               {"update", {}},
               {"answered", {"status: ", kIdle, kSaveQuestion + kNamed, "events later"}},
               {"logger state", {"logger: written 0, application, asked 1"}},
               {"port free?", {"port free: yes"}}}},
    {.name = "memory format asks its own question",
     .mode = Mode::MemoryFormat,
     .answers = {false},
     .steps = {{"show idle", {"status: F"}, false},
               {"update", {kAsking, kAskingControls}},
               {"answered",
                {"status: F", kIdle, "ask: This update clears all measurements! | Do you really continue ?" + kNamed,
                 "events later"}}}},
    {.name = "update confirmed runs with the port and read-info box",
     .mode = Mode::Normal,
     .answers = {true},
     .steps = {{"update", {kAsking, kAskingControls}},
               {"answered", std::vector<std::string>{"status: ", kIdle, kSaveQuestion + kNamed, "events later", "clear report"} + kRunStart},
               {"port free?", {"port free: no"}},
               {"update", {}},
               {"run to end", {kIdle, kReadInfo}, false},
               {"port free?", {"port free: yes"}}}},
    {.name = "service mode updates without a question",
     .steps = {{"update", std::vector<std::string>{"clear report"} + kRunStart}, {"run to end", {kReadInfo}, false}}},
    {.name = "refused image file starts no run",
     .mode = Mode::Files,
     .files = {File::BrokenHeader},
     .steps = {{"file",
                {"choose file", "events later", "clear report",
                 "report: Aborted because image file \"shown:broken.txt\" has no valid image header!",
                 "status: Aborted because image file \"shown:broken.txt\" has no valid image header!",
                 "warning: Aborted because image file \"shown:broken.txt\" has no valid image header!"}},
               {"logger", {"logger requests: 0"}},
               {"port free?", {"port free: yes"}}}},
    {.name = "file that cannot be read starts no run",
     .mode = Mode::Files,
     .files = {File::Gone},
     .steps = {{"file", {"choose file", "events later", "clear report", "report: Aborted because image file \"shown:gone.txt\" cannot be read!",
                         "status: *", "warning: *"}}}},
    {.name = "file dialog cancelled starts nothing",
     .mode = Mode::Files,
     .steps = {{"file", {"choose file", "events later"}}}},
    {.name = "the file sent stays on the overview",
     .mode = Mode::Files,
     .files = {File::Image627},
     .steps = {{"file", std::vector<std::string>{"choose file", "events later", "clear report"} + kRunStart},
               {"run to end", {"report: Check ZorvikB V6.27, A9g, BL3.0", kReadInfo}, false},
               {"firmware", {"overview: file bootloader 3/0 version 6/27"}}}},
    {.name = "write trace names its file before the start",
     .trace = true,
     .steps = {{"update", std::vector<std::string>{"clear report", "report: Trace: shown:trace-*"} + kRunStart},
               {"run to end", {kReadInfo}, false},
               {"trace files", {"trace files: 1"}}}},
    {.name = "trace that cannot be written starts no run",
     .trace = true,
     .traceBlocked = true,
     .steps = {{"update", {"clear report", "report: Cannot write the trace: cannot create the folder *",
                           "status: Cannot write the trace: *", "warning: Cannot write the trace: *"}},
               {"logger", {"logger requests: 0"}}}},
    {.name = "write trace is for service staff only",
     .mode = Mode::Normal,
     .answers = {true},
     .trace = true,
     .steps = {{"update", {kAsking, kAskingControls}},
               {"answered", std::vector<std::string>{"status: ", kIdle, kSaveQuestion + kNamed, "events later", "clear report"} + kRunStart},
               {"run to end", {kReadInfo}, false},
               {"trace files", {"trace files: 0"}}}},
    {.name = "event arriving during a question is held and handled after",
     .logger = Logger::Paced,
     .answers = {false},
     .readInfo = false,
     .eventsDuringQuestion = 2,
     .steps = {{"update", kRunStart, false},
               {"run until progress", {}, false},
               {"close", {kCloseQuestion, "during question: 0 drawn", "events later", "closed: no"}},
               {"loop", {"progress: *", "title: *", "progress: *", "title: *"}, false},
               {"cancel", {}},
               {"run to end", {"message: Process cancelled!"}, false}}},
    {.name = "event arriving during the pause is held until it is over",
     .logger = Logger::SilentOnce,
     .steps = {{"update", kRunStart, false},
               {"run until pause", {"status: " + kRepeat, "report: " + kRepeat, "pause: 1500"}, false},
               {"event 1 42", {}},
               {"loop", {}},
               {"update", {}},
               {"pause over", kRunStart + std::vector<std::string>{"events later"}},
               {"loop", {"progress: 42", "title: 42%", "report: Progress 42%"}},
               {"run to end", {kReadInfo}, false}}},
    {.name = "cancel during the pause ends the update after it without the repeat",
     .logger = Logger::SilentOnce,
     .steps = {{"update", kRunStart, false},
               {"run until pause", {"status: " + kRepeat, "report: " + kRepeat, "pause: 1500"}, false},
               {"cancel", {}},
               {"loop", {}},
               {"pause over", {kIdle, std::string("title: ") + engine::kAppTitle, "beep", "report: Process cancelled!",
                               "status: Process cancelled!", "message: Process cancelled!", "events later"}},
               {"drain", {}},
               {"port free?", {"port free: yes"}}}},
    {.name = "a failed update's message names the cause and the fix",
     .mode = Mode::Normal,
     .answers = {true},
     .port = "/dev/zorvik-no-such-port",
     .explain = true,
     .steps = {{"update", {kAsking, kAskingControls}},
               {"answered", std::vector<std::string>{"status: ", kIdle,
                                                     kSaveQuestion + " | $PORT: the logger could not be asked who it is "
                                                                     "(Aborted because serial port \"$PORT\" is not ready!)",
                                                     "events later", "clear report"} + kRunStart},
               {"run to end",
                {"report: Aborted because serial port \"$PORT\" is not ready!",
                 "report: no such port (No such file or directory): is the adapter plugged in? see "
                 "zorvik-updater-cli --list-ports",
                 "warning: Aborted because serial port \"$PORT\" is not ready!\n\nCause: no such port (No such file "
                 "or directory)\nFix: is the adapter plugged in? see zorvik-updater-cli --list-ports"},
                false}}},
    {.name = "a blank port box is named at once, nobody asked",
     .mode = Mode::Normal,
     .answers = {false},
     .port = " ",
     .steps = {{"update", {kSaveQuestion + " | No port chosen: the logger could not be asked who it is", "events later"}},
               {"logger state", {"logger: written 0, application, asked 0"}}}},
    {.name = "closing while the logger is asked gives the asking up",
     .mode = Mode::Normal,
     .logger = Logger::Mute,
     .steps = {{"update", {kAsking, kAskingControls}},
               {"close", {"status: ", kIdle, "closed: yes"}},
               {"answer", {"answer: error 20"}},
               {"logger state", {"logger: written 0, application, *"}}}},
    {.name = "close during a run declined then accepted",
     .logger = Logger::Paced,
     .answers = {false, true},
     .readInfo = false,
     .steps = {{"update", kRunStart, false},
               {"run until progress", {}, false},
               {"close", {kCloseQuestion, "events later", "closed: no"}},
               {"close", {kCloseQuestion, "events later", "forget events", kIdle, "closed: yes"}, false},
               {"reopen port", {"port reopened: yes"}},
               {"drain", {}},
               {"loop", {}}}},
    {.name = "close during the pause waits for its end",
     .logger = Logger::SilentOnce,
     .answers = {false},
     .steps = {{"update", kRunStart, false},
               {"run until pause", {"pause: 1500"}, false},
               {"close", {"closed: no"}},
               {"pause over", kRunStart + std::vector<std::string>{"close later", "events later"}},
               {"close", {kCloseQuestion, "events later", "closed: no"}},
               {"run to end", {kReadInfo}, false}}},
    {.name = "a run that keeps the port past the wait is left behind",
     .answers = {true},
     .holdRun = true,
     .closeWait = std::chrono::milliseconds(200),
     .steps = {{"update", std::vector<std::string>{"clear report"} + kRunStart},
               {"wait until held", {"run held"}},
               {"close", {kCloseQuestion, "events later", "paint", "forget events", kIdle, "closed: yes"}, false},
               {"reopen port", {"port reopened: no"}},
               {"release run", {}},
               {"drain", {}},
               {"reopen port", {"port reopened: yes"}}}},
    {.name = "port check under way keeps updates off",
     .mode = Mode::Files,
     .steps = {{"check port", {"controls: fileVersion port close"}},
               {"port free?", {"port free: no"}},
               {"update", {}},
               {"file", {}},
               {"file version", {"choose file", "events later"}},
               {"check port done", {kIdle}},
               {"port free?", {"port free: yes"}}}},
    {.name = "file version with a broken file keeps the previous header",
     .mode = Mode::Files,
     .files = {File::GoodHeader, File::BrokenHeader},
     .steps = {{"file version", {"choose file", "events later", "overview: file bootloader 3/4 version 7/5"}},
               {"file version",
                {"choose file", "events later",
                 "warning: Aborted because image file \"shown:broken.txt\" has no valid image header!"}},
               {"firmware", {"overview: file bootloader 3/4 version 7/5"}}}},
    {.name = "file version cancelled or gone shows nothing",
     .mode = Mode::Files,
     .files = {File::Cancelled, File::Gone},
     .steps = {{"file version", {"choose file", "events later"}},
               {"file version", {"choose file", "events later"}},
               {"firmware", {"overview: built-in only"}}}},
    {.name = "the next update takes the file version off the overview",
     .mode = Mode::Files,
     .files = {File::GoodHeader},
     .steps = {{"file version", {"choose file", "events later", "overview: file bootloader 3/4 version 7/5"}},
               {"update", {"clear report"}, false},
               {"file version", {}},
               {"run to end", {kReadInfo}, false},
               {"firmware", {"overview: built-in only"}}}},
};

std::string testName(const ::testing::TestParamInfo<Scenario>& info) {
  std::string name;
  bool upper = true;
  for (const char c : std::string(info.param.name)) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
      upper = true;
      continue;
    }
    name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    upper = false;
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowControllerTest, ::testing::ValuesIn(kScenarios), testName);

}  // namespace
}  // namespace zorvik::testing
