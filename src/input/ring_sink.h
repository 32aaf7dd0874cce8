// An EntrySink that appends to the engine's ring, and optionally hands every entry to a
// recorder (a capture file) as well.
#pragma once

#include "engine/slicer_ring.h"
#include "input/entry_timeline.h"

namespace pagora {

class RingSink : public EntrySink {
 public:
  explicit RingSink(SlicerRing& ring, EntrySink* recorder = nullptr)
      : ring_(ring), recorder_(recorder) {}
  void Put(std::uint16_t duration, std::uint8_t status) override {
    ring_.Push(duration, status);
    if (recorder_)
      recorder_->Put(duration, status);
  }

 private:
  SlicerRing& ring_;
  EntrySink* recorder_;
};

}  // namespace pagora
