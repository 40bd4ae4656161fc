#include "clsTimer.h"

#include <cmath>

using namespace norvale;

clsTimer::clsTimer(std::shared_ptr<IClock> clock) : clock_(std::move(clock)) {}

int32_t clsTimer::ClockSecond() {
  // Halves go to the even neighbour; just before midnight this reads 86400.
  return static_cast<int32_t>(std::nearbyint(SecondsOfDay(clock_->LocalNow())));
}

void clsTimer::Stop() {
  startSecond_ = -1;
  duration_ = -1;
}

bool clsTimer::TimerStart(int32_t aLngTimer) {
  Stop();
  if (aLngTimer < 1 || !clock_) return false;
  startSecond_ = ClockSecond();
  duration_ = aLngTimer;
  return true;
}

int32_t clsTimer::TimerSence() {
  // Second 0 is a real start (the half-second after midnight); only -1 means
  // stopped.
  if (startSecond_ < 0 || duration_ < 1 || !clock_) return 0;
  const int64_t now = ClockSecond();
  const int64_t elapsed = startSecond_ > now ? 86400 - startSecond_ + now : now - startSecond_;
  if (elapsed > duration_) return 0;
  return static_cast<int32_t>(elapsed - duration_);
}

bool clsTimer::IsTimerEnd() { return TimerSence() == 0; }
