#include "EngineTestSupport.h"

#include "Text.h"

namespace engine_testing {

bool TestWindows::GetVersion(OSVERSIONINFOEXW& info) {
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.dwBuildNumber = build;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.wProductType = VER_NT_WORKSTATION;
  return true;
}

std::wstring TablePathMacros::ExpandPathMacros(const std::wstring& text) {
  std::wstring result = text;
  for (const auto& [name, value] : table) {
    size_t at = 0;
    while (at + name.size() <= result.size()) {
      if (_wcsnicmp(result.c_str() + at, name.c_str(), name.size()) == 0) {
        result.replace(at, name.size(), value);
        at += value.size();
      } else {
        ++at;
      }
    }
  }
  return result;
}

EngineUnderTest::EngineUnderTest(const std::wstring& installFolder,
                                 std::shared_ptr<norvale::IProgramStarts> starts) {
  norvale::InstallerSeams seams;
  seams.windows.windows = windows;
  seams.windows.protectedFiles = protectedFiles;
  seams.windows.folderAccess = folderAccess;
  if (starts) seams.windows.starts = std::move(starts);
  state = std::make_unique<norvale::InstallerState>(seams);
  norvale::InputItemEntry app;
  app.value = installFolder;
  norvale::AddToList(state->InputItemCount, state->InputItems, app);
  lzh = std::make_unique<clsLZH>(FakeArchiveDll(), FakeArchiveDll());
  context = std::make_unique<norvale::EngineContext>(
      norvale::EngineContext{*state, window, *lzh, macros});
}

std::string ReadBytes(const std::wstring& path) { return testing_support::ReadFileBytes(path); }

void WriteUtf8(const std::wstring& path, const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                      nullptr, nullptr);
  testing_support::WriteFileBytes(path, bytes);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring TestProgramFolder() {
  wchar_t buffer[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path = buffer;
  return path.substr(0, path.rfind(L'\\'));
}

std::wstring FakeArchiveDll() { return TestProgramFolder() + L"\\fakearc.dll"; }

}  // namespace engine_testing
