// Pictures of the desktop window for the README (scripts/screenshots.sh):
// the window runs one update by itself and saves its stages, or the station
// view waits for its results and saves them. A program of its own, so that
// the shipped updater holds nothing of it.
//
//   zorvik-screenshot-tour --screenshot-dir DIR --screenshot-port PORT [switches]
//   zorvik-screenshot-tour --station --watch-dir LINKS --screenshot-dir DIR [switches]
#include <QApplication>
#include <QFile>
#include <cstdio>

#include "tools/screenshot_tour/screenshot_tour.h"
#include "ui/launch_arguments.h"
#include "ui/main_window.h"
#include "ui/station_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The updater's settings (service mode), as the shipped program reads them.
  QApplication::setOrganizationName("Harventa");
  QApplication::setApplicationName("Qorn");

  QStringList arguments = QCoreApplication::arguments();
  const zorvik::tour::TourRequest tour = zorvik::tour::takeTourArguments(arguments);
  const zorvik::ui::LaunchRequest launch = zorvik::ui::takeLaunchArguments(arguments);
  if (!tour.wanted()) {
    std::fputs("zorvik-screenshot-tour: --screenshot-dir DIR is needed\n", stderr);
    return 2;
  }

  zorvik::ui::MainWindowEnvironment environment;
  environment.stationWatchDir = QFile::encodeName(launch.watchDir).toStdString();
  zorvik::ui::MainWindow window(arguments, environment);
  if (launch.station) {
    zorvik::ui::StationWindow* view = window.openStation();
    QObject::connect(view, &QObject::destroyed, &app, &QCoreApplication::quit);
    zorvik::tour::startStationScreenshot(*view, tour);
    return app.exec();
  }
  window.show();
  zorvik::tour::startScreenshotTour(window, tour);
  return app.exec();
}
