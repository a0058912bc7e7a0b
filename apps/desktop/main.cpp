// The desktop updater. The worker class is fixed by the engine
// (CommThreadClass starts as the Zorvik update procedure); the main window
// reads its options, and the secondary windows are created with it.
//
// Besides the window's own switches it takes --port PORT (the port box text
// at start-up, for a port the system does not list, such as the simulated
// logger's) and --start (press "Update" once the window is up; the usual
// confirmation still applies).
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "main_window.h"
#include "screenshot_tour.h"

namespace {

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
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Harventa");
  QApplication::setApplicationName("Qorn");

  QStringList arguments = QCoreApplication::arguments();
  const zorvik::desktop::TourRequest tour = zorvik::desktop::takeTourArguments(arguments);
  const LaunchRequest launch = takeLaunchArguments(arguments);

  zorvik::ui::TfrmMain window(arguments);
  if (!launch.port.isEmpty()) window.findChild<QComboBox*>("cbxPort")->setEditText(launch.port);
  window.show();
  if (launch.start) {
    QTimer::singleShot(0, &window, [&window] { window.findChild<QPushButton*>("btnProg")->click(); });
  }
  if (tour.wanted()) zorvik::desktop::startScreenshotTour(window, tour);
  return app.exec();
}
