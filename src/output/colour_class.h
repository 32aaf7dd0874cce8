// The colour class stored beside every character shown: what the character is (capcode, FLEX
// phase or format, time stamp, numeric or alphanumeric text, binary, diagnostic, bit errors,
// filter match or label). Class n is painted with colour slot n - 1 of the settings.
#pragma once

#include <cstdint>

namespace pagora {

enum ColourClass : std::uint8_t {
  kClassNone = 0,
  kClassBackground = 1,
  kClassCapcode = 2,
  kClassFlexPhase = 3,
  kClassFlexFormat = 4,
  kClassTimestamp = 5,
  kClassNumeric = 6,
  kClassAlphanumeric = 7,
  kClassFlexBinary = 8,
  kClassDiagnostic = 9,
  kClassBitErrors = 10,
  kClassFilterMatch = 11,
  kClassFilterLabel = 12,
};

}  // namespace pagora
