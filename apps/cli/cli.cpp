#include "apps/cli/cli.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <istream>
#include <optional>
#include <ostream>

#include "apps/cli/port_listing.h"
#include "apps/cli/port_names.h"
#include "apps/cli/station.h"
#include "apps/cli/update_runner.h"
#include "diagnostics/doctor.h"
#include "engine/event_texts.h"
#include "engine/logger_identity.h"
#include "engine/service_mode_setting.h"
#include "engine/startup_options.h"
#include "images/catalogue.h"
#include "images/identity_tables.h"
#include "images/image_file.h"
#include "images/version_text.h"
#include "link/file_trace.h"
#include "ports/adapter_identity.h"
#include "ports/port_lister.h"
#include "session/target_description.h"
#include "session/update_session.h"
#include "station/station_policy.h"

namespace zorvik::cli {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

// Port names and the port list differ per platform.
#ifdef _WIN32
#define ZORVIK_PORT_EXAMPLE "(COM5)"
#define ZORVIK_PORT_LIST "the loggers' USB serial ports (\\Device\\VCP)"
#else
#define ZORVIK_PORT_EXAMPLE "(/dev/ttyUSB0 or ttyUSB0)"
#define ZORVIK_PORT_LIST "the serial ports of this machine, the loggers' adapters first"
#endif

constexpr const char* kHelp = R"(Usage: zorvik-updater-cli [options]

Updates the firmware of a Zorvik data logger over its USB serial port. The
program identifies the logger, picks the one built-in firmware image that fits
it, sends it line by line (every line must come back unchanged), restarts the
logger and checks it. Runs that fail for lack of answers or because an echo
differed are repeated by themselves.

Update:
  --port PORT            serial port of the logger )" ZORVIK_PORT_EXAMPLE R"(;
                         give it several times to update several loggers at once
  -y, --yes              do not ask for confirmation
  --read-info            identify the logger and select its image; nothing is
                         written, but the logger is left in its bootloader until
                         the next update (asks first, unless --yes)
  --doctor               check a port (or every logger port found): device,
                         driver, permission, other programs holding it, the
                         adapter's latency timer, and whether a logger answers;
                         one line per check with the fix (with --port: that one)
  --identify             who is on the port, safely: class, version and serial
                         number of the running application; never switches the
                         logger into its bootloader
  --max-repeats N        repeat a failed run at most N times (default: no
                         limit; a port where no logger ever answered stops
                         after 3 runs)
  --json                 one JSON object per line instead of the report
  --trace FILE           write every byte on the port and every event to FILE
                         (FILE.PORTNAME with several ports; docs/trace-format.md);
                         zorvik-logger-sim --replay FILE answers as that logger did

Station (Linux):
  --station              update every logger plugged in, one after another and
                         at once, until Ctrl-C (asks once at the start, unless
                         --yes); one result line per logger (PASS, FAIL,
                         UNPLUGGED, STOPPED, or SKIPPED when another station
                         holds its port) and counters
  --watch-dir DIR        the directory of port links to follow (default
                         /dev/serial/by-id, FTDI adapters only; with DIR any link)
  --skip-current         leave a logger that already runs the newest image for
                         its class as it is (PASS "already current"; nothing is
                         erased); a logger held at an older image by its
                         platform is still updated
  --results-csv FILE     add one CSV record per logger to FILE as each result
                         comes (a header first when the file is new)

Update history (every update is recorded; Linux builds):
  --history              list the updates, newest first
  --json | --csv FILE    ... as JSON lines, or as CSV into FILE (- for stdout)
  --serial N             ... of the logger with serial number N only
  --history-db PATH      the history file (default
                         $XDG_DATA_HOME/zorvik-updater/history.sqlite); a
                         regular file, made by the first update
  --operator NAME        the name recorded with each update (default: login name)
  --no-history           record nothing of this update or station

Information:
  --list-ports           list )" ZORVIK_PORT_LIST R"(
  --list-images          list the built-in firmware images, newest first
  --show-header FILE     show the header of a firmware image file
  -h, --help             show this text
  --version              show the program's version

Service mode only (enabled per user, see README):
  --image FILE           send this image file instead of a built-in image
  --no-check-class       the image's class need not match the logger's update class
  --no-check-firmware-class
                         accept a logger running an application of another class
  --no-check-platform    the image's platform need not match the logger's
  The window's switches cc:-, cf:-, cp:-, mf:+ are understood as well.

Ctrl-C (or SIGTERM, SIGHUP) cancels the run and releases the port; signals
that follow change nothing, except a Ctrl-C typed a second or more after the
first, which quits at once.

Exit status: 0 success; 10-70 the error code of the failed run (30 when no
answer came and the repeats ran out); 1 any other failure; 2 a usage error.
With several ports: 0 when every logger was updated, otherwise the status of
the first port (in command-line order) that failed.
)";

