#include "Seams.h"

#include "forms/Application.h"

namespace norvale {

int SystemMessageBox::Show(const std::wstring& text, const std::wstring& title,
                           unsigned style) {
  return MessageBoxW(GetActiveWindow(), text.c_str(), title.c_str(), style);
}

SYSTEMTIME SystemClock::LocalNow() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return t;
}

void SystemMessagePump::DoEvents() { forms::PumpWaitingMessages(); }

Seams Seams::System() {
  return Seams{std::make_shared<SystemMessageBox>(), std::make_shared<SystemClock>(),
               std::make_shared<SystemMessagePump>()};
}

double SecondsOfDay(const SYSTEMTIME& t) {
  return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

}  // namespace norvale
