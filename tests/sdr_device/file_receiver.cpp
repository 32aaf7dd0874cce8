// A SoapySDR receiver for the tests: it plays a cu8 recording as if it were the air, so that
// pagora-decode --sdr runs its whole receiver path (enumerate, make, rate, tuning, gain,
// correction, bias-tee, stream) without hardware. Loaded at run time from
// SOAPY_SDR_PLUGIN_PATH, like any receiver's module.
//
// Device arguments:
//   driver=pagora_test_file   this receiver
//   file=PATH                 the cu8 recording
//   rate=R                    its sample rate: the only rate this receiver offers
//   center=F                  the frequency it was recorded at; tuning elsewhere moves the
//                             band as a real tuner would (the digital band wraps round)
//   overflow_at=N             report one overflow when N samples have been delivered
//   report=PATH               on close, write what the program asked for, one key=value a line
//
// At the end of the recording the receiver fails like one pulled from its socket.
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Registry.hpp>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr const char* kDriver = "pagora_test_file";

double NumberArg(const SoapySDR::Kwargs& args, const char* key, double fallback) {
  auto it = args.find(key);
  return it == args.end() ? fallback : std::stod(it->second);
}

class FileReceiver : public SoapySDR::Device {
 public:
  explicit FileReceiver(const SoapySDR::Kwargs& args)
      : file_(std::fopen(args.at("file").c_str(), "rb")),
        rate_(NumberArg(args, "rate", 1.024e6)),
        recordedHz_(NumberArg(args, "center", 100e6)),
        tunedHz_(recordedHz_),
        overflowAt_(static_cast<long long>(NumberArg(args, "overflow_at", -1))) {
    if (!file_)
      throw std::runtime_error("cannot open " + args.at("file"));
    if (auto it = args.find("report"); it != args.end())
      reportPath_ = it->second;
  }
  ~FileReceiver() override {
    if (file_)
      std::fclose(file_);
    if (reportPath_.empty())
      return;
    std::ofstream report(reportPath_);
    report << "frequency=" << static_cast<long long>(std::llround(tunedHz_)) << "\n"
           << "rate=" << static_cast<long long>(std::llround(requestedRate_)) << "\n"
           << "gain_mode=" << (automaticGain_ ? "auto" : "manual") << "\n"
           << "gain=" << gain_ << "\n"
           << "correction=" << correction_ << "\n"
           << "biastee=" << biasTee_ << "\n"
           << "format=" << format_ << "\n";
  }

  std::string getDriverKey() const override { return kDriver; }
  std::string getHardwareKey() const override { return kDriver; }
  size_t getNumChannels(const int direction) const override {
    return direction == SOAPY_SDR_RX ? 1 : 0;
  }
  std::vector<std::string> getStreamFormats(const int, const size_t) const override {
    return {SOAPY_SDR_CF32};
  }

  void setSampleRate(const int, const size_t, const double rate) override {
    requestedRate_ = rate;  // the recording has one rate: that is what the receiver gives
  }
  double getSampleRate(const int, const size_t) const override { return rate_; }
  std::vector<double> listSampleRates(const int, const size_t) const override { return {rate_}; }

  void setFrequency(const int, const size_t, const double frequency,
                    const SoapySDR::Kwargs&) override {
    tunedHz_ = frequency;
    step_ = std::polar(1.0, 2 * std::numbers::pi * (recordedHz_ - tunedHz_) / rate_);
  }
  double getFrequency(const int, const size_t) const override { return tunedHz_; }

  bool hasFrequencyCorrection(const int, const size_t) const override { return true; }
  void setFrequencyCorrection(const int, const size_t, const double ppm) override {
    correction_ = ppm;
  }
  double getFrequencyCorrection(const int, const size_t) const override { return correction_; }

  std::vector<std::string> listGains(const int, const size_t) const override { return {"TUNER"}; }
  bool hasGainMode(const int, const size_t) const override { return true; }
  void setGainMode(const int, const size_t, const bool automatic) override {
    automaticGain_ = automatic;
  }
  bool getGainMode(const int, const size_t) const override { return automaticGain_; }
  void setGain(const int, const size_t, const double value) override { gain_ = value; }
  double getGain(const int, const size_t) const override { return gain_; }
  SoapySDR::Range getGainRange(const int, const size_t) const override { return {0, 50}; }

  SoapySDR::ArgInfoList getSettingInfo() const override {
    SoapySDR::ArgInfo biasTee;
    biasTee.key = "biastee";
    biasTee.value = "false";
    biasTee.type = SoapySDR::ArgInfo::BOOL;
    return {biasTee};
  }
  void writeSetting(const std::string& key, const std::string& value) override {
    if (key == "biastee")
      biasTee_ = value;
  }

  SoapySDR::Stream* setupStream(const int direction, const std::string& format,
                                const std::vector<size_t>&, const SoapySDR::Kwargs&) override {
    if (direction != SOAPY_SDR_RX || format != SOAPY_SDR_CF32)
      throw std::runtime_error("only CF32 reception");
    format_ = format;
    return reinterpret_cast<SoapySDR::Stream*>(this);
  }
  void closeStream(SoapySDR::Stream*) override {}
  int activateStream(SoapySDR::Stream*, const int, const long long, const size_t) override {
    active_ = true;
    return 0;
  }
  int deactivateStream(SoapySDR::Stream*, const int, const long long) override {
    active_ = false;
    return 0;
  }

  int readStream(SoapySDR::Stream*, void* const* buffers, const size_t count, int& flags,
                 long long& timeNs, const long) override {
    flags = 0;
    timeNs = 0;
    if (!active_)
      return SOAPY_SDR_TIMEOUT;
    if (overflowAt_ >= 0 && delivered_ >= overflowAt_) {
      overflowAt_ = -1;
      return SOAPY_SDR_OVERFLOW;
    }
    bytes_.resize(2 * count);
    std::size_t got = std::fread(bytes_.data(), 2, count, file_);
    if (got == 0)
      return SOAPY_SDR_STREAM_ERROR;
    auto* out = static_cast<std::complex<float>*>(buffers[0]);
    for (std::size_t i = 0; i < got; ++i) {
      std::complex<double> sample((bytes_[2 * i] - 127.5) / 128, (bytes_[2 * i + 1] - 127.5) / 128);
      out[i] = std::complex<float>(sample * phase_);
      phase_ *= step_;
    }
    phase_ /= std::abs(phase_);
    delivered_ += static_cast<long long>(got);
    return static_cast<int>(got);
  }

 private:
  std::FILE* file_;
  double rate_;
  double recordedHz_;
  double tunedHz_;
  long long overflowAt_;
  std::string reportPath_;
  double requestedRate_ = 0;
  double correction_ = 0;
  double gain_ = 0;
  bool automaticGain_ = false;
  std::string biasTee_ = "false";
  std::string format_;
  bool active_ = false;
  long long delivered_ = 0;
  std::complex<double> phase_{1, 0};
  std::complex<double> step_{1, 0};
  std::vector<std::uint8_t> bytes_;
};

SoapySDR::KwargsList Find(const SoapySDR::Kwargs& args) {
  auto driver = args.find("driver");
  if (driver == args.end() || driver->second != kDriver || args.count("file") == 0)
    return {};
  return {args};
}

SoapySDR::Device* Make(const SoapySDR::Kwargs& args) {
  return new FileReceiver(args);
}

const SoapySDR::Registry registration(kDriver, &Find, &Make, SOAPY_SDR_ABI_VERSION);

}  // namespace
