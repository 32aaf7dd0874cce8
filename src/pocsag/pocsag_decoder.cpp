#include "pocsag/pocsag_decoder.h"

namespace pagora {

void PocsagReceiveBit(Monitor&, char) {}

}  // namespace pagora