struct Options {
  std::vector<std::string> ports;
  bool yes = false;
  bool readInfo = false;
  bool json = false;
  int maxRepeats = -1;
  bool listPorts = false;
  bool listImages = false;
  std::string showHeader;
  std::string image;
  bool noCheckClass = false;
  bool noCheckFirmwareClass = false;
  bool noCheckPlatform = false;
  bool help = false;
  bool version = false;
  bool station = false;
  std::string watchDir;
  bool skipCurrent = false;
  std::string resultsCsv;
  std::string traceFile;
  bool identify = false;
  bool doctor = false;
  bool history = false;
  std::string historyDb;
  bool noHistory = false;
  std::string operatorName;
  std::string csvFile;
  std::string serial;
  std::vector<std::string> switches;  // key:value switches of the window
};

struct UsageError {
  std::string text;
};

bool isWindowSwitch(const std::string& argument) {
  static const char* const kKeys[] = {"cc:", "cf:", "cp:", "mf:", "f:"};
  return std::any_of(std::begin(kKeys), std::end(kKeys),
                     [&](const char* key) { return engine::paramValue({argument}, key, "\x01") != "\x01"; });
}

std::uint64_t parseNumber(const std::string& text, const std::string& option, std::uint64_t max) {
  const bool digits = !text.empty() && text.size() <= 10 &&
                      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
  if (!digits || std::stoull(text) > max) {
    throw UsageError{option + " needs a number from 0 to " + std::to_string(max) + ", not \"" + text + "\""};
  }
  return std::stoull(text);
}

int parseCount(const std::string& text) {
  if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isdigit(c) != 0;
      })) {
    throw UsageError{"--max-repeats needs a number from 0 to 999999, not \"" + text + "\""};
  }
  return std::stoi(text);
}

void addPort(Options& o, const std::string& port) {
  if (port.empty()) throw UsageError{"no port given: use --port PORT (see --list-ports)"};
  // One port twice would be two runs fighting over one logger.
  if (std::find(o.ports.begin(), o.ports.end(), port) != o.ports.end()) {
    throw UsageError{"port \"" + port + "\" is given more than once"};
  }
  o.ports.push_back(port);
}

