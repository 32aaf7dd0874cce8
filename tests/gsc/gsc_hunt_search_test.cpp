// The hunt's two searches take shortcuts (slice tables for the preamble, uncorrected words for
// the start code); these cases hold them to the plain rules: every pattern's distance compared
// in turn, and both words corrected before they are compared with the start code.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "decoder_bench.h"
#include "gsc/golay.h"
#include "gsc/gsc_decoder.h"
#include "gsc/gsc_tables.h"
#include "gsc_encoder.h"

namespace pagora::testing {
namespace {

constexpr std::uint64_t kWindowMask = (std::uint64_t{1} << 46) - 1;

// The 128 samples of the register: bit a of `newest` is the sample of age a, bit a of `older`
// the sample of age 64 + a.
struct Register {
  std::uint64_t newest;
  std::uint64_t older;
};

std::uint64_t Pattern(int k) {
  const GscPreamblePattern& p = kGscPreambleTable[static_cast<std::size_t>(k)];
  return (std::uint64_t{p.field1} << 32) | (std::uint64_t{p.field2} << 16) | p.field3;
}

// The decoder on its own: only its state and the narrow context take part.
class HuntSearch : public ::testing::Test {
 protected:
  // Loads the register one sample behind `r` and feeds the newest sample, so the decoder sees
  // exactly `r` on one call.
  void Present(const Register& r, int preambleHits) {
    gsc = GscDecoder{};
    gsc.preambleHits = preambleHits;
    std::uint64_t newest = (r.newest >> 1) | (r.older << 63);
    std::uint64_t older = r.older >> 1;
    for (int w = 0; w < 4; ++w) {
      gsc.sampleRegister[static_cast<std::size_t>(7 - w)] =
          static_cast<std::uint16_t>(newest >> (16 * w));
      gsc.sampleRegister[static_cast<std::size_t>(3 - w)] =
          static_cast<std::uint16_t>(older >> (16 * w));
    }
    GscReceiveBit(GscRun{gsc, bench.context}, static_cast<int>(r.newest & 1u));
    for (int age : {0, 1, 45, 46, 63, 64, 92, 127}) {
      std::uint64_t half = age < 64 ? r.newest : r.older;
      ASSERT_EQ(GscSampleAt(gsc, age), static_cast<int>((half >> (age % 64)) & 1u)) << age;
    }
  }

