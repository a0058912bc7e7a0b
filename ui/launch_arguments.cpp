#include "ui/launch_arguments.h"

namespace zorvik::ui {

LaunchRequest takeLaunchArguments(QStringList& arguments) {
  LaunchRequest request;
  for (int i = 1; i < arguments.size();) {
    if (arguments[i] == "--port" && i + 1 < arguments.size()) {
      request.port = arguments[i + 1];
      arguments.remove(i, 2);
    } else if (arguments[i] == "--start") {
      request.start = true;
      arguments.remove(i);
    } else if (arguments[i] == "--station") {
      request.station = true;
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

}  // namespace zorvik::ui
