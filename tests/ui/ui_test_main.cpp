// GoogleTest inside a QApplication. Runs on Qt's offscreen platform unless a
// display platform is asked for, and never reads the developer's own
// settings or writes the developer's own update history or traces: the
// per-user settings, data and state live in a scratch directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  if (!config.isValid()) return 1;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", (config.path() + "/data").toLocal8Bit());
  qputenv("XDG_STATE_HOME", (config.path() + "/state").toLocal8Bit());  // traces, should a window use its default
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
