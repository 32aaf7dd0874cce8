// Capture files are text a user may edit or a bug report may carry: every line either reads
// as an entry that writes back the same, or is a comment or garbage; and a whole file replayed
// into the engine with every decoder on must keep within the engine's records.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "draining_sink.h"
#include "engine/monitor.h"
#include "input/capture_format.h"
#include "input/entry_producer.h"
#include "quiet_host.h"

namespace {

void CheckLines(std::string_view text) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    pagora::CaptureEntry entry;
    if (pagora::ParseCaptureLine(line, entry) == pagora::CaptureLine::kEntry) {
      std::string written = pagora::FormatCaptureLine(entry.duration, entry.status);
      written.pop_back();  // the line end
      pagora::CaptureEntry again;
      if (pagora::ParseCaptureLine(written, again) != pagora::CaptureLine::kEntry ||
          again.duration != entry.duration || again.status != entry.status) {
        std::abort();
      }
    }
    if (end == std::string_view::npos)
      break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckLines(text);

  static const std::string path = "/tmp/pagora-fuzz-capture-" + std::to_string(getpid());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file)
    return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  pagora::gen::QuietHost host;
  pagora::Monitor m(host);
  m.settings.fourLevelInterface = 1;
  m.Create();
  std::unique_ptr<pagora::EntryProducer> producer = pagora::MakeCaptureProducer(path);
  if (producer->Open(host)) {
    pagora::gen::DrainingSink sink(m);
    double seconds = 0;
    while (true) {
      seconds += 1.0;  // a tick a second: enough for the engine's timers, and fast
      auto progress = producer->Produce(seconds, 4096, sink);
      m.Drain();
      if (progress == pagora::EntryProducer::Progress::kEnded)
        break;
      if (progress == pagora::EntryProducer::Progress::kReached) {
        host.Advance();
        m.Tick();
      }
    }
    // Reports are bounded however much garbage a file holds: ten lines and a count of the rest.
    if (producer->problems().size() > 12)
      std::abort();
  }
  m.Destroy();
  return 0;
}
