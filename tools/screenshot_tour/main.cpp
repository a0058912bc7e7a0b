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
#include "ui/main_window.h"
#include "ui/station_window.h"

namespace {

// The station's options; what remains are the window's own switches.
struct StationRequest {
  bool wanted = false;
  QString watchDir;
};

StationRequest takeStationArguments(QStringList& arguments) {
  StationRequest request;
  for (int i = 1; i < arguments.size();) {
    if (arguments[i] == "--station") {
      request.wanted = true;
      arguments.remove(i);
    } else if (arguments[i] == "--watch-dir" && i + 1 < arguments.size()) {
      request.watchDir = arguments[i + 1];
      arguments.remove(i, 2);
    } else {
      ++i;
    }
  }
  return request;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The updater's settings (service mode), as the shipped program reads them.
  QApplication::setOrganizationName("Harventa");
  QApplication::setApplicationName("Qorn");

  QStringList arguments = QCoreApplication::arguments();
  const zorvik::tour::TourRequest tour = zorvik::tour::takeTourArguments(arguments);
  const StationRequest station = takeStationArguments(arguments);
  if (!tour.wanted()) {
    std::fputs("zorvik-screenshot-tour: --screenshot-dir DIR is needed\n", stderr);
    return 2;
  }

  zorvik::ui::MainWindowEnvironment environment;
  environment.stationWatchDir = QFile::encodeName(station.watchDir).toStdString();
  zorvik::ui::MainWindow window(arguments, environment);
  if (station.wanted) {
    zorvik::ui::StationWindow* view = window.openStation();
    QObject::connect(view, &QObject::destroyed, &app, &QCoreApplication::quit);
    zorvik::tour::startStationScreenshot(*view, tour);
    return app.exec();
  }
  window.show();
  zorvik::tour::startScreenshotTour(window, tour);
  return app.exec();
}
