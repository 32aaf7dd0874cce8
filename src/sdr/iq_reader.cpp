#include "sdr/iq_reader.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <nlohmann/json.hpp>

namespace pagora::sdr {

std::optional<IqFormat> ParseIqFormat(const std::string& name) {
  if (name == "cu8" || name == "cu8_le")
    return IqFormat::kCu8;
  if (name == "cs16" || name == "ci16_le" || name == "cs16_le")
    return IqFormat::kCs16;
  if (name == "cf32" || name == "cf32_le")
    return IqFormat::kCf32;
  if (name == "wav")
    return IqFormat::kWav;
  return std::nullopt;
}

std::optional<double> ParseFrequency(const std::string& text) {
  if (text.empty())
    return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str())
    return std::nullopt;
  std::string suffix(end);
  if (suffix == "k" || suffix == "K" || suffix == "kHz")
    value *= 1e3;
  else if (suffix == "M" || suffix == "MHz")
    value *= 1e6;
  else if (suffix == "G" || suffix == "GHz")
    value *= 1e9;
  else if (!suffix.empty() && suffix != "Hz")
    return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > 1e12)
    return std::nullopt;
  return value;
}

std::string FormatFrequency(double hz) {
  char text[48];
  if (std::fabs(hz) >= 1e6)
    std::snprintf(text, sizeof text, "%.4f MHz", hz / 1e6);
  else
    std::snprintf(text, sizeof text, "%.3f kHz", hz / 1e3);
  return text;
}

namespace {

// Raw interleaved samples from a file or standard input.
class RawIqReader : public IqReader {
 public:
  RawIqReader(std::string path, IqFormat format, double rate)
      : path_(std::move(path)), format_(format), rate_(rate) {
    for (int i = 0; i < 256; ++i)
      cu8_[static_cast<std::size_t>(i)] = (static_cast<float>(i) - 127.5f) / 127.5f;
  }
  ~RawIqReader() override {
    if (fd_ > STDERR_FILENO)
      close(fd_);
  }
  bool Open(std::string& error) override {
    fd_ = path_ == "-" ? STDIN_FILENO : open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      error = path_ + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }
  double sampleRate() const override { return rate_; }

  std::size_t Read(std::complex<float>* out, std::size_t count) override {
    std::size_t width = format_ == IqFormat::kCu8 ? 2 : format_ == IqFormat::kCs16 ? 4 : 8;
    bytes_.resize(count * width + width);
    // Fill up to whole samples (a pipe delivers what it has).
    std::size_t have = carried_;
    std::memcpy(bytes_.data(), carry_.data(), carried_);
    while (have < count * width && !ended_) {
      ssize_t got = read(fd_, bytes_.data() + have, count * width - have);
      if (got < 0 && errno == EINTR)
        continue;
      if (got < 0) {
        problems_.push_back(path_ + ": read error: " + std::strerror(errno));
        ended_ = true;
        break;
      }
      if (got == 0) {
        ended_ = true;
        break;
      }
      have += static_cast<std::size_t>(got);
      if (have >= width * 1024)  // enough to get on with
        break;
    }
    std::size_t samples = have / width;
    carried_ = have - samples * width;
    std::memcpy(carry_.data(), bytes_.data() + samples * width, carried_);
    if (ended_ && carried_ > 0 && !reportedTail_) {
      reportedTail_ = true;
      problems_.push_back(path_ + ": ends in the middle of a sample (" + std::to_string(carried_) +
                          " bytes left over)");
    }
    const unsigned char* b = bytes_.data();
    for (std::size_t i = 0; i < samples; ++i) {
      if (format_ == IqFormat::kCu8) {
        out[i] = {cu8_[b[2 * i]], cu8_[b[2 * i + 1]]};
      } else if (format_ == IqFormat::kCs16) {
        std::int16_t v[2];
        std::memcpy(v, b + 4 * i, 4);
        out[i] = {static_cast<float>(v[0]) / 32768.0f, static_cast<float>(v[1]) / 32768.0f};
      } else {
        float v[2];
        std::memcpy(v, b + 8 * i, 8);
        // Garbage in a float file must not reach the filters as NaN or infinity.
        out[i] = {std::isfinite(v[0]) ? v[0] : 0.0f, std::isfinite(v[1]) ? v[1] : 0.0f};
      }
    }
    return samples;
  }

