#include "gsc/golay.h"

#include <array>

namespace pagora {

namespace {

constexpr std::uint32_t Syndrome(std::uint32_t x) {
  std::uint32_t v = x & kGolayMask;
  for (int i = 0; i < 12; ++i) {
    if (v & 1u)
      v ^= kGolayGenerator;
    v >>= 1;
  }
  return v << 12;
}

constexpr int kSyndromes = 1 << 11;
using ErrorTable = std::array<std::uint32_t, kSyndromes>;

// The error pattern of at most three bits behind each syndrome. The code is perfect: the
// 1 + 23 + 253 + 1771 patterns have 2048 different syndromes, one for every syndrome there is.
struct ErrorTableBuild {
  ErrorTable patterns{};
  std::array<bool, kSyndromes> filled{};
  int distinct = 0;

  constexpr void Add(std::uint32_t pattern) {
    std::uint32_t s = Syndrome(pattern) >> 12;
    if (!filled[s])
      ++distinct;
    filled[s] = true;
    patterns[s] = pattern;
  }
};

constexpr ErrorTableBuild BuildErrorTable() {
  ErrorTableBuild build;
  build.Add(0);
  for (int a = 0; a < 23; ++a) {
    build.Add(1u << a);
    for (int b = a + 1; b < 23; ++b) {
      build.Add((1u << a) | (1u << b));
      for (int c = b + 1; c < 23; ++c)
        build.Add((1u << a) | (1u << b) | (1u << c));
    }
  }
  return build;
}

constexpr ErrorTableBuild kErrorBuild = BuildErrorTable();
static_assert(kErrorBuild.distinct == kSyndromes, "every syndrome has exactly one pattern");
constexpr ErrorTable kErrorPatterns = kErrorBuild.patterns;

}  // namespace

std::uint32_t GolaySyndrome(std::uint32_t x) {
  return Syndrome(x);
}

std::uint32_t GolayDecode(std::uint32_t w) {
  w &= kGolayMask;
  return w ^ kErrorPatterns[GolaySyndrome(w) >> 12];
}

}  // namespace pagora
