#include "app/app_context.h"

#include <cerrno>
#include <cstring>

#include "config/settings_file.h"

namespace pagora {

bool AppContext::Save() {
  if (settingsPath.empty())
    return true;
  errno = 0;
  if (SaveSettings(monitor.settings, settingsPath)) {
    lastSaveFailure.clear();
    return true;
  }
  const int error = errno;
  QString reason = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : "cannot be written";
  QString text = QString(
                     "The settings could not be saved to %1:\n%2\n\nThe changes stay in effect "
                     "until Pagora ends.")
                     .arg(QString::fromStdString(settingsPath), reason);
  // A path that stays unwritable is reported once, not at every dialog and again at exit.
  if (text != lastSaveFailure) {
    lastSaveFailure = text;
    ui.message(saveMessageOwner, text, "Pagora Settings", MessageKind::kError);
  }
  return false;
}

}  // namespace pagora
