// The desktop updater: the main window reads its options, and the secondary
// windows are created with it.
//
// Besides the window's own switches it takes --port PORT (the port box text
// at start-up, for a port the system does not list, such as the simulated
// logger's) and --start (press "Update" once the window is up; the usual
// confirmation still applies).
#include <QApplication>
#include <QComboBox>
#include <cstdio>
#include <cstring>
#include <QPushButton>
#include <QTimer>

#include "main_window.h"
#include "screenshot_tour.h"

namespace {

constexpr const char* kHelp = R"(Usage: zorvik-updater [--port PORT] [--start] [switches]

The desktop updater for Zorvik data loggers: pick the logger's port, press
"Update", confirm, and follow the progress until the final message.

  --port PORT   put PORT into the port box (for a port the list does not offer)
  --start       press "Update" once the window is up (the question still comes)
  --help        show this text

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

struct LaunchRequest {
  QString port;
  bool start = false;
};

LaunchRequest takeLaunchArguments(QStringList& arguments) {
  LaunchRequest request;
  for (int i = 1; i < arguments.size();) {
    if (arguments[i] == "--port" && i + 1 < arguments.size()) {
      request.port = arguments[i + 1];
      arguments.remove(i, 2);
    } else if (arguments[i] == "--start") {
      request.start = true;
      arguments.remove(i);
    } else {
      ++i;
    }
  }
  return request;
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
  const zorvik::desktop::TourRequest tour = zorvik::desktop::takeTourArguments(arguments);
  const LaunchRequest launch = takeLaunchArguments(arguments);

  zorvik::ui::MainWindow window(arguments);
  if (!launch.port.isEmpty()) window.findChild<QComboBox*>("cbxPort")->setEditText(launch.port);
  window.show();
  if (launch.start) {
    QTimer::singleShot(0, &window, [&window] { window.findChild<QPushButton*>("btnProg")->click(); });
  }
  if (tour.wanted()) zorvik::desktop::startScreenshotTour(window, tour);
  return app.exec();
}
