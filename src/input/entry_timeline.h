// Turning time-stamped line changes into ring entries. Every source (serial slicer, audio
// slicer, capture replay) produces (duration, status) pairs: the line state and the time it was
// held, in interval-timer ticks. Boundaries are kept as absolute times in double precision and
// each entry's duration is the difference of the rounded boundaries, so rounding never
// accumulates into drift however long the input runs.
#pragma once

#include <cstdint>

namespace pagora {

// Where produced entries go: the engine's ring, a capture file, a test's vector.
class EntrySink {
 public:
  virtual ~EntrySink() = default;
  virtual void Put(std::uint16_t duration, std::uint8_t status) = 0;
};

// Passes every entry on and counts them (a producer tells how much a stretch of signal gave).
class CountingSink : public EntrySink {
 public:
  explicit CountingSink(EntrySink& next) : next_(next) {}
  void Put(std::uint16_t duration, std::uint8_t status) override {
    ++count;
    next_.Put(duration, status);
  }
  int count = 0;

 private:
  EntrySink& next_;
};

// Status bytes whose high nibble the engine's level table maps back to levels 0..3: level n
// sets n of the lines CTS (bit 4), DSR (bit 5) and DCD (bit 7).
constexpr std::uint8_t kLevelStatus[4] = {0x00, 0x10, 0x30, 0xB0};

// The longest hold one entry can describe.
constexpr std::int64_t kMaxEntryTicks = 65535;

class EntryTimeline {
 public:
  // Starts the timeline at absolute time `ticks` with the line in `status`.
  void Start(double ticks, std::uint8_t status);
  // The line changed to `status` at absolute time `ticks`: emits the previous state with the
  // time it was held (split into holds of at most 65535 ticks). A time before the previous
  // boundary counts as the previous boundary (a zero-length hold).
  void Change(double ticks, std::uint8_t status, EntrySink& sink);
  // Emits whole 65535-tick holds of the current state while the time since the last boundary
  // exceeds that, so that time keeps reaching the engine while the line stays steady.
  void Advance(double ticks, EntrySink& sink);
  // Emits what remains of the current hold up to `ticks` and restarts from there.
  void Flush(double ticks, EntrySink& sink);

  std::uint8_t status() const { return status_; }
  bool started() const { return started_; }

 private:
  void EmitHold(std::int64_t ticks, EntrySink& sink);

  std::int64_t emitted_ = 0;  // rounded absolute time of the last emitted boundary
  std::uint8_t status_ = 0;
  bool started_ = false;
};

}  // namespace pagora