Options parseArguments(const std::vector<std::string>& arguments) {
  Options o;
  // A value option given twice is refused rather than the last one silently
  // winning; only --port may name several loggers.
  std::vector<std::string> valuesGiven;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::string value;
    bool hasValue = false;
    if (name.rfind("--", 0) == 0 && name.find('=') != std::string::npos) {
      value = name.substr(name.find('=') + 1);
      name = name.substr(0, name.find('='));
      hasValue = true;
    }
    auto takeValue = [&]() -> std::string {
      if (name != "--port" && std::find(valuesGiven.begin(), valuesGiven.end(), name) != valuesGiven.end()) {
        throw UsageError{name + " is given more than once"};
      }
      valuesGiven.push_back(name);
      if (hasValue) return value;
      // "--port --yes" lacks the port; it must not become a port named "--yes".
      if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0) {
        throw UsageError{name + " needs a value"};
      }
      return arguments[++i];
    };
    auto flag = [&]() {
      if (hasValue) throw UsageError{name + " takes no value"};
      return true;
    };
    if (name == "--port") addPort(o, takeValue());
    else if (name == "--yes" || name == "-y") o.yes = flag();
    else if (name == "--read-info") o.readInfo = flag();
    else if (name == "--json") o.json = flag();
    else if (name == "--max-repeats") o.maxRepeats = parseCount(takeValue());
    else if (name == "--list-ports") o.listPorts = flag();
    else if (name == "--list-images") o.listImages = flag();
    else if (name == "--show-header") o.showHeader = takeValue();
    else if (name == "--image") o.image = takeValue();
    else if (name == "--no-check-class") o.noCheckClass = flag();
    else if (name == "--no-check-firmware-class") o.noCheckFirmwareClass = flag();
    else if (name == "--no-check-platform") o.noCheckPlatform = flag();
    else if (name == "--help" || name == "-h") o.help = flag();
    else if (name == "--version") o.version = flag();
    else if (name == "--station") o.station = flag();
    else if (name == "--trace") o.traceFile = takeValue();
    else if (name == "--identify") o.identify = flag();
    else if (name == "--doctor") o.doctor = flag();
    else if (name == "--watch-dir") o.watchDir = takeValue();
    else if (name == "--skip-current") o.skipCurrent = flag();
    else if (name == "--results-csv") o.resultsCsv = takeValue();
    else if (name == "--history") o.history = flag();
    else if (name == "--history-db") o.historyDb = takeValue();
    else if (name == "--no-history") o.noHistory = flag();
    else if (name == "--operator") o.operatorName = takeValue();
    else if (name == "--csv") o.csvFile = takeValue();
    else if (name == "--serial") o.serial = takeValue();
    else if (isWindowSwitch(name)) o.switches.push_back(name);
    else throw UsageError{"unknown argument \"" + name + "\" (see --help)"};
  }
  return o;
}

std::string imageLoadError(images::ImageLoadResult result) {
  switch (result) {
    case images::ImageLoadResult::Unreadable: return "the file cannot be opened or read";
    case images::ImageLoadResult::TooLarge: return "the file is far larger than any firmware image";
    case images::ImageLoadResult::BadHeader: return "its header is not a firmware image header";
    case images::ImageLoadResult::Loaded: break;
  }
  return {};
}

// Empty when programming would take every line of the image.
std::string imageLinesError(const images::ImageLinesCheck& check) {
  switch (check.result) {
    case images::ImageLinesCheck::NoEndLine: return "its last line is not the end record :00000001FF";
    case images::ImageLinesCheck::BadRecord:
      return "record line " + std::to_string(check.line) + " (counted from 0, header left out) is not a valid Intel HEX record";
    case images::ImageLinesCheck::NoDataLines:
      return "it holds no data line to program (only address or short records), so an update would erase the "
             "logger's firmware and write nothing";
    case images::ImageLinesCheck::Ok: break;
  }
  return {};
}

void printImageTable(std::ostream& out, const std::vector<engine::ImageRow>& rows) {
  std::vector<engine::ImageRow> all{{"Firmware", "Version", "Platform", "Print", "Date", "BL"}};
  all.insert(all.end(), rows.begin(), rows.end());
  std::size_t w[6] = {};
  for (const auto& r : all) {
    const std::string* cells[] = {&r.firmware, &r.version, &r.platform, &r.print, &r.date, &r.bootloader};
    for (std::size_t c = 0; c < 6; ++c) w[c] = std::max(w[c], cells[c]->size());
  }
  for (const auto& r : all) {
    const std::string* cells[] = {&r.firmware, &r.version, &r.platform, &r.print, &r.date, &r.bootloader};
    for (std::size_t c = 0; c < 6; ++c) {
      out << std::left << std::setw(static_cast<int>(c == 5 ? 0 : w[c] + 2)) << *cells[c];
    }
    out << '\n';
  }
}

int listImages(std::ostream& out) {
  std::vector<engine::ImageRow> rows;
  for (int i = images::kBuiltInImageCount; i >= 1; --i) rows.push_back(engine::imageRow(images::builtInHeader(i)));
  printImageTable(out, rows);
  return 0;
}

int showHeader(const std::string& file, CliIo& io) {
  images::ImageHeader header;
  const images::ImageLoadResult result = readImageFileHeader(file, header);
  if (result != images::ImageLoadResult::Loaded) {
    io.err << "zorvik-updater-cli: cannot read the header of \"" << file << "\": " << imageLoadError(result) << '\n';
    return kExitFailure;
  }
  printImageTable(io.out, {engine::imageRow(header)});
  return 0;
}

