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

int CountBits16(std::int32_t value);
int CountBits32(std::uint32_t value);
int CountBits10(std::int32_t value);

}  // namespace pagora
