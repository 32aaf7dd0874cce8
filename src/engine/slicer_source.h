// A slicer source fills the engine's ring from a thread of its own: a serial slicer, the audio
// slicer on a sound card, file or pipe, or a capture file being replayed. The ring belongs to
// the engine and outlives every source: a source only pushes into it (waiting on Free() when
// it can afford to) and never resets it, so the drain's position survives a re-open.
#pragma once

#include <cstdint>
#include <string>

namespace pagora {

class Host;
class SlicerRing;
struct AppSettings;

class SlicerSource {
 public:
  virtual ~SlicerSource() = default;
  // Starts filling `ring`. On failure reports through host.ShowMessage with the caption
  // "Pagora Error" (the operating system's reason may follow on a second line) and returns false.
  virtual bool Open(const AppSettings& settings, SlicerRing& ring, Host& host) = 0;
  // Stops the thread; true when it was open.
  virtual bool Close() = 0;
  virtual bool IsOpen() const = 0;
  // True once a finite source (file, pipe, capture) has delivered everything it has.
  virtual bool Finished() const { return false; }
  // Seconds of signal delivered so far, for sources that run on signal time; -1 for live ones.
  virtual double SignalSeconds() const { return -1; }
};

}  // namespace pagora
