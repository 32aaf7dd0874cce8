// The radio front end below the decoder: frequencies as users type them, the receiver's output
// whatever the block sizes, the discriminator's scale, the sample formats, and a band shared by
// several channels that must not hold on to audio already sliced.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "fake_host.h"
#include "input/entry_timeline.h"
#include "sdr/channel_receiver.h"
#include "sdr/iq_band.h"
#include "sdr/iq_reader.h"

namespace pagora::sdr {
namespace {

TEST(ParseFrequencyTest, AcceptsSuffixesAndRefusesGarbage) {
  struct Case {
    const char* text;
    std::optional<double> hz;
  } cases[] = {{"152.84M", 152.84e6},
               {"152840k", 152.84e6},
               {"152840000", 152.84e6},
               {"2.4e6", 2.4e6},
               {"-300k", -300e3},
               {"1.2GHz", 1.2e9},
               {"100kHz", 100e3},
               {"152.8X", {}},
               {"", {}},
               {"M", {}},
               {"nan", {}},
               {"1e400", {}}};
  for (const Case& c : cases) {
    std::optional<double> got = ParseFrequency(c.text);
    ASSERT_EQ(got.has_value(), c.hz.has_value()) << c.text;
    if (got) {
      EXPECT_NEAR(*got, *c.hz, 1e-3) << c.text;
    }
  }
}

// A carrier `toneHz` away from the channel, for `seconds`.
std::vector<std::complex<float>> Carrier(double rate, double offsetHz, double seconds) {
  std::vector<std::complex<float>> band(static_cast<std::size_t>(rate * seconds));
  for (std::size_t n = 0; n < band.size(); ++n) {
    double phase = 2 * std::numbers::pi * offsetHz * static_cast<double>(n) / rate;
    band[n] = {0.3f * static_cast<float>(std::cos(phase)),
               0.3f * static_cast<float>(std::sin(phase))};
  }
  return band;
}

TEST(ChannelReceiverTest, AudioDoesNotDependOnBlockSizes) {
  const double rate = 1.024e6;
  std::vector<std::complex<float>> band = Carrier(rate, 101500, 0.2);
  std::vector<float> whole, pieces;
  ChannelReceiver a(rate, 100000), b(rate, 100000);
  a.Process(band.data(), band.size(), whole);
  std::size_t sizes[] = {1, 7, 4095, 4096, 4097, 333, 20000};
  for (std::size_t at = 0, i = 0; at < band.size(); ++i) {
    std::size_t n = std::min(sizes[i % 7], band.size() - at);
    b.Process(band.data() + at, n, pieces);
    at += n;
  }
  ASSERT_EQ(whole.size(), pieces.size());
  for (std::size_t k = 0; k < whole.size(); ++k)
    ASSERT_NEAR(whole[k], pieces[k], 1e-4) << k;
  // A receiver sharing the filters of one that has already run starts afresh all the same.
  ChannelReceiver c(a, 100000);
  std::vector<float> again;
  c.Process(band.data(), band.size(), again);
  EXPECT_EQ(again, whole);
}

TEST(ChannelReceiverTest, DiscriminatorGivesTheCarriersOffsetAndIgnoresNeighbours) {
  struct Case {
    double rate, channel, carrier;
  } cases[] = {{2.4e6, -300000, -298500}, {2.048e6, 500000, 503000}, {250000, 0, -2000}};
  for (const Case& c : cases) {
    std::vector<std::complex<float>> band = Carrier(c.rate, c.carrier, 0.2);
    // A neighbour 25 kHz above, as strong: filtered out.
    std::vector<std::complex<float>> neighbour = Carrier(c.rate, c.channel + 25000, 0.2);
    for (std::size_t n = 0; n < band.size(); ++n)
      band[n] += neighbour[n] * 0.5f;
    ChannelReceiver receiver(c.rate, c.channel);
    std::vector<float> audio;
    receiver.Process(band.data(), band.size(), audio);
    ASSERT_GT(audio.size(), 1000u);
    double sum = 0;
    for (std::size_t k = audio.size() / 2; k < audio.size(); ++k)
      sum += audio[k];
    double mean = sum / static_cast<double>(audio.size() - audio.size() / 2);
    EXPECT_NEAR(mean, (c.carrier - c.channel) / ChannelReceiver::kFullScaleHz, 0.02) << c.rate;
    EXPECT_GE(receiver.audioRate(), 25000);
  }
}

TEST(FastAtan2Test, MatchesTheLibraryAllAround) {
  for (int i = -720; i <= 720; ++i) {
    double angle = std::numbers::pi * i / 720;
    for (double radius : {1e-30, 1e-3, 1.0, 1e6}) {
      auto re = static_cast<float>(radius * std::cos(angle));
      auto im = static_cast<float>(radius * std::sin(angle));
      // -pi and pi are the same angle.
      double error = std::remainder(FastAtan2(im, re) - std::atan2(im, re), 2 * std::numbers::pi);
      ASSERT_LT(std::fabs(error), 3e-6) << angle << " " << radius;
    }
  }
  EXPECT_EQ(FastAtan2(0.0f, 0.0f), 0.0f);
  EXPECT_NEAR(FastAtan2(0.0f, -1.0f), std::numbers::pi, 1e-6);
}

std::string TempFile(const std::string& name, const std::string& bytes) {
  std::string path = ::testing::TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(IqReaderTest, FormatsGiveTheSameSamples) {
  // 0.5 - 0.25i in each format.
  std::string cu8 = {static_cast<char>(191), static_cast<char>(96)};
  std::string cs16(4, '\0');
  std::int16_t s[2] = {16384, -8192};
  std::memcpy(cs16.data(), s, 4);
  std::string cf32(8, '\0');
  float f[2] = {0.5f, -0.25f};
  std::memcpy(cf32.data(), f, 8);
  struct Case {
    IqFormat format;
    std::string sample;
  } cases[] = {{IqFormat::kCu8, cu8}, {IqFormat::kCs16, cs16}, {IqFormat::kCf32, cf32}};
  for (const Case& c : cases) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i)
      bytes += c.sample;
    auto reader = MakeIqFileReader(TempFile("same.iq", bytes + c.sample.substr(1)), c.format, 1e6);
    std::string error;
    ASSERT_TRUE(reader->Open(error)) << error;
    std::vector<std::complex<float>> out(3000);
    std::size_t total = 0, got;
    while ((got = reader->Read(out.data(), out.size())) > 0) {
      for (std::size_t k = 0; k < got; ++k) {
        EXPECT_NEAR(out[k].real(), 0.5f, 0.005f);
        EXPECT_NEAR(out[k].imag(), -0.25f, 0.005f);
      }
      total += got;
    }
    EXPECT_EQ(total, 5000u);
    // The sample cut short at the end is reported, not read.
    ASSERT_EQ(reader->problems().size(), 1u);
    EXPECT_NE(reader->problems()[0].find("middle of a sample"), std::string::npos);
  }
}

TEST(IqReaderTest, FloatGarbageBecomesSilence) {
  float f[4] = {NAN, INFINITY, -INFINITY, 1e30f};
  std::string bytes(reinterpret_cast<const char*>(f), sizeof f);
  auto reader = MakeIqFileReader(TempFile("nan.cf32", bytes), IqFormat::kCf32, 1e6);
  std::string error;
  ASSERT_TRUE(reader->Open(error));
  std::complex<float> out[2];
  ASSERT_EQ(reader->Read(out, 2), 2u);
  for (const auto& x : out)
    EXPECT_TRUE(std::isfinite(x.real()) && std::isfinite(x.imag()));
}

TEST(SigmfTest, ReadsRateCentreAndDatatype) {
  std::string data = TempFile("rec.sigmf-data", std::string(64, '\x80'));
  std::string stem = data.substr(0, data.size() - 11);
  ASSERT_TRUE(WriteSigmfMeta(stem + ".sigmf-meta", IqFormat::kCs16, 2.048e6, 152.5e6, "test"));
  for (const std::string& given : {data, stem + ".sigmf-meta"}) {
    std::string error;
    std::optional<SigmfInfo> info = FindSigmf(given, error);
    ASSERT_TRUE(info) << error;
    EXPECT_EQ(info->dataPath, data);
    EXPECT_EQ(info->format, IqFormat::kCs16);
    EXPECT_EQ(info->sampleRate, 2.048e6);
    EXPECT_EQ(info->centreHz, 152.5e6);
  }
  TempFile("bad.sigmf-meta", R"({"global": {"core:datatype": "ci32_be"}})");
  std::string error;
  EXPECT_FALSE(FindSigmf(::testing::TempDir() + "/bad.sigmf-data", error));
  EXPECT_NE(error.find("ci32_be"), std::string::npos);
  TempFile("broken.sigmf-meta", "{not json");
  error.clear();
  EXPECT_FALSE(FindSigmf(::testing::TempDir() + "/broken.sigmf-data", error));
  EXPECT_FALSE(error.empty());
}

class NullSink : public EntrySink {
 public:
  void Put(std::uint16_t, std::uint8_t) override {}
};

// A reader of a steady carrier that never ends.
class EndlessReader : public IqReader {
 public:
  bool Open(std::string&) override { return true; }
  std::size_t Read(std::complex<float>* out, std::size_t count) override {
    for (std::size_t k = 0; k < count; ++k)
      out[k] = {0.5f, 0.0f};
    return count;
  }
  double sampleRate() const override { return 1.024e6; }
};

// Channel 0 reads the band ahead for the others; their queues must still stay short however
// long the input runs.
TEST(IqBandTest, QueuesStayBoundedWhenChannelsArePumpedInTurn) {
  auto band = std::make_shared<IqBand>(std::make_unique<EndlessReader>(), 152e6,
                                       std::vector<double>{151.8e6, 152.1e6, 152.3e6});
  testing::FakeHost host;
  AudioSlicerConfig config;
  std::vector<std::unique_ptr<EntryProducer>> producers;
  for (std::size_t c = 0; c < 3; ++c) {
    producers.push_back(MakeIqChannelProducer(band, c, config));
    ASSERT_TRUE(producers.back()->Open(host));
  }
  NullSink sink;
  std::size_t largest = 0;
  for (double t = 0.1; t < 20; t += 0.1) {
    for (auto& p : producers)
      EXPECT_EQ(p->Produce(t, 1 << 30, sink), EntryProducer::Progress::kReached);
    for (std::size_t c = 0; c < 3; ++c)
      largest = std::max(largest, band->queue(c).size());
  }
  // One tick (0.1 s) and one block of audio at most.
  EXPECT_LT(static_cast<double>(largest), 0.1 * band->audioRate() + 2000);
  EXPECT_NEAR(producers[2]->SignalSeconds(), 19.9, 0.11);
}

// A band of steady carriers, given as offsets from the centre, read in blocks of odd sizes.
class CarriersReader : public IqReader {
 public:
  CarriersReader(double rate, std::vector<double> offsets, double seconds)
      : rate_(rate),
        offsets_(std::move(offsets)),
        left_(static_cast<std::size_t>(rate * seconds)) {}
  bool Open(std::string&) override { return true; }
  std::size_t Read(std::complex<float>* out, std::size_t count) override {
    count = std::min({count, left_, std::size_t{5003}});
    for (std::size_t k = 0; k < count; ++k, ++n_) {
      std::complex<double> sum;
      for (double f : offsets_)
        sum += std::polar(0.05, 2 * std::numbers::pi * f * static_cast<double>(n_) / rate_);
      out[k] = std::complex<float>(sum);
    }
    left_ -= count;
    return count;
  }
  double sampleRate() const override { return rate_; }

