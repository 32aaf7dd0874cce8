// An SDR receiver as an IQ reader, through SoapySDR: the device string picks the receiver
// ("driver=rtlsdr", "driver=rtlsdr,serial=00000001", "" for the first one found); the driver
// module loads at run time.
#pragma once

#include <cmath>
#include <memory>
#include <string>

#include "sdr/iq_reader.h"

namespace pagora::sdr {

struct SdrOptions {
  std::string device;
  double centreHz = 0;
  double sampleRate = 2.4e6;
  double gainDb = NAN;  // NaN: automatic gain
  double ppm = 0;       // frequency correction
  bool biasTee = false;
};

std::unique_ptr<IqReader> MakeSoapyReader(const SdrOptions& options);

}  // namespace pagora::sdr
