// Line builder and completion cost per page: a decoder's page written character by character
// into the message pane with the log mirror on, then filtered against a list of filters, with
// and without a match that copies the page into the filter pane and the filter file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "engine/filters.h"
#include "engine/monitor.h"
#include "quiet_host.h"

namespace {

using namespace pagora;

void WriteOnePage(Monitor& m, const char* capcode, const std::string& text) {
  PaneBuffer& pane = m.lines.messagePane;
  FindCapcodeFilter(m, kFilterPocsag, capcode, 4, 2);
  BeginPage(m, pane);
  MarkCapcodeStart(m);
  SetColourClass(pane, kClassCapcode);
  PutChar(m, pane, '{');
  PutText(m, pane, capcode);
  PutText(m, pane, "} 12:00:00 4 1200");
  MarkCapcodeEnd(m);
  PutChar(m, pane, ' ');
  MarkTextStart(m);
  SetColourClass(pane, kClassAlphanumeric);
  for (char c : text)
    PutChar(m, pane, c);
  EndLine(m, pane);
}

// state.range(0): 1 = every page matches a filter (filter pane and file), 0 = none does.
void BM_PageThroughLineBuilder(benchmark::State& state) {
  gen::QuietHost host;
  Monitor m(host);
  m.settings.logFileEnabled = 1;
  m.settings.filterFileEnabled = 1;
  for (int i = 0; i < 20; ++i) {
    FilterRecord f;
    f.type = i % 2 ? kFilterText : kFilterPocsag;
    f.capcode = i % 2 ? "" : "00" + std::to_string(10000 + i);
    f.text = i % 2 ? "WORD" + std::to_string(i) : "";
    m.settings.filters.push_back(f);
  }
  FilterRecord wanted;
  wanted.type = kFilterText;
  wanted.text = "smoke";
  m.settings.filters.push_back(wanted);
  m.Create();
  m.files.log = std::fopen("/dev/null", "w");
  m.files.filter = std::fopen("/dev/null", "w");
  std::string text(120, 'x');
  text.replace(60, 5, state.range(0) ? "SMOKE" : "CLEAR");
  for (auto _ : state) {
    host.Advance();  // a new separator every minute, as on a busy channel
    WriteOnePage(m, "0123456", text);
  }
  std::fclose(m.files.log);
  std::fclose(m.files.filter);
  m.files.log = m.files.filter = nullptr;
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PageThroughLineBuilder)->Arg(0)->Arg(1);

}  // namespace
