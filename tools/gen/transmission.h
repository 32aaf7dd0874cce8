// What the encoders produce: a transmission as a sequence of slicer levels at a fixed symbol
// rate. Level 3 is the highest RF frequency (positive discriminator audio), level 0 the lowest;
// 2-level signals use levels 0 and 3 only. Audio rendering and slicer-entry rendering both start
// from this.
#pragma once

#include <cstdint>
#include <vector>

namespace pagora::gen {

struct SymbolStream {
  double symbolRate = 0;             // symbols per second
  std::vector<std::uint8_t> levels;  // 0..3, one per symbol
};

// Appends `count` symbols of one level.
void AppendLevel(SymbolStream& stream, std::uint8_t level, int count);

}  // namespace pagora::gen
