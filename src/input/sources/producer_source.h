// A finite input (audio file, pipe, capture) run as a live source: a thread of its own feeds
// the ring at the pace of the wall clock, as a receiver would, for front ends that tick the
// engine on the wall clock (the desktop monitor).
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "input/slicer_source.h"
#include "input/sources/entry_producer.h"

namespace pagora {

class ProducerSource : public SlicerSource {
 public:
  explicit ProducerSource(std::unique_ptr<EntryProducer> producer);
  ~ProducerSource() override;

  bool Open(const AppSettings& settings, SlicerRing& ring, Host& host) override;
  bool Close() override;
  bool IsOpen() const override { return thread_.joinable(); }
  bool Finished() const override { return finished_.load(); }
  double SignalSeconds() const override { return seconds_.load(); }

 private:
  void Run(SlicerRing& ring);

  std::unique_ptr<EntryProducer> producer_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::atomic<double> seconds_{0};
};

}  // namespace pagora
