#include "app/app_context.h"

#include "config/settings_file.h"

namespace pagora {

void AppContext::Save() const {
  if (!settingsPath.empty())
    SaveSettings(monitor.settings, settingsPath);
}

}  // namespace pagora
