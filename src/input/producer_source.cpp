#include "input/producer_source.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/bit_recovery.h"

#include "input/ring_sink.h"

namespace pagora {

ProducerSource::ProducerSource(std::unique_ptr<EntryProducer> producer)
    : producer_(std::move(producer)) {}

ProducerSource::~ProducerSource() {
  Close();
}

bool ProducerSource::Open(const AppSettings&, SlicerRing& ring, Host& host) {
  if (IsOpen() || !producer_ || !producer_->Open(host))
    return false;
  stop_ = false;
  finished_ = false;
  thread_ = std::thread([this, &ring] { Run(ring); });
  return true;
}

void ProducerSource::Run(SlicerRing& ring) {
  using Clock = std::chrono::steady_clock;
  constexpr double kSlice = 0.02;  // seconds of signal per step
  RingSink sink(ring);
  Clock::time_point start = Clock::now();
  double target = 0;
  // Half a ring per step at most, so that a burst of tiny entries cannot lap the reader.
  int maxEntries = ring.count() / 2;
  while (!stop_) {
    target += kSlice;
    if (producer_->Produce(target, maxEntries, sink) == EntryProducer::Progress::kEnded) {
      seconds_ = producer_->SignalSeconds();
      finished_ = true;
      return;
    }
    seconds_ = producer_->SignalSeconds();
    std::this_thread::sleep_until(
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(target)));
  }
}

bool ProducerSource::Close() {
  if (!thread_.joinable())
    return false;
  stop_ = true;
  thread_.join();
  return true;
}

}  // namespace pagora

namespace pagora {

PumpedSource::PumpedSource(std::unique_ptr<EntryProducer> producer)
    : producer_(std::move(producer)) {}

bool PumpedSource::Open(const AppSettings&, SlicerRing& ring, Host& host) {
  if (IsOpen() || !producer_ || !producer_->Open(host))
    return false;
  ring_ = &ring;
  return true;
}

bool PumpedSource::Close() {
  if (!ring_)
    return false;
  ring_ = nullptr;
  return true;
}

EntryProducer::Progress PumpedSource::Pump(double seconds) {
  if (!ring_ || ended_)
    return EntryProducer::Progress::kEnded;
  // One slot is kept back for the final hold an ending input emits after its last block.
  std::int64_t free = ring_->Free() - 8;
  if (free <= 0)
    return EntryProducer::Progress::kLimit;
  RingSink sink(*ring_, recorder_);
  auto progress =
      producer_->Produce(seconds, static_cast<int>(std::min<std::int64_t>(free, 1 << 20)), sink);
  if (progress == EntryProducer::Progress::kEnded)
    ended_ = true;
  return progress;
}

void PumpedSource::PumpQuiet(double seconds) {
  if (!ring_)
    return;
  RingSink sink(*ring_, recorder_);
  quietTicks_ += seconds / kTickSeconds;
  std::int64_t end = std::llround(quietTicks_);
  while (end - quietEmitted_ > 0 && ring_->Free() > 0) {
    std::int64_t hold = std::min<std::int64_t>(end - quietEmitted_, kMaxEntryTicks);
    sink.Put(static_cast<std::uint16_t>(hold), producer_->LastStatus());
    quietEmitted_ += hold;
  }
}

}  // namespace pagora
