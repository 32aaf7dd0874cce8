// POCSAG decoder state and its one entry point.
#pragma once

namespace pagora {

class Monitor;

struct PocsagDecoder {
  // Filled in by the POCSAG decoder.
};

// One bit from the drain: '1', '0', or 'X' at the end of a burst.
void PocsagReceiveBit(Monitor& m, char bit);

}  // namespace pagora
