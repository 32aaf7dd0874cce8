#include "config/settings_file.h"

namespace pagora {

// Placeholders until the INI reader and writer are written.
std::string DefaultSettingsPath() { return "Pagora.INI"; }
bool LoadSettings(AppSettings&, const std::string&) { return false; }
bool SaveSettings(const AppSettings&, const std::string&) { return false; }

}  // namespace pagora
