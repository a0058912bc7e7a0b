// The desktop updater. The worker class is fixed by the engine
// (CommThreadClass starts as the Zorvik update procedure); the main window
// reads its options, and the secondary windows are created with it.
#include <QApplication>

#include "main_window.h"
#include "screenshot_tour.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Harventa");
  QApplication::setApplicationName("Qorn");

  QStringList arguments = QCoreApplication::arguments();
  const zorvik::desktop::TourRequest tour = zorvik::desktop::takeTourArguments(arguments);

  zorvik::ui::TfrmMain window(arguments);
  window.show();
  if (tour.wanted()) zorvik::desktop::startScreenshotTour(window, tour);
  return app.exec();
}
