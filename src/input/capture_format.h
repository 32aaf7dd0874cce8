// Capture files: ring entries as text, one "duration status" pair a line (decimal duration in
// interval-timer ticks, 0..65535; hexadecimal status byte). Lines that are empty or start with
// '#' are comments. Any source can be recorded to one and a capture replays as a source, so a
// reception can be reproduced exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pagora {

struct CaptureEntry {
  std::uint16_t duration = 0;
  std::uint8_t status = 0;
};

enum class CaptureLine { kEntry, kComment, kGarbage };

// Reads one line (without its line end). `entry` is set for kEntry only.
CaptureLine ParseCaptureLine(std::string_view line, CaptureEntry& entry);
// "745 b0\n"
std::string FormatCaptureLine(std::uint16_t duration, std::uint8_t status);

constexpr const char* kCaptureHeader =
    "# pagora capture: duration (ticks of 0.8388 us) status (hex)\n";

}  // namespace pagora
