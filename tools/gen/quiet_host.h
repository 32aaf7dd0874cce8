// A Host that does nothing, with a clock that moves one second per call of Advance(). Fuzz
// targets and benchmarks use it so that nothing they feed the engine reaches the outside world.
#pragma once

#include "engine/host.h"

namespace pagora::gen {

class QuietHost : public Host {
 public:
  SystemTime LocalTime() override { return now_; }
  SystemTime UtcTime() override { return now_; }
  std::int64_t CalendarSeconds() override { return seconds_; }
  std::string FormatTime(const SystemTime&) override { return "12:00:00"; }
  std::string FormatDate(const SystemTime&) override { return "01/01/24"; }
  void SetCaption(const std::string&) override {}
  void ShowMessage(const std::string&, const std::string&) override {}
  bool PlaySound(const std::string&) override { return false; }
  void Beep() override {}
  void StartCommand(const std::string&, const std::vector<std::string>&) override {}

  void Advance() {
    ++seconds_;
    now_.second = static_cast<int>(seconds_ % 60);
    now_.minute = static_cast<int>((seconds_ / 60) % 60);
  }

 private:
  SystemTime now_{2024, 1, 1, 1, 12, 0, 0, 0};
  std::int64_t seconds_ = 1704110400;
};

}  // namespace pagora::gen
