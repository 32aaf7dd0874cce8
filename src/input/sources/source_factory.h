// Makes the slicer source the settings choose: the serial slicer (ComPort 1..5), the sound
// card, or an audio file (InputSource).
#pragma once

#include <memory>

#include "config/settings.h"
#include "input/slicer_source.h"

namespace pagora {

std::unique_ptr<SlicerSource> MakeSlicerSource(const AppSettings& settings);

}  // namespace pagora
