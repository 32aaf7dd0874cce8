// The referee: pages rendered by pagora-gen must decode in an independent decoder that runs on
// real networks every day (multimon-ng) to the same capcodes and texts, and in pagora-decode to
// the pages pagora-gen expects. Generator and decoder can then never share a mistake unseen: a
// wrong level order, bit order or checksum in both would still fail here.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "referee_lines.h"

namespace pagora::testing {
namespace {

struct RefereeCase {
  const char* name;
  const char* transmission;  // one scenario transmission
};

class RefereeTest : public ::testing::TestWithParam<RefereeCase> {};

// The expressions that widely used page archivers apply to these lines.
void ExpectConsumersRead(const std::string& out) {
  static const std::regex kPocsagAddress(R"(POCSAG(\d+): Address:(.*?)Function)");
  static const std::regex kPocsagText(R"((Alpha|Numeric):(.*?)$)");
  static const std::regex kFlexCapcode(R"(FLEX[:|] ?.*?[\[|](\d*?)[\]| ])");
  static const std::regex kFlexText(R"(FLEX[:|].*[|\[][0-9 ]*[|\]] ?...[ |](.+))");
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("POCSAG", 0) == 0) {
      EXPECT_TRUE(std::regex_search(line, kPocsagAddress)) << line;
      if (line.back() != ' ') {  // tone-only pages end after the function
        EXPECT_TRUE(std::regex_search(line, kPocsagText)) << line;
      }
    } else if (line.rfind("FLEX", 0) == 0) {
      EXPECT_TRUE(std::regex_search(line, kFlexCapcode)) << line;
      if (line.find("|TON|") == std::string::npos) {
        EXPECT_TRUE(std::regex_search(line, kFlexText)) << line;
      }
      EXPECT_EQ(line.find("|ALN|", line.size() - 5), std::string::npos) << "empty text: " << line;
    }
  }
}

// Every page pagora-gen expects is printed exactly by the referee (in any of its layouts), and
// pagora-decode gives exactly the expected pages.
TEST_P(RefereeTest, ThePagesAgree) {
  const RefereeCase& c = GetParam();
  std::string raw = TempPath(std::string("referee_") + c.name + ".s16");
  std::vector<nlohmann::json> expected =
      RenderScenario(std::string(R"({"transmissions": [)") + c.transmission + "]}", raw,
                     "--format raw --sample-rate 22050");
  ASSERT_FALSE(expected.empty());

  RunResult referee = RunProgram(
      "multimon-ng -q -t raw -a POCSAG512 -a POCSAG1200 -a POCSAG2400 -a FLEX -a FLEX_NEXT " + raw);
  ASSERT_EQ(referee.status, 0) << "multimon-ng is needed (scripts/install-deps): " << referee.err;
  std::vector<gen::RefereeLine> theirs = gen::ParseRefereeLines(referee.out);
  for (const nlohmann::json& page : expected) {
    long long capcode = std::stoll(page["capcode"].get<std::string>());
    std::string text = page["text"];
    bool found = std::any_of(theirs.begin(), theirs.end(), [&](const gen::RefereeLine& p) {
      return p.capcode == capcode && p.text == text;
    });
    EXPECT_TRUE(found) << "the referee did not print " << page << "\n" << referee.out;
  }

  RunResult decode = RunProgram(DecodePath() + " --json --rate 22050 -", raw);
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(ParsePages(decode.out), expected);

  // Our line for each page agrees field by field with a line of the referee's, and reads with
  // the expressions that existing consumers use.
  RunResult lines = RunProgram(DecodePath() + " --format multimon --rate 22050 -", raw);
  ASSERT_EQ(lines.status, 0) << lines.err;
  std::vector<gen::RefereeLine> ours = gen::ParseRefereeLines(lines.out);
  EXPECT_EQ(ours.size(), expected.size()) << lines.out;
  for (const gen::RefereeLine& f : ours) {
    bool agreed = std::any_of(theirs.begin(), theirs.end(),
                              [&](const gen::RefereeLine& r) { return f.Agrees(r); });
    EXPECT_TRUE(agreed) << f.mode << " " << f.capcode << " " << f.text << "\n"
                        << lines.out << "\n"
                        << referee.out;
  }
  ExpectConsumersRead(lines.out);
}

