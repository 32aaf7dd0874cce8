// Error correction throughput: BCH(31,21) codewords (FLEX and POCSAG) and Golay(23,12) words
// (GSC), over a fixed mix of clean and damaged words.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "decoder/bch.h"
#include "gsc/golay.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"

namespace {

// 1024 codewords with 0..3 random bit errors each, as a receiver at moderate signal sees them.
std::vector<std::uint32_t> DamagedWords(int bits, std::uint32_t (*encode)(std::uint32_t),
                                        std::uint32_t informationMask) {
  std::mt19937 random(1234);
  std::vector<std::uint32_t> words;
  for (int i = 0; i < 1024; ++i) {
    std::uint32_t word = encode(random() & informationMask);
    int errors = static_cast<int>(random() % 4);
    for (int e = 0; e < errors; ++e)
      word ^= 1u << (random() % static_cast<unsigned>(bits));
    words.push_back(word);
  }
  return words;
}

std::uint32_t EncodeBch(std::uint32_t information) {
  return pagora::gen::PocsagEncodeCodeword(information);
}

void BM_CorrectCodeword(benchmark::State& state) {
  pagora::BchTables tables;
  pagora::InitBchTables(tables);
  std::vector<std::uint32_t> words = DamagedWords(32, EncodeBch, 0x1FFFFF);
  std::size_t next = 0;
  for (auto _ : state) {
    std::uint32_t word = words[next++ & 1023];
    for (int p = 0; p < 32; ++p)
      tables.codeword[p] = (word >> (31 - p)) & 1 ? '1' : '0';
    benchmark::DoNotOptimize(pagora::CorrectCodeword(tables));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_CorrectCodeword);

void BM_GolayDecode(benchmark::State& state) {
  std::vector<std::uint32_t> words = DamagedWords(23, pagora::gen::GolayEncode, 0xFFF);
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(pagora::GolayDecode(words[next++ & 1023]));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_GolayDecode);

}  // namespace
