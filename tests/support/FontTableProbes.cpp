#include "FontTableProbes.h"

#include <windows.h>

namespace testing_support {

namespace {

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool SaveVariable(const wchar_t* name, std::wstring& value) {
  const DWORD length = GetEnvironmentVariableW(name, nullptr, 0);
  if (length == 0) return false;
  value.assign(length, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), length));
  return true;
}

}  // namespace

bool FontFamilyKnown(const std::wstring& family) {
  if (family.empty() || family.size() >= LF_FACESIZE) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  family.copy(wanted.lfFaceName, family.size());
  bool found = false;
  EnumFontFamiliesExW(dc, &wanted, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
  DeleteDC(dc);
  return found;
}

RedirectedTemp::RedirectedTemp(const std::wstring& folder) : folder_(folder) {
  CreateDirectoryW(folder_.c_str(), nullptr);
  hadTemp_ = SaveVariable(L"TEMP", temp_);
  hadTmp_ = SaveVariable(L"TMP", tmp_);
  SetEnvironmentVariableW(L"TEMP", folder_.c_str());
  SetEnvironmentVariableW(L"TMP", folder_.c_str());
}

RedirectedTemp::~RedirectedTemp() {
  SetEnvironmentVariableW(L"TEMP", hadTemp_ ? temp_.c_str() : nullptr);
  SetEnvironmentVariableW(L"TMP", hadTmp_ ? tmp_.c_str() : nullptr);
}

std::vector<std::wstring> RedirectedTemp::Entries() const {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

}  // namespace testing_support
