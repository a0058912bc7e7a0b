// What the desktop program is asked to do as it starts, beside the window's
// own switches: a port for the port box, pressing "Update", or the station
// view alone. Shared by the shipped program and the screenshot tour, so
// that both take the same words.
#pragma once

#include <QString>
#include <QStringList>

namespace zorvik::ui {

struct LaunchRequest {
  QString port;      // --port PORT: the port box's text at start-up
  bool start = false;  // --start: press "Update" once the window is up
  bool station = false;  // --station: the station view alone
  QString watchDir;  // --watch-dir DIR: the station's folder of port links
};

// Takes these switches out of `arguments` (the program's path first); what
// remains are the window's own switches.
LaunchRequest takeLaunchArguments(QStringList& arguments);

}  // namespace zorvik::ui
