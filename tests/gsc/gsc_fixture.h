// A fresh engine with the recording host, fed GSC samples straight into the decoder, the way
// the drain does from the GSC clock.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/monitor.h"
#include "fake_host.h"
#include "gsc/gsc_decoder.h"
#include "gsc_encoder.h"

namespace pagora::testing {

class GscTest : public ::testing::Test {
 protected:
  GscTest() : m(host) { m.Create(); }

  void Feed(const std::vector<std::uint8_t>& samples, std::size_t from = 0,
            std::size_t to = SIZE_MAX) {
    to = std::min(to, samples.size());
    for (std::size_t i = from; i < to; ++i)
      GscReceiveBit(m.Gsc(), samples[i]);
  }
  void Feed(const gen::GscSignal& signal) { Feed(signal.samples); }
  void FeedValue(int value, int count) {
    for (int i = 0; i < count; ++i)
      GscReceiveBit(m.Gsc(), value);
  }

  // Feeds the signal up to the last sample of a block (fed_ remembers how far it got).
  void FeedThrough(const gen::GscSignal& signal, const gen::GscBlockSpan& block) {
    std::size_t end = static_cast<std::size_t>(block.offset + gen::kGscBlockLength);
    Feed(signal.samples, fed_, end);
    fed_ = end;
  }
  void FeedRest(const gen::GscSignal& signal) {
    Feed(signal.samples, fed_);
    fed_ = signal.samples.size();
  }

  std::vector<std::string> Rows() const { return PageRows(m.lines.messagePane); }

  // The header as the fake host's clock shows it.
  static std::string Header(long capcode, int function) {
    char text[64];
    std::snprintf(text, sizeof text, "(%06ld) %d 12:34:56", capcode, function);
    return text;
  }

  FakeHost host;
  Monitor m;

 private:
  std::size_t fed_ = 0;
};

// A transmission of the given pages with a normal preamble.
inline gen::GscTransmission Transmission(std::vector<gen::GscPage> pages, bool inverted = false) {
  gen::GscTransmission t;
  t.invertedPreamble = inverted;
  t.pages = std::move(pages);
  return t;
}

}  // namespace pagora::testing
