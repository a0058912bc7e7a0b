// A hidden option for the documentation: --screenshot-dir DIR with
// --screenshot-port PORT runs one update through the window by itself and
// saves pictures of its stages (idle, running, success, overview) as PNG.
#pragma once

#include <QString>
#include <QStringList>

namespace zorvik::ui {
class MainWindow;
}

namespace zorvik::desktop {

struct TourRequest {
  QString directory;
  QString port;
  bool wanted() const { return !directory.isEmpty(); }
};

// Removes the tour's options (and their values) from the arguments.
TourRequest takeTourArguments(QStringList& arguments);

void startScreenshotTour(ui::MainWindow& window, const TourRequest& request);

}  // namespace zorvik::desktop
