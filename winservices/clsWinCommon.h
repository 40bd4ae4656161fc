#pragma once
// The Windows services object of both programs: registry access in both
// views, the product's own registrations, fonts, the Windows version, the
// special folders, starting and waiting for programs, drives, shell file
// operations, processes, windows, shutdown and the clock, the tray icon,
// network checks, small system queries and the common and shell dialogs. Its members are spread over source files by topic; this
// header keeps them in the class's interface order.
#include <windows.h>
#include <tlhelp32.h>

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
#include "forms/Form.h"

class clsWinCommon {
 public:
  explicit clsWinCommon(norvale::Seams seams = norvale::Seams::System(),
                        norvale::WinServicesSeams windows = norvale::WinServicesSeams::System());
  ~clsWinCommon();
  clsWinCommon(const clsWinCommon&) = delete;
  clsWinCommon& operator=(const clsWinCommon&) = delete;

  // Empty text when the bytes are not valid UTF-8.
  std::wstring FromUTF8(const std::vector<uint8_t>& bData);
  // Empty when the text holds a lone surrogate, which has no UTF-8 form.
  std::vector<uint8_t> ToUTF8(const std::wstring& sData);
  bool REG_IsFontInstalled(const std::wstring& aFontID, int32_t* aCount = nullptr);
  bool IsProcRunning(const std::wstring& aChkProcName);
  std::wstring GetProcessName(int32_t ProcessID);
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
  int32_t GetPidFromHwnd(HWND hwnd);
  HWND GetHwndFromPid(int32_t PID);
  bool REG_CreateApLink(const std::wstring& aIdName, const std::wstring& aExtName,
                        const std::wstring& aDispName, const std::wstring& aExePath);
  intptr_t GetPointer(intptr_t lngAddressOf);
  // Selects the folder lpData (a wide path) when the folder dialog opens.
  static int CALLBACK BFFCallback(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);
  std::wstring GetTempFolder();
  std::wstring IME_ReverseConversion(const std::wstring& aStrSource, bool Isカタカナ = false,
                                    bool Is全角 = false);
  std::wstring GetICMP_ErrMsg(int32_t ICMPStatus);
  bool AutoNtLogOn(int16_t LogOnKbn);
  bool SetWindow前面(HWND hwnd, int32_t aLngWindowFlg = 0);
  std::wstring GetOSNumberName(int32_t aEnuWinOS);
  void ShellEnd(int32_t ProcessID);
  // Empty when the program was started (and, with the wait, has ended); a
  // failure text otherwise. started runs once the process is made, before
  // the wait.
  std::wstring RunApplication(const std::wstring& aStrPath, bool ablnWait,
                              double* adblTaskID = nullptr, int32_t aenuStyle = 0,
                              const std::wstring& astrOption = L"",
                              const std::function<void()>& started = nullptr);
  std::wstring GetSpecialFolderPath(int32_t aenuFolder);
  // The form must stay loaded while the object holds it, or be handed over
  // anew.
  bool WinTaskBarFormLoadProc(norvale::forms::Form& aFrmMainForm);
  bool WinTaskBarOut();
  bool WinTaskBarIn();
  // Null when no window has the caption (or class); kBothBlank when both
  // arguments are blank.
  HWND GethWndFromCaption(const std::wstring& sCaption, const std::wstring& aClassName = L"");
  static inline const HWND kBothBlank = reinterpret_cast<HWND>(-1);
  std::wstring GetWindowCaption(HWND lhWnd);
  int32_t IsWindowVisible(HWND lhWnd);
  void ActivateWindowByHwnd(HWND hwnd);
  void LOGOFF();
  // What Windows answered to the request (non-zero when it accepted it).
  int32_t shutdown(int32_t lApp_Close, int32_t lSystem_Reboot);
  int32_t RemoteShutdown(const std::wstring& sHostName, const std::wstring& sMessage,
                         int32_t lTimeout, int32_t lAppClose, int32_t lReboot);
  int32_t KillWindow(HWND lhWnd);
  bool ConnectNetDriveDialog(HWND hwnd);
  int32_t GetDiskFormatDialog(HWND hwnd, const std::wstring& Drv);
  std::wstring GetFilePath(const std::wstring& File_Path);
  std::wstring GetFileID(const std::wstring& File_Path);
  std::wstring GetFilePathByDialog(const std::wstring& aStrTitle = L"",
                                   const std::wstring& aStrInitPath = L"",
                                   const std::wstring& aStrSelect = L"");
  std::wstring GetFDDrive();
  // Names in FromFile and ToPath are separated by NUL characters.
  bool FileCopy(HWND hwnd, const std::wstring& FromFile, const std::wstring& ToPath,
                int32_t sw = 0, int32_t flag = 0);
  void FileDelete(HWND hwnd, const std::wstring& FromFiles, int16_t sw, bool aIs確認 = false);
  int32_t MakeDir(const std::wstring& Path);
  std::wstring GetResourceNameFromLocalDrive(const std::wstring& Drv);
  int16_t EnumProcessFromSnapshot();
  norvale::RegVariant GetRegValue(HKEY hKey, const std::wstring& SubKey,
                                  const std::wstring& KeyName,
                                  const norvale::RegVariant& DefaultValue);
  bool SetRegValue(HKEY hKey, const std::wstring& SubKey, const std::wstring& KeyName,
                   const norvale::RegVariant& DataValue);
  bool DelRegValue(HKEY hKey, const std::wstring& SubKey, const std::wstring& KeyName);
  int32_t GetRegEnum(HKEY hKey, const std::wstring& SubKey);
  int32_t GetRegEnumSubKey(HKEY hKey, const std::wstring& SubKey);
  bool DelRegSubKey(HKEY hKey, const std::wstring& SubKeyParent, const std::wstring& SubkeyName);
  std::wstring GetINIValue(const std::wstring& SecionName, const std::wstring& KeyName,
                           int32_t BUFSIZE, const std::wstring& INIFile);
  // "1" when written, "0" when not.
  std::wstring SetINIValue(const std::wstring& SecionName, const std::wstring& KeyName,
                           const std::wstring& DataValue, const std::wstring& INIFile);
  // The caller's window handle stays as it is.
  int32_t RemoveSysMenu(HWND hwnd, uint32_t uItem);
  int32_t PlayWaveSound(const std::wstring& SoundFile, int16_t sw);
  uint32_t GetWaveOutVolume();
  void SetWaveOutVolume(uint32_t vol);
  void StopWaveSound();
  std::wstring GetFileDisplayName(const std::wstring& File);
  bool DisConnectNetDrive(HWND hwnd);
  void OpenFileFindDialog(const std::wstring& FilePath);
  int32_t ShellExe(const std::wstring& pFilePath, const std::wstring& pParam = L"",
                   int16_t pWinSize = 0, std::wstring* aErrMsg = nullptr);
  void WaitForExitProcess(int32_t lProcessId, int32_t lMilliseconds = 0);
  int32_t WinSleep(int32_t aLngSleepTime);
  std::wstring GetNameOfComputer();
  std::wstring GetCPUInfo();
  int32_t GetTypeOfKeyboard(int32_t KeyInfo);
  norvale::RegCurrency GetDiskFreeNG(const std::wstring& DrvName, int16_t sw);
  // -1 on failure.
  norvale::RegCurrency GetDiskFreeSpace2(const std::wstring& DrvName, int16_t sw,
                                         bool IsGB = false);
  bool ExistDllFunction(const std::wstring& FuncName, const std::wstring& DllFile);
  int32_t GetTypeOfDrive(const std::wstring& DrvName);
  std::wstring GetVolumeInfomation(const std::wstring& RootPathName, int16_t sw);
  // Sizes in points; true when the user chose a font, else nothing changes.
  bool GetFONT(HWND aLngHwnd, std::wstring& strFontName, int32_t& lngFontSize, bool& bolFontBold,
               bool& bolFontItalic, bool& bolFontStrikethrough, bool& bolFontUnderline,
               int32_t& lngColor);
  void EjectDisk(const std::wstring& Drv);
  int32_t CheckReadyDrive(const std::wstring& RootPathName);
  bool GetDrives(const std::wstring& DrvName);
  void OpenCompFindDialog();
  std::wstring GetSaveFilePathByDialog(const std::wstring& aStrTitle = L"",
                                       const std::wstring& aStrSelect = L"",
                                       int32_t aLngFlag = 0,
                                       const std::wstring& aStrIniPath = L"");
  // A DefDir that is not blank is selected when the dialog opens.
  std::wstring GetFolder(HWND hwnd, const std::wstring& Title = L"",
                         LPCITEMIDLIST aPidRoot = nullptr, const std::wstring& DefDir = L"");
  void DiskCopy();
  void OpenRunDialog(HWND hwnd, int32_t sw);
  void ExitWindowsDialog();
  // 1 when an icon was chosen; IconFile and Iconindex hold the dialog's
  // answer, also after a cancel.
  int16_t OpenChangeIconDialog(HWND hwnd, std::wstring& IconFile, int32_t& Iconindex);
  std::wstring GetSysDir();
  bool IsWinNT();
  void ShellOpenFile(const std::wstring& OpenFIleId);
  bool GetColorDialog(HWND hwnd, int32_t& color);
  std::wstring GetWinDir();
  // The number of good replies; -1 when the host has no address.
  int16_t Winsoc_Ping(const std::wstring& ip_adr, int16_t MaxCount = 0,
                      std::wstring* ReplyString = nullptr, int32_t* aErrNo = nullptr,
                      int32_t MaxWaitTimer = 0, bool IsOK_When_End = false);
  // The first IPv4 address in network byte order, 0 when there is none.
  uint32_t Winsoc_gethostbyname(const std::wstring& h_name);
  bool IsServerActive(const std::wstring& ServerName, bool IsMsgDisp = false,
                      int32_t MaxWaitTimer = 0);
  bool WinTaskBarModfy(norvale::forms::Form* aFrmMainForm);
  bool SetSystemDateTime(norvale::OleDate aSetDate);
  bool SetLocalDateTime(norvale::OleDate aSetDate);
  bool ScreenKbdOn(bool IsKbdOn = false);
  bool KillProcess(int32_t aLngPocId);
  bool ScreenKbdOff();
  bool ScreenKbdTop();
  // The process handle handed out in aProchWnd belongs to the caller.
  int32_t ShellExeEX(const std::wstring& pFilePath, HWND phWnd = nullptr,
                     const std::wstring& pParam = L"", int16_t pWinSize = 0,
                     std::wstring* aErrMsg = nullptr, HANDLE* aProchWnd = nullptr);
  bool KillProcessByhWnd(HANDLE Pochnd);
  bool RUN_Process(const std::wstring& strApPath, const std::wstring& strCommand,
                   int32_t lngTimeOut = 0, int32_t aLngSleepTime = 0,
                   std::wstring* aStrErrMsg = nullptr, int32_t aWinSize = 0);
  int16_t StopFlag() const;
  void StopFlag(int16_t value);
  std::wstring GetWindowProcFileName(HWND lhWnd);
  std::wstring GetProcModuleBaseName(HANDLE lhWnd);
  int32_t GetProccessInfo();
  bool SetWindow表示(HWND hwnd, int32_t wFlags = 0);
  // True when the system may attempt an Internet connection.
  bool IsInternetOK();
  // Null when the name is blank or already taken; the caller closes the
  // handle with Win_CloseHandle when the name is to be free again.
  HANDLE Mutex_Create(const std::wstring& strName);
  int32_t Win_CloseHandle(HANDLE hHand);
  bool DeleteFolder(const std::wstring& strFolder);
  std::wstring GetDriveFormPath(const std::wstring& strPath);
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
  void ShellEnd_By_Handle(HANDLE ProcessHandle);
  std::wstring REG_GetFontNameByFileId(const std::wstring& aFontID);
  bool REG_DelFontNameByFileId(const std::wstring& aFontID);
  // Windows protects the file as its own (the fonts that come with Windows
  // are such files), asked of the path's full, long form: no step may remove
  // it. False for a blank path or when Windows cannot be asked.
  bool IsSystemProtectedFile(const std::wstring& path);
  bool IsProccessRunning(const std::wstring& aExeName, bool IsPathCheck = false);
  bool KillProccessByExeName(const std::wstring& aExeName);
  std::wstring GetWindowsName();
  norvale::RegVariant GetReg64Value(HKEY hKey, const std::wstring& SubKey,
                                    const std::wstring& KeyName,
                                    const norvale::RegVariant& DefaultValue);
  int32_t GetReg64Enum(HKEY hKey, const std::wstring& SubKey);
  int32_t GetReg64EnumSubKey(HKEY hKey, const std::wstring& SubKey);
  int32_t GetProcRunningCount(const std::wstring& aChkProcName);
  std::wstring GetLogonUserName();
  bool SetWindow表示ByPID(int32_t PID, int32_t wFlags = 0);

