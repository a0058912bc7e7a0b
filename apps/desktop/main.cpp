// The desktop updater: the main window reads its options, and the secondary
// windows are created with it.
//
// Besides the window's own switches it takes --port PORT (the port box text
// at start-up, for a port the system does not list, such as the simulated
// logger's) and --start (press "Update" once the window is up; the usual
// confirmation still applies), and --station [--watch-dir DIR]: the station
// view alone, which updates every logger plugged in after one question.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <QPushButton>
#include <QTimer>

#include "session/widget_roles.h"
#include "ui/launch_arguments.h"
#include "ui/main_window.h"
#include "ui/station_window.h"

namespace {

namespace roles = zorvik::session::roles;

constexpr const char* kHelp = R"(Usage: zorvik-updater [--port PORT] [--start] [switches]
       zorvik-updater --station [--watch-dir DIR] [switches]

The desktop updater for Zorvik data loggers: pick the logger's port, press
"Update", confirm, and follow the progress until the final message.

  --port PORT      put PORT into the port box (for a port the list does not offer)
  --start          press "Update" once the window is up (the question still comes)
  --station        open the production station instead ("Info" -> "Station"):
                   after one question, every logger plugged in is updated, one
                   tile per port with its result; closing it stops every update
  --watch-dir DIR  the station's directory of port links (default
                   /dev/serial/by-id, FTDI adapters only; with DIR any link)
  --help           show this text

Switches (service mode only, see README): cc:- cf:- cp:- relax the matching
checks, f:+ adds the "File" button; mf:+ works in every mode.
The command-line updater is zorvik-updater-cli.
)";

bool wantsHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window system is needed, so it works on a console.
  if (wantsHelp(argc, argv)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Harventa");
  QApplication::setApplicationName("Qorn");

  QStringList arguments = QCoreApplication::arguments();
  const zorvik::ui::LaunchRequest launch = zorvik::ui::takeLaunchArguments(arguments);
  if (!launch.watchDir.isEmpty() && !launch.station) {
    std::fputs("zorvik-updater: --watch-dir belongs to --station\n", stderr);
    return 2;
  }

  zorvik::ui::MainWindowEnvironment environment;
  environment.stationWatchDir = QFile::encodeName(launch.watchDir).toStdString();
  zorvik::ui::MainWindow window(arguments, environment);
  if (launch.station) {
    // The station alone: the program ends when its window is closed.
    zorvik::ui::StationWindow* station = window.openStation();
    QObject::connect(station, &QObject::destroyed, &app, &QCoreApplication::quit);
    return app.exec();
  }
  if (!launch.port.isEmpty()) window.findChild<QComboBox*>(roles::kPortBox)->setEditText(launch.port);
  window.show();
  if (launch.start) {
    QTimer::singleShot(0, &window, [&window] { window.findChild<QPushButton*>(roles::kUpdateButton)->click(); });
  }
  return app.exec();
}
