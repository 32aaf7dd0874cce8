// Where a band of IQ samples comes from: a recording (raw cu8 as rtl_sdr writes it, cs16,
// cf32, or a two-channel WAV file, optionally described by a SigMF .sigmf-meta file beside it)
// or an SDR receiver through SoapySDR. Samples come out as complex floats, full scale 1.0.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagora::sdr {

enum class IqFormat { kCu8, kCs16, kCf32, kWav };

// "cu8", "cs16", "cf32", "wav" (and SigMF's "cu8", "ci16_le", "cf32_le").
std::optional<IqFormat> ParseIqFormat(const std::string& name);

class IqReader {
 public:
  virtual ~IqReader() = default;
  // Opens the input; on failure `error` says why (one line) and false is returned.
  virtual bool Open(std::string& error) = 0;
  // Reads up to `count` samples; 0 at the end of the input or after a failure (see problems).
  virtual std::size_t Read(std::complex<float>* out, std::size_t count) = 0;
  virtual double sampleRate() const = 0;
  // Problems met while reading that did not stop it (a truncated file, lost samples).
  const std::vector<std::string>& problems() const { return problems_; }

 protected:
  std::vector<std::string> problems_;
};

// Samples already in memory (a band rendered for a benchmark or a test); `band` must outlive
// the reader.
std::unique_ptr<IqReader> MakeIqMemoryReader(const std::vector<std::complex<float>>& band,
                                             double sampleRate);

// A recording at `sampleRate`. "-" reads standard input (raw formats only).
std::unique_ptr<IqReader> MakeIqFileReader(const std::string& path, IqFormat format,
                                           double sampleRate);

// What a SigMF metadata file says about its recording.
struct SigmfInfo {
  std::string dataPath;
  std::optional<IqFormat> format;
  double sampleRate = 0;
  double centreHz = 0;
};
// For `path` (the data file, the .sigmf-meta file, or the common stem): the metadata beside it,
// if there is one. `error` is set when it exists but cannot be used.
std::optional<SigmfInfo> FindSigmf(const std::string& path, std::string& error);
// Writes a SigMF metadata file describing a recording.
bool WriteSigmfMeta(const std::string& metaPath, IqFormat format, double sampleRate,
                    double centreHz, const std::string& description);

// "152.84M", "152840k", "152840000", "2.4e6" as hertz; also "-300k" for offsets.
std::optional<double> ParseFrequency(const std::string& text);
// "152.840 MHz" (kHz below 1 MHz).
std::string FormatFrequency(double hz);

}  // namespace pagora::sdr