// Same questions as the window: only "Yes" confirms.
bool confirmed(const session::Question& question, CliIo& io) {
  io.err << "Confirm\n" << question.line1 << "\n" << question.line2 << " [Yes/No] " << std::flush;
  std::string answer;
  std::getline(io.in, answer);
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer == "yes" || answer == "y";
}

void checkServiceOptions(const Options& o, const engine::StartupOptions& startup) {
  const bool serviceOption = !o.image.empty() || o.noCheckClass || o.noCheckFirmwareClass || o.noCheckPlatform;
  if (serviceOption && !startup.serviceMode) {
    throw UsageError{"--image and --no-check-* are service-mode options; service mode is not enabled for this user"};
  }
}

engine::RunOptions runOptionsFor(const Options& o, const engine::StartupOptions& startup) {
  engine::RunOptions options = startup.runOptions;
  if (o.noCheckClass) options.checkClass = false;
  if (o.noCheckFirmwareClass) options.checkFirmwareClass = false;
  if (o.noCheckPlatform) options.checkPlatform = false;
  options.readInfoOnly = o.readInfo;
  return options;
}

// Reading the info needs the bootloader, and nothing takes the logger out of
// it again but an update: said before it starts, and asked.
constexpr const char* kReadInfoWarning =
    "Read info only: the logger is switched into its bootloader to be identified and stays there until the next "
    "update.";

// False when the user declined; one question covers every port, and names
// what each port's logger has now and what it would get.
bool mayWrite(const Options& o, const engine::StartupOptions& startup, const images::ImageSource& images, CliIo& io) {
  if (o.readInfo) io.err << kReadInfoWarning << '\n';
  const std::optional<session::Question> question =
      o.readInfo ? std::optional<session::Question>({"The logger stays in its bootloader until the next update.",
                                                      "Do you really continue ?"})
                 : session::updateQuestion(startup);
  if (o.yes || !question) return true;
  if (!io.inIsTerminal) {
    throw UsageError{o.readInfo ? "--read-info leaves the logger in its bootloader: confirm on a terminal or pass --yes"
                                : "an update overwrites the logger's firmware: confirm on a terminal or pass --yes"};
  }
  if (!o.readInfo) {
    for (const std::string& port : o.ports) {
      io.err << session::describeTarget(port, engine::identifyLogger(port, *io.sleeper, io.interrupt), images) << '\n';
    }
  }
  return confirmed(*question, io);
}

// The images every port's run chooses from: a file, loaded and checked whole
// before any logger is touched, or the built-in ones. Empty when the file
// was refused (the user has been told).
std::optional<images::ImageSource> imagesFor(const Options& o, CliIo& io) {
  if (o.image.empty()) return images::ImageSource();
  const images::CheckedImageFile checked = images::loadCheckedImageFile(o.image);
  std::string problem = imageLoadError(checked.load);
  if (checked.load == images::ImageLoadResult::Loaded) problem = imageLinesError(checked.lines);
  if (!problem.empty()) {
    io.err << "zorvik-updater-cli: cannot load image file \"" << o.image << "\": " << problem
           << "; nothing was sent\n";
    return std::nullopt;
  }
  return images::ImageSource(checked.file);
}

// Colour only on a terminal that shows it, and never against NO_COLOR.
bool wantsColour(const CliIo& io) {
  const char* noColour = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  return io.errIsTerminal && (noColour == nullptr || *noColour == '\0') && term != nullptr &&
         std::string(term) != "dumb";
}

// The cause and fix of a failure as far as this system tells (who holds the
// port, which group grants it, ...).
session::Explanation systemExplanation(const std::string& port, const link::Failure& failure) {
  const diagnostics::Explanation e = diagnostics::explainFailure(port, failure);
  return {e.reason, e.fix};
}

RecorderFactory recordersFor(const Options& o, const CliIo& io, const std::string& frontEnd) {
  if (!io.keepHistory || o.noHistory) return {};
  return openRecorders(o.historyDb, frontEnd, o.operatorName, io.err);
}

