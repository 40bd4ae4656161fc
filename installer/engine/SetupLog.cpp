#include "SetupLog.h"

#include <windows.h>

#include "EngineSupport.h"
#include "Handles.h"
#include "RuntimeError.h"
#include "Text.h"

namespace norvale {

namespace {

std::wstring WithoutForgedLines(const std::wstring& line) {
  if (line.find_first_of(L"\r\n") == std::wstring::npos) return line;
  const size_t equals = line.find(L'=');
  if (equals != std::wstring::npos && line.find_first_of(L"\r\n") > equals) {
    return line.substr(0, equals + 1);
  }
  return StartsWith(line, L";") ? L";" : L"";
}

}  // namespace

std::wstring SetupLogPath(const SetupRecord& record) {
  const std::wstring folder = record.InputItems.size() > 1 ? record.InputItems[1].value : L"";
  return Trim(folder + L"\\Uninst\\Setup.log");
}

int32_t WriteSetupLog(const SetupRecord& record, const std::wstring& line, int16_t mode) {
  return engine::OrFailure<int32_t>(kErrPathFileAccess, [&]() -> int32_t {
    // Without an install folder the path would land in the current drive's
    // root.
    if (record.InputItems.size() < 2 || IsBlank(record.InputItems[1].value)) {
      return kErrPathNotFound;
    }
    const std::wstring path = SetupLogPath(record);
    FileHandle file(CreateFileW(path.c_str(), mode == 1 ? GENERIC_WRITE : FILE_APPEND_DATA,
                                FILE_SHARE_READ, nullptr, mode == 1 ? CREATE_ALWAYS : OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastRuntimeError();
    const std::string bytes = ToAnsi(WithoutForgedLines(line)) + "\r\n";
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      return LastRuntimeError();
    }
    return written == bytes.size() ? 0 : kErrPathFileAccess;
  });
}

std::wstring LogNumber(int32_t number, int digits) {
  std::wstring text = std::to_wstring(number < 0 ? -number : number);
  if (static_cast<int>(text.size()) < digits) {
    text.insert(0, static_cast<size_t>(digits) - text.size(), L'0');
  }
  return number < 0 ? L"-" + text : text;
}

}  // namespace norvale
