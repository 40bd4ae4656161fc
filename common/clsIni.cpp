#include "clsIni.h"

#include <shellapi.h>

#include <algorithm>

#include "FileSystem.h"
#include "RuntimeError.h"
#include "System.h"
#include "Text.h"

using namespace norvale;

namespace {

constexpr DWORD kValueBuffer = 1024;
constexpr DWORD kSectionNamesBuffer = 32767;

}  // namespace

clsIni::clsIni(Seams seams) {
  eventUse_ = true;
  iniFileID_.clear();
  iniDir_ = ProgramFolder();
  iniFilePath_.clear();
  editerPath_ = GetSystemFolder() + L"\\notepad.exe";
  publicFunc_ = std::make_unique<clsPublicFunc>(std::move(seams));
}

IniSectionNames clsIni::GetINISectionNames(const std::wstring& strIniFile) {
  IniSectionNames result;
  try {
    std::string buffer(kSectionNamesBuffer, '\0');
    const std::string file = ToAnsi(strIniFile);
    const DWORD n =
        GetPrivateProfileSectionNamesA(buffer.data(), kSectionNamesBuffer, file.c_str());
    // The list ends in a pair of NULs; keep them so the cut below finds them.
    buffer.resize(std::min<size_t>(static_cast<size_t>(n) + 2, buffer.size()));
    std::wstring names = FromAnsi(buffer);
    names = CutAtSeparator(names, std::wstring(2, L'\0'));
    if (names.empty() || names == std::wstring(1, L'\0')) {
      result.kind = IniSectionNames::Kind::Null;
      return result;
    }
    result.kind = IniSectionNames::Kind::Array;
    size_t start = 0;
    while (true) {
      size_t nul = names.find(L'\0', start);
      if (nul == std::wstring::npos) {
        result.names.push_back(names.substr(start));
        break;
      }
      result.names.push_back(names.substr(start, nul - start));
      start = nul + 1;
    }
    return result;
  } catch (...) {
    return IniSectionNames{};
  }
}

int32_t clsIni::SetIniIValue(const std::wstring& astrSecionName, const std::wstring& aStrKeyName,
                             const std::wstring& aStrValue, const std::wstring& aStrIniFilePath) {
  return WriteProfile(astrSecionName, &aStrKeyName, &aStrValue, aStrIniFilePath);
}

int32_t clsIni::DispIniFile(const std::wstring& aStrIniFilePathText) {
  const std::wstring file = IsBlank(aStrIniFilePathText) ? iniFilePath_ : aStrIniFilePathText;
  ShellExecOpen(editerPath_, Trim(file), SW_SHOWNORMAL);
  return 0;
}

std::wstring clsIni::EditerPath() const { return editerPath_; }
void clsIni::EditerPath(const std::wstring& aStrEditerPath) { editerPath_ = aStrEditerPath; }
bool clsIni::EventUse() const { return eventUse_; }
void clsIni::EventUse(bool aBolEventUse) { eventUse_ = aBolEventUse; }

std::wstring clsIni::iniDir() const { return iniDir_; }
void clsIni::iniDir(const std::wstring& aStriniDir) {
  iniDir_ = aStriniDir;
  RecomputeIniFilePath();
}

std::wstring clsIni::IniFileID() const { return iniFileID_; }
void clsIni::IniFileID(const std::wstring& aStrIniFileID) {
  iniFileID_ = aStrIniFileID;
  RecomputeIniFilePath();
}

std::wstring clsIni::IniFilePath() const { return iniFilePath_; }

void clsIni::RecomputeIniFilePath() {
  iniFilePath_ = iniDir_.empty() ? iniFileID_ : iniDir_ + L"\\" + iniFileID_;
}

int32_t clsIni::MakeDir(const std::wstring& aStrPath, std::wstring* aStrFullPath) {
  if (aStrFullPath) aStrFullPath->clear();
  if (IsBlank(aStrPath)) return 0;
  try {
    return publicFunc_->MakeDir(aStrPath, aStrFullPath, true);
  } catch (...) {
    return 0;
  }
}

std::wstring clsIni::GetINIValue(const std::wstring& astrSecionName,
                                 const std::wstring& aStrKeyName,
                                 const std::wstring& aStrDefValue,
                                 const std::wstring& aStrIniFilePath) {
  try {
    const std::wstring file = FileOfCall(aStrIniFilePath);
    if (GuardClosed()) return L"";
    std::string buffer(kValueBuffer, '\0');
    const std::string section = ToAnsi(astrSecionName);
    const std::string key = ToAnsi(aStrKeyName);
    const std::string def = ToAnsi(aStrDefValue);
    const std::string path = ToAnsi(file);
    GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                             kValueBuffer, path.c_str());
    return FromAnsi(buffer.substr(0, buffer.find('\0')));
  } catch (...) {
    RaiseError(7);
    return L"";
  }
}

int32_t clsIni::DeleteKey(const std::wstring& astrSecionName, const std::wstring& aStrKeyName,
                          const std::wstring& aStrIniFilePath) {
  return WriteProfile(astrSecionName, &aStrKeyName, nullptr, aStrIniFilePath);
}

int32_t clsIni::DeleteSection(const std::wstring& astrSecionName,
                              const std::wstring& aStrIniFilePath) {
  return WriteProfile(astrSecionName, nullptr, nullptr, aStrIniFilePath);
}

bool clsIni::IsSectionExistence(const std::wstring& aStrSectionName) {
  try {
    if (IsBlank(aStrSectionName)) return false;
    if (!IsOrdinaryFile(iniFilePath_)) return false;
    const IniSectionNames names = GetINISectionNames(iniFilePath_);
    if (!names.IsArray()) return false;
    for (const std::wstring& name : names.names) {
      if (TextEqualsIgnoreCase(name, aStrSectionName)) return true;
    }
    return false;
  } catch (...) {
    return false;
  }
}

std::wstring clsIni::FileOfCall(const std::wstring& fileArgument) const {
  return IsBlank(fileArgument) ? iniFilePath_ : Trim(fileArgument);
}

bool clsIni::GuardClosed() const { return IsBlank(iniFileID_); }

int32_t clsIni::WriteProfile(const std::wstring& section, const std::wstring* key,
                             const std::wstring* value, const std::wstring& fileArgument) {
  try {
    const std::wstring file = FileOfCall(fileArgument);
    if (GuardClosed()) return -1;
    const std::string sectionA = ToAnsi(section);
    const std::string keyA = key ? ToAnsi(*key) : std::string();
    const std::string valueA = value ? ToAnsi(*value) : std::string();
    const std::string path = ToAnsi(file);
    return WritePrivateProfileStringA(sectionA.c_str(), key ? keyA.c_str() : nullptr,
                                      value ? valueA.c_str() : nullptr, path.c_str());
  } catch (...) {
    RaiseError(7);
    return -1;
  }
}

void clsIni::RaiseError(int32_t number) {
  if (eventUse_ && clsIniError) clsIniError(number, RuntimeErrorDescription(number));
}

std::wstring clsIni::CutAtSeparator(std::wstring& text, const std::wstring& separator) {
  const size_t at = text.find(separator);
  return at == std::wstring::npos ? text : text.substr(0, at);
}

std::wstring clsIni::CutAtNull(const std::wstring& text) { return norvale::CutAtNull(text); }

bool clsIni::IsPlatformNT() { return norvale::IsPlatformNT(); }

int32_t clsIni::ShellExecOpen(const std::wstring& file, const std::wstring& parameters,
                              int32_t showCommand) {
  return ShellOpen(file, parameters, showCommand);
}

std::wstring clsIni::GetSystemFolder() { return SystemFolder(); }
