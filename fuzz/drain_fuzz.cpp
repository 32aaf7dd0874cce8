// Arbitrary ring entries through the drain with every decoder on, 2- and 4-level: whatever the
// air brings, the decoders and the line builder must stay within their records.
#include <cstdint>

#include "engine/monitor.h"
#include "quiet_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1)
    return 0;
  pagora::gen::QuietHost host;
  pagora::Monitor m(host);
  m.settings.fourLevelInterface = data[0] & 1;
  m.settings.invertData = (data[0] >> 1) & 1;
  m.settings.pane1Size = 50;
  m.settings.pane2Size = 20;
  m.settings.filters.push_back(pagora::FilterRecord{pagora::kFilterText, "", 0, "L", "A", 0, 0, 0});
  m.Create();
  // Three bytes an entry: duration (16 bits, little-endian) and status, as a capture holds them;
  // the seeds are generated traffic in this form.
  for (std::size_t i = 1; i + 3 <= size; i += 3) {
    auto duration = static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8));
    m.ring.Push(duration, data[i + 2]);
    if (((i - 1) / 3) % 256 == 255) {
      m.Drain();
      host.Advance();
    }
  }
  m.Drain();
  m.Destroy();
  return 0;
}
