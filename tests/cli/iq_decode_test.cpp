// Radio input end to end: pagora-gen --iq renders several paging channels into one band of
// FM-modulated IQ (with a tuning error, a DC spike, IQ imbalance), pagora-decode --iq decodes
// every channel with an engine of its own, and the pages, each with its channel's frequency,
// are compared with the ones pagora-gen expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace pagora::testing {
namespace {

struct ChannelScenario {
  const char* offset;
  const char* json;
};

// Eight channels over +-450 kHz of a band at 1.024 MS/s: every POCSAG rate, FLEX at the slow
// and the fast four-level speed, and GSC, some of them 25 kHz neighbours.
const ChannelScenario kChannels[] = {
    {"-450k", R"([{"protocol": "POCSAG", "rate": 512, "pages": [
      {"capcode": 4444, "type": "alpha", "text": "Slow page at 512"},
      {"capcode": 8, "type": "numeric", "text": "0123456789"}]}])"},
    {"-300k", R"([{"protocol": "POCSAG", "rate": 1200, "pages": [
      {"capcode": 1234567, "type": "alpha", "text": "HELLO WORLD"},
      {"capcode": 300, "type": "tone", "function": 2}]}])"},
    {"-275k", R"([{"protocol": "POCSAG", "rate": 2400, "pages": [
      {"capcode": 55555, "function": 3, "type": "alpha",
       "text": "A long page that runs over several codewords: the quick brown fox 0123456789"}]}])"},
    {"-100k", R"([{"protocol": "FLEX", "mode": "1600/2", "pages": [
      {"capcode": 123456, "type": "alpha", "text": "FLEX alpha 1600/2"},
      {"capcode": 654321, "type": "numeric", "text": "12345"}]}])"},
    {"50k", R"([{"protocol": "FLEX", "mode": "3200/4", "pages": [
      {"capcode": 8888, "type": "alpha", "text": "FLEX 3200/4 four level", "phase": 1},
      {"capcode": 123456789, "type": "numeric", "text": "0123456789", "phase": 3}]}])"},
    {"75k", R"([{"protocol": "GSC", "pages": [
      {"capcode": 123456, "function": 1, "type": "alpha", "text": "CALL HOME NOW"}]}])"},
    {"250k", R"([{"protocol": "POCSAG", "rate": 1200, "pages": [
      {"capcode": 200, "type": "numeric", "text": "555-1234"}]}])"},
    {"425k", R"([{"protocol": "FLEX", "mode": "1600/2", "pages": [
      {"capcode": 7777, "type": "alpha", "text": "Edge of the band"}]}])"},
};
constexpr const char* kCentre = "152.5M";
constexpr const char* kChannelList =
    "152.05M,152.2M,152.225M,152.4M,152.55M,152.575M,152.75M,152.925M";

// Pages in a fixed order (frequency, then the record), times dropped: channels finish their
// pages in an order of their own.
std::vector<nlohmann::json> Sorted(std::vector<nlohmann::json> pages) {
  std::sort(pages.begin(), pages.end(),
            [](const nlohmann::json& a, const nlohmann::json& b) { return a.dump() < b.dump(); });
  return pages;
}

// pagora-gen renders a band into `output` with `options`, carrying kChannels[index] at each
// (offset, index); the pages it expects.
std::vector<nlohmann::json> RenderIq(const std::string& output, const std::string& options,
                                     const std::vector<std::pair<std::string, int>>& channels) {
  std::string command = GenPath() + " --iq -o " + output + " " + options;
  for (const auto& [offset, index] : channels) {
    std::string scenario = TempPath("channel" + std::to_string(index) + ".json");
    WriteFile(scenario, kChannels[index].json);
    command += " --channel " + offset + "=" + scenario;
  }
  RunResult gen = RunProgram(command);
  EXPECT_EQ(gen.status, 0) << gen.err;
  return ParsePages(gen.out);
}

// The whole band with the faults of a cheap receiver.
std::vector<nlohmann::json> RenderBand(const std::string& output, const std::string& options) {
  std::vector<std::pair<std::string, int>> all;
  for (int i = 0; i < 8; ++i)
    all.emplace_back(kChannels[i].offset, i);
  return Sorted(RenderIq(output,
                         std::string("--iq-rate 1.024M --center ") + kCentre +
                             " --freq-error 2000 --dc-spike 2 --iq-gain 0.5 --iq-phase 2 " +
                             options,
                         all));
}

