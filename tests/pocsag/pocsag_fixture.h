// A fresh engine with the recording host, fed POCSAG bits straight into the decoder, the way the
// drain does once it has locked to a rate.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/monitor.h"
#include "fake_host.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"

namespace pagora::testing {

class PocsagTest : public ::testing::Test {
 protected:
  PocsagTest() : m(host) {
    m.Create();
    m.recovery.rateIndex = 4;
  }

  void Feed(const std::vector<std::uint8_t>& bits, std::size_t from = 0,
            std::size_t to = SIZE_MAX) {
    to = std::min(to, bits.size());
    for (std::size_t i = from; i < to; ++i)
      PocsagReceiveBit(m.Pocsag(), bits[i] != 0 ? '1' : '0');
  }
  void Feed(const gen::PocsagTransmission& t) { Feed(t.bits); }

  // Feeds `t` up to the end of the given codeword.
  void FeedThrough(const gen::PocsagTransmission& t, const gen::PocsagWord* word) {
    ASSERT_NE(word, nullptr);
    Feed(t.bits, fed_, word->bitOffset + 32);
    fed_ = word->bitOffset + 32;
  }
  void FeedRest(const gen::PocsagTransmission& t) {
    Feed(t.bits, fed_);
    fed_ = t.bits.size();
  }

  // For table cases sharing one decoder: ends any burst, as the drain does, and clears the pane.
  void Restart() {
    PocsagReceiveBit(m.Pocsag(), 'X');
    ClearPane(m, m.lines.messagePane);
    host.pages.clear();
  }

  // The page rows ended so far in the message pane (no separators).
  std::vector<std::string> Rows() const { return PageRows(m.lines.messagePane); }
  // The row being written, as far as it goes.
  std::string OpenRow() const {
    const PaneBuffer& pane = m.lines.messagePane;
    return std::string(pane.TextRow(pane.currentRow), static_cast<std::size_t>(pane.currentColumn));
  }

  // The header as the fake host's clock shows it: "{capcode} 12:34:56 function rate ".
  static std::string Header(std::uint32_t capcode, int function, int baud) {
    char text[64];
    std::snprintf(text, sizeof text, "{%07u} 12:34:56 %d %d ", capcode, function + 1, baud);
    return text;
  }

  FakeHost host;
  Monitor m;

 private:
  std::size_t fed_ = 0;
};

}  // namespace pagora::testing
