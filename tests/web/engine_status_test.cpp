// The engine's part of /api/status when several engines (the channels of a band) feed one page.
#include <gtest/gtest.h>

#include "engine/monitor.h"
#include "fake_host.h"
#include "web/engine_status.h"

namespace pagora::web {
namespace {

TEST(EngineStatus, ChannelsAddTheirCountsAndActivity) {
  testing::FakeHost host;
  Monitor first(host), second(host);
  first.counters.hourlyMessages[kRowPocsag1200][kKindAlpha] = 2;
  first.counters.dailyMessages[kRowPocsag1200][kKindAlpha] = 5;
  second.counters.hourlyMessages[kRowPocsag512][kKindNumeric] = 3;
  second.counters.dailyMessages[kRowFlex3200][kKindAlpha] = 7;
  second.recovery.flexActive = 1;

  nlohmann::ordered_json status = EngineStatus(first, {{"IQ recording", "band.cu8", false}});
  EXPECT_EQ(status["decoders"]["POCSAG"]["pages_this_hour"], 2);
  EXPECT_FALSE(status["signal"]["flex_frame"].get<bool>());

  AddEngineCounts(status, second);
  EXPECT_EQ(status["decoders"]["POCSAG"]["pages_this_hour"], 5);
  EXPECT_EQ(status["decoders"]["POCSAG"]["pages_today"], 5);
  EXPECT_EQ(status["decoders"]["FLEX"]["pages_today"], 7);
  EXPECT_EQ(status["decoders"]["GSC"]["pages_today"], 0);
  EXPECT_TRUE(status["signal"]["flex_frame"].get<bool>());
  EXPECT_FALSE(status["signal"]["gsc_sync"].get<bool>());
  EXPECT_EQ(status["inputs"].size(), 1u);
}

}  // namespace
}  // namespace pagora::web