 private:
  // Lets the tests see the lines of the last listing and the process list,
  // which no member hands out.
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
  static bool GetOSVersionEx(OSVERSIONINFOW& info);
  bool IsVersionWordOrGreater(uint16_t versionWord, int16_t servicePackMajor, int32_t build);

  // Waits for the process, letting the message loop run every 100 ms.
  void WaitInSteps(HANDLE process);
  // Calls visit(entry) for each process of a fresh snapshot until it returns
  // false; false when no snapshot could be taken.
  bool ForEachSnapshotProcess(const std::function<bool(const PROCESSENTRY32W&)>& visit);
  // Calls visit(process id) for each process the system lists, until it
  // returns false.
  void ForEachProcessId(const std::function<bool(DWORD)>& visit);
  static DWORD MakeCtlCode(int32_t deviceType, int32_t function, int32_t method,
                           int32_t access);
  // The drive of a path as the root the space queries ask about.
  static std::wstring FreeSpaceRoot(const std::wstring& DrvName);
  static std::wstring ClusterQueryRoot(const std::wstring& DrvName);
  // Calls visit(window) for each top-level window in z-order until it
  // returns false.
  static void ForEachTopLevelWindow(const std::function<bool(HWND)>& visit);
  bool SetZOrder(HWND hwnd, HWND insertAfter, bool activate);
  static uint16_t MakeWord(uint8_t high, uint8_t low);
  // One echo; its text, and whether it was a good reply.
  std::wstring PingOnce(HANDLE icmp, uint32_t address, DWORD timeout, bool* good);
  // The tray icon's mouse message (WM_LBUTTONDOWN, ...) on the form.
  void pFrmApp_MouseDown(UINT mouseMessage);
  static LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
  void FillTrayIcon(norvale::forms::Form& form);
  void ReleaseTrayWindow();
  // The window the file dialogs belong to: the program's active form.
  static HWND ActiveFormWindow();
  // Finds the screen keyboard's window, null when it is not open.
  HWND ScreenKeyboardWindow();
  // Writes why a delete was refused to the error log.
  void LogRefusedDelete(const std::wstring& member, const std::wstring& path,
                        const std::wstring& why);

  norvale::Seams seams_;
  norvale::WinServicesSeams windows_;
  std::vector<PROCESSENTRY32W> m_ProcessList;
  std::vector<std::wstring> m_RegEnumValues;
  std::vector<std::wstring> m_RegEnumSubKeys;
  NOTIFYICONDATAW m_TrayIcon{};
  std::unique_ptr<clsError> m_Err;
  std::unique_ptr<clsTimer> m_Timer;
  int32_t m_StopFlag = 0;
  norvale::forms::Form* pFrmApp = nullptr;
  int32_t m_OskResult = 0;
};
