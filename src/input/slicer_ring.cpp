#include "input/slicer_ring.h"

namespace pagora {

SlicerRing::SlicerRing(int count)
    : count_(count > 1 ? count : 2),
      durations_(static_cast<std::size_t>(count_)),
      states_(static_cast<std::size_t>(count_)) {}

void SlicerRing::Push(std::uint16_t duration, std::uint8_t status) {
  int head = head_.load(std::memory_order_relaxed);
  durations_[static_cast<std::size_t>(head)] = duration;
  states_[static_cast<std::size_t>(head)] = status;
  head_.store(head + 1 == count_ ? 0 : head + 1, std::memory_order_release);
}

}  // namespace pagora
