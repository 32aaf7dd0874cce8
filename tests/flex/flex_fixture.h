// A fresh engine with the recording host, fed the generator's FLEX symbols straight into the
// decoder, as the drain does while the shared clock serves FLEX.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fake_host.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "input/monitor.h"

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

class FlexTest : public ::testing::Test {
 protected:
  FlexTest() : m(host) { m.Create(); }

  void Feed(const std::vector<std::int8_t>& symbols) {
    for (std::int8_t s : symbols)
      FlexReceiveSymbol(m, s);
  }
  // Feeds the bits as 2-level symbols (1 → symbol 1, 0 → symbol 2), first bit first.
  void FeedBits(std::uint64_t bits, int count) {
    for (int b = count - 1; b >= 0; --b)
      FlexReceiveSymbol(m, ((bits >> b) & 1) ? 1 : 2);
  }
  void Send(const gen::FlexFrame& frame) { Feed(gen::FlexDecoderSymbols(frame)); }
  void Send(FlexMode mode, std::vector<FlexPage> a, std::vector<FlexPage> b = {},
            std::vector<FlexPage> c = {}, std::vector<FlexPage> d = {}) {
    Send(Frame(mode, std::move(a), std::move(b), std::move(c), std::move(d)));
  }

  // A frame with the pages of phases A, B, C and D.
  static gen::FlexFrame FrameOf(FlexMode mode, const PhasePages& pages) {
    gen::FlexFrame frame;
    EXPECT_TRUE(gen::MakeFlexFrame(mode, pages, frame));
    return frame;
  }
  static gen::FlexFrame Frame(FlexMode mode, std::vector<FlexPage> a = {},
                              std::vector<FlexPage> b = {}, std::vector<FlexPage> c = {},
                              std::vector<FlexPage> d = {}) {
    return FrameOf(mode, {std::move(a), std::move(b), std::move(c), std::move(d)});
  }

  std::vector<std::string> Rows() const { return PageRows(m.lines.messagePane); }
  std::vector<std::string> Contents() const {
    std::vector<std::string> contents;
    for (const CompletedPage& page : host.pages)
      contents.push_back(page.content);
    return contents;
  }
  int Count(const CounterTable& table, int row, int kind) const {
    return table[static_cast<std::size_t>(row)][static_cast<std::size_t>(kind)];
  }

  FakeHost host;
  Monitor m;
};

}  // namespace pagora::testing
