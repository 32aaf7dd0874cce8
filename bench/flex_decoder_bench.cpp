// FLEX decoder throughput: whole frames fed symbol by symbol, from sync to the last page. A
// busy 3200/4 frame carries 5632 block symbols and 32 codewords per block; the receiver has
// 1.875 s of air time to decode it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/monitor.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "quiet_host.h"

namespace {

using pagora::gen::FlexMode;
using pagora::gen::FlexPage;
using pagora::gen::FlexPageType;

std::vector<std::int8_t> BusyFrame(FlexMode mode) {
  std::array<std::vector<FlexPage>, 4> pages;
  for (int p = 0; p < 4; ++p) {
    if (!pagora::gen::FlexPhaseInUse(mode, p))
      continue;
    for (int i = 0; i < 4; ++i) {
      FlexPage page;
      page.capcode = 100000 + static_cast<std::uint32_t>(16 * i + p);
      page.type = i % 2 ? FlexPageType::kStandardNumeric : FlexPageType::kAlphanumeric;
      page.content = i % 2 ? "5551234567" : "Busy frame, page with a line of text in it";
      pages[p].push_back(page);
    }
  }
  pagora::gen::FlexFrame frame;
  pagora::gen::MakeFlexFrame(mode, pages, frame);
  return pagora::gen::FlexDecoderSymbols(frame);
}

void BM_FlexFrame(benchmark::State& state) {
  const FlexMode mode = static_cast<FlexMode>(state.range(0));
  const std::vector<std::int8_t> symbols = BusyFrame(mode);
  pagora::gen::QuietHost host;
  pagora::Monitor m(host);
  m.Create();
  for (auto _ : state) {
    for (std::int8_t s : symbols)
      pagora::FlexReceiveSymbol(m.Flex(), s);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * symbols.size()));
  state.SetLabel(std::to_string(symbols.size()) + " symbols a frame");
}
BENCHMARK(BM_FlexFrame)
    ->Arg(static_cast<int>(FlexMode::k1600x2))
    ->Arg(static_cast<int>(FlexMode::k3200x4));

}  // namespace
