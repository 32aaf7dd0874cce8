#include "input/audio_file_writer.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace pagora {

AudioFileFormat AudioFormatForPath(const std::string& path) {
  auto endsWith = [&](const char* suffix) {
    std::size_t n = std::strlen(suffix);
    return path.size() >= n && path.compare(path.size() - n, n, suffix) == 0;
  };
  if (path == "-" || endsWith(".raw") || endsWith(".s16") || endsWith(".pcm")) {
    return AudioFileFormat::kRaw;
  }
  if (endsWith(".flac"))
    return AudioFileFormat::kFlac;
  return AudioFileFormat::kWav;
}

AudioFileWriter::~AudioFileWriter() {
  Close();
}

bool AudioFileWriter::Open(const std::string& path, AudioFileFormat format, int sampleRate) {
  Close();
  error_.clear();
  if (format == AudioFileFormat::kRaw) {
    if (path == "-") {
      fd_ = STDOUT_FILENO;
      closeFd_ = false;
    } else {
      fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      closeFd_ = true;
    }
    if (fd_ < 0) {
      error_ = path + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 1;
  info.format =
      (format == AudioFileFormat::kFlac ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    error_ = path + ": " + sf_strerror(nullptr);
    return false;
  }
  file_ = file;
  return true;
}

bool AudioFileWriter::Write(const float* samples, std::size_t count) {
  std::int16_t pcm[4096];
  while (count > 0) {
    std::size_t n = std::min<std::size_t>(count, 4096);
    for (std::size_t i = 0; i < n; ++i) {
      float v = std::clamp(samples[i], -1.0f, 32767.0f / 32768.0f);
      pcm[i] = static_cast<std::int16_t>(std::lrint(v * 32768.0f));
    }
    if (file_) {
      if (sf_write_short(static_cast<SNDFILE*>(file_), pcm, static_cast<sf_count_t>(n)) !=
          static_cast<sf_count_t>(n)) {
        error_ = sf_strerror(static_cast<SNDFILE*>(file_));
        return false;
      }
    } else if (fd_ >= 0) {
      unsigned char bytes[8192];
      for (std::size_t i = 0; i < n; ++i) {
        auto u = static_cast<std::uint16_t>(pcm[i]);
        bytes[2 * i] = static_cast<unsigned char>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(u >> 8);
      }
      std::size_t done = 0;
      while (done < 2 * n) {
        ssize_t w = write(fd_, bytes + done, 2 * n - done);
        if (w < 0 && errno == EINTR)
          continue;
        if (w <= 0) {
          error_ = std::strerror(errno);
          return false;
        }
        done += static_cast<std::size_t>(w);
      }
    } else {
      error_ = "not open";
      return false;
    }
    samples += n;
    count -= n;
  }
  return true;
}

bool AudioFileWriter::Close() {
  bool ok = true;
  if (file_) {
    ok = sf_close(static_cast<SNDFILE*>(file_)) == 0;
    file_ = nullptr;
  }
  if (fd_ >= 0) {
    if (closeFd_)
      ok = close(fd_) == 0 && ok;
    fd_ = -1;
  }
  return ok;
}

}  // namespace pagora
