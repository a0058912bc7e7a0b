// Private to its library.
// The start-up options as the window reads them: service mode from the
// per-user setting, switches from the program arguments.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

#include "engine/startup_options.h"

namespace zorvik::ui {

// The program arguments without the program's own path, as 8-bit text.
std::vector<std::string> switchArguments(const QStringList& arguments);

// Reads both.
engine::StartupOptions readWindowOptions(const QStringList& arguments);

}  // namespace zorvik::ui
