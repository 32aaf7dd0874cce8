// Four-level FLEX frames whose phases fall silent early. Every word a phase does not use is
// idle fill, all-zero and all-one codewords in turn, and the four phases fill in step; so once
// the pages are out, the symbols carry only the dibits 00 and 11: the top slicer level and the
// lower inner one, never the bottom level, for the rest of the frame (up to 1.7 s). A page
// whose last words come after a stretch of that fill must still come out of the audio slicer
// exactly.
//
// The frames are page sets that the sensitivity benchmark once garbled without noise: the audio
// slicer let its low estimate climb onto the lower inner level during the fill (after about
// 20 ms of it), every level-1 symbol then came out as level 0, the low bit of phases B and D
// flipped, and their late message words could not be corrected.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "audio_render.h"
#include "draining_sink.h"
#include "engine/monitor.h"
#include "fake_host.h"
#include "input/audio_slicer.h"
#include "scenario.h"

namespace pagora::testing {
namespace {

using nlohmann::json;

struct FillCase {
  const char* name;
  const char* mode;
  json pages;
};

void PrintTo(const FillCase& c, std::ostream* os) {
  *os << c.name;
}

// Capcode and text of a page, as the generator expects it or the engine wrote it.
using Shown = std::pair<std::string, std::string>;

class FlexIdleFill : public ::testing::TestWithParam<FillCase> {
 protected:
  FlexIdleFill() : m(host) {
    m.settings.fourLevelInterface = 1;
    m.Create();
    json transmission{{"protocol", "FLEX"}, {"mode", GetParam().mode}, {"pages", GetParam().pages}};
    scenario = gen::ParseScenario(json{{"transmissions", json::array({transmission})}});
  }

  const gen::SymbolStream& Frame() const { return scenario.items.front().symbols; }

  std::vector<Shown> Expected() const {
    std::vector<Shown> pages;
    for (const gen::ExpectedPage& page : scenario.items.front().pages)
      pages.emplace_back(page.capcode, page.text);
    std::sort(pages.begin(), pages.end());
    return pages;
  }

  std::vector<Shown> Decoded() {
    m.Drain();
    m.Tick();
    std::vector<Shown> pages;
    for (const CompletedPage& page : host.pages) {
      EXPECT_FALSE(page.info.errors) << page.info.capcode.data() << " " << page.content;
      EXPECT_EQ(page.info.corrected, 0) << page.info.capcode.data();
      pages.emplace_back(page.info.capcode.data(), std::string(page.info.Text()));
    }
    std::sort(pages.begin(), pages.end());
    return pages;
  }

  FakeHost host;
  Monitor m;
  gen::Scenario scenario;
};

TEST_P(FlexIdleFill, PagesComeOutOfCleanAudio) {
  std::vector<float> audio;
  gen::AudioRenderer renderer(gen::AudioRenderOptions{}, [&](const float* s, std::size_t n) {
    audio.insert(audio.end(), s, s + n);
  });
  renderer.AppendGap(1.0);
  renderer.Append(Frame());
  renderer.AppendGap(1.0);
  renderer.Finish();
  AudioSlicerConfig config;
  config.lowPassHz = kDefaultLowPassHz;
  AudioSlicer slicer(config);
  gen::DrainingSink sink(m);
  slicer.Process(audio.data(), audio.size(), sink);
  slicer.Finish(sink);
  EXPECT_EQ(Decoded(), Expected());
}

json Page(long capcode, int phase, const char* type, const char* text) {
  return json{{"capcode", capcode}, {"phase", phase}, {"type", type}, {"text", text}};
}

// Phase B ends with a two-word numeric page in words 16 and 17 (block 2), after which
// all four phases idle; word 17's bits ride on level-1 symbols.
const FillCase kCases[] = {
    {"Flex3200FourLevel", "3200/4",
     json::array({Page(990432, 3, "alpha", "TjBf2iw5Xj:.aNS7BCFFonVsDvWx/KE"),
                  Page(330699, 2, "numeric", "898986"),
                  Page(402447, 1, "alpha", "zkAL5Yto tq7WAWp8.GR4XZdJW8"),
                  Page(1409215, 1, "numeric", "806288")})},
    {"Flex1600FourLevel", "1600/4",
     json::array({Page(1730760, 1, "numeric", "0978027250"),
                  Page(1086685, 0, "numeric", "4690798345"),
                  Page(1501807, 1, "numeric", "7467805239490")})},
};

INSTANTIATE_TEST_SUITE_P(LateWords, FlexIdleFill, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace pagora::testing
