// The window's input from the settings: the slicer sources every front end shares, or one
// channel of an SDR receiver (InputSource 3), whose pages carry the channel's frequency.
#pragma once

#include <memory>

#include "engine/monitor.h"
#include "engine/slicer_source.h"

namespace pagora {

std::unique_ptr<SlicerSource> MakeInputSource(Monitor& monitor);

}  // namespace pagora
