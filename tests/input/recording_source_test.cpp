// Finite inputs as slicer sources. Recordings read ahead by a thread of their own and handed to
// the engine in 100 ms steps: every entry arrives once and in order, each step ends where its
// signal time does, a burst of tiny entries is drained rather than lost, and closing never waits
// on a reader that is ahead. Captures pumped on signal time by the caller, or fed at the pace of
// the wall clock from a thread of their own: either way the ring receives every entry, in order.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "decoder/decoder_context.h"
#include "engine/slicer_ring.h"
#include "fake_host.h"
#include "input/capture_format.h"
#include "input/entry_producer.h"
#include "input/producer_source.h"
#include "input/recording_source.h"

namespace pagora {
namespace {

struct Written {
  std::string path;
  std::vector<SlicerEntry> entries;
};

// A capture of `count` entries of `duration` ticks (alternating line states), with comment and
// garbage lines among them when asked.
Written WriteCapture(const std::string& name, int count, std::uint16_t duration,
                     bool garbage = false) {
  Written w;
  w.path = ::testing::TempDir() + "/" + name;
  std::ofstream out(w.path);
  out << kCaptureHeader;
  for (int i = 0; i < count; ++i) {
    std::uint8_t status = i % 2 ? 0xB0 : 0x00;
    out << FormatCaptureLine(duration, status);
    w.entries.push_back({duration, status});
    if (garbage && i % 100 == 50)
      out << "# a comment\nnot an entry\n";
  }
  return w;
}

std::unique_ptr<RecordingSource> Source(const std::string& path) {
  RecordingFormat format;
  format.kind = RecordingKindOf(path);
  return std::make_unique<RecordingSource>(path, format,
                                           MakeRecordingProducer(path, format, AppSettings{}));
}

struct Taken {
  std::vector<SlicerEntry> taken;
  int steps = 0;
  bool boundariesHeld = true;
};

// Takes every step as the window does, checking that each ends where its signal time does.
Taken TakeSteps(RecordingSource& source, SlicerRing& ring) {
  Taken run;
  double ticks = 0;
  auto drain = [&] {
    SlicerEntry entry;
    while (ring.Read(entry) == SlicerRing::ReadResult::kEntry) {
      run.taken.push_back(entry);
      ticks += entry.duration;
    }
  };
  for (;;) {
    RecordingSource::Step step = source.Next(drain);
    if (step == RecordingSource::Step::kEnded)
      break;
    if (step == RecordingSource::Step::kWait)
      continue;
    drain();
    ++run.steps;
    const double seconds = ticks * kTickSeconds;
    const double last = run.taken.empty() ? 0 : run.taken.back().duration * kTickSeconds;
    // Up to the step's end, and not one entry more (the last ending may be the recording's).
    if (!source.Finished() &&
        (seconds + 1e-9 < source.SignalSeconds() || seconds - last >= source.SignalSeconds()))
      run.boundariesHeld = false;
  }
  return run;
}

void ExpectSame(const std::vector<SlicerEntry>& taken, const std::vector<SlicerEntry>& written) {
  ASSERT_EQ(taken.size(), written.size());
  for (std::size_t i = 0; i < taken.size(); ++i) {
    ASSERT_EQ(taken[i].duration, written[i].duration) << i;
    ASSERT_EQ(taken[i].status, written[i].status) << i;
  }
}

TEST(RecordingSourceTest, KindByHeaderThenByName) {
  const std::string dir = ::testing::TempDir() + "/";
  std::ofstream(dir + "looks-like.wav") << kCaptureHeader << "100 b0\n";
  std::ofstream(dir + "plain.txt") << "hello";
  struct Case {
    std::string path;
    RecordingKind kind;
  } cases[] = {
      {dir + "looks-like.wav", RecordingKind::kCapture},  // the header wins over the name
      {dir + "absent.cap", RecordingKind::kCapture},
      {dir + "absent.RAW", RecordingKind::kRaw},
      {dir + "absent.s16", RecordingKind::kRaw},
      {dir + "absent.pcm", RecordingKind::kRaw},
      {dir + "absent.wav", RecordingKind::kAudio},
      {dir + "absent.flac", RecordingKind::kAudio},
      {dir + "plain.txt", RecordingKind::kAudio},  // libsndfile says what it makes of it
  };
  for (const Case& c : cases)
    EXPECT_EQ(RecordingKindOf(c.path), c.kind) << c.path;
}

TEST(RecordingSourceTest, DurationOfCapturesAndRawFiles) {
  Written capture = WriteCapture("length.cap", 1000, 5000, true);
  // A line too long for any reader is skipped whole, not read as entries.
  {
    std::ofstream out(capture.path, std::ios::app);
    out << std::string(1000, '7') << "\n";
  }
  RecordingFormat format;
  format.kind = RecordingKind::kCapture;
  EXPECT_NEAR(RecordingDuration(capture.path, format), 1000 * 5000 * kTickSeconds, 1e-9);

  const std::string raw = ::testing::TempDir() + "/second.raw";
  std::ofstream(raw) << std::string(44101, '\0');  // an odd byte at the end is no sample
  format.kind = RecordingKind::kRaw;
  format.rawSampleRate = 22050;
  EXPECT_DOUBLE_EQ(RecordingDuration(raw, format), 1.0);
  EXPECT_EQ(RecordingDuration(::testing::TempDir() + "/none.raw", format), -1);
}

TEST(RecordingSourceTest, EveryEntryOnceInStepsOfSignalTime) {
  // 3000 entries of 10 ms: 30 s of signal, 300 steps.
  Written w = WriteCapture("steps.cap", 3000, 11922, true);
  SlicerRing ring;
  testing::FakeHost host;
  auto source = Source(w.path);
  ASSERT_TRUE(source->Open(AppSettings{}, ring, host));
  Taken run = TakeSteps(*source, ring);
  ExpectSame(run.taken, w.entries);
  EXPECT_TRUE(run.boundariesHeld);
  EXPECT_NEAR(run.steps, 300, 1);
  EXPECT_TRUE(source->Finished());
  EXPECT_TRUE(source->DurationKnown());
  EXPECT_NEAR(source->Duration(), 3000 * 11922 * kTickSeconds, 1e-6);
  // The garbage lines are reported once the recording is over (the first few by number, the
  // rest counted).
  ASSERT_FALSE(source->Problems().empty());
  EXPECT_NE(source->Problems().back().find("20 more lines"), std::string::npos)
      << source->Problems().back();
  EXPECT_EQ(ring.LostEntries(), 0u);
}

TEST(RecordingSourceTest, ABurstLargerThanTheRingIsDrainedNotLost) {
  // 50000 one-tick entries all fall in the first step: more than a queued part holds and far
  // more than the ring.
  Written w = WriteCapture("burst.cap", 50000, 1);
  SlicerRing ring(1024);
  testing::FakeHost host;
  auto source = Source(w.path);
  ASSERT_TRUE(source->Open(AppSettings{}, ring, host));
  Taken run = TakeSteps(*source, ring);
  ExpectSame(run.taken, w.entries);
  EXPECT_EQ(run.steps, 1);
  EXPECT_EQ(ring.LostEntries(), 0u);

  // The quiet tail holds the line state the recording ended in.
  source->PumpQuiet(0.1);
  SlicerEntry entry;
  ASSERT_EQ(ring.Read(entry), SlicerRing::ReadResult::kEntry);
  EXPECT_EQ(entry.status, w.entries.back().status);
}

TEST(RecordingSourceTest, ClosingDoesNotWaitForAReaderThatIsAhead) {
  // Far more steps than are queued ahead: the reader waits for room when Close comes.
  Written w = WriteCapture("ahead.cap", 20000, 60000);
  SlicerRing ring;
  testing::FakeHost host;
  auto source = Source(w.path);
  ASSERT_TRUE(source->Open(AppSettings{}, ring, host));
  auto drain = [&] {
    SlicerEntry entry;
    while (ring.Read(entry) == SlicerRing::ReadResult::kEntry) {
    }
  };
  int steps = 0;
  while (steps < 5) {
    if (source->Next(drain) == RecordingSource::Step::kTick)
      ++steps;
  }
  EXPECT_TRUE(source->Close());
  EXPECT_FALSE(source->IsOpen());
  EXPECT_EQ(source->Next(drain), RecordingSource::Step::kEnded);
}

TEST(RecordingSourceTest, AFileThatCannotBeOpenedIsReported) {
  SlicerRing ring;
  testing::FakeHost host;
  auto source = Source(::testing::TempDir() + "/no-such-recording.wav");
  EXPECT_FALSE(source->Open(AppSettings{}, ring, host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].first.find("no-such-recording.wav"), std::string::npos);
  EXPECT_FALSE(source->IsOpen());
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
  Written w = WriteCapture("pumped.cap", 500, 100);
  SlicerRing ring(64);
  testing::FakeHost host;
  PumpedSource source(MakeCaptureProducer(w.path));
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
  ExpectSame(taken, w.entries);
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
  Written w = WriteCapture("paced.cap", 300, 1000);
  SlicerRing ring;
  testing::FakeHost host;
  ProducerSource source(MakeCaptureProducer(w.path));
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
