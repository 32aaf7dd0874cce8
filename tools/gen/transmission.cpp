#include "transmission.h"

namespace pagora::gen {

void AppendLevel(SymbolStream& stream, std::uint8_t level, int count) {
  for (int i = 0; i < count; ++i)
    stream.levels.push_back(level);
}

}  // namespace pagora::gen