struct FormatCase {
  const char* name;
  const char* file;
  const char* genOptions;
  const char* decodeOptions;  // the data file is appended
};

class IqFormatTest : public ::testing::TestWithParam<FormatCase> {};

// Eight channels in every sample format, and a SigMF description instead of the rate and centre
// options: every page, each with its channel's frequency.
TEST_P(IqFormatTest, GivesTheSamePages) {
  const FormatCase& c = GetParam();
  std::string band = TempPath(c.file);
  std::vector<nlohmann::json> expected = RenderBand(band, c.genOptions);
  ASSERT_EQ(expected.size(), 12u);
  RunResult decode = RunProgram(DecodePath() + " --json --channels " + kChannelList + " " +
                                c.decodeOptions + " --iq " + band);
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(decode.err, "");
  EXPECT_EQ(Sorted(ParsePages(decode.out)), expected);
  for (const nlohmann::json& page : ParsePages(decode.out))
    EXPECT_TRUE(page.contains("frequency")) << page;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, IqFormatTest,
    ::testing::Values(FormatCase{"Cu8", "band.cu8", "", "--iq-rate 1.024M --center 152.5M"},
                      FormatCase{"Cs16", "band.cs16", "", "--iq-rate 1024k --center 152500000"},
                      FormatCase{"Cf32", "band.raw", "--iq-format cf32",
                                 "--iq-format cf32 --iq-rate 1.024M --center 152.5M"},
                      FormatCase{"SigmfCu8", "band.sigmf-data", "--iq-format cu8 --sigmf", ""},
                      FormatCase{"SigmfCf32WithNoise", "noisy.cf32", "--sigmf --cnr 25 --seed 4",
                                 ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(IqDecodeTest, TextRowsCarryTheFrequencyWhenSeveralChannelsRun) {
  std::string band = TempPath("two.cu8");
  RenderIq(band, "--iq-rate 250k --center 100M", {{"50k", 1}, {"-50k", 1}});
  RunResult two = RunProgram(DecodePath() + " --color never --iq " + band +
                             " --iq-rate 250k --center 100M --channels 100.05M,99950k");
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_NE(two.out.find("100.0500 MHz  {1234567}"), std::string::npos) << two.out;
  EXPECT_NE(two.out.find("99.9500 MHz  {1234567}"), std::string::npos) << two.out;
  RunResult one = RunProgram(DecodePath() + " --color never --iq " + band +
                             " --iq-rate 250k --center 100M --freq 100.05M");
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find("{1234567}"), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("MHz"), std::string::npos) << one.out;
}

struct ReceiverCase {
  const char* name;
  const char* device;               // arguments after the receiver's driver and file
  std::string options;              // pagora-decode's receiver options
  long long onlyFrequency;          // 0: every channel's pages are expected
  std::vector<std::string> report;  // what the receiver was asked for
  std::vector<std::string> messages;
};

class SdrReceiverTest : public ::testing::TestWithParam<ReceiverCase> {};

// A receiver through SoapySDR, played from the band recording by the tests' own receiver module:
// the pages of the air, the settings the receiver was given, and how its faults are reported.
// The module ends its stream like a receiver pulled from its socket.
TEST_P(SdrReceiverTest, DecodesTheAirAndSetsTheReceiver) {
  const ReceiverCase& c = GetParam();
  std::string band = TempPath("air.cu8");
  std::string report = TempPath("receiver.txt");
  std::vector<nlohmann::json> expected = RenderBand(band, "");
  if (c.onlyFrequency != 0)
    std::erase_if(expected, [&](const nlohmann::json& page) {
      return page.value("frequency", 0LL) != c.onlyFrequency;
    });
  ASSERT_FALSE(expected.empty());
  RunResult r =
      RunProgram(std::string("env SOAPY_SDR_PLUGIN_PATH=") + PAGORA_TEST_RECEIVER_DIR + " " +
                 DecodePath() + " --json --sdr driver=pagora_test_file,file=" + band +
                 ",rate=1024000,center=152500000,report=" + report + c.device +
                 " --iq-rate 1.024M " + c.options);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Sorted(ParsePages(r.out)), expected);
  std::string asked = ReadFile(report);
  for (const std::string& line : c.report)
    EXPECT_NE(asked.find(line + "\n"), std::string::npos) << line << " in\n" << asked;
  for (const std::string& message : c.messages)
    EXPECT_NE(r.err.find(message), std::string::npos) << message << " in\n" << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Receivers, SdrReceiverTest,
    ::testing::Values(
        ReceiverCase{"WholeBandManualGain",
                     "",
                     "--center 152.5M --channels " + std::string(kChannelList) +
                         " --gain 30 --ppm 12 --bias-tee",
                     0,
                     {"frequency=152500000", "rate=1024000", "gain_mode=manual", "gain=30",
                      "correction=12", "biastee=true", "format=CF32"},
                     {"SDR receiver stopped"}},
        // One channel: the receiver is tuned off the channel (away from its DC spike) and the
        // band moves with the tuning; a dropped block is reported and decoding goes on.
        ReceiverCase{"OneChannelTunedBesideIt",
                     ",overflow_at=20000",
                     "--freq 152.4M",
                     152400000,
                     {"frequency=152144000", "gain_mode=auto", "correction=0", "biastee=false"},
                     {"dropped samples", "SDR receiver stopped"}}),
    [](const auto& param) { return std::string(param.param.name); });

struct RefusedCase {
  const char* name;
  const char* options;
  int status;
  const char* message;
};

class IqRefusedTest : public ::testing::TestWithParam<RefusedCase> {};

// Wrong channel lists, missing descriptions and absent receivers give a clear message and an
// exit status, never a crash or a silent run.
TEST_P(IqRefusedTest, SaysWhy) {
  const RefusedCase& c = GetParam();
  std::string band = TempPath("refused.cu8");
  WriteFile(band, std::string(4096, '\x80'));
  std::string command = DecodePath() + " " + c.options;
  std::size_t at = command.find("BAND");
  if (at != std::string::npos)
    command.replace(at, 4, band);
  RunResult r = RunProgram(command);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, IqRefusedTest,
    ::testing::Values(
        RefusedCase{"ChannelAboveTheBand",
                    "--iq BAND --iq-rate 2.4M --center 152M --channels 152.1M,153.3M", 2,
                    "channel 153.3000 MHz is outside the captured band"},
        RefusedCase{"ChannelBelowTheBand", "--iq BAND --iq-rate 1M --center 152M --freq 151.49M", 2,
                    "outside the captured band"},
        RefusedCase{"NoChannels", "--iq BAND --iq-rate 1M --center 152M", 2, "--channels"},
        RefusedCase{"NoRate", "--iq BAND --center 152M --freq 152.1M", 2, "--iq-rate"},
        RefusedCase{"NoCentre", "--iq BAND --iq-rate 1M --freq 152.1M", 2, "--center"},
        RefusedCase{"BadFrequency", "--iq BAND --iq-rate 1M --center 152M --channels 152.1X", 2,
                    "not a list of frequencies"},
        RefusedCase{"MissingFile",
                    "--iq /nonexistent/band.cu8 --iq-rate 1M --center 152M --freq 152.1M", 1,
                    "No such file"},
        // No SoapySDR module for this driver exists: a message, not a crash.
        RefusedCase{"MissingReceiver", "--sdr driver=pagora_absent --freq 152.1M", 1,
                    "no SDR receiver found for device \"driver=pagora_absent\""}),
    [](const auto& param) { return std::string(param.param.name); });

// A recording cut in the middle of a sample still gives its pages, and says it was cut.
TEST(IqDecodeTest, TruncatedRecordingIsDecodedAndReported) {
  std::string band = TempPath("cut.cs16");
  std::vector<nlohmann::json> expected =
      RenderIq(band, "--iq-rate 250k --center 100M --tail 1", {{"30k", 1}});
  std::string bytes = ReadFile(band);
  WriteFile(band, bytes.substr(0, bytes.size() - 3));
  RunResult r = RunProgram(DecodePath() + " --json --iq " + band +
                           " --iq-rate 250k --center 100M --freq 100.03M");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ends in the middle of a sample"), std::string::npos) << r.err;
  EXPECT_EQ(ParsePages(r.out), expected);
}

// Standard input takes raw IQ as rtl_sdr writes it to a pipe.
TEST(IqDecodeTest, RawIqOnStandardInput) {
  std::string band = TempPath("pipe.cu8");
  std::vector<nlohmann::json> expected =
      RenderIq(band, "--iq-rate 1.024M --center 152M", {{"-200k", 3}});
  RunResult r = RunProgram(DecodePath() + " --json --iq - --iq-format cu8 --iq-rate 1024000 " +
                               "--center 152M --freq 151.8M",
                           band);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ParsePages(r.out), expected);
}

}  // namespace
}  // namespace pagora::testing
