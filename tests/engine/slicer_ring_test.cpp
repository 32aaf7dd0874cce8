// The ring between a source thread and the drain, and the timing of the generator's slicer
// entries that every end-to-end case feeds through it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "engine_fixture.h"

namespace pagora::testing {
namespace {

TEST(RingOverrun, LappedEntriesAreCountedAndSkipped) {
  // Pushed, readable, lost.
  const int kCases[][3] = {{7, 7, 0}, {8, 8, 0}, {9, 0, 9}, {20, 0, 20}};
  for (const auto& [pushed, readable, lost] : kCases) {
    SCOPED_TRACE(pushed);
    SlicerRing ring(8);
    for (int i = 0; i < pushed; ++i)
      ring.Push(static_cast<std::uint16_t>(i), 0x30);
    SlicerEntry entry;
    std::vector<int> read;
    SlicerRing::ReadResult result;
    while ((result = ring.Read(entry)) == SlicerRing::ReadResult::kEntry)
      read.push_back(entry.duration);
    EXPECT_EQ(static_cast<int>(read.size()), readable);
    EXPECT_EQ(ring.LostEntries(), static_cast<std::uint64_t>(lost));
    EXPECT_EQ(ring.Overruns(), lost > 0 ? 1u : 0u);
    if (lost == 0) {
      EXPECT_EQ(result, SlicerRing::ReadResult::kEmpty);
      for (int i = 0; i < readable; ++i)
        EXPECT_EQ(read[static_cast<std::size_t>(i)], i);
    } else {
      EXPECT_EQ(result, SlicerRing::ReadResult::kOverrun);
    }
    // Resynchronised to the producer: what comes next is read, and nothing old.
    EXPECT_EQ(ring.ReadPosition(), ring.Head());
    EXPECT_EQ(ring.Free(), 8);
    ring.Push(4242, 0xB0);
    ASSERT_EQ(ring.Read(entry), SlicerRing::ReadResult::kEntry);
    EXPECT_EQ(entry.duration, 4242);
    EXPECT_EQ(entry.status, 0xB0);
    EXPECT_EQ(ring.Read(entry), SlicerRing::ReadResult::kEmpty);
  }
}

TEST(RingOverrun, DrainResynchronisesAndDecodesWhatFollows) {
  Engine e([](AppSettings& s) {
    s.decodePocsag = 0;
    s.decodeGolay = 0;
  });
  e.Start();
  int count = e.m.ring.count();
  for (int i = 0; i < count + 10; ++i)
    e.Push(100, i % 2 == 0 ? 0 : 3);
  e.m.Drain();
  EXPECT_EQ(e.m.ring.Overruns(), 1u);
  EXPECT_EQ(e.m.ring.LostEntries(), static_cast<std::uint64_t>(count + 10));
  EXPECT_EQ(e.m.recovery.readPosition, 10);
  EXPECT_TRUE(e.symbols.flex.empty());

  e.Feed({{3726, 1}});
  EXPECT_EQ(e.symbols.flex.size(), 5u);
  EXPECT_EQ(e.m.recovery.readPosition, 11);
}

// A producer thread racing the consumer: every entry read is the one written for its sequence
// number (never a torn or stale slot), and read plus lost adds up to everything written.
TEST(RingOverrun, ConcurrentProducerNeverYieldsStaleEntries) {
  SlicerRing ring(64);
  constexpr std::uint64_t kTotal = 300000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (std::uint64_t i = 0; i < kTotal; ++i) {
      ring.Push(static_cast<std::uint16_t>(i & 0xFFFF),
                static_cast<std::uint8_t>((i >> 16) & 0xFF));
    }
    done.store(true);
  });
  std::uint64_t read = 0;
  std::uint64_t wrong = 0;
  SlicerEntry entry;
  for (;;) {
    bool finished = done.load();
    std::uint64_t sequence = ring.Consumed();
    SlicerRing::ReadResult result = ring.Read(entry);
    if (result == SlicerRing::ReadResult::kEntry) {
      ++read;
      std::uint64_t value = entry.duration | (static_cast<std::uint64_t>(entry.status) << 16);
      if (value != (sequence & 0xFFFFFF))
        ++wrong;
    } else if (result == SlicerRing::ReadResult::kEmpty && finished) {
      break;
    }
  }
  producer.join();
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(read + ring.LostEntries(), kTotal);
}

TEST(SlicerEntryTiming, EveryEdgeStaysWithinHalfATickOfItsExactPlace) {
  // Symbol rate and clock error in parts per million.
  const std::pair<double, double> kCases[] = {
      {512, 0}, {2400, 0}, {3200, 100}, {1600, -100}, {600, 250}};
  for (const auto& [rate, ppm] : kCases) {
    SCOPED_TRACE(::testing::Message() << rate << " " << ppm);
    gen::SymbolStream stream{rate, {}};
    for (int i = 0; i < 50000; ++i)
      stream.levels.push_back(static_cast<std::uint8_t>((i * 7 / 3) % 4));
    gen::SlicerEntryWriter writer(ppm);
    writer.Append(stream);
    writer.Finish();
    double symbolTicks = (1 + ppm * 1e-6) / (rate * kTickSeconds);
    // Rebuild the symbol at each entry's end and check the edge positions.
    double elapsed = 0;
    int symbol = 0;
    for (const SlicerEntry& entry : writer.entries()) {
      elapsed += entry.duration;
      while (symbol + 1 < 50000 && stream.levels[static_cast<std::size_t>(symbol + 1)] ==
                                       stream.levels[static_cast<std::size_t>(symbol)]) {
        ++symbol;
      }
      ++symbol;
      ASSERT_LE(std::abs(elapsed - symbol * symbolTicks), 0.5 + 1e-6) << "edge " << symbol;
    }
    EXPECT_EQ(symbol, 50000);
    EXPECT_EQ(writer.TotalTicks(), static_cast<std::uint64_t>(std::llround(50000 * symbolTicks)));
  }
}

}  // namespace
}  // namespace pagora::testing
