#include "flex/flex_decoder.h"

namespace pagora {

void InitFlexDecoder(FlexDecoder& flex) { flex = FlexDecoder{}; }

void FlexReceiveSymbol(Monitor&, std::int8_t) {}

}  // namespace pagora
