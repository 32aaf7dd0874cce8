#include "input/serial_slicer_source.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "config/settings.h"
#include "engine/host.h"
#include "input/modem_status.h"
#include "input/ring_sink.h"

namespace pagora {
namespace {

constexpr const char* kCaption = "Pagora Error";
// TIOCMIWAIT cannot be cancelled by closing the descriptor; the reader thread is woken with
// this signal, whose handler does nothing, so that the ioctl returns EINTR.
constexpr int kWakeSignal = SIGUSR1;

void IgnoreWake(int) {}

void InstallWakeHandler() {
  struct sigaction action {};
  action.sa_handler = IgnoreWake;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the blocked ioctl must return
  sigaction(kWakeSignal, &action, nullptr);
}

std::int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::uint8_t ReadStatus(int fd, bool& ok) {
  int lines = 0;
  ok = ioctl(fd, TIOCMGET, &lines) == 0;
  return ModemStatusByte(lines & TIOCM_CTS, lines & TIOCM_DSR, lines & TIOCM_RNG, lines & TIOCM_CD);
}

}  // namespace

std::string SerialDevicePath(int comPort, const std::string& customDevice) {
  if (comPort >= 1 && comPort <= 4)
    return "/dev/ttyS" + std::to_string(comPort - 1);
  if (comPort == 5)
    return customDevice;
  return {};
}

SerialSlicerSource::~SerialSlicerSource() {
  Close();
}

bool SerialSlicerSource::Open(const AppSettings& settings, SlicerRing& ring, Host& host) {
  if (IsOpen())
    return false;
  std::string device = SerialDevicePath(settings.comPort, settings.customDevice);
  if (device.empty()) {
    host.ShowMessage("Error attaching to COM port!\nNo serial port is configured", kCaption);
    return false;
  }
  int fd = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    host.ShowMessage("Error attaching to COM port!\n" + device + ": " + std::strerror(errno),
                     kCaption);
    return false;
  }
  bool ok = false;
  ReadStatus(fd, ok);
  if (!ok) {
    int error = errno;
    close(fd);
    host.ShowMessage("Error attaching to COM port!\n" + device + ": " + std::strerror(error),
                     kCaption);
    return false;
  }
  InstallWakeHandler();
  fd_ = fd;
  stop_ = false;
  finished_ = false;
  thread_ = std::thread([this, &ring] { Run(ring); });
  return true;
}

void SerialSlicerSource::Run(SlicerRing& ring) {
  RingSink sink(ring, recorder_);
  ModemStatusConverter converter;
  bool ok = false;
  converter.Start(MonotonicNanoseconds(), ReadStatus(fd_, ok));
  const int watched = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
  while (!stop_) {
    if (ioctl(fd_, TIOCMIWAIT, watched) != 0) {
      if (errno == EINTR)
        continue;
      break;  // the port went away (EIO): stop quietly; the engine sees no more entries
    }
    std::int64_t when = MonotonicNanoseconds();
    std::uint8_t status = ReadStatus(fd_, ok);
    if (!ok)
      break;
    converter.Change(when, status, sink);
  }
  finished_ = true;
}

bool SerialSlicerSource::Close() {
  if (fd_ < 0)
    return false;
  stop_ = true;
  if (thread_.joinable()) {
    // Repeat the wake-up until the thread has seen the stop flag: the signal may arrive just
    // before it re-enters the ioctl.
    while (true) {
      pthread_kill(thread_.native_handle(), kWakeSignal);
      timespec pause{0, 5000000};
      nanosleep(&pause, nullptr);
      if (finished_.load())
        break;
    }
    thread_.join();
  }
  close(fd_);
  fd_ = -1;
  return true;
}

}  // namespace pagora
