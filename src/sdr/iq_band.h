// A band of IQ samples shared by the channels decoded from it: one reader, one receiver per
// channel, and per channel the audio demodulated but not yet sliced. Each channel is an
// EntryProducer of its own, so that every channel feeds an engine of its own through the same
// signal-time pumping as an audio file; the first channel that needs more audio reads the next
// block of IQ for all of them. Pumped to the same signal time in turn (as pagora-decode does),
// no channel's queue holds more than one tick and one block of audio, whatever the input's
// length.
#pragma once

#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "input/audio_slicer.h"
#include "input/entry_producer.h"
#include "sdr/channel_receiver.h"
#include "sdr/channeliser.h"
#include "sdr/iq_reader.h"

namespace pagora::sdr {

// Half the channel filter's passband and a little: a channel's centre must lie this far inside
// the captured band's edge.
constexpr double kChannelEdgeMarginHz = 10000;

// Empty when every channel lies inside the band captured at `centreHz` with `sampleRate`;
// otherwise a message naming the first that does not.
std::string CheckChannels(double centreHz, double sampleRate, const std::vector<double>& channels);

class IqBand {
 public:
  IqBand(std::unique_ptr<IqReader> reader, double centreHz, std::vector<double> channelsHz,
         BankChoice bank = BankChoice::kAuto);

  // Opens the reader and builds the receivers (once; later calls return the first result).
  bool Open(std::string& error);
  // Reads the next block of IQ and appends every channel's audio to its queue; false at the end.
  bool Advance();
  double audioRate() const { return audioRate_; }
  std::size_t channels() const { return channelsHz_.size(); }
  double channelHz(std::size_t index) const { return channelsHz_[index]; }
  std::vector<float>& queue(std::size_t index) { return queues_[index]; }
  bool ended() const { return ended_; }
  const IqReader& reader() const { return *reader_; }
  // How the band is split among the channels (not used: each channel works at the full rate).
  const BankPlan& bank() const { return plan_; }

 private:
  static constexpr std::size_t kBlockSamples = 16384;
  std::unique_ptr<IqReader> reader_;
  double centreHz_;
  std::vector<double> channelsHz_;
  BankChoice choice_;
  BankPlan plan_;
  std::unique_ptr<Channeliser> bank_;
  std::vector<std::size_t> binSlot_;  // per channel: its bin among the bank's outputs
  std::vector<std::unique_ptr<ChannelReceiver>> receivers_;
  std::vector<std::vector<float>> queues_;
  std::vector<std::complex<float>> block_;
  double audioRate_ = 0;
  bool opened_ = false;
  bool openResult_ = false;
  std::string openError_;
  bool ended_ = false;
};

// Channel `index` of a shared band as ring entries, through an audio slicer built with `slicer`
// (its sample rate is the band's audio rate). Channel 0 also reports the reader's problems.
std::unique_ptr<EntryProducer> MakeIqChannelProducer(std::shared_ptr<IqBand> band,
                                                     std::size_t index,
                                                     const AudioSlicerConfig& slicer);

}  // namespace pagora::sdr
