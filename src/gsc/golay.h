// Golay(23,12): every GSC word (preamble, start code, both address words) is a codeword of
// the perfect binary Golay code. Bit 0 of a word is the first bit sent; bits 0..11 carry the
// information and bits 12..22 the check bits. The generator polynomial 0xC75
// (x^11 + x^10 + x^6 + x^5 + x^4 + x^2 + 1) is applied with bit 0 as the highest power.
//
// The code corrects any three wrong bits, and it is perfect: every one of the 2048 syndromes
// belongs to exactly one pattern of at most three errors, so GolayDecode looks the pattern up
// by the syndrome.
#pragma once

#include <cstdint>

namespace pagora {

constexpr std::uint32_t kGolayMask = 0x7FFFFF;  // 23 bits
constexpr std::uint32_t kGolayGenerator = 0xC75;

// The 11-bit remainder of x (masked to 23 bits), aligned with the check bits 12..22.
// 0 means x is a codeword.
std::uint32_t GolaySyndrome(std::uint32_t x);
// The codeword nearest to w (the only one within three bits).
std::uint32_t GolayDecode(std::uint32_t w);

}  // namespace pagora
