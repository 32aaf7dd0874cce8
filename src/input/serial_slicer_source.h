// The serial data slicer: the slicer drives the port's modem-status lines (CTS, DSR, DCD, RI);
// a thread waits for each change (TIOCMIWAIT), time-stamps it on CLOCK_MONOTONIC, reads the
// lines (TIOCMGET) and appends the state that was held, with its duration, to the ring.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "engine/slicer_source.h"
#include "input/entry_timeline.h"

namespace pagora {

// The device for a port choice: 1..4 = /dev/ttyS0..3, 5 = the custom device; empty otherwise.
std::string SerialDevicePath(int comPort, const std::string& customDevice);

class SerialSlicerSource : public SlicerSource {
 public:
  SerialSlicerSource() = default;
  ~SerialSlicerSource() override;

  bool Open(const AppSettings& settings, SlicerRing& ring, Host& host) override;
  bool Close() override;
  // Every entry also goes to `recorder` (null: none), on the source's thread. Set before Open.
  void SetRecorder(EntrySink* recorder) { recorder_ = recorder; }
  bool IsOpen() const override { return fd_ >= 0; }

 private:
  EntrySink* recorder_ = nullptr;
  void Run(SlicerRing& ring);

  int fd_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};  // the reader thread has left its loop
};

}  // namespace pagora
