#include "sdr/soapy_reader.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Logger.hpp>

#include <cmath>
#include <exception>

namespace pagora::sdr {
namespace {

// Reads this long before deciding the receiver has stopped delivering.
constexpr long kReadTimeoutUs = 500000;
constexpr int kTimeoutsBeforeGivingUp = 10;

class SoapyReader : public IqReader {
 public:
  explicit SoapyReader(SdrOptions options) : options_(std::move(options)) {}
  ~SoapyReader() override {
    if (!device_)
      return;
    try {
      if (stream_) {
        device_->deactivateStream(stream_);
        device_->closeStream(stream_);
      }
      SoapySDR::Device::unmake(device_);
    } catch (const std::exception&) {
      // Closing a receiver that has gone away: nothing left to do.
    }
  }

  bool Open(std::string& error) override {
    // The library's own log goes to standard error in its own words; ours say what failed.
    SoapySDR::setLogLevel(SOAPY_SDR_WARNING);
    std::string shown = options_.device.empty() ? "(any)" : options_.device;
    try {
      if (SoapySDR::Device::enumerate(options_.device).empty()) {
        error = "no SDR receiver found for device \"" + shown +
                "\": is it plugged in, and is the SoapySDR module for it installed "
                "(SoapySDRUtil --find lists what is seen)?";
        return false;
      }
      device_ = SoapySDR::Device::make(options_.device);
    } catch (const std::exception& e) {
      error = "cannot open SDR receiver \"" + shown + "\": " + e.what();
      device_ = nullptr;
      return false;
    }
    if (!device_) {
      error = "cannot open SDR receiver \"" + shown + "\"";
      return false;
    }
    try {
      device_->setSampleRate(SOAPY_SDR_RX, 0, options_.sampleRate);
      rate_ = device_->getSampleRate(SOAPY_SDR_RX, 0);
      device_->setFrequency(SOAPY_SDR_RX, 0, options_.centreHz);
      if (options_.ppm != 0) {
        if (device_->hasFrequencyCorrection(SOAPY_SDR_RX, 0)) {
          device_->setFrequencyCorrection(SOAPY_SDR_RX, 0, options_.ppm);
        } else {
          // Tune off by the error instead: the receiver's oscillator is that much fast.
          device_->setFrequency(SOAPY_SDR_RX, 0, options_.centreHz * (1 + options_.ppm * 1e-6));
        }
      }
      if (std::isnan(options_.gainDb)) {
        if (device_->hasGainMode(SOAPY_SDR_RX, 0))
          device_->setGainMode(SOAPY_SDR_RX, 0, true);
      } else {
        if (device_->hasGainMode(SOAPY_SDR_RX, 0))
          device_->setGainMode(SOAPY_SDR_RX, 0, false);
        device_->setGain(SOAPY_SDR_RX, 0, options_.gainDb);
      }
      if (options_.biasTee) {
        bool found = false;
        for (const SoapySDR::ArgInfo& info : device_->getSettingInfo()) {
          if (info.key == "biastee" || info.key == "bias_tee") {
            device_->writeSetting(info.key, "true");
            found = true;
          }
        }
        if (!found)
          problems_.push_back("this receiver has no bias-tee setting; --bias-tee ignored");
      }
      stream_ = device_->setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32);
      if (!stream_ || device_->activateStream(stream_) != 0) {
        error = "cannot start the SDR receiver's stream";
        return false;
      }
    } catch (const std::exception& e) {
      error = "cannot set up SDR receiver \"" + shown + "\": " + e.what();
      return false;
    }
    return true;
  }

  double sampleRate() const override { return rate_; }

  std::size_t Read(std::complex<float>* out, std::size_t count) override {
    if (!stream_ || failed_)
      return 0;
    for (int timeouts = 0; timeouts < kTimeoutsBeforeGivingUp;) {
      void* buffers[] = {out};
      int flags = 0;
      long long timeNs = 0;
      int got = device_->readStream(stream_, buffers, count, flags, timeNs, kReadTimeoutUs);
      if (got > 0)
        return static_cast<std::size_t>(got);
      if (got == SOAPY_SDR_TIMEOUT) {
        ++timeouts;
      } else if (got == SOAPY_SDR_OVERFLOW) {
        // Samples were lost (the machine fell behind): counted, decoding goes on.
        if (++overflows_ == 1)
          problems_.push_back("the SDR receiver dropped samples (decoding fell behind)");
      } else if (got != 0) {
        problems_.push_back(std::string("SDR receiver stopped: ") + SoapySDR::errToStr(got));
        failed_ = true;
        return 0;
      }
    }
    problems_.push_back("the SDR receiver delivered no samples for 5 seconds; stopped");
    failed_ = true;
    return 0;
  }

 private:
  SdrOptions options_;
  SoapySDR::Device* device_ = nullptr;
  SoapySDR::Stream* stream_ = nullptr;
  double rate_ = 0;
  bool failed_ = false;
  long overflows_ = 0;
};

}  // namespace

std::unique_ptr<IqReader> MakeSoapyReader(const SdrOptions& options) {
  return std::make_unique<SoapyReader>(options);
}

}  // namespace pagora::sdr