// The referee's FLEX layouts between them print every page except tone-only ones and short
// messages on long addresses, so those are left to the decoder's own tests.
INSTANTIATE_TEST_SUITE_P(
    AirInterface, RefereeTest,
    ::testing::Values(RefereeCase{"Pocsag512", R"({"protocol": "POCSAG", "rate": 512, "pages": [
          {"capcode": 1234567, "type": "alpha", "text": "Slow page: 512 bit/s"},
          {"capcode": 8, "type": "numeric", "text": "0123456789"},
          {"capcode": 9, "type": "tone", "function": 3}]})"},
                      RefereeCase{"Pocsag1200", R"({"protocol": "POCSAG", "rate": 1200, "pages": [
          {"capcode": 2097151, "type": "alpha", "function": 4,
           "text": "A long page that runs over several codewords and into a second batch."},
          {"capcode": 200, "type": "numeric", "text": "555-1234"},
          {"capcode": 301, "type": "tone", "function": 2}]})"},
                      RefereeCase{"Pocsag2400", R"({"protocol": "POCSAG", "rate": 2400, "pages": [
          {"capcode": 55555, "type": "alpha", "function": 3, "text": "Fast page 2400"},
          {"capcode": 1000001, "type": "numeric", "text": "911"},
          {"capcode": 7, "type": "tone", "function": 4}]})"},
                      RefereeCase{"Flex1600x2", R"({"protocol": "FLEX", "mode": "1600/2", "pages": [
          {"capcode": 123456, "type": "alpha", "text": "FLEX alpha 1600/2"},
          {"capcode": 654321, "type": "numeric", "text": "12345"},
          {"capcode": 2100000, "type": "alpha", "text": "Long address 1600/2"}]})"},
                      RefereeCase{"Flex1600x4", R"({"protocol": "FLEX", "mode": "1600/4", "pages": [
          {"capcode": 1234567, "type": "alpha", "text": "phase A", "phase": 0},
          {"capcode": 1234571, "type": "alpha", "text": "phase B", "phase": 1},
          {"capcode": 1234575, "type": "numeric", "text": "4567", "phase": 1},
          {"capcode": 2100004, "type": "alpha", "text": "long address, phase B", "phase": 1}]})"},
                      RefereeCase{"Flex3200x2", R"({"protocol": "FLEX", "mode": "3200/2", "pages": [
          {"capcode": 7777, "type": "alpha", "text": "FLEX 3200/2 phase A", "phase": 0},
          {"capcode": 7778, "type": "numeric", "text": "911", "phase": 2},
          {"capcode": 2100000, "type": "alpha", "text": "long address, phase C", "phase": 2}]})"},
                      RefereeCase{"Flex3200x4", R"({"protocol": "FLEX", "mode": "3200/4", "pages": [
          {"capcode": 8888, "type": "alpha", "text": "four level A", "phase": 0},
          {"capcode": 8889, "type": "alpha", "text": "four level B", "phase": 1},
          {"capcode": 8890, "type": "alpha", "text": "four level C", "phase": 2},
          {"capcode": 8891, "type": "alpha", "text": "four level D", "phase": 3},
          {"capcode": 8892, "type": "numeric", "text": "3141592653", "phase": 3},
          {"capcode": 2100008, "type": "alpha", "text": "long address, phase D", "phase": 3}]})"}),
    [](const auto& param) { return std::string(param.param.name); });

// Group calls and fragments: short instructions, then the call to the temporary address, and a
// message in three parts. The referee lists the same members after the address and the same
// K/F/C flags on each part as pagora-decode's line layout; JSON joins the parts.
TEST(RefereeGroupTest, MembersAndFragmentFlagsAgree) {
  std::string raw = TempPath("referee_group.s16");
  std::vector<nlohmann::json> expected = RenderScenario(R"({"transmissions": [
   {"protocol": "FLEX", "frame": 20, "pages": [
     {"capcode": 1220499, "type": "instruction", "group": 2029583, "frame": 21},
     {"capcode": 1220653, "type": "instruction", "group": 2029583, "frame": 21},
     {"capcode": 1400141, "type": "alpha", "part": "first", "text": "Brandweer Rotterdam Rij"}]},
   {"protocol": "FLEX", "frame": 21, "pages": [
     {"capcode": 2029583, "type": "alpha", "text": "A2 Wijk en Aalburg rit: 146226"},
     {"capcode": 1400141, "type": "alpha", "part": "more", "text": "nmond "}]},
   {"protocol": "FLEX", "frame": 22, "pages": [
     {"capcode": 1400141, "type": "alpha", "part": "last", "text": "Proefalarm."}]}]})",
                                                        raw, "--format raw --sample-rate 22050");
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_EQ(expected[0]["members"], nlohmann::json({"1220499", "1220653"}));
  EXPECT_EQ(expected[1]["text"], "Brandweer Rotterdam Rijnmond Proefalarm.");

  RunResult referee = RunProgram("multimon-ng -q -t raw -a FLEX -a FLEX_NEXT " + raw);
  ASSERT_EQ(referee.status, 0) << "multimon-ng is needed (scripts/install-deps): " << referee.err;
  std::vector<gen::RefereeLine> theirs = gen::ParseRefereeLines(referee.out);
  RunResult lines = RunProgram(DecodePath() + " --format multimon --rate 22050 -", raw);
  ASSERT_EQ(lines.status, 0) << lines.err;
  std::vector<gen::RefereeLine> ours = gen::ParseRefereeLines(lines.out);
  ASSERT_EQ(ours.size(), 4u) << lines.out;
  const char* flags[] = {"F", "K", "F", "C"};
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const gen::RefereeLine& f = ours[i];
    EXPECT_EQ(f.fragment, flags[i]) << lines.out;
    // Agreeing with a line of the same layout: members and flags are compared, not skipped.
    bool agreed = std::any_of(theirs.begin(), theirs.end(), [&](const gen::RefereeLine& r) {
      return !r.fragment.empty() && f.Agrees(r) && r.members == f.members;
    });
    EXPECT_TRUE(agreed) << f.capcode << " " << f.fragment << " " << f.members << " " << f.text
                        << "\n"
                        << lines.out << "\n"
                        << referee.out;
  }
  EXPECT_EQ(ours[1].members, "001220499 001220653");

  RunResult decode = RunProgram(DecodePath() + " --json --rate 22050 -", raw);
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(ParsePages(decode.out), expected);
}

}  // namespace
}  // namespace pagora::testing
