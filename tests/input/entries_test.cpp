// Line changes to ring entries (serial slicer conversion, long holds) and the capture format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/bit_recovery.h"
#include "entry_sinks.h"
#include "fake_host.h"
#include "input/capture_format.h"
#include "input/capture_writer.h"
#include "input/entry_producer.h"
#include "input/modem_status.h"

namespace pagora {
namespace {

using testing::Entry;
using testing::VectorSink;

std::int64_t Nanoseconds(double ticks) {
  return std::llround(ticks * kTickSeconds * 1e9);
}

TEST(ModemStatusTest, StatusByteHoldsTheLinesInTheHighNibble) {
  EXPECT_EQ(ModemStatusByte(false, false, false, false), 0x00);
  EXPECT_EQ(ModemStatusByte(true, false, false, false), 0x10);
  EXPECT_EQ(ModemStatusByte(false, true, false, false), 0x20);
  EXPECT_EQ(ModemStatusByte(false, false, true, false), 0x40);
  EXPECT_EQ(ModemStatusByte(false, false, false, true), 0x80);
  EXPECT_EQ(ModemStatusByte(true, true, false, true), 0xB0);
}

TEST(ModemStatusTest, ChangesBecomeHeldStatesWithTheirDurations) {
  ModemStatusConverter converter;
  VectorSink sink;
  std::int64_t origin = 5'000'000'000;  // any monotonic start
  converter.Start(origin, 0x00);
  converter.Change(origin + Nanoseconds(745), 0xB0, sink);
  converter.Change(origin + Nanoseconds(745 + 372), 0x10, sink);
  converter.Change(origin + Nanoseconds(745 + 372 + 50000), 0x10, sink);  // no change: nothing
  converter.Change(origin + Nanoseconds(745 + 372 + 100000), 0x30, sink);
  std::vector<Entry> expected = {{745, 0x00}, {372, 0xB0}, {65535, 0x10}, {34465, 0x10}};
  EXPECT_EQ(sink.entries, expected);
}

TEST(ModemStatusTest, RoundingDoesNotDriftOverManyChanges) {
  ModemStatusConverter converter;
  VectorSink sink;
  converter.Start(0, 0x00);
  // 1200 bit/s edges: 993.7 ticks apart, never a whole number.
  double bit = 1.0 / 1200 / kTickSeconds;
  for (int i = 1; i <= 100000; ++i) {
    converter.Change(Nanoseconds(bit * i), i % 2 ? 0xB0 : 0x00, sink);
  }
  std::int64_t total = 0;
  for (const Entry& e : sink.entries)
    total += e.duration;
  EXPECT_NEAR(static_cast<double>(total), bit * 100000, 1.0);
}

TEST(CaptureFormatTest, ReadsEntriesCommentsAndGarbage) {
  struct Case {
    const char* line;
    CaptureLine kind;
    std::uint16_t duration;
    std::uint8_t status;
  };
  const Case cases[] = {
      {"745 b0", CaptureLine::kEntry, 745, 0xB0},
      {"  0\t0x10  ", CaptureLine::kEntry, 0, 0x10},
      {"65535 FF\r", CaptureLine::kEntry, 65535, 0xFF},
      {"", CaptureLine::kComment, 0, 0},
      {"# pagora capture", CaptureLine::kComment, 0, 0},
      {"65536 b0", CaptureLine::kGarbage, 0, 0},
      {"-1 b0", CaptureLine::kGarbage, 0, 0},
      {"12 1ff", CaptureLine::kGarbage, 0, 0},
      {"12 zz", CaptureLine::kGarbage, 0, 0},
      {"12", CaptureLine::kGarbage, 0, 0},
      {"12b0", CaptureLine::kGarbage, 0, 0},
      {"12 b0 7", CaptureLine::kGarbage, 0, 0},
      {"RIFF\x01\x02", CaptureLine::kGarbage, 0, 0},
  };
  for (const Case& c : cases) {
    CaptureEntry entry;
    EXPECT_EQ(ParseCaptureLine(c.line, entry), c.kind) << c.line;
    if (c.kind == CaptureLine::kEntry) {
      EXPECT_EQ(entry.duration, c.duration) << c.line;
      EXPECT_EQ(entry.status, c.status) << c.line;
    }
  }
}

TEST(CaptureFormatTest, WrittenEntriesReplayTheSame) {
  std::string path = ::testing::TempDir() + "/roundtrip.cap";
  std::vector<Entry> written = {{745, 0x00}, {0, 0xB0}, {65535, 0x10}, {1, 0x30}};
  {
    CaptureWriter writer;
    ASSERT_TRUE(writer.Open(path));
    for (const Entry& e : written)
      writer.Put(e.duration, e.status);
    ASSERT_TRUE(writer.Close());
  }
  testing::FakeHost host;
  auto producer = MakeCaptureProducer(path);
  ASSERT_TRUE(producer->Open(host));
  VectorSink sink;
  EXPECT_EQ(producer->Produce(1e9, 1000, sink), EntryProducer::Progress::kEnded);
  EXPECT_EQ(sink.entries, written);
  EXPECT_TRUE(producer->problems().empty());
  EXPECT_EQ(producer->LastStatus(), 0x30);
}

TEST(CaptureFormatTest, GarbageLinesAreReportedByLineAndSkipped) {
  std::string path = ::testing::TempDir() + "/garbage.cap";
  {
    std::ofstream out(path, std::ios::binary);
    out << "# pagora capture\n745 b0\nhello\n372 00\n" << std::string(1000, 'x') << "\n12 10\n";
  }
  testing::FakeHost host;
  auto producer = MakeCaptureProducer(path);
  ASSERT_TRUE(producer->Open(host));
  VectorSink sink;
  while (producer->Produce(1e9, 1, sink) != EntryProducer::Progress::kEnded) {
  }
  std::vector<Entry> expected = {{745, 0xB0}, {372, 0x00}, {12, 0x10}};
  EXPECT_EQ(sink.entries, expected);
  std::vector<std::string> problems = {path + ":3: not a capture entry",
                                       path + ":5: not a capture entry"};
  EXPECT_EQ(producer->problems(), problems);
}

TEST(CaptureFormatTest, MissingFileIsReportedWithTheDriverCaption) {
  testing::FakeHost host;
  auto producer = MakeCaptureProducer(::testing::TempDir() + "/no/such.cap");
  EXPECT_FALSE(producer->Open(host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].second, "Pagora Error");
}

}  // namespace
}  // namespace pagora
