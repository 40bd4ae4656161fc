#pragma once
// The Windows services object of both programs: registry access in both
// views, the product's own registrations, fonts, the Windows version and the
// special folders. Its members are spread over source files by topic; this
// header keeps them in the class's interface order.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RegVariant.h"
#include "Seams.h"
#include "WinHandles.h"
#include "WinServicesSeams.h"
#include "clsError.h"
#include "clsTimer.h"

class clsWinCommon {
 public:
  explicit clsWinCommon(norvale::Seams seams = norvale::Seams::System(),
                        norvale::WinServicesSeams windows = norvale::WinServicesSeams::System());
  ~clsWinCommon();
  clsWinCommon(const clsWinCommon&) = delete;
  clsWinCommon& operator=(const clsWinCommon&) = delete;

  bool REG_IsFontInstalled(const std::wstring& aFontID, int32_t* aCount = nullptr);
  bool IsWindowsVersionOrGreater(int16_t wMajorVersion, int16_t wMinorVersion,
                                 int16_t wServicePackMajor, int32_t dwBuild = 0);
  bool IsWindowsXPOrGreater();
  bool IsWindowsXPSP1OrGreater();
  bool IsWindowsXPSP2OrGreater();
  bool IsWindowsXPSP3OrGreater();
  bool IsWindowsVistaOrGreater();
  bool IsWindowsVistaSP1OrGreater();
  bool IsWindowsVistaSP2OrGreater();
  bool IsWindows7OrGreater();
  bool IsWindows7SP1OrGreater();
  bool IsWindows8OrGreater();
  bool IsWindows8Point1OrGreater();
  bool IsWindows10OrGreater();
  bool IsWindows10AnniversaryOrGreater();
  bool IsWindows10CreatorsOrGreater();
  bool IsWindowsServer();
  bool REG_CreateApLink(const std::wstring& aIdName, const std::wstring& aExtName,
                        const std::wstring& aDispName, const std::wstring& aExePath);
  std::wstring GetTempFolder();
  bool AutoNtLogOn(int16_t LogOnKbn);
  std::wstring GetOSNumberName(int32_t aEnuWinOS);
  std::wstring GetSpecialFolderPath(int32_t aenuFolder);
  norvale::RegVariant GetRegValue(HKEY hKey, const std::wstring& SubKey,
                                  const std::wstring& KeyName,
                                  const norvale::RegVariant& DefaultValue);
  bool SetRegValue(HKEY hKey, const std::wstring& SubKey, const std::wstring& KeyName,
                   const norvale::RegVariant& DataValue);
  bool DelRegValue(HKEY hKey, const std::wstring& SubKey, const std::wstring& KeyName);
  int32_t GetRegEnum(HKEY hKey, const std::wstring& SubKey);
  int32_t GetRegEnumSubKey(HKEY hKey, const std::wstring& SubKey);
  bool DelRegSubKey(HKEY hKey, const std::wstring& SubKeyParent, const std::wstring& SubkeyName);
  std::wstring GetSysDir();
  bool IsWinNT();
  std::wstring GetWinDir();
  bool REG_DeleteApLink(const std::wstring& aIdName, const std::wstring& aExtName);
  bool REG_UninstApRegst(const std::wstring& aAppId, const std::wstring& aAppName,
                         const std::wstring& aAppVer, const std::wstring& aAppPath,
                         const std::wstring& aIconGroup, const std::wstring& aDate,
                         const std::wstring& aPublisher, const std::wstring& aUninstall,
                         const std::wstring& aQuietUninstall, int32_t aUsedDiskSize = 0);
  bool REG_UninstApUnRegst(const std::wstring& aAppId);
  bool REG_IsApInstalled(const std::wstring& aAppId);
  bool IsWow64();
  bool REG_4DLayersRegst(const std::wstring& a4DPath);
  bool REG_4DLayersUnRegst(const std::wstring& a4DPath);
  bool REG_RegFlush();
  std::wstring REG_GetFontNameByFileId(const std::wstring& aFontID);
  bool REG_DelFontNameByFileId(const std::wstring& aFontID);
  std::wstring GetWindowsName();
  norvale::RegVariant GetReg64Value(HKEY hKey, const std::wstring& SubKey,
                                    const std::wstring& KeyName,
                                    const norvale::RegVariant& DefaultValue);
  int32_t GetReg64Enum(HKEY hKey, const std::wstring& SubKey);
  int32_t GetReg64EnumSubKey(HKEY hKey, const std::wstring& SubKey);

 private:
  // Lets the tests see the lines of the last listing, which no member hands
  // out.
  friend struct clsWinCommonTestAccess;

  norvale::RegKey OpenKey(HKEY root, const std::wstring& path, REGSAM access);
  norvale::RegKey CreateKey(HKEY root, const std::wstring& path, REGSAM access);
  // The open key, else the created one.
  norvale::RegKey OpenOrCreateKey(HKEY root, const std::wstring& path, REGSAM access);
  norvale::RegVariant ReadRegValue(HKEY hKey, const std::wstring& SubKey,
                                   const std::wstring& KeyName,
                                   const norvale::RegVariant& DefaultValue, REGSAM view);
  int32_t ListRegValues(HKEY hKey, const std::wstring& SubKey, REGSAM view);
  int32_t ListRegSubKeys(HKEY hKey, const std::wstring& SubKey, REGSAM view);

  bool DeleteSubKeyOf(HKEY parent, const std::wstring& name, REGSAM view);
  std::optional<bool> WriteRunAsAdminValue(const std::wstring& a4DPath, REGSAM view);

  // Calls visit(name, data) for each text value of the fonts key, in listing
  // order, until it returns false.
  void ForEachFontValue(HKEY fonts,
                        const std::function<bool(const std::wstring& name,
                                                 const std::wstring& data)>& visit);

  bool RunningVersion(OSVERSIONINFOEXW& info);
  static uint8_t HiByte(uint16_t versionWord);
  static uint8_t LoByte(uint16_t versionWord);
  bool IsVersionWordOrGreater(uint16_t versionWord, int16_t servicePackMajor, int32_t build);

  norvale::Seams seams_;
  norvale::WinServicesSeams windows_;
  std::vector<std::wstring> m_RegEnumValues;
  std::vector<std::wstring> m_RegEnumSubKeys;
  std::unique_ptr<clsError> m_Err;
  std::unique_ptr<clsTimer> m_Timer;
};
