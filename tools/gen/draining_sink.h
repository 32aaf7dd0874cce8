// An entry sink that feeds the engine's ring the way a paced file source does: when the ring is
// full it drains it first, so nothing is lost however fast entries arrive. Benchmarks and fuzz
// targets use it to run the audio slicer or a capture straight into a Monitor.
#pragma once

#include <cstdint>

#include "engine/monitor.h"
#include "input/entry_timeline.h"

namespace pagora::gen {

class DrainingSink : public EntrySink {
 public:
  explicit DrainingSink(Monitor& m) : m_(m) {}
  void Put(std::uint16_t duration, std::uint8_t status) override {
    if (m_.ring.Free() == 0)
      m_.Drain();
    m_.ring.Push(duration, status);
  }

 private:
  Monitor& m_;
};

}  // namespace pagora::gen
