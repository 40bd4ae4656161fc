#pragma once
// One time-out in whole seconds on the local time of day; survives one
// passage of midnight.
#include <cstdint>
#include <memory>

#include "Seams.h"

class clsTimer {
 public:
  explicit clsTimer(std::shared_ptr<norvale::IClock> clock =
                        std::make_shared<norvale::SystemClock>());

  bool TimerStart(int32_t aLngTimer);
  // Seconds elapsed minus the time-out: negative while running, 0 when the
  // time-out has passed or the timer is stopped.
  int32_t TimerSence();
  bool IsTimerEnd();

 private:
  int32_t ClockSecond();
  void Stop();

  std::shared_ptr<norvale::IClock> clock_;
  int32_t startSecond_ = -1;
  int32_t duration_ = -1;
};
