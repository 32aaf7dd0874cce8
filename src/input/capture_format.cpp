#include "input/capture_format.h"

#include <charconv>
#include <cstdio>

namespace pagora {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  return s;
}

}  // namespace

CaptureLine ParseCaptureLine(std::string_view line, CaptureEntry& entry) {
  std::string_view rest = TrimLeft(line);
  if (rest.empty() || rest.front() == '#')
    return CaptureLine::kComment;

  unsigned duration = 0;
  auto [afterDuration, durationError] =
      std::from_chars(rest.data(), rest.data() + rest.size(), duration, 10);
  if (durationError != std::errc() || duration > 0xFFFF)
    return CaptureLine::kGarbage;
  rest.remove_prefix(static_cast<std::size_t>(afterDuration - rest.data()));
  if (rest.empty() || !IsBlank(rest.front()))
    return CaptureLine::kGarbage;
  rest = TrimLeft(rest);
  if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    rest.remove_prefix(2);
  }

  unsigned status = 0;
  auto [afterStatus, statusError] =
      std::from_chars(rest.data(), rest.data() + rest.size(), status, 16);
  if (statusError != std::errc() || status > 0xFF)
    return CaptureLine::kGarbage;
  rest.remove_prefix(static_cast<std::size_t>(afterStatus - rest.data()));
  if (!TrimLeft(rest).empty())
    return CaptureLine::kGarbage;

  entry.duration = static_cast<std::uint16_t>(duration);
  entry.status = static_cast<std::uint8_t>(status);
  return CaptureLine::kEntry;
}

std::string FormatCaptureLine(std::uint16_t duration, std::uint8_t status) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%u %02x\n", static_cast<unsigned>(duration),
                        static_cast<unsigned>(status));
  return std::string(text, static_cast<std::size_t>(n));
}

}  // namespace pagora
