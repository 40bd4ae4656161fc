#pragma once
// The points where the Windows services ask Windows about itself, open
// registry keys, start programs, wait, run shell file operations and do what
// changes the machine as a whole. Production asks the running system; tests
// put in a Windows of their choice (any version, server or workstation, 32- or
// 64-bit), a registry that refuses what a user without administrator rights is
// refused, waits that take no real time, and recorders in place of shutdown,
// log-off, clock setting, eject and the system dialogs, which no test may ever
// do for real, and answers in place of the dialogs that wait for a user.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FolderAccess.h"
#include "Handles.h"
#include "HeldProgram.h"
#include "Text.h"

namespace norvale {

// Version and bitness of the running Windows.
class IWindowsFacts {
 public:
  virtual ~IWindowsFacts() = default;
  // ntdll's RtlGetVersion into a record whose size field the caller set;
  // false when it reports a failure.
  virtual bool GetVersion(OSVERSIONINFOEXW& info) = 0;
  // VerifyVersionInfoW asked whether the product type is workstation.
  virtual bool VerifyWorkstation() = 0;
  // GetSystemMetrics(SM_SERVERR2) is non-zero.
  virtual bool IsServerR2() = 0;
  // IsWow64Process for this process; nothing when Windows cannot answer.
  virtual std::optional<bool> IsWow64Process() = 0;
  // How this Windows turns text into its code pages' bytes.
  virtual const ICodePages& CodePages() { return SystemCodePages(); }
  // The code page the command interpreter reads a command file in: the OEM
  // one, which is 65001 (UTF-8) where Windows uses UTF-8 for every
  // language.
  virtual UINT CommandFileCodePage() { return CodePages().Resolved(CP_OEMCP); }
};

// Opening and creating registry keys, and writing a root key's changes to
// disk; everything else done with an open key goes to the registry directly.
class IRegistryKeys {
 public:
  virtual ~IRegistryKeys() = default;
  virtual LSTATUS Open(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) = 0;
  // Opens the key, creating it and its missing parents: empty class,
  // non-volatile, default security.
  virtual LSTATUS Create(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) = 0;
  // RegFlushKey of a root key.
  virtual LSTATUS Flush(HKEY root) = 0;
};

// What a started program runs in: its current folder and an environment of
// its own, "NAME=value" each ("" and nothing: the starter's).
struct ProgramSurroundings {
  std::wstring currentFolder;
  std::vector<std::wstring> environment;
};

// Starting a program by its command line.
class IProgramStarts {
 public:
  virtual ~IProgramStarts() = default;
  // Starts the command line with the show state (SW_ number) and hands out
  // the new process's id and its handle, which the caller then owns. False
  // with the Windows error as the thread's last error when nothing started.
  virtual bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
                     HANDLE* process) = 0;
  // Starts exactly the program file `application` (no search, no shell)
  // with the command line it is given. A stand-in that does not override
  // this starts nothing and fails with ERROR_NOT_SUPPORTED.
  virtual bool StartProgram(const std::wstring& application, const std::wstring& commandLine,
                            int showState, DWORD* processId, HANDLE* process) {
    (void)application, (void)commandLine, (void)showState, (void)processId, (void)process;
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  // Starts exactly `application` with its first thread held until the
  // caller lets it run: what the program is to act on can be made ready
  // after it is known to run. Nothing when nothing started, with the
  // Windows error as the thread's last error. A stand-in that does not
  // override this starts the command line at once through Start.
  virtual std::optional<HeldProgram> StartHeld(const std::wstring& application,
                                               const std::wstring& commandLine, int showState,
                                               const ProgramSurroundings& surroundings) {
    (void)application, (void)surroundings;
    DWORD processId = 0;
    KernelHandle process;
    if (!Start(commandLine, showState, &processId, process.Put())) return std::nullopt;
    return HeldProgram(processId, std::move(process));
  }
};

// Pauses and waits of the caller's thread.
class IWaits {
 public:
  virtual ~IWaits() = default;
  virtual void Sleep(DWORD milliseconds) = 0;
  // Waits at most the given time (INFINITE for no limit) for the handle, as
  // WaitForSingleObject answers: WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
  virtual DWORD WaitFor(HANDLE handle, DWORD milliseconds) = 0;
};

// The shell's copy, move, rename and delete. Its recycle bin lies outside the
// machine's own folders on some systems, so tests look at the request instead
// of sending files there.
class IShellFileOperations {
 public:
  virtual ~IShellFileOperations() = default;
  virtual int Operate(SHFILEOPSTRUCTW& operation) = 0;
};

// What changes the machine as a whole or shows a system dialog that acts on
// it.
class ISystemActions {
 public:
  virtual ~ISystemActions() = default;
  // Enables a privilege (such as "SeShutdownPrivilege") in the process's own
  // token.
  virtual bool EnablePrivilege(const std::wstring& name) = 0;
  virtual bool RequestExitWindows(UINT flags, DWORD reason) = 0;
  virtual bool InitiateShutdown(const std::wstring& computer, const std::wstring& message,
                                DWORD timeoutSeconds, bool forceAppsClosed, bool reboot) = 0;
  virtual bool SetSystemClock(const SYSTEMTIME& utc) = 0;
  virtual bool SetLocalClock(const SYSTEMTIME& local) = 0;
  // Opens the device ("\\.\E:") for reading and sends it a control code
  // without input or output (the eject of removable media).
  virtual bool DeviceControl(const std::wstring& device, DWORD controlCode) = 0;
  // The shell's format dialog for a drive (0 = A:); its result.
  virtual DWORD FormatDriveDialog(HWND owner, UINT drive, UINT formatId, UINT options) = 0;
  // The dialog that disconnects network drives; its result (NO_ERROR when
  // a drive was disconnected).
  virtual DWORD DisconnectDialog(HWND owner, DWORD resourceType) = 0;
};

// The common dialogs and the shell's own dialogs and search windows, which
// wait for a user; tests answer them instead.
class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // GetOpenFileNameW / GetSaveFileNameW: true when the user chose a file.
  virtual bool OpenFile(OPENFILENAMEW& request) = 0;
  virtual bool SaveFile(OPENFILENAMEW& request) = 0;
  // SHBrowseForFolderW: the chosen folder's item list, null on cancel.
  virtual LPITEMIDLIST BrowseForFolder(BROWSEINFOW& request) = 0;
  virtual bool PickFont(CHOOSEFONTW& request) = 0;
  virtual bool PickColor(CHOOSECOLORW& request) = 0;
  // The shell's search window for a folder (ShellExecute with "find"): the
  // shell's result, above 32 when the window opened.
  virtual intptr_t FindFiles(const std::wstring& folder) = 0;
  // The shell's search for computers (shell32 ordinal 91); false when this
  // Windows has no such entry.
  virtual bool FindComputer() = 0;
  // The Run dialog (shell32 ordinal 61); false when this Windows has none.
  virtual bool RunDialog(HWND owner, UINT flags) = 0;
  // The icon picker (shell32 ordinal 62) on a path buffer of `size`
  // characters: its result, nothing when this Windows has none.
  virtual std::optional<int> PickIcon(HWND owner, wchar_t* path, UINT size, int* index) = 0;
  // Asks the shell's desktop window ("ProgMan") to close, which shows the
  // shut-down dialog; false when there is no such window.
  virtual bool CloseShellDesktop() = 0;
  // WNetConnectionDialog: NO_ERROR when a drive was connected.
  virtual DWORD ConnectDialog(HWND owner, DWORD resourceType) = 0;
};

