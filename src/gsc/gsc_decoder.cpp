#include "gsc/gsc_decoder.h"

namespace pagora {

void GscReceiveBit(Monitor&, int) {}

}  // namespace pagora
