#include "input/entry_producer.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/bit_recovery.h"
#include "engine/host.h"
#include "input/capture_format.h"

namespace pagora {
namespace {

constexpr const char* kCaption = "Pagora Error";
constexpr std::size_t kBlockFrames = 4096;
constexpr std::size_t kMaxProblems = 10;

std::uint32_t Little32(const unsigned char* b) {
  return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
}

// Whether the 8 bytes at `at` start a chunk that fits in a file of `size` bytes.
bool WholeChunkAt(int fd, off_t at, off_t size) {
  unsigned char header[8];
  if (at + 8 > size || pread(fd, header, 8, at) != 8)
    return false;
  for (int i = 0; i < 4; ++i) {
    if (header[i] < 0x20 || header[i] > 0x7E)
      return false;
  }
  return at + 8 + static_cast<off_t>(Little32(header + 4)) <= size;
}

// A WAV file whose data chunk ends before the file does, followed by bytes that are no chunk:
// samples a writer appended without fixing the declared size. Read with pread, so a descriptor
// handed on to libsndfile keeps its position; anything but a regular WAV file gives false.
bool DataChunkEndsEarly(int fd) {
  struct stat info {};
  unsigned char riff[12];
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || pread(fd, riff, 12, 0) != 12 ||
      std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
    return false;
  }
  off_t at = 12;
  for (int chunks = 0; chunks < 64 && at + 8 <= info.st_size; ++chunks) {
    unsigned char header[8];
    if (pread(fd, header, 8, at) != 8)
      return false;
    std::uint32_t size = Little32(header + 4);
    off_t end = at + 8 + static_cast<off_t>(size) + static_cast<off_t>(size & 1);
    if (std::memcmp(header, "data", 4) == 0)
      return end + 1 < info.st_size && !WholeChunkAt(fd, end, info.st_size);
    at = end;
  }
  return false;
}

// Shared by the two audio producers: reads blocks of samples and slices them.
class AudioProducer : public EntryProducer {
 public:
  explicit AudioProducer(const AudioSlicerConfig& config) : config_(config), slicer_(config) {}

  Progress Produce(double seconds, int maxEntries, EntrySink& sink) override {
    if (ended_)
      return Progress::kEnded;
    CountingSink counting(sink);
    auto target = static_cast<std::int64_t>(seconds * config_.sampleRate + 0.5);
    while (samples_ < target) {
      if (counting.count >= maxEntries)
        return Progress::kLimit;
      auto want = static_cast<std::size_t>(
          std::min<std::int64_t>(target - samples_, static_cast<std::int64_t>(kBlockFrames)));
      std::size_t got = Read(block_, want);
      if (got == 0) {
        End(counting);
        return Progress::kEnded;
      }
      slicer_.Process(block_, got, counting);
      samples_ += static_cast<std::int64_t>(got);
    }
    return Progress::kReached;
  }
  double SignalSeconds() const override { return slicer_.SignalSeconds(); }
  std::uint8_t LastStatus() const override { return slicer_.status(); }

 protected:
  // Reads up to `count` samples into `out`; 0 at the end of the input (or a read error, which
  // the reader reports as a problem).
  virtual std::size_t Read(float* out, std::size_t count) = 0;
  virtual void Ended() {}
  std::int64_t samples_ = 0;
  std::string name_;

 private:
  void End(EntrySink& sink) {
    ended_ = true;
    slicer_.Finish(sink);
    Ended();
    if (samples_ == 0)
      AddProblem(name_ + ": no audio samples");
  }

  AudioSlicerConfig config_;
  AudioSlicer slicer_;
  bool ended_ = false;
  float block_[kBlockFrames];
};

class AudioFileProducer : public AudioProducer {
 public:
  AudioFileProducer(const std::string& path, const AudioSlicerConfig& config, SNDFILE* file,
                    const SF_INFO& info, std::string openError)
      : AudioProducer(config),
        path_(path),
        file_(file),
        info_(info),
        openError_(std::move(openError)) {
    name_ = path;
  }
  ~AudioFileProducer() override {
    if (file_)
      sf_close(file_);
  }

  bool Open(Host& host) override {
    if (!file_) {
      host.ShowMessage("Error opening audio file!\n" + path_ + ": " + openError_, kCaption);
      return false;
    }
    if (info_.channels < 1 || info_.samplerate < 1000) {
      host.ShowMessage("Error opening audio file!\n" + path_ + ": unusable sample format",
                       kCaption);
      return false;
    }
    channels_ = info_.channels;
    declaredFrames_ = info_.frames;
    ReadLog();
    interleaved_.resize(kBlockFrames * static_cast<std::size_t>(channels_));
    return true;
  }

