// The pictures for the documentation: --screenshot-dir DIR with
// --screenshot-port PORT runs one update through the window by itself and
// saves pictures of its stages (idle, running, success, overview) as PNG.
// With --station it waits instead until the station view holds results of
// both kinds and one update under way (the loggers are plugged in and
// pulled out by the caller), saves station.png and closes the station.
#pragma once

#include <QString>
#include <QStringList>

namespace zorvik::ui {
class MainWindow;
class StationWindow;
}

namespace zorvik::tour {

struct TourRequest {
  QString directory;
  QString port;
  bool wanted() const { return !directory.isEmpty(); }
};

// Removes the tour's options (and their values) from the arguments.
TourRequest takeTourArguments(QStringList& arguments);

void startScreenshotTour(ui::MainWindow& window, const TourRequest& request);
void startStationScreenshot(ui::StationWindow& station, const TourRequest& request);

}  // namespace zorvik::tour
