// Finite inputs (audio file, pipe, capture) as slicer sources, in two ways:
// - ProducerSource feeds the ring from a thread of its own at the pace of the wall clock, as a
//   receiver would, for front ends that tick the engine on the wall clock (the desktop monitor);
// - PumpedSource has no thread: the front end pumps signal time into the ring itself and ticks
//   the engine once per 100 ms of signal, so the output is the same on every run however fast
//   the machine is (pagora-decode).
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "engine/slicer_source.h"
#include "input/entry_producer.h"

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

class PumpedSource : public SlicerSource {
 public:
  explicit PumpedSource(std::unique_ptr<EntryProducer> producer);

  bool Open(const AppSettings& settings, SlicerRing& ring, Host& host) override;
  bool Close() override;
  bool IsOpen() const override { return ring_ != nullptr; }
  bool Finished() const override { return ended_; }
  double SignalSeconds() const override { return producer_->SignalSeconds(); }

  // Every entry also goes to `recorder` (null: none).
  void SetRecorder(EntrySink* recorder) { recorder_ = recorder; }
  // Fills the ring until the signal time reaches `seconds`. kLimit: the ring is full, the
  // caller drains it and calls again; kEnded: the input is over.
  EntryProducer::Progress Pump(double seconds);
  // Appends `seconds` of the line state the input ended in: a quiet tail after the input, so
  // that the decoders see pages that were still open come to an end.
  void PumpQuiet(double seconds);
  const EntryProducer& producer() const { return *producer_; }

 private:
  std::unique_ptr<EntryProducer> producer_;
  SlicerRing* ring_ = nullptr;
  EntrySink* recorder_ = nullptr;
  bool ended_ = false;
  double quietTicks_ = 0;  // exact end of the quiet tail so far
  std::int64_t quietEmitted_ = 0;
};

}  // namespace pagora
