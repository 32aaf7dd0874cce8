// A recording decoded in the window, on its own signal time.
//
// The design: the engine is not shared between threads. A reader thread (RecordingSource)
// reads and slices the file, which is where the time goes, and queues it in 100 ms steps; the
// window's own engine takes the steps on the GUI thread in slices of at most ~20 ms from the
// event loop, one engine tick per step, with its clock set to the step's signal time. So the
// log, filter and statistics files, filters, commands, page outputs and the statistics dialog
// all see the recording as they would a live input, while painting and input go on between
// slices. Rows that end during a slice are handed to the panes once, at its end.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

#include "input/recording_source.h"

namespace pagora {

class Monitor;
class QtHost;

struct RecordingOptions {
  QString path;
  // The clock at the start of the recording; none: the file's modification time less its
  // duration, i.e. when it was recorded.
  std::optional<QDateTime> start;
  // At the pace of the signal, as if it were being received now, instead of full speed.
  bool realTime = false;
  double rawSampleRate = 22050;  // for headerless raw files
  bool fourLevels = true;        // audio sliced to four levels (two: the old two-level slicer)
};

struct RecordingProgress {
  double position = 0;   // seconds of signal decoded
  double duration = -1;  // seconds in the recording; -1 while unknown
  int pages = 0;         // pages completed so far
  bool done = false;
  bool cancelled = false;
  double startEpoch = 0;  // the signal clock at the start (seconds since the epoch)

  // 0..100; 100 once done unless cancelled.
  int Percent() const;
};

class RecordingRun : public QObject {
  Q_OBJECT

 public:
  RecordingRun(Monitor& monitor, QtHost& host, RecordingOptions options);
  ~RecordingRun() override;

  // Opens the file and starts decoding it. False when it cannot be opened; the reason has been
  // shown as for any input. The window's live input must be closed first.
  bool Start();
  // Stops where it is: a page in progress is shown as far as it came. Safe at any time.
  void Cancel();
  bool Running() const { return running_; }
  const RecordingProgress& Progress() const { return progress_; }
  const RecordingOptions& Options() const { return options_; }
  // Problems met while reading (a truncated or damaged file); known once done.
  std::vector<std::string> Problems() const;
  // The longest a slice took, in milliseconds: what painting and input waited at most.
  qint64 LongestSliceMs() const { return longestSlice_; }

 signals:
  void progressed();  // after every slice
  void finished();    // once, when done or cancelled

 private:
  class PageCounter;
  void Slice();
  bool ResolveStart();
  void TickAt(double signalSeconds);
  void Finish(bool cancelled);

  Monitor& monitor_;
  QtHost& host_;
  RecordingOptions options_;
  std::unique_ptr<RecordingSource> source_;
  std::unique_ptr<PageCounter> counter_;
  QTimer slices_;
  QElapsedTimer paced_;  // real time: wall time since the first step
  RecordingProgress progress_;
  std::vector<std::string> problems_;
  bool running_ = false;
  bool inSlice_ = false;        // a tick's message box runs the event loop: Cancel may come then
  bool cancelPending_ = false;  // asked for during a slice, done at its end
  bool startResolved_ = false;
  bool inTail_ = false;
  int tailTicks_ = 0;
  std::int64_t ticks_ = 0;
  qint64 longestSlice_ = 0;
};

}  // namespace pagora
