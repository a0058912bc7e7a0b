#include "ui/window_options.h"

#include "engine/service_mode_setting.h"

namespace zorvik::ui {

std::vector<std::string> switchArguments(const QStringList& arguments) {
  std::vector<std::string> result;
  for (qsizetype i = 1; i < arguments.size(); ++i) result.push_back(arguments[i].toLocal8Bit().toStdString());
  return result;
}

engine::StartupOptions readWindowOptions(const QStringList& arguments) {
  return engine::readStartupOptions(engine::readServiceModeSetting(), switchArguments(arguments));
}

}  // namespace zorvik::ui
