// The start-up options as the window reads them: internal mode from the
// per-user settings, switches from the program arguments.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

#include "startup_options.h"

namespace zorvik::ui {

// True when the per-user value "intern" (organisation "Harventa", application
// "Qorn": the registry on Windows, ~/.config/Harventa/Qorn.conf elsewhere)
// holds the access code. Missing or anything else: false.
bool ReadInternalModeSetting();

// The program arguments without the program's own path, as 8-bit text.
std::vector<std::string> SwitchArguments(const QStringList& arguments);

// Reads both and sets the engine's check options.
StartupOptions ReadWindowOptions(const QStringList& arguments);

}  // namespace zorvik::ui
