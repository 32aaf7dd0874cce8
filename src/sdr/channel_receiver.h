// One paging channel out of a band of IQ samples: the channel is mixed down to zero, filtered
// and decimated in two stages to about 25 kHz, and FM-demodulated into discriminator audio for
// the audio slicer, as a receiver's discriminator tap would give it.
//
// Paging transmitters deviate up to +-4.8 kHz with symbols up to 3200/s, so the wanted signal
// lies within about +-8 kHz of the carrier, plus the tuning error of a cheap receiver (a
// couple of kHz). The channel filter passes +-9 kHz and stops from 16 kHz, which keeps the
// neighbours of a 25 kHz channel plan out. No squelch: paging channels are continuous, and the
// audio slicer follows the level of whatever comes out.
//
// The first stage decimates to about 100 kHz with a short filter (anything that folds into the
// passband lies beyond 90 kHz), the second to the audio rate with the channel filter; from an
// input of 500 kHz or less (a bin of the filter bank, a narrow recording) the channel filter
// alone does it in one stage. Both are polyphase FIR decimators that compute only the samples
// they keep, on separate real and imaginary arrays so that the dot products run on the vector
// unit. The discriminator is the phase step between samples, with an arctangent written for
// the vector unit too.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace pagora::sdr {

// A FIR low-pass decimator for complex samples kept as separate real and imaginary arrays.
class FirDecimator {
 public:
  FirDecimator(std::vector<float> taps, int factor);

  // Filters `count` samples and appends every `factor`th output to `outRe`/`outIm`.
  void Process(const float* re, const float* im, std::size_t count, std::vector<float>& outRe,
               std::vector<float>& outIm);
  int factor() const { return factor_; }
  std::size_t length() const { return taps_.size(); }
  // Forgets the samples seen: the next output is the first again.
  void Reset();

 private:
  std::vector<float> taps_;  // reversed: taps_[k] multiplies the k-th oldest sample in view
  int factor_;
  std::vector<float> re_, im_;  // the last taps-1 samples, then the new ones
  std::size_t next_ = 0;        // index in re_/im_ where the next output's window starts
};

// A low-pass for decimation: Kaiser window, stop-band attenuation `attenuationDb`, passband to
// `passHz` and stopband from `stopHz` at `sampleRate`, unity gain at DC.
std::vector<float> DesignLowPass(double sampleRate, double passHz, double stopHz,
                                 double attenuationDb);

class ChannelReceiver {
 public:
  // `offsetHz`: the channel's frequency minus the band's centre.
  ChannelReceiver(double inputRate, double offsetHz);
  // A receiver at the same input rate as `sameRate`, sharing its filter design (designing the
  // filters costs more than a second of decoding them), starting afresh.
  ChannelReceiver(const ChannelReceiver& sameRate, double offsetHz);
  ~ChannelReceiver();
  ChannelReceiver(const ChannelReceiver&) = delete;
  ChannelReceiver& operator=(const ChannelReceiver&) = delete;

  // Demodulates `count` samples of the band and appends the audio (1.0 = 6 kHz above the
  // channel's frequency) to `audio`.
  void Process(const std::complex<float>* band, std::size_t count, std::vector<float>& audio);
  double audioRate() const { return audioRate_; }
  // The audio frequency at which the discriminator gives full scale.
  static constexpr double kFullScaleHz = 6000;

 private:
  static constexpr std::size_t kBlock = 4096;
  void Tune(double offsetHz);
  double inputRate_;
  double step_ = 0;  // radians per input sample
  double audioRate_;
  // Mixer: a table of one block's rotation and the phase at the start of the next block.
  std::vector<std::complex<float>> rotation_;
  std::complex<double> blockPhase_{1, 0};
  std::complex<double> blockStep_;
  FirDecimator first_, second_;
  std::vector<float> mixedRe_, mixedIm_, midRe_, midIm_, outRe_, outIm_;
  float lastRe_ = 1, lastIm_ = 0;  // the discriminator's previous sample
  float scale_;                    // audio per radian of phase step
};

// The angle of (re, im) in radians, within 2e-6 of atan2 everywhere (0 at the origin); written
// without branches so that a loop of them runs on the vector unit.
inline float FastAtan2(float im, float re) {
  float ax = re < 0 ? -re : re;
  float ay = im < 0 ? -im : im;
  float big = ax > ay ? ax : ay;
  float small = ax > ay ? ay : ax;
  float a = big > 0 ? small / big : 0.0f;
  float s = a * a;
  float r =
      a * (0.99997726f +
           s * (-0.33262347f +
                s * (0.19354346f + s * (-0.11643287f + s * (0.05265332f + s * -0.01172120f)))));
  r = ay > ax ? 1.57079637f - r : r;
  r = re < 0 ? 3.14159274f - r : r;
  return im < 0 ? -r : r;
}

// Decimation factors for a band at `inputRate`: to about 100 kHz, then to at least 25 kHz.
struct DecimationPlan {
  int first = 1;
  int second = 1;
  double middleRate = 0;
  double audioRate = 0;
};
DecimationPlan PlanDecimation(double inputRate);

}  // namespace pagora::sdr
