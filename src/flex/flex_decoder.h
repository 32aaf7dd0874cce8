// FLEX / ReFLEX decoder state and its one entry point.
#pragma once

#include <cstdint>

namespace pagora {

class Monitor;

struct FlexDecoder {
  // Filled in by the FLEX decoder: sync registers, countdowns, phases, mode.
  int symbolRate = 1600;
  int levels = 2;
  int statisticsRow = 2;
  bool reflex = false;
};

// Called once at engine creation: phase letters and anything else the decoder needs set up.
void InitFlexDecoder(FlexDecoder& flex);
// One 4-level symbol 0..3 from the drain.
void FlexReceiveSymbol(Monitor& m, std::int8_t symbol);

}  // namespace pagora
