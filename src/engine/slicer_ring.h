// The slicer ring: (duration, status) entries written by one source thread and drained on the
// engine's thread. Each entry is a line state (the status byte, whose high nibble holds the
// slicer lines) and the time it was held, in interval-timer ticks.
//
// Lock-free single producer, single consumer. Both sides count entries with 64-bit sequence
// numbers that never wrap in practice; the ring index is the sequence modulo count. A live
// producer (serial port, sound card) cannot wait and may lap a slow consumer: the consumer
// detects that, counts the lost entries and resynchronises to the producer instead of decoding
// stale entries. A producer that can wait (a file) checks Free() first and loses nothing.
// Sources must not replace or reset the ring: the consumer's position survives a re-open.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace pagora {

struct SlicerEntry {
  std::uint16_t duration = 0;  // interval-timer ticks the state was held
  std::uint8_t status = 0;     // slicer lines in the high nibble
};

class SlicerRing {
 public:
  static constexpr int kDefaultCount = 65536;

  // count: entries in the ring, at least 2.
  explicit SlicerRing(int count = kDefaultCount);
  SlicerRing(const SlicerRing&) = delete;
  SlicerRing& operator=(const SlicerRing&) = delete;

  int count() const { return count_; }

  // Producer side (one thread at a time).
  // Appends an entry and publishes it.
  void Push(std::uint16_t duration, std::uint8_t status);
  // Entries that can be pushed without overwriting any the consumer has not taken yet.
  std::int64_t Free() const;

  // Either side.
  // Index of the next entry the producer will write.
  int Head() const { return IndexOf(Written()); }
  // Entries published since the ring was made.
  std::uint64_t Written() const { return written_.load(std::memory_order_acquire); }
  // Entries the consumer has taken or skipped since the ring was made.
  std::uint64_t Consumed() const { return consumed_.load(std::memory_order_acquire); }
  // Times the producer lapped the consumer, and the entries lost that way.
  std::uint64_t Overruns() const { return overruns_.load(std::memory_order_relaxed); }
  std::uint64_t LostEntries() const { return lost_.load(std::memory_order_relaxed); }

  // Consumer side (the engine's thread).
  enum class ReadResult {
    kEmpty,    // nothing new
    kEntry,    // `entry` holds the next entry; the read position has moved past it
    kOverrun,  // the producer overwrote unread entries: they were counted as lost and the
               // read position moved to the producer's head
  };
  ReadResult Read(SlicerEntry& entry);
  // Index of the next entry the consumer will read.
  int ReadPosition() const { return IndexOf(Consumed()); }

 private:
  int IndexOf(std::uint64_t sequence) const {
    return static_cast<int>(sequence % static_cast<std::uint64_t>(count_));
  }

  int count_;
  // One word per entry so that a slot is never seen half written: duration in bits 0..15,
  // status in bits 16..23.
  std::unique_ptr<std::atomic<std::uint32_t>[]> slots_;
  // Producer: entries begun (raised before a slot is written) and entries published.
  std::atomic<std::uint64_t> started_{0};
  std::atomic<std::uint64_t> written_{0};
  // Consumer.
  std::atomic<std::uint64_t> consumed_{0};
  std::atomic<std::uint64_t> overruns_{0};
  std::atomic<std::uint64_t> lost_{0};
};

}  // namespace pagora
