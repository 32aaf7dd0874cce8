#include "app/qt_host.h"

#include <portaudio.h>
#include <sndfile.h>

#include <QApplication>
#include <QFileInfo>
#include <QString>
#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "output/process_launcher.h"

namespace pagora {

namespace {

SystemTime FromTm(const std::tm& tm, long nanoseconds) {
  SystemTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.dayOfWeek = tm.tm_wday;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.millisecond = static_cast<int>(nanoseconds / 1000000);
  return t;
}

// True when the sound reached an output device.
bool PlayFile(SNDFILE* file, SF_INFO info) {
  if (Pa_Initialize() != paNoError) {
    sf_close(file);
    return false;
  }
  bool played = false;
  PaStream* stream = nullptr;
  if (Pa_OpenDefaultStream(&stream, 0, info.channels, paFloat32, info.samplerate,
                           paFramesPerBufferUnspecified, nullptr, nullptr) == paNoError) {
    if (Pa_StartStream(stream) == paNoError) {
      played = true;
      std::vector<float> block(static_cast<std::size_t>(1024 * info.channels));
      sf_count_t frames;
      while ((frames = sf_readf_float(file, block.data(), 1024)) > 0) {
        if (Pa_WriteStream(stream, block.data(), static_cast<unsigned long>(frames)) != paNoError) {
          break;
        }
      }
      Pa_StopStream(stream);
    }
    Pa_CloseStream(stream);
  }
  Pa_Terminate();
  sf_close(file);
  return played;
}

}  // namespace

SoundPlayer::~SoundPlayer() {
  if (worker_.joinable())
    worker_.join();
}

bool SoundPlayer::Play(const std::string& path) {
  // Without a working output device every later sound falls back to the beep at once.
  if (noDevice_)
    return false;
  if (busy_)
    return true;  // the previous sound is still playing; the alarm repeats anyway
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file)
    return false;
  if (info.channels < 1 || info.channels > 8 || info.samplerate <= 0) {
    sf_close(file);
    return false;
  }
  if (worker_.joinable())
    worker_.join();
  busy_ = true;
  worker_ = std::thread([this, file, info] {
    if (!PlayFile(file, info))
      noDevice_ = true;
    busy_ = false;
  });
  return true;
}

QtHost::QtHost(UiServices& ui, std::string settingsDirectory)
    : ui_(ui), settingsDirectory_(std::move(settingsDirectory)) {}

void QtHost::Now(std::time_t& seconds, long& nanoseconds) const {
  if (onSignalClock_) {
    double whole = std::floor(signalClock_);
    seconds = static_cast<std::time_t>(whole);
    nanoseconds = static_cast<long>((signalClock_ - whole) * 1e9);
    return;
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  seconds = now.tv_sec;
  nanoseconds = now.tv_nsec;
}

SystemTime QtHost::LocalTime() {
  std::time_t seconds;
  long nanoseconds;
  Now(seconds, nanoseconds);
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return FromTm(tm, nanoseconds);
}

SystemTime QtHost::UtcTime() {
  std::time_t seconds;
  long nanoseconds;
  Now(seconds, nanoseconds);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  return FromTm(tm, nanoseconds);
}

std::int64_t QtHost::CalendarSeconds() {
  std::time_t seconds;
  long nanoseconds;
  Now(seconds, nanoseconds);
  return static_cast<std::int64_t>(seconds);
}

std::string QtHost::FormatTime(const SystemTime& local) {
  return FormatSystemTime(local, "%X");
}

std::string QtHost::FormatDate(const SystemTime& local) {
  return FormatSystemTime(local, "%x");
}

void QtHost::SetCaption(const std::string& caption) {
  if (onCaption)
    onCaption(caption);
}

void QtHost::ShowMessage(const std::string& text, const std::string& caption) {
  // Errors of the input source have no owner window, like the driver's boxes.
  QWidget* owner = caption == "Pagora Error" ? nullptr : window;
  // An input that failed is an error; the keep-alive's off-the-air box is a warning.
  MessageKind kind = owner ? MessageKind::kWarning : MessageKind::kError;
  ui_.message(owner, QString::fromStdString(text), QString::fromStdString(caption), kind);
}

std::string QtHost::FindSound(const std::string& fileName) const {
  if (fileName.empty() || fileName.find('/') != std::string::npos)
    return {};
  if (QFileInfo(QString::fromStdString(fileName)).isFile())
    return fileName;
  if (!settingsDirectory_.empty()) {
    std::string path = settingsDirectory_ + "/" + fileName;
    if (QFileInfo(QString::fromStdString(path)).isFile())
      return path;
  }
  return {};
}

bool QtHost::PlaySound(const std::string& fileName) {
  std::string path = FindSound(fileName);
  return !path.empty() && player_.Play(path);
}

void QtHost::Beep() {
  QApplication::beep();
}

void QtHost::StartCommand(const std::string& program, const std::vector<std::string>& args) {
  // A flood of matching pages must not start a process per page: the runner bounds them and
  // the first command dropped is reported once.
  if (commands_.Submit(program, args) == CommandRunner::Result::kDropped &&
      commands_.dropped() == 1) {
    ShowMessage("Too many commands at once: further commands are dropped.", "Pagora Filter");
  }
}

void QtHost::RowEnded(PaneId pane, const PaneBuffer&, int row, bool) {
  if (onRowEnded)
    onRowEnded(pane, row);
}

}  // namespace pagora