 private:
  std::string path_;
  IqFormat format_;
  double rate_;
  int fd_ = -1;
  bool ended_ = false;
  bool reportedTail_ = false;
  std::vector<unsigned char> bytes_;
  std::array<unsigned char, 8> carry_{};
  std::size_t carried_ = 0;
  std::array<float, 256> cu8_{};
};

// A two-channel WAV (or any libsndfile format): left I, right Q. Its own rate wins.
class WavIqReader : public IqReader {
 public:
  WavIqReader(std::string path, double rate) : path_(std::move(path)), rate_(rate) {}
  ~WavIqReader() override {
    if (file_)
      sf_close(file_);
  }
  bool Open(std::string& error) override {
    SF_INFO info{};
    file_ = sf_open(path_.c_str(), SFM_READ, &info);
    if (!file_) {
      error = path_ + ": " + sf_strerror(nullptr);
      return false;
    }
    if (info.channels != 2) {
      error = path_ + ": an IQ WAV file needs 2 channels (I and Q), this one has " +
              std::to_string(info.channels);
      return false;
    }
    if (info.samplerate > 0)
      rate_ = info.samplerate;
    return true;
  }
  double sampleRate() const override { return rate_; }
  std::size_t Read(std::complex<float>* out, std::size_t count) override {
    buffer_.resize(2 * count);
    sf_count_t got = sf_readf_float(file_, buffer_.data(), static_cast<sf_count_t>(count));
    if (got <= 0) {
      if (sf_error(file_) != SF_ERR_NO_ERROR && !reported_) {
        reported_ = true;
        problems_.push_back(path_ + ": read error: " + sf_strerror(file_));
      }
      return 0;
    }
    for (sf_count_t i = 0; i < got; ++i) {
      auto k = static_cast<std::size_t>(i);
      out[k] = {buffer_[2 * k], buffer_[2 * k + 1]};
    }
    return static_cast<std::size_t>(got);
  }

 private:
  std::string path_;
  double rate_;
  SNDFILE* file_ = nullptr;
  std::vector<float> buffer_;
  bool reported_ = false;
};

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

}  // namespace

std::unique_ptr<IqReader> MakeIqFileReader(const std::string& path, IqFormat format,
                                           double sampleRate) {
  if (format == IqFormat::kWav)
    return std::make_unique<WavIqReader>(path, sampleRate);
  return std::make_unique<RawIqReader>(path, format, sampleRate);
}

std::optional<SigmfInfo> FindSigmf(const std::string& path, std::string& error) {
  std::string stem = path;
  for (const char* ext : {".sigmf-meta", ".sigmf-data"}) {
    if (EndsWith(stem, ext))
      stem.resize(stem.size() - std::strlen(ext));
  }
  std::string meta = stem + ".sigmf-meta";
  if (path == "-" || !Exists(meta))
    return std::nullopt;
  SigmfInfo info;
  info.dataPath = EndsWith(path, ".sigmf-meta") ? stem + ".sigmf-data" : path;
  try {
    std::ifstream in(meta);
    nlohmann::json doc = nlohmann::json::parse(in);
    const nlohmann::json& global = doc.at("global");
    if (global.contains("core:datatype")) {
      std::string type = global.at("core:datatype").get<std::string>();
      info.format = ParseIqFormat(type);
      if (!info.format) {
        error = meta + ": datatype " + type + " is not read (cu8, ci16_le and cf32_le are)";
        return std::nullopt;
      }
    }
    if (global.contains("core:sample_rate"))
      info.sampleRate = global.at("core:sample_rate").get<double>();
    if (doc.contains("captures") && doc.at("captures").is_array() && !doc.at("captures").empty() &&
        doc.at("captures")[0].contains("core:frequency")) {
      info.centreHz = doc.at("captures")[0].at("core:frequency").get<double>();
    }
  } catch (const std::exception& e) {
    error = meta + ": " + e.what();
    return std::nullopt;
  }
  if (!std::isfinite(info.sampleRate) || info.sampleRate < 0 || !std::isfinite(info.centreHz)) {
    error = meta + ": sample rate or frequency out of range";
    return std::nullopt;
  }
  return info;
}

bool WriteSigmfMeta(const std::string& metaPath, IqFormat format, double sampleRate,
                    double centreHz, const std::string& description) {
  const char* type = format == IqFormat::kCu8    ? "cu8"
                     : format == IqFormat::kCs16 ? "ci16_le"
                                                 : "cf32_le";
  nlohmann::ordered_json doc;
  doc["global"] = {{"core:datatype", type},
                   {"core:sample_rate", sampleRate},
                   {"core:version", "1.0.0"},
                   {"core:description", description}};
  doc["captures"] =
      nlohmann::ordered_json::array({{{"core:sample_start", 0}, {"core:frequency", centreHz}}});
  doc["annotations"] = nlohmann::ordered_json::array();
  std::ofstream out(metaPath);
  out << doc.dump(2) << '\n';
  return static_cast<bool>(out);
}

namespace {

class MemoryReader : public IqReader {
 public:
  MemoryReader(const std::vector<std::complex<float>>& band, double rate)
      : band_(band), rate_(rate) {}
  bool Open(std::string&) override { return true; }
  std::size_t Read(std::complex<float>* out, std::size_t count) override {
    count = std::min(count, band_.size() - at_);
    std::copy_n(band_.data() + at_, count, out);
    at_ += count;
    return count;
  }
  double sampleRate() const override { return rate_; }

 private:
  const std::vector<std::complex<float>>& band_;
  double rate_;
  std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<IqReader> MakeIqMemoryReader(const std::vector<std::complex<float>>& band,
                                             double sampleRate) {
  return std::make_unique<MemoryReader>(band, sampleRate);
}

}  // namespace pagora::sdr
