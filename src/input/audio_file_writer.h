// Writes audio files through libsndfile, block by block: WAV (16-bit PCM), FLAC, or raw signed
// 16-bit little-endian samples (also to standard output, path "-").
#pragma once

#include <cstddef>
#include <string>

namespace pagora {

enum class AudioFileFormat { kWav, kFlac, kRaw };

// The format a file name asks for: ".flac" FLAC, ".raw"/".s16"/".pcm" or "-" raw, else WAV.
AudioFileFormat AudioFormatForPath(const std::string& path);

class AudioFileWriter {
 public:
  AudioFileWriter() = default;
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;
  ~AudioFileWriter();

  // False with error() set when the file cannot be created.
  bool Open(const std::string& path, AudioFileFormat format, int sampleRate);
  // Samples at full scale +-1.0 (clipped beyond).
  bool Write(const float* samples, std::size_t count);
  bool Close();
  const std::string& error() const { return error_; }

 private:
  void* file_ = nullptr;  // SNDFILE
  int fd_ = -1;           // raw output
  bool closeFd_ = false;
  std::string error_;
};

}  // namespace pagora
