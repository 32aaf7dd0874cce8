// The settings file: an INI file with the main section "Pagora" and the section "Filter".
#pragma once

#include <string>

#include "config/settings.h"

namespace pagora {

// $XDG_CONFIG_HOME/pagora/Pagora.INI, or ~/.config/pagora/Pagora.INI.
std::string DefaultSettingsPath();
// Overlays `settings` with what the file holds; a missing file or key keeps the current value.
// Returns false when the file could not be read (the settings are then unchanged).
bool LoadSettings(AppSettings& settings, const std::string& path);
// Writes the whole record, replacing the file atomically; creates the directory when needed.
// Returns false (and leaves any old file intact) when the file could not be written.
bool SaveSettings(const AppSettings& settings, const std::string& path);

}  // namespace pagora