int update(const Options& o, const engine::StartupOptions& startup, CliIo& io) {
  if (const auto twice = sameDeviceTwice(o.ports)) {
    throw UsageError{"ports \"" + o.ports[twice->first] + "\" and \"" + o.ports[twice->second] +
                     "\" are one device: give each logger's port once"};
  }
  const std::optional<images::ImageSource> images = imagesFor(o, io);
  if (!images) return kExitFailure;
  if (!mayWrite(o, startup, *images, io)) {
    io.err << "Update not started.\n";
    return kExitFailure;
  }
  Console console(io.out, io.err, o.json, io.errIsTerminal && !o.json, o.ports.size(), wantsColour(io));
  UpdatePlan plan{o.ports,      runOptionsFor(o, startup), *images,         o.maxRepeats,
                  io.interrupt, io.sleeper,                io.repeatPause, io.workers, recordersFor(o, io, "cli"), {}};
  plan.explain = systemExplanation;
  plan.warnBefore = [](const std::string& port) { return diagnostics::sharedPortWarning(port); };
  plan.clock = io.clock;
  if (!o.traceFile.empty()) {
    for (const std::string& file : traceFilesFor(o.traceFile, o.ports)) {
      try {
        plan.traces.push_back(std::make_shared<link::FileTrace>(file));
      } catch (const std::exception& e) {
        io.err << "zorvik-updater-cli: cannot write the trace \"" << file << "\": " << e.what() << '\n';
        return kExitFailure;
      }
    }
  }
  const std::vector<int> statuses = runUpdates(plan, console);
  for (const int status : statuses) {
    if (status != 0) return status;
  }
  return 0;
}

// Asks only what the application tells without leaving it.
int identify(const Options& o, CliIo& io) {
  if (o.ports.size() != 1) throw UsageError{"--identify takes one --port"};
  if (o.readInfo) throw UsageError{"--identify and --read-info do not go together: --identify never leaves the application, --read-info needs the bootloader"};
  const std::string& port = o.ports.front();
  const engine::LoggerIdentity id = engine::identifyLogger(port, *io.sleeper, io.interrupt);
  if (id.error != 0) {
    io.out << engine::errorText(id.error, port) << '\n';
    const session::Explanation why = systemExplanation(port, id.failure);
    if (!why.empty()) io.out << why.reason << ": " << why.fix << '\n';
    return exitStatusFor(id.error);
  }
  if (id.inBootloader) {
    io.out << "The logger on " << port << " is in its bootloader (" << images::className(id.deviceClass, 0xFFFF)
           << ", version " << (id.version >> 8) << "." << (id.version & 0xFF) << ").\n"
           << "An earlier update or --read-info left it there; it measures nothing until an update finishes. "
              "Run an update to finish it.\n";
    return 0;
  }
  io.out << "Class " << id.deviceClass << " [" << images::className(id.deviceClass, 0xFFFF) << "]\n"
         << "Application version " << images::versionWordText(id.version) << "\n"
         << "Serial number " << id.serialNumber << "\n"
         << "The image an update would choose depends on the logger's platform, print and bootloader version, which "
            "only its bootloader tells: unknown here (--read-info finds it, and leaves the logger in its "
            "bootloader).\n";
  return 0;
}

int history(const Options& o, CliIo& io) {
  if (!o.ports.empty() || o.station) throw UsageError{"--history lists the update history; it updates nothing"};
  if (o.json && !o.csvFile.empty()) throw UsageError{"--history takes --json or --csv FILE, not both"};
  if (o.noHistory || !o.operatorName.empty()) throw UsageError{"--no-history and --operator belong to updates"};
  std::optional<std::uint32_t> serial;
  if (!o.serial.empty()) serial = static_cast<std::uint32_t>(parseNumber(o.serial, "--serial", 4294967295ULL));
  const HistoryFormat format = o.json ? HistoryFormat::Json : o.csvFile.empty() ? HistoryFormat::Table : HistoryFormat::Csv;
  return listHistory(o.historyDb, format, o.csvFile, serial, io.out, io.err);
}

