// The slicer ring: (duration, status) entries written by a source thread and drained on the
// engine's thread. Each entry is a line state and the time it was held, in interval-timer ticks.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace pagora {

class SlicerRing {
 public:
  static constexpr int kDefaultCount = 65536;

  explicit SlicerRing(int count = kDefaultCount);

  int count() const { return count_; }
  // Producer side (one thread): appends an entry and publishes it.
  void Push(std::uint16_t duration, std::uint8_t status);
  // Consumer side: index of the next entry the producer will write.
  int Head() const { return head_.load(std::memory_order_acquire); }
  std::uint16_t Duration(int index) const { return durations_[static_cast<std::size_t>(index)]; }
  std::uint8_t Status(int index) const { return states_[static_cast<std::size_t>(index)]; }

 private:
  int count_;
  std::vector<std::uint16_t> durations_;
  std::vector<std::uint8_t> states_;
  std::atomic<int> head_{0};
};

}  // namespace pagora
