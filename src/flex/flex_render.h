// Writing one FLEX page: the type table (statistics class and display gate) and the rendering
// of its header and content through the line builder.
#pragma once

#include <cstdint>

#include "flex/flex_decoder.h"

namespace pagora {

// The page of the address at word `addressIndex` (and the next one for a long address) with
// its vector at word `vectorIndex` (and the next one). The vector word has passed its checksum.
void WriteFlexPage(const FlexRun& run, FlexPhase& phase, int addressIndex, int vectorIndex,
                   bool isLong);

}  // namespace pagora
