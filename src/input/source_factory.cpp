#include "input/source_factory.h"

#include "input/entry_producer.h"
#include "input/producer_source.h"
#include "input/serial_slicer_source.h"
#include "input/sound_card_source.h"

namespace pagora {

AudioSlicerConfig SlicerConfigFor(const AppSettings& settings, double sampleRate) {
  AudioSlicerConfig config;
  config.sampleRate = sampleRate;
  config.levels = settings.fourLevelInterface ? 4 : 2;
  config.lowPassHz = kDefaultLowPassHz;
  return config;
}

std::unique_ptr<SlicerSource> MakeSlicerSource(const AppSettings& settings) {
  switch (settings.inputSource) {
    case kInputSoundCard:
      return std::make_unique<SoundCardSource>(settings.audioDevice, SlicerConfigFor(settings, 0));
    case kInputAudioFile:
      return std::make_unique<ProducerSource>(
          MakeAudioFileProducer(settings.audioFile, SlicerConfigFor(settings, 0)));
    default:
      return std::make_unique<SerialSlicerSource>();
  }
}

}  // namespace pagora
