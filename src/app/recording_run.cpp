#include "app/recording_run.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/qt_host.h"
#include "engine/bit_recovery.h"
#include "engine/keep_alive.h"
#include "engine/monitor.h"
#include "engine/output_files.h"
#include "engine/timer_cycle.h"
#include "output/page.h"

namespace pagora {

namespace {

// Time given to the engine per slice before the event loop gets a turn.
constexpr qint64 kSliceBudgetMs = 20;
// Quiet signal after the recording, so that pages still open come to an end (as pagora-decode
// does).
constexpr double kQuietTailSeconds = 1.5;

}  // namespace

int RecordingProgress::Percent() const {
  if (done && !cancelled)
    return 100;
  if (duration <= 0)
    return 0;
  return std::clamp(static_cast<int>(position * 100 / duration), 0, done ? 100 : 99);
}

class RecordingRun::PageCounter : public PageOutput {
 public:
  explicit PageCounter(int& pages) : pages_(pages) {}
  void Write(const Page&) override { ++pages_; }

 private:
  int& pages_;
};

RecordingRun::RecordingRun(Monitor& monitor, QtHost& host, RecordingOptions options)
    : monitor_(monitor), host_(host), options_(std::move(options)) {
  slices_.setSingleShot(true);
  connect(&slices_, &QTimer::timeout, this, [this] { Slice(); });
}

RecordingRun::~RecordingRun() {
  if (running_)
    Cancel();
}

bool RecordingRun::Start() {
  if (running_)
    return false;
  const std::string path = options_.path.toStdString();
  // A FIFO or a device would block the window while it waits for data: recordings are files.
  const QFileInfo info(options_.path);
  if (!info.isFile()) {
    host_.ShowMessage("Error opening recording!\n" + path + ": " +
                          (info.exists() ? "not a regular file" : std::strerror(ENOENT)),
                      "Pagora Error");
    return false;
  }
  RecordingFormat format;
  format.kind = RecordingKindOf(path);
  format.rawSampleRate = options_.rawSampleRate;
  format.fourLevels = options_.fourLevels;
  source_ = std::make_unique<RecordingSource>(
      path, format, MakeRecordingProducer(path, format, monitor_.settings));
  if (!monitor_.OpenSource(*source_)) {
    source_.reset();
    return false;
  }
  counter_ = std::make_unique<PageCounter>(progress_.pages);
  monitor_.pageOutputs.Add(*counter_);
  running_ = true;
  slices_.start(0);
  return true;
}

bool RecordingRun::ResolveStart() {
  if (startResolved_)
    return true;
  if (!source_->DurationKnown())
    return false;
  progress_.duration = source_->Duration();
  double start;
  if (options_.start) {
    start = static_cast<double>(options_.start->toMSecsSinceEpoch()) / 1000.0;
  } else {
    // When the recording was made: its file was last written as the recording ended.
    QFileInfo info(options_.path);
    start = static_cast<double>(info.lastModified().toMSecsSinceEpoch()) / 1000.0 -
            std::max(0.0, progress_.duration);
  }
  progress_.startEpoch = start;
  startResolved_ = true;
  // The files move to the recording's day (a date-named log of that day) before the first
  // page, and the clock strings of the separators show its time.
  host_.SetSignalClock(start);
  ClockCheck(monitor_);
  paced_.start();
  return true;
}

void RecordingRun::TickAt(double signalSeconds) {
  host_.SetSignalClock(progress_.startEpoch + signalSeconds);
  // A recording has gaps where nothing was sent: they are no reason to raise the off-air
  // alarm. The deadline a page arms is taken away before the next check can see it.
  monitor_.keepAlive.deadline = 0;
  monitor_.Tick();
  monitor_.keepAlive.deadline = 0;
  host_.PollCommands();
  ++ticks_;
}

void RecordingRun::Slice() {
  if (!running_)
    return;
  if (!ResolveStart()) {
    slices_.start(5);
    return;
  }
  QElapsedTimer spent;
  spent.start();
  inSlice_ = true;
  // Audio is sliced to the levels chosen for the recording; the engine reads the line states
  // the same way. The user's setting is back in place whenever the event loop runs.
  const int userLevels = monitor_.settings.fourLevelInterface;
  const bool audio = RecordingKindOf(options_.path.toStdString()) != RecordingKind::kCapture;
  if (audio)
    monitor_.settings.fourLevelInterface = options_.fourLevels ? 1 : 0;
  // Rows are handed to the panes once per slice, not once per row.
  auto rowEnded = host_.onRowEnded;
  int lastRow[2] = {-1, -1};
  host_.onRowEnded = [&lastRow](PaneId pane, int row) { lastRow[static_cast<int>(pane)] = row; };

  bool waiting = false;
  const auto drain = [this] { monitor_.Drain(); };
  while (!cancelPending_ && spent.elapsed() < kSliceBudgetMs) {
    if (options_.realTime && static_cast<double>(ticks_) * RecordingSource::kStepSeconds * 1000.0 >
                                 static_cast<double>(paced_.elapsed())) {
      waiting = true;
      break;
    }
    if (!inTail_) {
      RecordingSource::Step step = source_->Next(drain);
      if (step == RecordingSource::Step::kWait) {
        waiting = true;
        break;
      }
      if (step == RecordingSource::Step::kTick) {
        TickAt(source_->SignalSeconds());
        continue;
      }
      // The signal ends here: a page in progress is shown as far as it came, then a quiet
      // tail lets the decoders see it end.
      EndOfSignal(monitor_);
      inTail_ = true;
    }
    source_->PumpQuiet(RecordingSource::kStepSeconds);
    TickAt(source_->SignalSeconds());
    if (++tailTicks_ >= static_cast<int>(std::lround(kQuietTailSeconds / 0.1))) {
      progress_.position = progress_.duration >= 0 ? progress_.duration : progress_.position;
      break;
    }
  }
  const bool tailDone = inTail_ && tailTicks_ >= std::lround(kQuietTailSeconds / 0.1);

  host_.onRowEnded = rowEnded;
  if (rowEnded) {
    for (PaneId pane : {PaneId::kFilter, PaneId::kMessage}) {
      if (lastRow[static_cast<int>(pane)] >= 0)
        rowEnded(pane, lastRow[static_cast<int>(pane)]);
    }
  }
  if (audio)
    monitor_.settings.fourLevelInterface = userLevels;
  longestSlice_ = std::max(longestSlice_, spent.elapsed());
  inSlice_ = false;
  if (cancelPending_) {
    Cancel();
    return;
  }

  if (!inTail_) {
    progress_.position = source_->SignalSeconds();
    if (progress_.duration >= 0)
      progress_.position = std::min(progress_.position, progress_.duration);
  }
  if (tailDone) {
    Finish(false);
    return;
  }
  emit progressed();
  slices_.start(waiting ? (options_.realTime ? 20 : 2) : 0);
}

void RecordingRun::Cancel() {
  if (!running_)
    return;
  if (inSlice_) {
    cancelPending_ = true;
    return;
  }
  slices_.stop();
  if (startResolved_ && !inTail_) {
    // What came so far is shown, the page in progress as far as it came.
    EndOfSignal(monitor_);
  }
  Finish(true);
}

std::vector<std::string> RecordingRun::Problems() const {
  return problems_;
}

void RecordingRun::Finish(bool cancelled) {
  running_ = false;
  slices_.stop();
  if (source_ && source_->Finished())
    problems_ = source_->Problems();
  monitor_.CloseSource();
  source_.reset();
  monitor_.pageOutputs.Remove(*counter_);
  // Back on the wall clock: the files move back to today and the keep-alive watches the live
  // input again from now.
  if (startResolved_) {
    host_.ClearSignalClock();
    ClockCheck(monitor_);
    ArmKeepAliveDeadline(monitor_);
  }
  // What the recording wrote reaches the disk now, not at the next flush of a live input.
  for (OutputFileKind kind : {OutputFileKind::kLog, OutputFileKind::kFilter,
                              OutputFileKind::kStatText, OutputFileKind::kStatCsv}) {
    if (std::FILE* file = OutputFileHandle(monitor_.files, kind))
      std::fflush(file);
  }
  DeliverOutputReports(monitor_);
  progress_.done = true;
  progress_.cancelled = cancelled;
  emit progressed();
  emit finished();
}

}  // namespace pagora
