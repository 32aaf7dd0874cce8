// GSC (Golay Sequential Code) decoder state and its one entry point.
#pragma once

namespace pagora {

class Monitor;

struct GscDecoder {
  // Filled in by the GSC decoder.
};

// One bit (0 or 1) from the drain at 600 bit/s.
void GscReceiveBit(Monitor& m, int bit);

}  // namespace pagora