  // The file is opened here (once: a pipe cannot be opened twice), as the slicer is built for
  // the file's own rate. `fd` >= 0: read from it (closed with the file), else open `path`.
  static std::unique_ptr<EntryProducer> Make(const std::string& path, int fd,
                                             AudioSlicerConfig config) {
    SF_INFO info{};
    SNDFILE* file =
        fd >= 0 ? sf_open_fd(fd, SFM_READ, &info, SF_TRUE) : sf_open(path.c_str(), SFM_READ, &info);
    std::string error = file ? "" : sf_strerror(nullptr);
    int probe = fd >= 0 ? fd : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool trailing = probe >= 0 && DataChunkEndsEarly(probe);
    if (fd < 0 && probe >= 0)
      close(probe);
    if (file && info.samplerate > 0)
      config.sampleRate = info.samplerate;
    auto producer = std::make_unique<AudioFileProducer>(path, config, file, info, error);
    producer->trailingData_ = trailing;
    return producer;
  }

 protected:
  std::size_t Read(float* out, std::size_t count) override {
    if (!file_)
      return 0;
    if (channels_ == 1) {
      sf_count_t got = sf_readf_float(file_, out, static_cast<sf_count_t>(count));
      return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    // Of several channels the first is the discriminator's.
    sf_count_t got = sf_readf_float(file_, interleaved_.data(), static_cast<sf_count_t>(count));
    if (got <= 0)
      return 0;
    for (sf_count_t i = 0; i < got; ++i)
      out[i] = interleaved_[static_cast<std::size_t>(i * channels_)];
    return static_cast<std::size_t>(got);
  }

  void Ended() override {
    int error = sf_error(file_);
    if (error != SF_ERR_NO_ERROR) {
      AddProblem(path_ + ": read error: " + sf_error_number(error));
    } else if (trailingData_) {
      AddProblem(path_ + ": the data chunk declares " + std::to_string(declaredFrames_) +
                 " samples but the file goes on; only those were decoded");
    } else if (shortData_) {
      AddProblem(path_ + ": file is truncated (" + std::to_string(samples_) +
                 " samples were there)");
    } else if (declaredFrames_ > 0 && samples_ < declaredFrames_) {
      AddProblem(path_ + ": file is truncated (" + std::to_string(samples_) + " of " +
                 std::to_string(declaredFrames_) + " samples)");
    }
  }

 private:
  // libsndfile reads a file whose data chunk runs past its end up to where it stops, and says
  // so only in its log ("data : N (should be M)").
  void ReadLog() {
    char log[4096] = {};
    sf_command(file_, SFC_GET_LOG_INFO, log, sizeof log);
    std::string text(log);
    for (std::size_t at = 0; at < text.size();) {
      std::size_t end = text.find('\n', at);
      std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
      if (line.rfind("data", 0) == 0 && line.find("should be") != std::string::npos)
        shortData_ = true;
      at = end == std::string::npos ? text.size() : end + 1;
    }
  }

  std::string path_;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  std::string openError_;
  int channels_ = 1;
  sf_count_t declaredFrames_ = 0;
  bool shortData_ = false;
  bool trailingData_ = false;
  std::vector<float> interleaved_;
};

class RawPcmProducer : public AudioProducer {
 public:
  RawPcmProducer(int fd, const std::string& name, const AudioSlicerConfig& config)
      : AudioProducer(config), fd_(fd) {
    name_ = name;
  }

  bool Open(Host& host) override {
    if (fd_ < 0 || fcntl(fd_, F_GETFD) < 0) {
      host.ShowMessage("Error opening audio input!\n" + name_ + ": " + std::strerror(EBADF),
                       kCaption);
      return false;
    }
    return true;
  }

 protected:
  std::size_t Read(float* out, std::size_t count) override {
    // Keeps a dangling odd byte for the next read, so a pipe that delivers odd-sized chunks
    // still yields whole samples.
    std::size_t wanted = count * 2;
    while (filled_ < wanted && !eof_) {
      ssize_t n = read(fd_, bytes_ + filled_, wanted - filled_);
      if (n > 0) {
        filled_ += static_cast<std::size_t>(n);
        if (filled_ >= 2)
          break;  // deliver what is here; a pipe may be live
      } else if (n == 0) {
        eof_ = true;
      } else if (errno != EINTR) {
        AddProblem(name_ + ": read error: " + std::strerror(errno));
        eof_ = true;
      } else {
        return 0;  // interrupted (Ctrl-C): treated as the end
      }
    }
    std::size_t samples = std::min(count, filled_ / 2);
    for (std::size_t i = 0; i < samples; ++i) {
      auto value = static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes_[2 * i]) |
                                             (static_cast<std::uint16_t>(bytes_[2 * i + 1]) << 8));
      out[i] = static_cast<float>(value) / 32768.0f;
    }
    std::size_t used = samples * 2;
    std::memmove(bytes_, bytes_ + used, filled_ - used);
    filled_ -= used;
    return samples;
  }