// One question when the station starts is the confirmation for every
// logger plugged in while it runs.
int station(const Options& o, const engine::StartupOptions& startup, CliIo& io) {
  if (!o.ports.empty()) throw UsageError{"--station finds its ports itself: leave out --port"};
  if (o.readInfo) throw UsageError{"--read-info does not go with --station"};
  if (!o.traceFile.empty()) throw UsageError{"--trace does not go with --station: trace one logger with --port PORT --trace FILE"};
  if (!o.yes && !startup.serviceMode) {
    if (!io.inIsTerminal) {
      throw UsageError{"a station updates every logger plugged in and erases its measurements: confirm on a terminal "
                       "or pass --yes"};
    }
    if (!confirmed(station::startQuestion(), io)) {
      io.err << "Station not started.\n";
      return kExitFailure;
    }
  }
  const std::optional<images::ImageSource> images = imagesFor(o, io);
  if (!images) return kExitFailure;
  StationPlan plan;
  station::StationLinks links = station::stationLinks(o.watchDir);
  plan.watchDir = std::move(links.watchDir);
  plan.links = std::move(links.links);
  plan.options = runOptionsFor(o, startup);
  plan.options.skipCurrent = o.skipCurrent;
  plan.images = *images;
  plan.imagePolicy = station::imagePolicy(o.image);
  plan.cancel = io.interrupt;
  plan.interruptFd = io.interruptFd;
  plan.sleeper = io.sleeper;
  plan.repeatPause = io.repeatPause;
  plan.maxRepeats = o.maxRepeats;
  plan.workers = io.workers;
  plan.recorders = recordersFor(o, io, "station");
  plan.explain = systemExplanation;
  plan.progressLines = io.errIsTerminal && !o.json;
  if (!o.resultsCsv.empty()) {
    std::string error;
    plan.results = station::ResultsCsv::open(o.resultsCsv, error);
    if (!plan.results) {
      io.err << "zorvik-updater-cli: cannot write the results file \"" << o.resultsCsv << "\": " << error << '\n';
      return kExitFailure;
    }
  }
  Console console(io.out, io.err, o.json, false, 0, wantsColour(io));
  return runStation(plan, console);
}

int dispatch(const Options& o, CliIo& io) {
  if (o.help) {
    io.out << kHelp;
    return 0;
  }
  if (o.version) {
    io.out << "zorvik-updater-cli " ZORVIK_VERSION "\n";
    return 0;
  }
  if (o.listImages) return listImages(io.out);
  if (o.listPorts) {
    writePortList(io.out, ports::listLoggerPorts(), ports::listSerialPorts(),
                  [](const std::string& port) { return ports::adapterIdentity(port); });
    return 0;
  }
  if (!o.showHeader.empty()) return showHeader(o.showHeader, io);
  if (o.history) return history(o, io);
  if (o.identify) return identify(o, io);
  if (o.doctor) {
    if (o.ports.size() > 1) throw UsageError{"--doctor takes at most one --port"};
    return diagnostics::runDoctor(o.ports.empty() ? std::string() : o.ports.front(), o.json, io.out);
  }
  if (!o.csvFile.empty() || !o.serial.empty()) throw UsageError{"--csv and --serial belong to --history"};
  if (o.noHistory && (!o.historyDb.empty() || !o.operatorName.empty())) {
    throw UsageError{"--no-history records nothing: leave out --history-db and --operator"};
  }
  const engine::StartupOptions startup = engine::readStartupOptions(engine::readServiceModeSetting(), o.switches);
  checkServiceOptions(o, startup);
  if (o.station) return station(o, startup, io);
  if (!o.watchDir.empty()) throw UsageError{"--watch-dir belongs to --station"};
  if (o.skipCurrent) throw UsageError{"--skip-current belongs to --station"};
  if (!o.resultsCsv.empty()) throw UsageError{"--results-csv belongs to --station"};
  if (o.ports.empty()) throw UsageError{"no port given: use --port PORT (see --list-ports)"};
  return update(o, startup, io);
}

}  // namespace

int runCli(const std::vector<std::string>& arguments, CliIo& io) {
  try {
    return dispatch(parseArguments(arguments), io);
  } catch (const UsageError& e) {
    io.err << "zorvik-updater-cli: " << e.text << '\n';
    return kExitUsage;
  }
}

}  // namespace zorvik::cli