// What Windows tells of the drives. A test machine has neither floppy nor
// network drives, so tests put in drives of their choice.
class IDriveQueries {
 public:
  virtual ~IDriveQueries() = default;
  // GetDriveTypeW of a root ("A:\\").
  virtual UINT DriveType(const std::wstring& root) = 0;
  // The shell's display name of a path (SHGetFileInfoW); false when the
  // shell has none.
  virtual bool DisplayName(const std::wstring& path, SHFILEINFOW& info) = 0;
  // WNetGetConnectionW: the network path behind a local name ("E:") into a
  // buffer of *length characters.
  virtual DWORD NetworkConnection(const std::wstring& localName, wchar_t* remote,
                                  DWORD* length) = 0;
};

// The taskbar's notification area (Shell_NotifyIconW); it exists only where
// a shell runs.
class INotificationArea {
 public:
  virtual ~INotificationArea() = default;
  virtual bool Notify(DWORD message, NOTIFYICONDATAW& icon) = 0;
};

// Windows' own protection of its system files (Windows File Protection,
// later Windows Resource Protection): the fonts that come with Windows are
// among them. Wine protects nothing, so tests name the protected files.
class IProtectedFiles {
 public:
  virtual ~IProtectedFiles() = default;
  // SfcIsFileProtected of a full, long path; false when it cannot be asked.
  virtual bool IsProtected(const std::wstring& path) = 0;
};

class SystemNotificationArea final : public INotificationArea {
 public:
  bool Notify(DWORD message, NOTIFYICONDATAW& icon) override;
};

