#include "engine/host.h"

#include <ctime>

namespace pagora {

std::string FormatSystemTime(const SystemTime& local, const char* format) {
  std::tm parts{};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_wday = local.dayOfWeek;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;
  char text[64];
  std::size_t n = std::strftime(text, sizeof text, format, &parts);
  return std::string(text, n < 39 ? n : 39);
}

}  // namespace pagora
