#include "input/recording_source.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "decoder/decoder_context.h"
#include "input/capture_format.h"
#include "input/source_factory.h"

namespace pagora {

namespace {

bool EndsWith(const std::string& text, const char* suffix) {
  std::size_t n = std::strlen(suffix);
  if (text.size() < n)
    return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = text[text.size() - n + i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i])
      return false;
  }
  return true;
}

class VectorSink : public EntrySink {
 public:
  explicit VectorSink(std::vector<SlicerEntry>& entries) : entries_(entries) {}
  void Put(std::uint16_t duration, std::uint8_t status) override {
    entries_.push_back({duration, status});
  }

 private:
  std::vector<SlicerEntry>& entries_;
};

double CaptureSeconds(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (!file)
    return -1;
  double ticks = 0;
  char line[256];
  while (std::fgets(line, sizeof line, file)) {
    std::string_view text(line);
    bool whole = !text.empty() && text.back() == '\n';
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
      text.remove_suffix(1);
    CaptureEntry entry;
    if (ParseCaptureLine(text, entry) == CaptureLine::kEntry)
      ticks += entry.duration;
    // A line longer than the buffer is garbage to the replay as well: skip the rest of it.
    if (!whole) {
      int c;
      while ((c = std::fgetc(file)) != EOF && c != '\n') {
      }
    }
  }
  std::fclose(file);
  return ticks * kTickSeconds;
}

// The raw reader takes a descriptor it does not own (it is standard input for
// pagora-decode): this one closes the file it opened.
class OwnedFdProducer : public EntryProducer {
 public:
  OwnedFdProducer(int fd, std::unique_ptr<EntryProducer> inner)
      : fd_(fd), inner_(std::move(inner)) {}
  ~OwnedFdProducer() override {
    inner_.reset();
    if (fd_ >= 0)
      close(fd_);
  }
  bool Open(Host& host) override { return inner_->Open(host); }
  Progress Produce(double seconds, int maxEntries, EntrySink& sink) override {
    Progress progress = inner_->Produce(seconds, maxEntries, sink);
    problems_ = inner_->problems();
    return progress;
  }
  double SignalSeconds() const override { return inner_->SignalSeconds(); }
  std::uint8_t LastStatus() const override { return inner_->LastStatus(); }

 private:
  int fd_;
  std::unique_ptr<EntryProducer> inner_;
};

}  // namespace

RecordingKind RecordingKindOf(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file) {
    char head[32] = {};
    std::size_t got = std::fread(head, 1, sizeof head - 1, file);
    std::fclose(file);
    if (std::string_view(head, got).rfind("# pagora capture", 0) == 0)
      return RecordingKind::kCapture;
  }
  if (EndsWith(path, ".cap"))
    return RecordingKind::kCapture;
  if (EndsWith(path, ".raw") || EndsWith(path, ".s16") || EndsWith(path, ".pcm"))
    return RecordingKind::kRaw;
  return RecordingKind::kAudio;
}

std::unique_ptr<EntryProducer> MakeRecordingProducer(const std::string& path,
                                                     const RecordingFormat& format,
                                                     const AppSettings& settings) {
  if (format.kind == RecordingKind::kCapture)
    return MakeCaptureProducer(path);
  AppSettings audio = settings;
  audio.fourLevelInterface = format.fourLevels ? 1 : 0;
  AudioSlicerConfig config = SlicerConfigFor(audio, format.rawSampleRate);
  if (format.kind == RecordingKind::kRaw) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    // A failed open is reported by the producer's Open, with the name.
    return std::make_unique<OwnedFdProducer>(fd, MakeRawPcmProducer(fd, path, config));
  }
  return MakeAudioFileProducer(path, config);
}