// An entry of a system DLL that has no exported name, bound by its ordinal
// at run time; null when the DLL or the entry is missing.
FARPROC EntryByOrdinal(const wchar_t* module, WORD ordinal);

class SystemWindowsFacts final : public IWindowsFacts {
 public:
  bool GetVersion(OSVERSIONINFOEXW& info) override;
  bool VerifyWorkstation() override;
  bool IsServerR2() override;
  std::optional<bool> IsWow64Process() override;
};

class SystemRegistryKeys final : public IRegistryKeys {
 public:
  LSTATUS Open(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override;
  LSTATUS Create(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override;
  LSTATUS Flush(HKEY root) override;
};

class SystemProgramStarts final : public IProgramStarts {
 public:
  bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
             HANDLE* process) override;
  bool StartProgram(const std::wstring& application, const std::wstring& commandLine,
                    int showState, DWORD* processId, HANDLE* process) override;
  // Held in a job of its own, so that the program goes with this process
  // while it is held.
  std::optional<HeldProgram> StartHeld(const std::wstring& application,
                                       const std::wstring& commandLine, int showState,
                                       const ProgramSurroundings& surroundings) override;
};

class SystemWaits final : public IWaits {
 public:
  void Sleep(DWORD milliseconds) override;
  DWORD WaitFor(HANDLE handle, DWORD milliseconds) override;
};

class SystemShellFileOperations final : public IShellFileOperations {
 public:
  int Operate(SHFILEOPSTRUCTW& operation) override;
};

class SystemActions final : public ISystemActions {
 public:
  bool EnablePrivilege(const std::wstring& name) override;
  bool RequestExitWindows(UINT flags, DWORD reason) override;
  bool InitiateShutdown(const std::wstring& computer, const std::wstring& message,
                        DWORD timeoutSeconds, bool forceAppsClosed, bool reboot) override;
  bool SetSystemClock(const SYSTEMTIME& utc) override;
  bool SetLocalClock(const SYSTEMTIME& local) override;
  bool DeviceControl(const std::wstring& device, DWORD controlCode) override;
  DWORD FormatDriveDialog(HWND owner, UINT drive, UINT formatId, UINT options) override;
  DWORD DisconnectDialog(HWND owner, DWORD resourceType) override;
};

class SystemDriveQueries final : public IDriveQueries {
 public:
  UINT DriveType(const std::wstring& root) override;
  bool DisplayName(const std::wstring& path, SHFILEINFOW& info) override;
  DWORD NetworkConnection(const std::wstring& localName, wchar_t* remote,
                          DWORD* length) override;
};

class SystemDialogs final : public IDialogs {
 public:
  bool OpenFile(OPENFILENAMEW& request) override;
  bool SaveFile(OPENFILENAMEW& request) override;
  LPITEMIDLIST BrowseForFolder(BROWSEINFOW& request) override;
  bool PickFont(CHOOSEFONTW& request) override;
  bool PickColor(CHOOSECOLORW& request) override;
  intptr_t FindFiles(const std::wstring& folder) override;
  bool FindComputer() override;
  bool RunDialog(HWND owner, UINT flags) override;
  std::optional<int> PickIcon(HWND owner, wchar_t* path, UINT size, int* index) override;
  bool CloseShellDesktop() override;
  DWORD ConnectDialog(HWND owner, DWORD resourceType) override;
};

class SystemProtectedFiles final : public IProtectedFiles {
 public:
  bool IsProtected(const std::wstring& path) override;
};

struct WinServicesSeams {
  std::shared_ptr<IWindowsFacts> windows;
  std::shared_ptr<IRegistryKeys> registry;
  std::shared_ptr<IProgramStarts> starts = std::make_shared<SystemProgramStarts>();
  std::shared_ptr<IWaits> waits = std::make_shared<SystemWaits>();
  std::shared_ptr<IShellFileOperations> shellFiles =
      std::make_shared<SystemShellFileOperations>();
  std::shared_ptr<ISystemActions> actions = std::make_shared<SystemActions>();
  std::shared_ptr<IDialogs> dialogs = std::make_shared<SystemDialogs>();
  std::shared_ptr<INotificationArea> tray = std::make_shared<SystemNotificationArea>();
  std::shared_ptr<IDriveQueries> drives = std::make_shared<SystemDriveQueries>();
  std::shared_ptr<IProtectedFiles> protectedFiles = std::make_shared<SystemProtectedFiles>();
  std::shared_ptr<IFolderAccess> folderAccess = std::make_shared<SystemFolderAccess>();

  static WinServicesSeams System();
};

}  // namespace norvale
