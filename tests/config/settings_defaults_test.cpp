#include <gtest/gtest.h>

#include "config/settings.h"

namespace pagora {
namespace {

TEST(SettingsDefaults, ColourSlotsTakeThePaletteDefaults) {
  AppSettings s;
  EXPECT_EQ(s.colours[kSlotBackground], MakeColour(0, 0, 0));
  EXPECT_EQ(s.colours[kSlotCapcode], MakeColour(0, 128, 0));
  EXPECT_EQ(s.colours[kSlotDiagnostic], s.colours[kSlotNumeric]);
  EXPECT_EQ(s.colours[kSlotFilterLabel], MakeColour(0, 255, 0));
}

}  // namespace
}  // namespace pagora
