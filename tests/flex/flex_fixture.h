// A fresh engine with the recording host, fed the generator's FLEX symbols straight into the
// decoder, as the drain does while the shared clock serves FLEX.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/monitor.h"
#include "fake_host.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "test_pages.h"

namespace pagora::testing {

using gen::FlexMode;
using gen::FlexPage;
using gen::FlexPageType;
using PhasePages = std::array<std::vector<FlexPage>, 4>;

inline FlexPage Page(std::uint32_t capcode, FlexPageType type, std::string content = "") {
  FlexPage page;
  page.capcode = capcode;
  page.type = type;
  page.content = std::move(content);
  return page;
}

// A frame with the pages of phases A, B, C and D.
inline gen::FlexFrame Frame(FlexMode mode, std::vector<FlexPage> a = {},
                            std::vector<FlexPage> b = {}, std::vector<FlexPage> c = {},
                            std::vector<FlexPage> d = {}) {
  gen::FlexFrame frame;
  EXPECT_TRUE(
      gen::MakeFlexFrame(mode, {std::move(a), std::move(b), std::move(c), std::move(d)}, frame));
  return frame;
}

class FlexEngine {
 public:
  FlexEngine() : m(host) { m.Create(); }

  void Feed(const std::vector<std::int8_t>& symbols) {
    for (std::int8_t s : symbols)
      FlexReceiveSymbol(m.Flex(), s);
  }
  // Feeds the bits as 2-level symbols (1 → symbol 1, 0 → symbol 2), first bit first.
  void FeedBits(std::uint64_t bits, int count) {
    for (int b = count - 1; b >= 0; --b)
      FlexReceiveSymbol(m.Flex(), ((bits >> b) & 1) ? 1 : 2);
  }
  void Send(const gen::FlexFrame& frame) { Feed(gen::FlexDecoderSymbols(frame)); }

  std::vector<std::string> Rows() const { return PageRows(m.lines.messagePane); }
  // Colour classes of the last ended row, one byte each.
  std::string LastRowClasses() const {
    return RowClasses(m.lines.messagePane, m.lines.messagePane.currentRow - 1);
  }
  std::vector<std::string> Contents() const {
    std::vector<std::string> contents;
    for (const CompletedPage& page : host.pages)
      contents.push_back(page.content);
    return contents;
  }
  int Messages(int row, int kind) const { return m.counters.hourlyMessages[row][kind]; }
  int Characters(int row, int kind) const { return m.counters.hourlyCharacters[row][kind]; }

  FakeHost host;
  Monitor m;
};

class FlexTest : public ::testing::Test, public FlexEngine {};

}  // namespace pagora::testing
