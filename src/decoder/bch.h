// BCH(31,21) with an even-parity bit: the 32-bit codeword shared by FLEX and POCSAG, checked
// and corrected from two tables, plus the bit counts every sync detector uses.
#pragma once

#include <array>
#include <cstdint>

namespace pagora {

struct BchTables {
  std::array<std::uint32_t, 21> syndrome{};  // BchSyndromeTable
  std::array<std::uint32_t, 1024> error{};   // BchErrorTable
  // CodewordBuffer: one codeword in transmission order as '1'/'0' characters; positions 0..20
  // information (0 first and most significant), 21..30 check bits, 31 even parity.
  std::array<char, 32> codeword{};
};

void InitBchTables(BchTables& tables);
// Corrects tables.codeword in place; returns the error score 0..3 (3 = uncorrectable).
int CorrectCodeword(BchTables& tables);

// Bit counts, run for every symbol in the sync and preamble searches, so they are inline.
// Without a popcount instruction in the target's baseline, std::popcount becomes a library
// call; this shift-and-add count is a few instructions and gives the same result.
constexpr int CountBits32(std::uint32_t value) {
  value = value - ((value >> 1) & 0x55555555u);
  value = (value & 0x33333333u) + ((value >> 2) & 0x33333333u);
  value = (value + (value >> 4)) & 0x0F0F0F0Fu;
  return static_cast<int>((value * 0x01010101u) >> 24);
}
constexpr int CountBits16(std::int32_t value) {
  return CountBits32(static_cast<std::uint32_t>(value) & 0xFFFFu);
}
constexpr int CountBits10(std::int32_t value) {
  return CountBits32(static_cast<std::uint32_t>(value) & 0x3FFu);
}

static_assert(CountBits32(0) == 0 && CountBits32(0xFFFFFFFFu) == 32 &&
              CountBits32(0x80000001u) == 2 && CountBits32(0x12345678u) == 13);
static_assert(CountBits16(-1) == 16 && CountBits10(0x7FF) == 10);

}  // namespace pagora
