#include "Seams.h"

#include <vector>

#include "Handles.h"
#include "Paths.h"
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
                                kShareAll, nullptr,
                                OPEN_EXISTING, flags, nullptr));
  if (!handle) return {};
  return FinalPathOfHandle(handle.Get());
}

bool IFinalPaths::FactsOf(HANDLE handle, HandleFacts& facts) const {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandle(handle, &info)) {
    return false;
  }
  facts.attributes = tag.FileAttributes;
  facts.volume = info.dwVolumeSerialNumber;
  facts.lies = FinalPathOfHandle(handle);
  return !facts.lies.empty();
}

std::wstring IFinalPaths::VolumeNameOf(HANDLE handle) const {
  std::vector<wchar_t> name(MAX_PATH);
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD n = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_GUID);
    if (n == 0) return L"";
    if (n < name.size()) {
      // "\\?\Volume{...}\" and the path on it.
      const std::wstring_view path(name.data(), n);
      const size_t close = path.find(L"}\\");
      return close == std::wstring_view::npos ? L"" : std::wstring(path.substr(0, close + 2));
    }
    name.resize(n + 1);
  }
  return L"";
}

Seams Seams::System() {
  return Seams{std::make_shared<SystemMessageBox>(), std::make_shared<SystemClock>(),
               std::make_shared<SystemMessagePump>()};
}

double SecondsOfDay(const SYSTEMTIME& t) {
  return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

}  // namespace norvale
