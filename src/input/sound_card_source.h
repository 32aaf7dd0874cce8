// A live sound card (PortAudio) as the slicer input: the audio callback's thread runs the audio
// slicer and appends to the ring, so the engine sees the same entries as from a serial slicer.
#pragma once

#include <memory>
#include <string>

#include "engine/slicer_source.h"
#include "input/audio_slicer.h"
#include "input/entry_timeline.h"

namespace pagora {

class SoundCardSource : public SlicerSource {
 public:
  // `device`: part of an input device's name, or its index; empty = the default input.
  // `slicer.sampleRate` 0 = the device's default rate.
  SoundCardSource(std::string device, const AudioSlicerConfig& slicer);
  ~SoundCardSource() override;

  bool Open(const AppSettings& settings, SlicerRing& ring, Host& host) override;
  bool Close() override;
  // Every entry also goes to `recorder` (null: none), on the source's thread. Set before Open.
  void SetRecorder(EntrySink* recorder) { recorder_ = recorder; }
  bool IsOpen() const override { return stream_ != nullptr; }

 private:
  EntrySink* recorder_ = nullptr;
  struct Callback;

  std::string device_;
  AudioSlicerConfig config_;
  void* stream_ = nullptr;  // PaStream
  std::unique_ptr<Callback> callback_;
};

}  // namespace pagora
