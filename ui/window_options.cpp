#include "window_options.h"

#include <QSettings>

namespace zorvik::ui {

bool ReadInternalModeSetting() {
  const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Harventa", "Qorn");
  const QVariant value = settings.value("intern");
#ifdef Q_OS_WIN
  // The registry value must be a 32-bit integer; a text that merely reads as
  // the code does not count.
  if (value.typeId() != QMetaType::Int && value.typeId() != QMetaType::UInt) return false;
#endif
  bool isNumber = false;
  const int code = value.toInt(&isNumber);
  return isNumber && code == kInternalAccessCode;
}

std::vector<std::string> SwitchArguments(const QStringList& arguments) {
  std::vector<std::string> result;
  for (qsizetype i = 1; i < arguments.size(); ++i) result.push_back(arguments[i].toLocal8Bit().toStdString());
  return result;
}

StartupOptions ReadWindowOptions(const QStringList& arguments) {
  return applyStartupOptions(ReadInternalModeSetting(), SwitchArguments(arguments));
}

}  // namespace zorvik::ui
