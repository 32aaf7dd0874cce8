// Makes the slicer source the settings choose: the serial slicer (ComPort 1..5), the sound
// card, or an audio file (InputSource).
#pragma once

#include <memory>

#include "config/settings.h"
#include "engine/slicer_source.h"
#include "input/audio_slicer.h"

namespace pagora {

std::unique_ptr<SlicerSource> MakeSlicerSource(const AppSettings& settings);

// The audio slicer's configuration for the settings' slicer kind (4LevelInterface) at a sample
// rate (0 = the device's or file's own).
AudioSlicerConfig SlicerConfigFor(const AppSettings& settings, double sampleRate);

}  // namespace pagora
