#include "input/sources/producer_source.h"

#include <chrono>

#include "input/sources/ring_sink.h"

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
    if (!producer_->Produce(target, maxEntries, sink)) {
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
