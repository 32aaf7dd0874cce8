// Finite inputs as slicer sources: pumped on signal time by the caller, or fed at the pace of the
// wall clock from a thread of their own. Either way the ring receives every entry, in order.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "engine/slicer_ring.h"
#include "fake_host.h"
#include "input/capture_writer.h"
#include "input/entry_producer.h"
#include "input/producer_source.h"

namespace pagora {
namespace {

std::string WriteCapture(const std::string& name, int entries, std::uint16_t duration) {
  std::string path = ::testing::TempDir() + "/" + name;
  CaptureWriter writer;
  EXPECT_TRUE(writer.Open(path));
  for (int i = 0; i < entries; ++i) {
    writer.Put(duration, i % 2 ? 0xB0 : 0x00);
  }
  EXPECT_TRUE(writer.Close());
  return path;
}

std::vector<SlicerEntry> TakeAll(SlicerRing& ring) {
  std::vector<SlicerEntry> taken;
  SlicerEntry entry;
  while (ring.Read(entry) == SlicerRing::ReadResult::kEntry)
    taken.push_back(entry);
  return taken;
}

// A small ring fills up: Pump says so, the caller drains, and nothing is lost or reordered.
TEST(PumpedSourceTest, AFullRingIsDrainedWithoutLoss) {
  std::string path = WriteCapture("pumped.cap", 500, 100);
  SlicerRing ring(64);
  testing::FakeHost host;
  PumpedSource source(MakeCaptureProducer(path));
  ASSERT_TRUE(source.Open(AppSettings{}, ring, host));

  std::vector<SlicerEntry> taken;
  int limits = 0;
  EntryProducer::Progress progress;
  do {
    progress = source.Pump(1000.0);
    if (progress == EntryProducer::Progress::kLimit)
      ++limits;
    for (const SlicerEntry& e : TakeAll(ring))
      taken.push_back(e);
  } while (progress != EntryProducer::Progress::kEnded);

  EXPECT_GT(limits, 5);
  ASSERT_EQ(taken.size(), 500u);
  for (std::size_t i = 0; i < taken.size(); ++i) {
    EXPECT_EQ(taken[i].duration, 100);
    EXPECT_EQ(taken[i].status, i % 2 ? 0xB0 : 0x00);
  }
  EXPECT_EQ(ring.LostEntries(), 0u);
  EXPECT_TRUE(source.Finished());

  // The quiet tail continues the last line state.
  source.PumpQuiet(0.1);
  std::vector<SlicerEntry> tail = TakeAll(ring);
  ASSERT_EQ(tail.size(), 2u);  // 0.1 s is 119218 ticks: one full hold and the rest
  EXPECT_EQ(tail[0].duration, 65535);
  EXPECT_EQ(tail[0].status, 0xB0);
}

TEST(ProducerSourceTest, FeedsTheRingAtThePaceOfTheSignal) {
  // 300 entries of 1000 ticks: a quarter of a second of signal.
  std::string path = WriteCapture("paced.cap", 300, 1000);
  SlicerRing ring;
  testing::FakeHost host;
  ProducerSource source(MakeCaptureProducer(path));
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(source.Open(AppSettings{}, ring, host));
  while (!source.Finished() &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(source.Finished());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_TRUE(source.Close());
  EXPECT_FALSE(source.IsOpen());
  EXPECT_EQ(TakeAll(ring).size(), 300u);
  EXPECT_NEAR(source.SignalSeconds(), 300 * 1000 * 0.8388e-6, 1e-6);
}

}  // namespace
}  // namespace pagora
