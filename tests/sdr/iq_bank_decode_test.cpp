// A band decoded end to end through the filter bank: paging channels rendered as FM IQ with a
// tuning error and a DC spike, at the centres of the bank's bins, on the edges between two bins
// and at the top of the band, each decoded by an engine of its own. Every page must come out
// on its own channel, the same as through the per-channel path.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "audio_render.h"
#include "engine/monitor.h"
#include "input/producer_source.h"
#include "input/source_factory.h"
#include "iq_render.h"
#include "quiet_host.h"
#include "scenario.h"
#include "sdr/iq_band.h"

namespace pagora::sdr {
namespace {

constexpr double kRate = 1.024e6;  // bins 128 kHz apart
constexpr double kCentre = 152.5e6;

struct Channel {
  double offset;
  const char* json;
};

const Channel kChannels[] = {
    {64e3, R"([{"protocol": "FLEX", "mode": "3200/4", "pages": [
      {"capcode": 8888, "type": "alpha", "text": "On the edge 3200/4", "phase": 1}]}])"},
    {128e3, R"([{"protocol": "POCSAG", "rate": 1200, "pages": [
      {"capcode": 1234567, "type": "alpha", "text": "Bin centre"}]}])"},
    {-192e3, R"([{"protocol": "POCSAG", "rate": 2400, "pages": [
      {"capcode": 55555, "type": "alpha", "text": "Edge below, fast POCSAG"}]}])"},
    {-256e3, R"([{"protocol": "FLEX", "mode": "1600/2", "pages": [
      {"capcode": 123456, "type": "numeric", "text": "12345"}]}])"},
    {320e3, R"([{"protocol": "FLEX", "mode": "1600/2", "pages": [
      {"capcode": 654321, "type": "alpha", "text": "Edge above"}]}])"},
    {-448e3, R"([{"protocol": "POCSAG", "rate": 512, "pages": [
      {"capcode": 4444, "type": "numeric", "text": "0123456789"}]}])"},
    {500e3, R"([{"protocol": "POCSAG", "rate": 1200, "pages": [
      {"capcode": 200, "type": "alpha", "text": "Top of the band"}]}])"},
};

class Collector : public PageOutput {
 public:
  Collector(std::size_t channel, std::set<std::string>& pages) : channel_(channel), pages_(pages) {}
  void Write(const Page& page) override {
    pages_.insert(std::to_string(channel_) + " " + page.capcode.data() + " " +
                  std::string(page.text.data(), static_cast<std::size_t>(page.textLength)));
  }

 private:
  std::size_t channel_;
  std::set<std::string>& pages_;
};

std::set<std::string> Decode(const std::vector<std::complex<float>>& iq, BankChoice choice,
                             bool& banked) {
  std::vector<double> frequencies;
  for (const Channel& c : kChannels)
    frequencies.push_back(kCentre + c.offset);
  auto band = std::make_shared<IqBand>(MakeIqMemoryReader(iq, kRate), kCentre, frequencies, choice);
  std::set<std::string> pages;
  gen::QuietHost host;
  std::vector<std::unique_ptr<Collector>> collectors;
  std::vector<std::unique_ptr<Monitor>> monitors;
  std::vector<std::unique_ptr<PumpedSource>> sources;
  for (std::size_t c = 0; c < frequencies.size(); ++c) {
    collectors.push_back(std::make_unique<Collector>(c, pages));
    auto m = std::make_unique<Monitor>(host);
    m->settings.fourLevelInterface = 1;
    m->pageOutputs.Add(*collectors.back());
    m->Create();
    auto source = std::make_unique<PumpedSource>(
        MakeIqChannelProducer(band, c, SlicerConfigFor(m->settings, 0)));
    m->OpenSource(*source);
    monitors.push_back(std::move(m));
    sources.push_back(std::move(source));
  }
  std::size_t ended = 0;
  int ticks = 0;
  for (double t = 0.1; ended < sources.size(); t += 0.1) {
    ended = 0;
    if (++ticks % 10 == 0)
      host.Advance();
    for (std::size_t c = 0; c < sources.size(); ++c) {
      EntryProducer::Progress p;
      while ((p = sources[c]->Pump(t)) == EntryProducer::Progress::kLimit)
        monitors[c]->Drain();
      ended += p == EntryProducer::Progress::kEnded;
      monitors[c]->Tick();
    }
  }
  for (auto& m : monitors)
    m->Destroy();
  banked = band->bank().used();
  return pages;
}

TEST(IqBankDecodeTest, ChannelsAtBinEdgesAndCentresDecodeEveryPage) {
  std::vector<gen::IqChannel> channels;
  std::set<std::string> expected;
  for (std::size_t c = 0; c < std::size(kChannels); ++c) {
    gen::Scenario scenario = gen::ParseScenario(nlohmann::json::parse(kChannels[c].json));
    gen::IqChannel channel;
    channel.offsetHz = kChannels[c].offset;
    gen::AudioRenderOptions audio;
    audio.sampleRate = channel.audioRate;
    audio.amplitude = 1;
    gen::AudioRenderer renderer(audio, [&](const float* s, std::size_t n) {
      channel.audio.insert(channel.audio.end(), s, s + n);
    });
    renderer.AppendGap(0.2);
    for (const gen::ScenarioItem& item : scenario.items) {
      renderer.Append(item.symbols);
      for (const gen::ExpectedPage& page : item.pages)
        expected.insert(std::to_string(c) + " " + page.capcode + " " + page.text);
    }
    renderer.AppendGap(0.5);
    renderer.Finish();
    channels.push_back(std::move(channel));
  }
  gen::IqRenderOptions options;
  options.sampleRate = kRate;
  options.frequencyErrorHz = 2000;
  options.dcSpike = 2;
  options.cnrDb = 30;
  std::vector<std::complex<float>> iq;
  gen::RenderIq(channels, options, [&](const std::complex<float>* s, std::size_t n) {
    iq.insert(iq.end(), s, s + n);
  });
  ASSERT_EQ(expected.size(), std::size(kChannels));

  bool banked = false;
  EXPECT_EQ(Decode(iq, BankChoice::kOn, banked), expected);
  EXPECT_TRUE(banked);
  EXPECT_EQ(Decode(iq, BankChoice::kOff, banked), expected);
  EXPECT_FALSE(banked);
}

}  // namespace
}  // namespace pagora::sdr
