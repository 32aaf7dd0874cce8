#include <gtest/gtest.h>

#include "engine/mode_title.h"
#include "engine/monitor.h"
#include "fake_host.h"

namespace pagora::testing {
namespace {

TEST(ModeTitleTest, CaptionPerFlagSet) {
  const std::pair<int, const char*> cases[] = {
      {0, " Pagora"},
      {8, " Pagora - FLEX 1600 2 Level"},
      {12, " Pagora - FLEX 3200 2 or 4 Level"},
      {15, " Pagora - FLEX 6400 4 Level"},
      {31, " Pagora - ReFLEX ABCD 3200 4 Level"},
      {33, " Pagora - POCSAG 512"},
      {34, " Pagora - POCSAG 1200"},
      {36, " Pagora - POCSAG 2400"},
      {64, " Pagora - Golay (GSC)"},
      // POCSAG is tested before GSC and ReFLEX; a POCSAG flag without a rate leaves the caption.
      {32 | 64, nullptr},
      {32 | 16 | 2, " Pagora - POCSAG 1200"},
      {64 | 16, " Pagora - Golay (GSC)"},
  };
  for (auto [flags, caption] : cases) {
    SCOPED_TRACE(flags);
    FakeHost host;
    Monitor m(host);
    SetModeTitle(m, flags);
    if (caption == nullptr) {
      EXPECT_TRUE(host.captions.empty());
    } else {
      EXPECT_EQ(host.captions, std::vector<std::string>({caption}));
    }
  }
}

}  // namespace
}  // namespace pagora::testing
