#include "config/settings.h"

namespace pagora {

const std::array<Colour, 16> kDefaultPalette = {
    MakeColour(0, 0, 0),       MakeColour(0, 0, 128),     MakeColour(0, 128, 0),
    MakeColour(0, 128, 128),   MakeColour(255, 0, 0),     MakeColour(64, 0, 128),
    MakeColour(128, 128, 64),  MakeColour(192, 192, 192), MakeColour(64, 64, 64),
    MakeColour(0, 0, 255),     MakeColour(0, 255, 0),     MakeColour(0, 255, 255),
    MakeColour(255, 64, 64),   MakeColour(255, 0, 255),   MakeColour(255, 255, 0),
    MakeColour(255, 255, 255),
};

AppSettings::AppSettings() {
  ResetColoursToDefaults(*this);
}

void InitialiseDefaults(AppSettings& settings) {
  settings = AppSettings();
}

void ResetColoursToDefaults(AppSettings& settings) {
  // Palette positions of each slot's default, in slot order.
  static constexpr std::array<int, kColourSlotCount> kDefaultIndex = {
      0,   // Background      (0,0,0)
      2,   // Capcode         (0,128,0)
      11,  // FLEX phase      (0,255,255)
      13,  // FLEX format     (255,0,255)
      9,   // Timestamp       (0,0,255)
      4,   // Numeric         (255,0,0)
      14,  // Alphanumeric    (255,255,0)
      6,   // FLEX binary     (128,128,64)
      4,   // Diagnostic      (255,0,0), the Numeric default
      7,   // Bit errors      (192,192,192)
      15,  // Filter match    (255,255,255)
      10,  // Filter label    (0,255,0)
  };
  for (int slot = 0; slot < kColourSlotCount; ++slot) {
    settings.colours[slot] = kDefaultPalette[kDefaultIndex[slot]];
  }
}

}  // namespace pagora
