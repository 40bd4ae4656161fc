#pragma once
// Access to one INI file through the Windows profile functions, in the
// system ANSI code page.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Seams.h"
#include "clsPublicFunc.h"

// What GetINISectionNames hands back: the names, Null when the file has no
// section, Empty when the call failed.
struct IniSectionNames {
  enum class Kind { Empty, Null, Array };
  Kind kind = Kind::Empty;
  std::vector<std::wstring> names;

  bool IsArray() const { return kind == Kind::Array; }
};

class clsIni {
 public:
  explicit clsIni(norvale::Seams seams = norvale::Seams::System());

  IniSectionNames GetINISectionNames(const std::wstring& strIniFile);
  int32_t SetIniIValue(const std::wstring& astrSecionName, const std::wstring& aStrKeyName,
                       const std::wstring& aStrValue, const std::wstring& aStrIniFilePath = L"");
  int32_t DispIniFile(const std::wstring& aStrIniFilePathText = L"");
  std::wstring EditerPath() const;
  void EditerPath(const std::wstring& aStrEditerPath);
  bool EventUse() const;
  void EventUse(bool aBolEventUse);
  std::wstring iniDir() const;
  void iniDir(const std::wstring& aStriniDir);
  std::wstring IniFileID() const;
  void IniFileID(const std::wstring& aStrIniFileID);
  std::wstring IniFilePath() const;
  int32_t MakeDir(const std::wstring& aStrPath, std::wstring* aStrFullPath = nullptr);
  std::wstring GetINIValue(const std::wstring& astrSecionName, const std::wstring& aStrKeyName,
                           const std::wstring& aStrDefValue = L"",
                           const std::wstring& aStrIniFilePath = L"");
  int32_t DeleteKey(const std::wstring& astrSecionName, const std::wstring& aStrKeyName,
                    const std::wstring& aStrIniFilePath = L"");
  int32_t DeleteSection(const std::wstring& astrSecionName,
                        const std::wstring& aStrIniFilePath = L"");
  bool IsSectionExistence(const std::wstring& aStrSectionName);

  // Raised when a read or write is interrupted by a failure while EventUse
  // is on.
  std::function<void(int32_t ErrorCode, const std::wstring& ErrorMessage)> clsIniError;

 private:
  std::wstring CutAtSeparator(std::wstring& text, const std::wstring& separator);
  std::wstring CutAtNull(const std::wstring& text);
  bool IsPlatformNT();
  int32_t ShellExecOpen(const std::wstring& file, const std::wstring& parameters,
                        int32_t showCommand);
  std::wstring GetSystemFolder();

  std::wstring FileOfCall(const std::wstring& fileArgument) const;
  bool GuardClosed() const;
  // value/key may be null (a null value removes the key, a null key the
  // whole section).
  int32_t WriteProfile(const std::wstring& section, const std::wstring* key,
                       const std::wstring* value, const std::wstring& fileArgument);
  void RecomputeIniFilePath();
  void RaiseError(int32_t number);

  bool eventUse_ = true;
  std::wstring iniFileID_;
  std::wstring iniDir_;
  std::wstring iniFilePath_;
  std::wstring editerPath_;
  std::unique_ptr<clsPublicFunc> publicFunc_;
};