 private:
  double rate_;
  std::vector<double> offsets_;
  std::size_t left_;
  std::size_t n_ = 0;
};

// Channels at the centre of a bin, on the edge between two, and at the top and bottom of the
// band (the bin that wraps around) each get their own carrier's offset, whatever the rate; a
// bin or a turn of the bank's phase taken wrongly would show as a wrong or noisy frequency.
TEST(IqBandTest, ChannelsAnywhereInTheirBinsGiveTheirOwnCarrier) {
  struct Case {
    double rate;
    double spacing;  // of the bank's bins; 0: no bank
  } cases[] = {{2.4e6, 150e3}, {2.048e6, 128e3}, {1.024e6, 128e3}, {3.2e6, 200e3},
               {1.8e6, 225e3}, {1e6, 125e3},     {250e3, 0},       {7.5e6, 234375}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    double bin = c.spacing > 0 ? c.spacing : 40e3;
    double top = 0.5 * c.rate - kChannelEdgeMarginHz;
    std::vector<double> channels = {bin, 0.5 * bin, -1.5 * bin, -bin, top, -top};
    std::vector<double> carriers, frequencies;
    for (std::size_t i = 0; i < channels.size(); ++i) {
      double away = 500.0 * static_cast<double>(i) - 1500;  // each its own, within +-1.5 kHz
      carriers.push_back(channels[i] + away);
      frequencies.push_back(100e6 + channels[i]);
    }
    IqBand band(std::make_unique<CarriersReader>(c.rate, carriers, 0.1), 100e6, frequencies,
                BankChoice::kOn);
    std::string error;
    ASSERT_TRUE(band.Open(error)) << error;
    EXPECT_EQ(band.bank().spacingHz, c.spacing);
    while (band.Advance()) {
    }
    for (std::size_t i = 0; i < channels.size(); ++i) {
      const std::vector<float>& audio = band.queue(i);
      ASSERT_GT(audio.size(), 1000u) << i;
      double sum = 0, squares = 0;
      std::size_t from = audio.size() / 2;
      for (std::size_t k = from; k < audio.size(); ++k) {
        sum += audio[k];
        squares += audio[k] * audio[k];
      }
      auto n = static_cast<double>(audio.size() - from);
      double mean = sum / n;
      EXPECT_NEAR(mean * ChannelReceiver::kFullScaleHz, carriers[i] - channels[i], 30) << i;
      EXPECT_LT(std::sqrt(std::max(0.0, squares / n - mean * mean)), 0.01) << i;
    }
  }
}

TEST(PlanBankTest, OnlyWhereItPays) {
  EXPECT_FALSE(PlanBank(2.4e6, 1).used());
  EXPECT_FALSE(PlanBank(2.4e6, 4).used());
  EXPECT_FALSE(PlanBank(2.4e6, 16, BankChoice::kOff).used());
  EXPECT_TRUE(PlanBank(2.4e6, 2, BankChoice::kOn).used());
  EXPECT_FALSE(PlanBank(250e3, 16).used());
  EXPECT_FALSE(PlanBank(250e3, 16, BankChoice::kOn).used());
  BankPlan plan = PlanBank(2.4e6, 16);
  ASSERT_TRUE(plan.used());
  EXPECT_EQ(plan.bins, 16);
  EXPECT_EQ(plan.outputRate, 300e3);
  // A place in a bin is never more than half a spacing from its centre; the top and the bottom
  // of the band meet in the same bin.
  EXPECT_EQ(PlaceInBin(plan, 1.19e6).bin, 8);
  EXPECT_EQ(PlaceInBin(plan, 1.19e6).offsetHz, -10e3);
  EXPECT_EQ(PlaceInBin(plan, -1.19e6).bin, 8);
  EXPECT_EQ(PlaceInBin(plan, -1.19e6).offsetHz, 10e3);
  EXPECT_EQ(PlaceInBin(plan, -160e3).bin, 15);
}

TEST(CheckChannelsTest, NamesTheChannelOutsideTheBand) {
  EXPECT_EQ(CheckChannels(152e6, 2.4e6, {151e6, 153.1e6}), "");
  EXPECT_NE(CheckChannels(152e6, 2.4e6, {151e6, 153.195e6}).find("153.1950 MHz"),
            std::string::npos);
  EXPECT_NE(CheckChannels(152e6, 2.4e6, {}).find("no channel"), std::string::npos);
  EXPECT_NE(CheckChannels(152e6, 1000, {152e6}).find("48 kHz"), std::string::npos);
}

}  // namespace
}  // namespace pagora::sdr
