#include "gsc/golay.h"

namespace pagora {

std::uint32_t GolaySyndrome(std::uint32_t x) {
  std::uint32_t v = x & kGolayMask;
  for (int i = 0; i < 12; ++i) {
    if (v & 1u)
      v ^= kGolayGenerator;
    v >>= 1;
  }
  return v << 12;
}

int SyndromeWeight(std::uint32_t s) {
  static constexpr int kNibbleWeight[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
  int weight = 0;
  for (int nibble = 0; nibble < 6 && s != 0; ++nibble) {
    weight += kNibbleWeight[s & 0xFu];
    s >>= 4;
  }
  return weight;
}

std::uint32_t RotateLeft23(std::uint32_t word, int count) {
  word &= kGolayMask;
  if (count < 1)
    return word;
  count %= 23;
  if (count == 0)
    return word;
  return ((word << count) | (word >> (23 - count))) & kGolayMask;
}

std::uint32_t RotateRight23(std::uint32_t word, int count) {
  word &= kGolayMask;
  if (count < 1)
    return word;
  count %= 23;
  if (count == 0)
    return word;
  return ((word >> count) | (word << (23 - count))) & kGolayMask;
}

std::uint32_t GolayDecode(std::uint32_t w) {
  w &= kGolayMask;
  int threshold = 3;
  std::uint32_t candidate = w;
  // Trial -1 traps every pattern that fits into eleven cyclic positions. Each later trial
  // inverts one bit; when that bit was wrong, the two errors left always fit, and a trial that
  // inverts a correct bit leaves four errors, which threshold 2 can never trap.
  for (int trial = -1; trial < 23; ++trial) {
    if (trial >= 0) {
      candidate = w ^ (1u << trial);
      threshold = 2;
    }
    std::uint32_t s = GolaySyndrome(candidate);
    if (s == 0)
      return candidate;
    for (int i = 0; i < 23; ++i) {
      if (SyndromeWeight(s) <= threshold)
        return RotateRight23(candidate ^ s, i);
      candidate = RotateLeft23(candidate, 1);
      s = GolaySyndrome(candidate);
    }
  }
  return w;  // not reached: every word lies within three bits of a codeword
}

}  // namespace pagora
