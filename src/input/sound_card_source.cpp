#include "input/sound_card_source.h"

#include <portaudio.h>

#include <cstdlib>

#include "engine/host.h"
#include "input/ring_sink.h"

namespace pagora {
namespace {

constexpr const char* kCaption = "Pagora Error";

PaDeviceIndex FindInputDevice(const std::string& name) {
  if (name.empty())
    return Pa_GetDefaultInputDevice();
  char* end = nullptr;
  long index = std::strtol(name.c_str(), &end, 10);
  if (end && *end == '\0' && index >= 0 && index < Pa_GetDeviceCount()) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(static_cast<PaDeviceIndex>(index));
    if (info && info->maxInputChannels > 0)
      return static_cast<PaDeviceIndex>(index);
  }
  for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (info && info->maxInputChannels > 0 &&
        std::string(info->name).find(name) != std::string::npos) {
      return i;
    }
  }
  return paNoDevice;
}

}  // namespace

struct SoundCardSource::Callback {
  Callback(const AudioSlicerConfig& config, SlicerRing& ring, EntrySink* recorder)
      : slicer(config), sink(ring, recorder) {}
  AudioSlicer slicer;
  RingSink sink;

  static int Run(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                 PaStreamCallbackFlags, void* user) {
    auto* self = static_cast<Callback*>(user);
    if (input)
      self->slicer.Process(static_cast<const float*>(input), frames, self->sink);
    return paContinue;
  }
};

SoundCardSource::SoundCardSource(std::string device, const AudioSlicerConfig& slicer)
    : device_(std::move(device)), config_(slicer) {}

SoundCardSource::~SoundCardSource() {
  Close();
}

bool SoundCardSource::Open(const AppSettings&, SlicerRing& ring, Host& host) {
  if (IsOpen())
    return false;
  PaError error = Pa_Initialize();
  if (error != paNoError) {
    host.ShowMessage(std::string("Error opening sound card!\n") + Pa_GetErrorText(error), kCaption);
    return false;
  }
  PaDeviceIndex device = FindInputDevice(device_);
  if (device == paNoDevice) {
    Pa_Terminate();
    host.ShowMessage("Error opening sound card!\nNo audio input device" +
                         (device_.empty() ? std::string() : " matches \"" + device_ + "\""),
                     kCaption);
    return false;
  }
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  AudioSlicerConfig config = config_;
  if (config.sampleRate <= 0)
    config.sampleRate = info->defaultSampleRate;

  PaStreamParameters input{};
  input.device = device;
  input.channelCount = 1;
  input.sampleFormat = paFloat32;
  input.suggestedLatency = info->defaultLowInputLatency;
  callback_ = std::make_unique<Callback>(config, ring, recorder_);
  PaStream* stream = nullptr;
  error = Pa_OpenStream(&stream, &input, nullptr, config.sampleRate, paFramesPerBufferUnspecified,
                        paNoFlag, &Callback::Run, callback_.get());
  if (error == paNoError) {
    error = Pa_StartStream(stream);
    if (error != paNoError)
      Pa_CloseStream(stream);
  }
  if (error != paNoError) {
    callback_.reset();
    Pa_Terminate();
    host.ShowMessage(
        std::string("Error opening sound card!\n") + info->name + ": " + Pa_GetErrorText(error),
        kCaption);
    return false;
  }
  stream_ = stream;
  return true;
}

bool SoundCardSource::Close() {
  if (!stream_)
    return false;
  auto* stream = static_cast<PaStream*>(stream_);
  Pa_StopStream(stream);
  Pa_CloseStream(stream);
  stream_ = nullptr;
  callback_.reset();
  Pa_Terminate();
  return true;
}

}  // namespace pagora
