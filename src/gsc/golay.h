// Golay(23,12): every GSC word (preamble, start code, both address words) is a codeword of
// the perfect binary Golay code. Bit 0 of a word is the first bit sent; bits 0..11 carry the
// information and bits 12..22 the check bits. The generator polynomial 0xC75
// (x^11 + x^10 + x^6 + x^5 + x^4 + x^2 + 1) is applied with bit 0 as the highest power.
//
// The code is cyclic and corrects any three wrong bits. GolayDecode traps the errors: a
// pattern of at most three errors that fits into eleven consecutive (cyclic) positions shows up
// as a syndrome of weight three or less once the word is rotated so that those positions are
// the check bits. Patterns spread wider are caught by inverting one trial bit first.
#pragma once

#include <cstdint>

namespace pagora {

constexpr std::uint32_t kGolayMask = 0x7FFFFF;  // 23 bits
constexpr std::uint32_t kGolayGenerator = 0xC75;

// The 11-bit remainder of x (masked to 23 bits), aligned with the check bits 12..22.
// 0 means x is a codeword.
std::uint32_t GolaySyndrome(std::uint32_t x);
// Number of set bits of a syndrome (bits 0..23).
int SyndromeWeight(std::uint32_t s);
// Cyclic rotations of a 23-bit word. Left by one moves bit 22 to bit 0, right by one moves
// bit 0 to bit 22. A count below 1 returns the word masked to 23 bits.
std::uint32_t RotateLeft23(std::uint32_t word, int count);
std::uint32_t RotateRight23(std::uint32_t word, int count);
// The codeword nearest to w (the only one within three bits).
std::uint32_t GolayDecode(std::uint32_t w);

}  // namespace pagora
