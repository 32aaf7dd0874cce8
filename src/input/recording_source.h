// Recordings opened in the desktop window: a WAV/FLAC file (anything libsndfile reads), raw
// s16le samples, or a slicer capture, decoded on signal time as fast as the machine allows.
//
// The file is read and sliced on a thread of its own, which cuts the signal into 100 ms steps
// and queues the entries of each step (a bounded queue: the reader waits when it is far
// enough ahead). The engine's thread takes one step at a time, moves its entries into the ring
// and ticks the engine once, so every page is stamped with the signal time it was sent at and
// the result is the same on every run, however fast the machine or busy the window is.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "engine/slicer_ring.h"
#include "engine/slicer_source.h"
#include "input/entry_producer.h"

namespace pagora {

// What a recording holds. IQ recordings from a software-defined receiver belong here as a
// kind of their own, told apart in RecordingKindOf and given a producer in
// MakeRecordingProducer; nothing else needs to change for the window to open them.
enum class RecordingKind {
  kAudio,    // WAV, FLAC, ... through libsndfile
  kRaw,      // headerless signed 16-bit little-endian mono samples (.raw, .s16, .pcm)
  kCapture,  // slicer entries written by --record or pagora-gen
};

// By the first bytes (a capture's header line) and then by the name.
RecordingKind RecordingKindOf(const std::string& path);

struct RecordingFormat {
  RecordingKind kind = RecordingKind::kAudio;
  double rawSampleRate = 22050;  // samples per second of a raw file
  // Audio is sliced to four levels unless told otherwise: a discriminator tap carries every
  // level, and only four levels decode every FLEX mode.
  bool fourLevels = true;
};

// The producer for a recording; a capture carries its own line states.
std::unique_ptr<EntryProducer> MakeRecordingProducer(const std::string& path,
                                                     const RecordingFormat& format,
                                                     const AppSettings& settings);

// Seconds of signal in the recording; -1 when it cannot be told (unreadable file). A capture
// is read through once to add its holds up.
double RecordingDuration(const std::string& path, const RecordingFormat& format);

class RecordingSource : public SlicerSource {
 public:
  static constexpr double kStepSeconds = 0.1;  // signal time per engine tick

  RecordingSource(std::string path, RecordingFormat format,
                  std::unique_ptr<EntryProducer> producer);
  ~RecordingSource() override;
  RecordingSource(const RecordingSource&) = delete;
  RecordingSource& operator=(const RecordingSource&) = delete;

  // Opens the file on the calling thread (a failure is reported through host.ShowMessage) and
  // starts the reader. The ring is filled by Step, on the engine's thread, not by the reader.
  bool Open(const AppSettings& settings, SlicerRing& ring, Host& host) override;
  // Stops the reader (it may be waiting on a full queue) and joins it.
  bool Close() override;
  bool IsOpen() const override { return ring_ != nullptr; }
  // Everything has been read and handed to the ring.
  bool Finished() const override;
  // Signal time handed to the ring so far.
  double SignalSeconds() const override { return delivered_; }

  // Seconds in the whole recording: -1 until the reader has measured it (first thing it does)
  // or when it could not.
  double Duration() const { return duration_.load(); }
  bool DurationKnown() const { return durationKnown_.load(); }

  enum class Step {
    kTick,   // the entries of the next 100 ms are in the ring: tick the engine once
    kWait,   // the reader has not got further yet
    kEnded,  // the recording is over
  };
  // Moves the next step's entries into the ring. `drain` is called whenever the ring is full,
  // so that a burst of tiny entries never overwrites what the engine has not read.
  Step Next(const std::function<void()>& drain);
  // Appends `seconds` of the line state the recording ended in, so pages that were still open
  // come to an end. Only after Next returned kEnded.
  void PumpQuiet(double seconds);
  // Problems met while reading (a truncated file, garbage lines); complete after kEnded.
  const std::vector<std::string>& Problems() const { return producer_->problems(); }
  const std::string& path() const { return path_; }

 private:
  struct Chunk {
    std::vector<SlicerEntry> entries;
    bool endsStep = false;  // the last part of a 100 ms step
    bool last = false;      // the recording ends with this step
    double seconds = 0;     // signal time at the end of the step
  };
  static constexpr std::size_t kMaxChunkEntries = 16384;
  static constexpr std::size_t kMaxQueuedChunks = 64;

  void Read();
  // Waits for room in the queue; false when the reader is told to stop.
  bool Push(Chunk chunk);

  std::string path_;
  RecordingFormat format_;
  std::unique_ptr<EntryProducer> producer_;
  SlicerRing* ring_ = nullptr;
  std::thread reader_;

  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::deque<Chunk> queue_;
  bool readerDone_ = false;  // guarded by mutex_
  bool stop_ = false;        // guarded by mutex_
  std::atomic<double> duration_{-1};
  std::atomic<bool> durationKnown_{false};

  // Engine thread.
  bool ended_ = false;
  double delivered_ = 0;
  std::uint8_t lastStatus_ = 0;
  double quietTicks_ = 0;
  std::int64_t quietEmitted_ = 0;
};

}  // namespace pagora
