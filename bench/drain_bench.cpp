// The drain: ring entries per second for POCSAG 1200, FLEX 3200/4 and GSC traffic rendered by
// the generator at the slicer level, with all three decoders on (argument 1, as a receiver runs)
// and with only the traffic's own decoder on (argument 0), so the cost of the others shows.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/monitor.h"
#include "flex_encoder.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"
#include "quiet_host.h"
#include "slicer_entries.h"

namespace {

using pagora::SlicerEntry;
namespace gen = pagora::gen;

std::vector<SlicerEntry> PocsagTraffic() {
  std::vector<gen::PocsagPage> pages;
  for (int i = 0; i < 20; ++i) {
    pages.push_back({static_cast<std::uint32_t>(1000 + 37 * i), -1,
                     i % 2 ? gen::PocsagPageType::kNumeric : gen::PocsagPageType::kAlphanumeric,
                     i % 2 ? "5551234" : "AMBULANCE TO STATION 4, PRIORITY 1"});
  }
  gen::SlicerEntryWriter writer;
  writer.Append(gen::PocsagSymbols(gen::EncodePocsag(pages).bits, 1200));
  writer.AppendGap(0.2);
  writer.Finish();
  return writer.entries();
}

std::vector<SlicerEntry> FlexTraffic() {
  gen::SlicerEntryWriter writer;
  for (int f = 0; f < 8; ++f) {
    std::array<std::vector<gen::FlexPage>, 4> pages;
    for (int phase = 0; phase < 4; ++phase) {
      gen::FlexPage page;
      page.capcode = static_cast<std::uint32_t>(100000 + 4 * f + phase);
      page.content = "FIRE ALARM BUILDING 7";
      pages[static_cast<std::size_t>(phase)].push_back(page);
    }
    gen::FlexFrame frame;
    if (!gen::MakeFlexFrame(gen::FlexMode::k3200x4, pages, frame))
      continue;
    frame.frame = f;
    gen::SymbolStream stream;
    gen::AppendFlexFrame(stream, frame);
    writer.Append(stream);
  }
  writer.Finish();
  return writer.entries();
}

std::vector<SlicerEntry> GscTraffic() {
  gen::GscTransmission transmission;
  for (int i = 0; i < 4; ++i) {
    transmission.pages.push_back({123450 + i, 1, gen::GscMessageType::kAlpha, "CALL OFFICE", 0, 0});
  }
  gen::SlicerEntryWriter writer;
  writer.Append(gen::GscSymbols(gen::EncodeGsc(transmission).samples));
  writer.AppendGap(0.5);
  writer.Finish();
  return writer.entries();
}

enum class Own { kPocsag, kFlex, kGsc };

void DrainTraffic(benchmark::State& state, const std::vector<SlicerEntry>& entries, Own own) {
  pagora::gen::QuietHost host;
  pagora::Monitor m(host);
  m.settings.fourLevelInterface = 1;
  if (state.range(0) == 0) {
    m.settings.decodePocsag = own == Own::kPocsag;
    m.settings.decodeFlex = own == Own::kFlex;
    m.settings.decodeGolay = own == Own::kGsc;
  }
  m.Create();
  for (auto _ : state) {
    std::size_t next = 0;
    while (next < entries.size()) {
      while (next < entries.size() && m.ring.Free() > 0) {
        m.ring.Push(entries[next].duration, entries[next].status);
        ++next;
      }
      m.Drain();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * entries.size()));
  state.counters["entries"] = static_cast<double>(entries.size());
}

void BM_DrainPocsag1200(benchmark::State& state) {
  DrainTraffic(state, PocsagTraffic(), Own::kPocsag);
}
void BM_DrainFlex3200x4(benchmark::State& state) {
  DrainTraffic(state, FlexTraffic(), Own::kFlex);
}
void BM_DrainGsc(benchmark::State& state) {
  DrainTraffic(state, GscTraffic(), Own::kGsc);
}
BENCHMARK(BM_DrainPocsag1200)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrainFlex3200x4)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrainGsc)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
