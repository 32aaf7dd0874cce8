// A polyphase filter bank that splits a band of IQ into evenly spaced bins at once, so that
// decoding many channels of one band costs little more than decoding one. Each channel then
// takes only the bin it lies in, at the bin's low rate, and finishes there with its own fine
// mixer, channel filter and discriminator (ChannelReceiver).
//
// The bins are twice oversampled: a bin's output rate is twice the bin spacing, and the
// prototype low-pass passes half a spacing plus a channel's own width (FM deviation and tuning
// error), so a channel anywhere in its bin, even right at the edge, comes through flat, and
// whatever folds onto it when the bin is decimated lies in the prototype's stopband.
//
// The bin count is a small power of two: the FFT behind the bank is fastest there by far, and
// the bank's cost per input sample grows with the FFT's cost per point.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace pagora::sdr {

// How a band is split. `bins` == 0: no bank, every channel mixes and filters the band at the
// full input rate (one channel, or a rate too low for bins wider than a channel).
struct BankPlan {
  int bins = 0;
  int decimation = 0;     // input samples per bin output
  double spacingHz = 0;   // between bin centres
  double outputRate = 0;  // of every bin
  bool used() const { return bins > 0; }
};

// The one place where the choice between a bank and the per-channel path is made. kOn and kOff
// override the channel count's say (tests and benchmarks compare the two paths); a rate that
// allows no bank never gets one.
enum class BankChoice { kAuto, kOn, kOff };
BankPlan PlanBank(double inputRate, std::size_t channels, BankChoice choice = BankChoice::kAuto);

// The bin that holds a channel `offsetHz` from the band's centre, and where the channel lies
// within it (offset from the bin's centre, at most half a spacing).
struct BinPlace {
  int bin = 0;
  double offsetHz = 0;
};
BinPlace PlaceInBin(const BankPlan& plan, double offsetHz);

class Channeliser {
 public:
  // Computes the bins listed in `bins` (indices 0..plan.bins-1, 0 = the band's centre; above
  // plan.bins/2 they stand for negative frequencies).
  Channeliser(double inputRate, const BankPlan& plan, std::vector<int> bins);
  ~Channeliser();
  Channeliser(const Channeliser&) = delete;
  Channeliser& operator=(const Channeliser&) = delete;

  // Filters `count` samples of the band; output(i) then holds the new samples of bins[i] (the
  // previous call's are dropped).
  void Process(const std::complex<float>* band, std::size_t count);
  const std::vector<std::complex<float>>& output(std::size_t index) const {
    return outputs_[index];
  }
  std::size_t prototypeLength() const { return taps_.size(); }

 private:
  int bins_;
  int decimation_;
  std::vector<int> wanted_;
  std::vector<float> taps_;   // reversed prototype, length a multiple of bins_
  std::vector<float> pairs_;  // taps_ with every tap twice, for interleaved real and imaginary
  std::vector<std::complex<float>> history_;  // the last taps-1 samples, then the new ones
  std::size_t next_ = 0;  // index in history_ where the next output's window starts
  int start_ = 0;         // index of history_[0] in the input, modulo bins_
  std::vector<std::complex<float>> turn_;  // per wanted bin k: exp(-2 pi i k r / bins)
  std::complex<float>* fftIn_ = nullptr;
  std::complex<float>* fftOut_ = nullptr;
  void* fft_ = nullptr;  // liquid's fftplan
  std::vector<std::vector<std::complex<float>>> outputs_;
};

}  // namespace pagora::sdr
