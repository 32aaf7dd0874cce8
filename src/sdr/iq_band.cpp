#include "sdr/iq_band.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/host.h"

namespace pagora::sdr {

std::string CheckChannels(double centreHz, double sampleRate, const std::vector<double>& channels) {
  if (channels.empty())
    return "no channel to decode";
  if (!(sampleRate >= 48000))
    return "the IQ sample rate must be at least 48 kHz";
  double reach = 0.5 * sampleRate - kChannelEdgeMarginHz;
  for (double f : channels) {
    if (std::fabs(f - centreHz) > reach) {
      return "channel " + FormatFrequency(f) + " is outside the captured band " +
             FormatFrequency(centreHz - reach) + " to " + FormatFrequency(centreHz + reach) +
             " (centre " + FormatFrequency(centreHz) + ", " +
             std::to_string(sampleRate / 1e6).substr(0, 5) + " MS/s)";
    }
  }
  return {};
}

IqBand::IqBand(std::unique_ptr<IqReader> reader, double centreHz, std::vector<double> channelsHz,
               BankChoice bank)
    : reader_(std::move(reader)),
      centreHz_(centreHz),
      channelsHz_(std::move(channelsHz)),
      choice_(bank) {}

bool IqBand::Open(std::string& error) {
  if (!opened_) {
    opened_ = true;
    openResult_ = reader_->Open(openError_);
    if (openResult_) {
      openError_ = CheckChannels(centreHz_, reader_->sampleRate(), channelsHz_);
      openResult_ = openError_.empty();
    }
    if (openResult_) {
      double rate = reader_->sampleRate();
      plan_ = PlanBank(rate, channelsHz_.size(), choice_);
      if (plan_.used()) {
        // Channels sharing a bin share its output.
        std::vector<int> bins;
        for (double f : channelsHz_) {
          BinPlace place = PlaceInBin(plan_, f - centreHz_);
          auto slot = std::find(bins.begin(), bins.end(), place.bin);
          binSlot_.push_back(static_cast<std::size_t>(slot - bins.begin()));
          if (slot == bins.end())
            bins.push_back(place.bin);
          receivers_.push_back(
              receivers_.empty()
                  ? std::make_unique<ChannelReceiver>(plan_.outputRate, place.offsetHz)
                  : std::make_unique<ChannelReceiver>(*receivers_.front(), place.offsetHz));
        }
        bank_ = std::make_unique<Channeliser>(rate, plan_, std::move(bins));
      } else {
        for (double f : channelsHz_) {
          receivers_.push_back(
              receivers_.empty()
                  ? std::make_unique<ChannelReceiver>(rate, f - centreHz_)
                  : std::make_unique<ChannelReceiver>(*receivers_.front(), f - centreHz_));
        }
      }
      queues_.resize(channelsHz_.size());
      audioRate_ = receivers_.front()->audioRate();
      block_.resize(kBlockSamples);
    }
  }
  error = openError_;
  return openResult_;
}

bool IqBand::Advance() {
  if (ended_ || !openResult_)
    return false;
  std::size_t got = reader_->Read(block_.data(), block_.size());
  if (got == 0) {
    ended_ = true;
    return false;
  }
  if (bank_) {
    bank_->Process(block_.data(), got);
    for (std::size_t i = 0; i < receivers_.size(); ++i) {
      const std::vector<std::complex<float>>& bin = bank_->output(binSlot_[i]);
      receivers_[i]->Process(bin.data(), bin.size(), queues_[i]);
    }
  } else {
    for (std::size_t i = 0; i < receivers_.size(); ++i)
      receivers_[i]->Process(block_.data(), got, queues_[i]);
  }
  return true;
}

namespace {

constexpr const char* kCaption = "Pagora Error";
constexpr std::size_t kSliceSamples = 2048;

class IqChannelProducer : public EntryProducer {
 public:
  IqChannelProducer(std::shared_ptr<IqBand> band, std::size_t index,
                    const AudioSlicerConfig& config)
      : band_(std::move(band)), index_(index), config_(config) {}

  bool Open(Host& host) override {
    std::string error;
    if (!band_->Open(error)) {
      host.ShowMessage("Error opening IQ input!\n" + error, kCaption);
      return false;
    }
    config_.sampleRate = band_->audioRate();
    slicer_.emplace(config_);
    return true;
  }

  Progress Produce(double seconds, int maxEntries, EntrySink& sink) override {
    if (ended_ || !slicer_)
      return Progress::kEnded;
    CountingSink counting(sink);
    auto target = static_cast<std::int64_t>(seconds * config_.sampleRate + 0.5);
    std::vector<float>& queue = band_->queue(index_);
    // Another channel may have read the band ahead for this one, so its queue is seldom
    // emptied here: what has been sliced goes now, or it would pile up for the whole input.
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(read_));
    read_ = 0;
    while (samples_ < target) {
      if (counting.count >= maxEntries)
        return Progress::kLimit;
      if (read_ >= queue.size()) {
        queue.clear();
        read_ = 0;
        if (!band_->Advance() && queue.empty()) {
          End(counting);
          return Progress::kEnded;
        }
        continue;
      }
      std::size_t n = std::min<std::size_t>(
          {queue.size() - read_, static_cast<std::size_t>(target - samples_), kSliceSamples});
      slicer_->Process(queue.data() + read_, n, counting);
      read_ += n;
      samples_ += static_cast<std::int64_t>(n);
    }
    return Progress::kReached;
  }
  double SignalSeconds() const override { return slicer_ ? slicer_->SignalSeconds() : 0; }
  std::uint8_t LastStatus() const override { return slicer_ ? slicer_->status() : 0; }

 private:
  void End(EntrySink& sink) {
    ended_ = true;
    slicer_->Finish(sink);
    if (index_ == 0) {
      for (const std::string& problem : band_->reader().problems())
        AddProblem(problem);
      if (samples_ == 0)
        AddProblem("the IQ input holds no samples");
    }
  }

  std::shared_ptr<IqBand> band_;
  std::size_t index_;
  AudioSlicerConfig config_;
  std::optional<AudioSlicer> slicer_;
  std::size_t read_ = 0;
  std::int64_t samples_ = 0;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<EntryProducer> MakeIqChannelProducer(std::shared_ptr<IqBand> band,
                                                     std::size_t index,
                                                     const AudioSlicerConfig& slicer) {
  return std::make_unique<IqChannelProducer>(std::move(band), index, slicer);
}

}  // namespace pagora::sdr
