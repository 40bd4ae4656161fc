#include "SetupLog.h"

#include <windows.h>

#include "EngineSupport.h"
#include "Handles.h"
#include "InstallTree.h"
#include "InstallerState.h"
#include "Paths.h"
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

bool IsKeyLine(const std::wstring& line) {
  return !line.empty() && line[0] != L';' && line[0] != L'[' &&
         line.find(L'=') != std::wstring::npos;
}

}  // namespace

std::string SetupLogLineBytes(const std::wstring& line, unsigned int codePage) {
  const std::wstring safe = WithoutForgedLines(line);
  if (const std::optional<std::string> exact = ToAnsiExact(safe, codePage)) return *exact;
  if (!IsKeyLine(safe)) return ToAnsiNoBestFit(safe, codePage);
  return ToAnsiNoBestFit(LeftOutNote(safe.substr(0, safe.find(L'='))), codePage);
}

std::wstring LeftOutNote(const std::wstring& key) {
  // No "=" in it: some section readers take any line holding a key and "=",
  // comment or not.
  return L";★" + ReplaceAll(key, L"=", L"") +
         L"：この環境の文字コードで正確に書けない名前のため記録しませんでした";
}

std::wstring ShortPathOf(const std::wstring& path) {
  if (path.empty()) return {};
  std::wstring bare = path;
  const bool folder = bare.back() == L'\\';
  while (bare.size() > 3 && bare.back() == L'\\') bare.pop_back();
  const DWORD n = GetShortPathNameW(bare.c_str(), nullptr, 0);
  if (n == 0) return {};
  std::wstring shortForm(n, L'\0');
  const DWORD got = GetShortPathNameW(bare.c_str(), shortForm.data(), n);
  if (got == 0 || got >= n) return {};
  shortForm.resize(got);
  if (folder && shortForm.back() != L'\\') shortForm += L'\\';
  return shortForm;
}

std::optional<std::wstring> RecordablePath(const std::wstring& path, unsigned int codePage) {
  if (path.empty()) return std::nullopt;
  if (ToAnsiExact(path, codePage)) return path;
  const std::wstring shortForm = ShortPathOf(path);
  if (shortForm.empty() || !ToAnsiExact(shortForm, codePage)) return std::nullopt;
  return shortForm;
}

std::wstring PathForRecord(const std::wstring& path, unsigned int codePage) {
  return RecordablePath(path, codePage).value_or(path);
}

std::wstring SetupLogPath(const SetupRecord& record) {
  const std::wstring folder = record.InputItems.size() > 1 ? record.InputItems[1].value : L"";
  return Trim(folder + L"\\Uninst\\Setup.log");
}

int32_t WriteSetupLog(const SetupRecord& record, const std::wstring& line, int16_t mode) {
  return WriteSetupLog(record, line, mode, 0);
}

int32_t WriteSetupLog(const SetupRecord& record, const std::wstring& line, int16_t mode,
                      unsigned int codePage) {
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
    const std::string bytes = SetupLogLineBytes(line, codePage) + "\r\n";
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      return LastRuntimeError();
    }
    return written == bytes.size() ? 0 : kErrPathFileAccess;
  });
}

int32_t WriteSetupLog(InstallerState& state, const std::wstring& line, int16_t mode) {
  return engine::OrFailure<int32_t>(kErrPathFileAccess, [&]() -> int32_t {
    const SetupRecord& record = state;
    if (record.InputItems.size() < 2 || IsBlank(record.InputItems[1].value)) {
      return kErrPathNotFound;
    }
    const std::wstring path = FullPath(SetupLogPath(record));
    if (!state.installTree || path.empty() || !state.installTree->Holds(path)) {
      return WriteSetupLog(record, line, mode, 0);
    }
    const std::string bytes = SetupLogLineBytes(line) + "\r\n";
    const StepDone written = mode == 1
                                 ? WriteGeneratedFile(*state.installTree, path, bytes, nullptr)
                                 : AppendInTree(*state.installTree, path, bytes);
    return written ? 0 : RuntimeErrorFromWin32(written.Error().code);
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
