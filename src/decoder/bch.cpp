// BCH(31,21) plus even parity, as FLEX and POCSAG send it. A codeword is 21 information bits
// (first received = most significant), 10 check bits from the generator
// g(x) = x^10 + x^9 + x^8 + x^6 + x^5 + x^3 + 1 and one even-parity bit over the other 31.
//
// Correction is one syndrome and one table lookup: the syndrome of every pattern of one or two
// errors among the 31 code bits is precomputed, and the entry says which information bits to
// invert (check bits are never rewritten; only the information bits are read back). The parity
// bit then adds one to the score when it disagrees with the corrected word. Scores of 3 mean
// "do not trust this word".
#include "decoder/bch.h"

namespace pagora {

namespace {

constexpr std::uint32_t kNoPosition = 31;
constexpr std::uint32_t kClassShift = 12;

// Entry layout: bits 0..4 position b, bits 5..9 position a (31 = none), bits 12.. count class.
constexpr std::uint32_t ErrorEntry(std::uint32_t countClass, std::uint32_t a, std::uint32_t b) {
  return (countClass << kClassShift) | (a << 5) | b;
}

}  // namespace

void InitBchTables(BchTables& tables) {
  // Remainders of x^30 .. x^10 modulo g(x), walked downwards: a division by x in GF(2)[x]/g.
  std::uint32_t v = 0x3B4;
  for (std::size_t i = 0; i < tables.syndrome.size(); ++i) {
    tables.syndrome[i] = v;
    if (v & 1)
      v ^= 0x768;
    v >>= 1;
  }

  auto& s = tables.syndrome;
  auto& e = tables.error;
  e.fill(0);
  // Later steps overwrite earlier ones, but the syndromes of different error patterns never
  // coincide (minimum distance 5); only entry 0, written when i == j, is shared and it is never
  // looked up. Each pair is written twice and the second write (larger b) stands.
  for (std::uint32_t i = 0; i < 21; ++i) {
    for (std::uint32_t j = 0; j < 21; ++j)
      e[s[i] ^ s[j]] = ErrorEntry(2, j, i);
  }
  for (std::uint32_t i = 0; i < 21; ++i)
    e[s[i]] = ErrorEntry(1, kNoPosition, i);
  for (std::uint32_t i = 0; i < 21; ++i) {
    for (std::uint32_t k = 0; k < 10; ++k)
      e[s[i] ^ (1u << k)] = ErrorEntry(2, kNoPosition, i);
  }
  for (std::uint32_t k = 0; k < 10; ++k)
    e[1u << k] = ErrorEntry(1, kNoPosition, kNoPosition);
  for (std::uint32_t k = 0; k < 10; ++k) {
    for (std::uint32_t j = 0; j < 10; ++j) {
      if (k != j)
        e[(1u << k) ^ (1u << j)] = ErrorEntry(2, kNoPosition, kNoPosition);
    }
  }
}

int CorrectCodeword(BchTables& tables) {
  auto& word = tables.codeword;
  std::uint32_t expected = 0;  // check bits the received information bits call for
  int parity = 0;
  for (std::size_t i = 0; i < 21; ++i) {
    if (word[i] == '1') {
      expected ^= tables.syndrome[i];
      parity ^= 1;
    }
  }
  std::uint32_t received = 0;
  for (std::size_t i = 21; i < 31; ++i)
    received = (received << 1) | (word[i] == '1' ? 1u : 0u);

  int score = 0;
  std::uint32_t syndrome = expected ^ received;
  if (syndrome != 0) {
    std::uint32_t entry = tables.error[syndrome];
    if (entry == 0)
      return 3;
    for (std::uint32_t position : {(entry >> 5) & 31u, entry & 31u}) {
      if (position == kNoPosition)
        continue;
      word[position] = word[position] == '1' ? '0' : '1';
      expected ^= tables.syndrome[position];
    }
    score = static_cast<int>(entry >> kClassShift);
    // Toggled for every class-1 entry, also for a lone check-bit error: the scores this gives
    // are the ones the decoders' thresholds are tuned to.
    if (score == 1)
      parity ^= 1;
  }

  int wanted = (CountBits10(static_cast<std::int32_t>(expected)) + parity) & 1;
  if (word[31] != static_cast<char>('0' + wanted))
    ++score;
  return score > 3 ? 3 : score;
}

}  // namespace pagora