 private:
  int fd_;
  unsigned char bytes_[kBlockFrames * 2];
  std::size_t filled_ = 0;
  bool eof_ = false;
};

class CaptureProducer : public EntryProducer {
 public:
  CaptureProducer(const std::string& path, int fd) : path_(path), fd_(fd) {}
  ~CaptureProducer() override {
    if (file_ && file_ != stdin) {
      std::fclose(file_);
    } else if (!file_ && fd_ >= 0) {
      close(fd_);
    }
  }

  bool Open(Host& host) override {
    if (fd_ >= 0) {
      file_ = fdopen(fd_, "r");
    } else {
      file_ = path_ == "-" ? stdin : std::fopen(path_.c_str(), "r");
    }
    if (!file_) {
      host.ShowMessage("Error opening capture file!\n" + path_ + ": " + std::strerror(errno),
                       kCaption);
      return false;
    }
    return true;
  }

  Progress Produce(double seconds, int maxEntries, EntrySink& sink) override {
    if (ended_)
      return Progress::kEnded;
    double targetTicks = seconds / kTickSeconds;
    int put = 0;
    while (ticks_ < targetTicks) {
      if (put >= maxEntries)
        return Progress::kLimit;
      CaptureEntry entry;
      Next next = NextEntry(entry);
      if (next == Next::kNone)
        return Progress::kLimit;  // lines that are no entries: give the caller a turn
      if (next == Next::kEnd) {
        ended_ = true;
        if (entries_ == 0 && problems_.empty())
          AddProblem(path_ + ": no capture entries");
        if (garbage_ > kMaxProblems) {
          AddProblem(path_ + ": " + std::to_string(garbage_ - kMaxProblems) +
                     " more lines are not capture entries");
        }
        return Progress::kEnded;
      }
      sink.Put(entry.duration, entry.status);
      ticks_ += entry.duration;
      last_ = entry.status;
      ++entries_;
      // Zero-length entries take no signal time; they still count against the limit.
      ++put;
    }
    return Progress::kReached;
  }
  double SignalSeconds() const override { return ticks_ * kTickSeconds; }
  std::uint8_t LastStatus() const override { return last_; }

 private:
  enum class Next { kEntry, kNone, kEnd };
  // Lines read per call at most when none is an entry, so that a stream of garbage cannot keep
  // the caller from looking at its stop flag.
  static constexpr int kLinesPerCall = 4096;

  Next NextEntry(CaptureEntry& entry) {
    char line[256];
    for (int lines = 0; lines < kLinesPerCall; ++lines) {
      if (!std::fgets(line, sizeof line, file_))
        return EndOfLines();
      std::size_t length = std::strlen(line);
      bool whole = length > 0 && line[length - 1] == '\n';
      if (whole)
        line[--length] = '\0';
      // An over-long line cannot be an entry: its first piece counts as garbage and the rest
      // is skipped, a piece per turn (an endless line must not hold the caller either).
      bool continued = skipping_;
      skipping_ = !whole && !std::feof(file_);
      if (continued)
        continue;
      ++lineNumber_;
      CaptureLine kind = ParseCaptureLine(std::string_view(line, length), entry);
      if (skipping_)
        kind = CaptureLine::kGarbage;
      if (kind == CaptureLine::kEntry)
        return Next::kEntry;
      if (kind == CaptureLine::kGarbage) {
        if (++garbage_ <= kMaxProblems) {
          AddProblem(path_ + ":" + std::to_string(lineNumber_) + ": not a capture entry");
        }
      }
    }
    return Next::kNone;
  }

  Next EndOfLines() {
    // A signal that interrupted the read (Ctrl-C on a pipe) ends the input like its end.
    if (std::ferror(file_) && errno != EINTR)
      AddProblem(path_ + ": read error");
    return Next::kEnd;
  }

  std::string path_;
  int fd_;
  std::FILE* file_ = nullptr;
  double ticks_ = 0;
  std::uint8_t last_ = 0;
  long lineNumber_ = 0;
  std::size_t garbage_ = 0;
  bool skipping_ = false;
  long entries_ = 0;
  bool ended_ = false;
};

}  // namespace

void EntryProducer::AddProblem(std::string text) {
  problems_.push_back(std::move(text));
}

std::unique_ptr<EntryProducer> MakeAudioFileProducer(const std::string& path,
                                                     const AudioSlicerConfig& slicer, int fd) {
  return AudioFileProducer::Make(path, fd, slicer);
}

std::unique_ptr<EntryProducer> MakeRawPcmProducer(int fd, const std::string& name,
                                                  const AudioSlicerConfig& slicer) {
  return std::make_unique<RawPcmProducer>(fd, name, slicer);
}

std::unique_ptr<EntryProducer> MakeCaptureProducer(const std::string& path, int fd) {
  return std::make_unique<CaptureProducer>(path, fd);
}

}  // namespace pagora
