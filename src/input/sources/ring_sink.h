// An EntrySink that appends to the engine's ring.
#pragma once

#include "input/slicer_ring.h"
#include "input/sources/entry_timeline.h"

namespace pagora {

class RingSink : public EntrySink {
 public:
  explicit RingSink(SlicerRing& ring) : ring_(ring) {}
  void Put(std::uint16_t duration, std::uint8_t status) override { ring_.Push(duration, status); }

 private:
  SlicerRing& ring_;
};

}  // namespace pagora
