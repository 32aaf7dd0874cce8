// Finite inputs that are decoded on signal time: an audio file, raw samples on a pipe, a
// capture file. A producer turns its input into ring entries on demand, a slice of signal time
// at a time, so that pagora-decode can tick the engine once per 100 ms of signal however fast
// the machine is, and memory does not grow with the input's length.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "input/audio_slicer.h"
#include "input/entry_timeline.h"

namespace pagora {

class Host;

class EntryProducer {
 public:
  virtual ~EntryProducer() = default;
  // Opens the input. On failure reports through host.ShowMessage (caption "Pagora Error", the
  // system's reason on a second line) and returns false.
  virtual bool Open(Host& host) = 0;
  enum class Progress {
    kReached,  // the signal time has reached the target
    kLimit,    // `maxEntries` entries were put first
    kEnded,    // everything has been delivered, the final hold included
  };
  // Puts entries into `sink` until the signal time reaches `seconds`, the input ends or
  // `maxEntries` entries have been put.
  virtual Progress Produce(double seconds, int maxEntries, EntrySink& sink) = 0;
  // Signal time delivered so far.
  virtual double SignalSeconds() const = 0;
  // The line state at the end of what was delivered.
  virtual std::uint8_t LastStatus() const = 0;
  // Problems met while reading that did not stop it (a truncated file, garbage lines), one
  // line each; empty when the input was sound.
  const std::vector<std::string>& problems() const { return problems_; }

 protected:
  void AddProblem(std::string text);
  std::vector<std::string> problems_;
};

// Audio read through libsndfile (WAV, FLAC, and the other formats it knows); channel 0 of a
// multi-channel file. With `fd` >= 0 the audio is read from it (a pipe is fine) and `path`
// only names it; the producer owns it.
std::unique_ptr<EntryProducer> MakeAudioFileProducer(const std::string& path,
                                                     const AudioSlicerConfig& slicer, int fd = -1);
// Raw signed 16-bit little-endian mono samples from a file descriptor (standard input) at
// `slicer.sampleRate`. `name` is used in messages.
std::unique_ptr<EntryProducer> MakeRawPcmProducer(int fd, const std::string& name,
                                                  const AudioSlicerConfig& slicer);
// A capture file being replayed; garbage lines are reported by line number and skipped. With
// `fd` >= 0 it is read from there (the producer owns it) and `path` only names it; "-" is
// standard input.
std::unique_ptr<EntryProducer> MakeCaptureProducer(const std::string& path, int fd = -1);

}  // namespace pagora