  DecoderBench bench;
  GscDecoder gsc;
  std::mt19937_64 random{2026};
};

// First pattern in table order within three samples, or (tried right after it) its complement
// within one.
struct PreambleHit {
  int index;
  bool inverted;
};
PreambleHit ReferencePreamble(std::uint64_t newest) {
  for (int k = 0; k < 10; ++k) {
    int distance = std::popcount((newest ^ Pattern(k)) & kWindowMask);
    if (distance <= 3)
      return {k, false};
    if (distance >= 45)
      return {k, true};
  }
  return {-1, false};
}

TEST_F(HuntSearch, PreambleSearchFollowsThePlainDistanceRule) {
  std::vector<std::uint64_t> windows;
  for (int n = 0; n < 20000; ++n)
    windows.push_back(random());
  // Each pattern and each complement around the limits, with samples beyond the window set
  // at random: they must not count.
  auto flipped = [&](std::uint64_t window, int flips) {
    for (int i = 0; i < flips; ++i)
      window ^= std::uint64_t{1} << (random() % 46);
    return (window & kWindowMask) | (random() & ~kWindowMask);
  };
  for (int k = 0; k < 10; ++k) {
    for (int trial = 0; trial < 40; ++trial) {
      for (int flips = 0; flips <= 4; ++flips)
        windows.push_back(flipped(Pattern(k), flips));
      for (int flips = 0; flips <= 2; ++flips)
        windows.push_back(flipped(~Pattern(k), flips));
    }
  }

  int normalHits = 0;
  int invertedHits = 0;
  for (std::uint64_t window : windows) {
    Present({window, random()}, 0);
    PreambleHit want = ReferencePreamble(window);
    if (want.index < 0) {
      ASSERT_EQ(gsc.preambleHits, 0) << std::hex << window;
      continue;
    }
    (want.inverted ? invertedHits : normalHits) += 1;
    ASSERT_EQ(gsc.preambleHits, 1) << std::hex << window;
    ASSERT_EQ(gsc.preambleIndex, want.index) << std::hex << window;
    ASSERT_EQ(gsc.preambleInverted, want.inverted ? 1 : 0) << std::hex << window;
    ASSERT_EQ(gsc.blocksLeft, want.inverted ? 16 : 1) << std::hex << window;
  }
  // Both outcomes on both sides of the limits were exercised.
  EXPECT_GT(normalHits, 10 * 40 * 3);
  EXPECT_GT(invertedHits, 10 * 40 * 1);
  EXPECT_LT(normalHits + invertedHits, static_cast<int>(windows.size()) - 20000);
}

// The two words of a block ending with the newest sample, read pair by pair (a pair's value
// is its younger sample), and the pairs whose samples disagree.
struct ReferenceWords {
  std::uint32_t word1 = 0;
  std::uint32_t word2 = 0;
  int mismatches = 0;
};
ReferenceWords ReadWords(const Register& r) {
  auto at = [&](int age) {
    return static_cast<int>(((age < 64 ? r.newest : r.older) >> (age % 64)) & 1u);
  };
  ReferenceWords words;
  for (int bit = 0; bit < 23; ++bit) {
    for (int word = 0; word < 2; ++word) {
      int older = (word == 0 ? 92 : 45) - 2 * bit;
      (word == 0 ? words.word1 : words.word2) |= static_cast<std::uint32_t>(at(older - 1)) << bit;
      words.mismatches += at(older) != at(older - 1);
    }
  }
  return words;
}

TEST_F(HuntSearch, StartCodeSearchFollowsTheCorrectedWords) {
  gen::GscTransmission t;
  t.pages.push_back({123456, 1, gen::GscMessageType::kNumeric, "1", 0, 0});
  gen::GscSignal signal = gen::EncodeGsc(t);
  const gen::GscBlockSpan& start = signal.blocks.front();
  ASSERT_EQ(start.kind, gen::GscBlockKind::kStartCode);
  int end = start.offset + gen::kGscBlockLength;  // one past the start code's last sample

  auto sample = [](Register& r, int age) -> std::uint64_t& {
    return age < 64 ? r.newest : r.older;
  };
  auto flip = [&](Register& r, int index) {
    int age = end - 1 - index;
    if (age < 0 || age >= 128)
      return;  // shifted out of the register
    sample(r, age) ^= std::uint64_t{1} << (age % 64);
  };

  int acquired = 0;
  int refused = 0;
  for (int shift = -2; shift <= 2; ++shift) {
    // A pair's first sample is the older one; the word is read from the younger.
    for (int errors1 = 0; errors1 <= 4; ++errors1) {
      for (int errors2 = 0; errors2 <= 4; ++errors2) {
        for (int mismatches = 0; mismatches <= 4; ++mismatches) {
          Register r{0, 0};
          for (int age = 0; age < 128; ++age) {
            int index = end - 1 - age + shift;
            if (index >= 0 && signal.samples[static_cast<std::size_t>(index)] != 0)
              sample(r, age) |= std::uint64_t{1} << (age % 64);
          }
          for (int i = 0; i < errors1; ++i) {
            int pair = gen::GscWordSample(start, 1, static_cast<int>(random() % 23)) - shift;
            flip(r, pair);
            flip(r, pair + 1);
          }
          for (int i = 0; i < errors2; ++i) {
            int pair = gen::GscWordSample(start, 2, static_cast<int>(random() % 23)) - shift;
            flip(r, pair);
            flip(r, pair + 1);
          }
          for (int i = 0; i < mismatches; ++i) {
            int word = 1 + static_cast<int>(random() % 2);
            flip(r, gen::GscWordSample(start, word, static_cast<int>(random() % 23)) - shift);
          }

          Present(r, kGscPreambleHitsNeeded);
          ReferenceWords words = ReadWords(r);
          GscDecoder extracted = gsc;
          ExtractWordPair(extracted);
          ASSERT_EQ(extracted.word1, words.word1);
          ASSERT_EQ(extracted.word2, words.word2);
          ASSERT_EQ(extracted.mismatchCount, words.mismatches);
          bool want =
              std::popcount(GolayDecode(words.word1) ^ kGscStartCode) <= 1 &&
              std::popcount(GolayDecode(words.word2) ^ (~kGscStartCode & kGolayMask)) <= 1 &&
              words.mismatches <= 3;
          ASSERT_EQ(gsc.active, want ? 1 : 0)
              << shift << " " << errors1 << " " << errors2 << " " << mismatches;
          (want ? acquired : refused) += 1;
        }
      }
    }
  }
  EXPECT_GT(acquired, 20);
  EXPECT_GT(refused, 20);
}

}  // namespace
}  // namespace pagora::testing
