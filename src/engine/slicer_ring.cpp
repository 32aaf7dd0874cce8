#include "engine/slicer_ring.h"

namespace pagora {

SlicerRing::SlicerRing(int count)
    : count_(count > 1 ? count : 2),
      slots_(std::make_unique<std::atomic<std::uint32_t>[]>(static_cast<std::size_t>(count_))) {}

void SlicerRing::Push(std::uint16_t duration, std::uint8_t status) {
  std::uint64_t sequence = written_.load(std::memory_order_relaxed);
  // Announce the write before the slot changes, so that a consumer which sees the new slot
  // contents also sees that its entry may have been overwritten. Sequentially consistent
  // accesses give that ordering on both sides without separate fences.
  started_.store(sequence + 1, std::memory_order_seq_cst);
  slots_[static_cast<std::size_t>(IndexOf(sequence))].store(
      static_cast<std::uint32_t>(duration) | (static_cast<std::uint32_t>(status) << 16),
      std::memory_order_seq_cst);
  written_.store(sequence + 1, std::memory_order_release);
}

std::int64_t SlicerRing::Free() const {
  std::uint64_t pending = written_.load(std::memory_order_relaxed) - Consumed();
  std::int64_t free = static_cast<std::int64_t>(count_) - static_cast<std::int64_t>(pending);
  return free > 0 ? free : 0;
}

SlicerRing::ReadResult SlicerRing::Read(SlicerEntry& entry) {
  std::uint64_t sequence = consumed_.load(std::memory_order_relaxed);
  std::uint64_t written = written_.load(std::memory_order_acquire);
  if (sequence == written)
    return ReadResult::kEmpty;

  std::uint64_t count = static_cast<std::uint64_t>(count_);
  bool lapped = written - sequence > count;
  std::uint32_t word = 0;
  if (!lapped) {
    word = slots_[static_cast<std::size_t>(IndexOf(sequence))].load(std::memory_order_seq_cst);
    // If the load above saw a later write to this slot, the producer's announcement of that
    // write is visible now.
    lapped = started_.load(std::memory_order_seq_cst) - sequence > count;
  }
  if (lapped) {
    std::uint64_t head = written_.load(std::memory_order_acquire);
    overruns_.fetch_add(1, std::memory_order_relaxed);
    lost_.fetch_add(head - sequence, std::memory_order_relaxed);
    consumed_.store(head, std::memory_order_release);
    return ReadResult::kOverrun;
  }
  entry.duration = static_cast<std::uint16_t>(word & 0xFFFF);
  entry.status = static_cast<std::uint8_t>((word >> 16) & 0xFF);
  consumed_.store(sequence + 1, std::memory_order_release);
  return ReadResult::kEntry;
}

}  // namespace pagora
