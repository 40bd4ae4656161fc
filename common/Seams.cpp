#include "Seams.h"

#include <vector>

#include "Handles.h"
#include "Text.h"
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

std::wstring SystemFinalPaths::FinalPathOf(const std::wstring& path, bool followLast) const {
  const DWORD flags =
      FILE_FLAG_BACKUP_SEMANTICS | (followLast ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  FileHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr));
  if (!handle) return {};
  std::vector<wchar_t> buffer(1024);
  DWORD n = GetFinalPathNameByHandleW(handle.Get(), buffer.data(),
                                      static_cast<DWORD>(buffer.size()), VOLUME_NAME_DOS);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle.Get(), buffer.data(),
                                  static_cast<DWORD>(buffer.size()), VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= buffer.size()) return {};
  std::wstring found(buffer.data(), n);
  if (StartsWith(found, L"\\\\?\\UNC\\")) {
    found = L"\\\\" + found.substr(8);
  } else if (StartsWith(found, L"\\\\?\\")) {
    found = found.substr(4);
  }
  while (found.size() > 3 && found.back() == L'\\') found.pop_back();
  return found;
}

Seams Seams::System() {
  return Seams{std::make_shared<SystemMessageBox>(), std::make_shared<SystemClock>(),
               std::make_shared<SystemMessagePump>()};
}

double SecondsOfDay(const SYSTEMTIME& t) {
  return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

}  // namespace norvale