double RecordingDuration(const std::string& path, const RecordingFormat& format) {
  switch (format.kind) {
    case RecordingKind::kCapture:
      return CaptureSeconds(path);
    case RecordingKind::kRaw: {
      struct stat st {};
      if (stat(path.c_str(), &st) != 0 || format.rawSampleRate <= 0)
        return -1;
      return static_cast<double>(st.st_size / 2) / format.rawSampleRate;
    }
    case RecordingKind::kAudio:
    default: {
      SF_INFO info{};
      SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
      if (!file)
        return -1;
      sf_close(file);
      if (info.samplerate <= 0 || info.frames < 0)
        return -1;
      return static_cast<double>(info.frames) / info.samplerate;
    }
  }
}

RecordingSource::RecordingSource(std::string path, RecordingFormat format,
                                 std::unique_ptr<EntryProducer> producer)
    : path_(std::move(path)), format_(format), producer_(std::move(producer)) {}

RecordingSource::~RecordingSource() {
  Close();
}

bool RecordingSource::Open(const AppSettings&, SlicerRing& ring, Host& host) {
  if (IsOpen() || !producer_ || reader_.joinable() || !producer_->Open(host))
    return false;
  ring_ = &ring;
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
    readerDone_ = false;
  }
  reader_ = std::thread([this] { Read(); });
  return true;
}

bool RecordingSource::Close() {
  if (!ring_)
    return false;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  if (reader_.joinable())
    reader_.join();
  ring_ = nullptr;
  return true;
}

bool RecordingSource::Finished() const {
  return ended_;
}

bool RecordingSource::Push(Chunk chunk) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [this] { return stop_ || queue_.size() < kMaxQueuedChunks; });
  if (stop_)
    return false;
  queue_.push_back(std::move(chunk));
  return true;
}

void RecordingSource::Read() {
  duration_ = RecordingDuration(path_, format_);
  durationKnown_ = true;
  double target = 0;
  bool last = false;
  while (!last) {
    target += kStepSeconds;
    Chunk chunk;
    VectorSink sink(chunk.entries);
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (stop_)
          break;
      }
      int room = static_cast<int>(kMaxChunkEntries - chunk.entries.size());
      EntryProducer::Progress progress = producer_->Produce(target, room, sink);
      if (progress == EntryProducer::Progress::kEnded) {
        last = true;
        break;
      }
      if (progress == EntryProducer::Progress::kReached)
        break;
      // A full part goes ahead on its own; lines that were no entries just give a turn.
      if (chunk.entries.size() >= kMaxChunkEntries) {
        if (!Push(std::move(chunk)))
          break;
        chunk = Chunk{};
      }
    }
    chunk.endsStep = true;
    chunk.last = last;
    chunk.seconds = target;
    if (!Push(std::move(chunk)))
      break;
  }
  std::lock_guard lock(mutex_);
  readerDone_ = true;
}

RecordingSource::Step RecordingSource::Next(const std::function<void()>& drain) {
  if (ended_ || !ring_)
    return Step::kEnded;
  for (;;) {
    Chunk chunk;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty())
        return readerDone_ && !stop_ ? Step::kEnded : Step::kWait;
      chunk = std::move(queue_.front());
      queue_.pop_front();
    }
    room_.notify_one();
    for (const SlicerEntry& entry : chunk.entries) {
      // One slot is kept back, as the ring's producer side never fills it to the last entry.
      while (ring_->Free() <= 1)
        drain();
      ring_->Push(entry.duration, entry.status);
      lastStatus_ = entry.status;
    }
    if (!chunk.endsStep)
      continue;
    delivered_ = chunk.seconds;
    if (chunk.last) {
      ended_ = true;
      lastStatus_ = producer_->LastStatus();
    }
    return Step::kTick;
  }
}

void RecordingSource::PumpQuiet(double seconds) {
  if (!ring_)
    return;
  quietTicks_ += seconds / kTickSeconds;
  std::int64_t end = std::llround(quietTicks_);
  while (end - quietEmitted_ > 0 && ring_->Free() > 1) {
    std::int64_t hold = std::min<std::int64_t>(end - quietEmitted_, kMaxEntryTicks);
    ring_->Push(static_cast<std::uint16_t>(hold), lastStatus_);
    quietEmitted_ += hold;
  }
  delivered_ += seconds;
}

}  // namespace pagora
