#pragma once
// Everything the uninstaller knows during one run: what "Setup.log" recorded,
// the removal options, the folders behind the placeholders and the services.
// The window owns one; the record reader fills it, the removal steps and the
// command file writer read it. They reach the window only through
// IUninstallerWindow.
#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "EngineSeams.h"
#include "Seams.h"
#include "SetupRecord.h"
#include "WinServicesSeams.h"
#include "clsIni.h"
#include "clsWinCommon.h"

namespace norvale {

struct UninstOptionEntry {
  std::wstring Name;
  std::wstring Caption;
  int16_t Value = 0;
  int16_t Default = 0;
};

// One recorded shortcut; only dir holds a value (the shortcut file's path).
struct ShortCutLogEntry {
  std::wstring dir;
  std::wstring nam;
  std::wstring exe;
  std::wstring ico;
  std::wstring arg;
  std::wstring wrk;
  std::wstring chk;
};

// What the removal shows while it runs.
class IUninstallerWindow {
 public:
  virtual ~IUninstallerWindow() = default;
  // The progress page's step label L_SETUP(0) and item label L_SETUP(1).
  virtual void SetStepText(int16_t index, const std::wstring& text) = 0;
  virtual void Dispゲージ(int16_t intValue) = 0;
  virtual void DisableCancel() = 0;
  virtual void DoEvents() = 0;
};

// A window that shows nothing: the state's default until a window attaches.
class NoUninstallerWindow final : public IUninstallerWindow {
 public:
  void SetStepText(int16_t, const std::wstring&) override {}
  void Dispゲージ(int16_t) override {}
  void DisableCancel() override {}
  void DoEvents() override {}
};

struct UninstallerServices {
  Seams seams = Seams::System();
  WinServicesSeams windows = WinServicesSeams::System();
  std::shared_ptr<IFontRegistry> fontRegistry = std::make_shared<WmiFontRegistry>();
  std::shared_ptr<IFontsFolderShell> fontsShell = std::make_shared<SystemFontsFolderShell>();
  // Where recorded shortcuts really lie; tests answer for junctions as
  // Windows does.
  std::shared_ptr<IFinalPaths> finalPaths = std::make_shared<SystemFinalPaths>();
};

// How a run ended, as its exit code: Windows Installer's codes where they
// mean the same, which deployment tools and the Uninstall entry's quiet
// command read.
enum class UninstallExit : int {
  Gone = 0,                 // nothing of the product is left
  Cancelled = 1602,         // the user ended the run before the removal
  NothingRemoved = 1603,    // the end of the removal could not be had
  Unfinished = 1604,        // something stays; the product is registered for another run
  AnotherRunning = 1618,    // another uninstaller runs
  NoRecord = 1619,          // "Setup.log" is missing or unreadable
};

class RemovalEnd;

extern const wchar_t kDefaultAppId[];
extern const wchar_t kDefaultAppName[];
extern const wchar_t kUninstallerFileName[];  // "Dekant00.exe"

struct UninstallerState {
  // programPath: the running uninstaller, whose folder holds "Setup.log".
  explicit UninstallerState(std::wstring programPath,
                            UninstallerServices services = UninstallerServices{});

  std::vector<std::wstring> Args;
  int16_t StartupOk = -1;
  std::wstring ErrText;
  int16_t PageNo = 0;
  OSVERSIONINFOEXW OsVersion{};
  std::wstring WinDir;
  std::wstring TmpDir;
  std::wstring CommonDesktopDir;
  std::wstring CommonProgramsDir;
  std::wstring StartupDir;
  std::wstring AppId;
  std::wstring AppName;
  std::wstring AppVerName;
  std::wstring AppDir;
  int16_t UninstOptionCount = 0;
  std::wstring OptionTitle;
  std::wstring OptionSubtitle;
  std::wstring OptionText;
  std::wstring OptionText2;
  std::vector<UninstOptionEntry> UninstOptions{1};
  std::wstring ProgramGroupDir;
  int16_t ShortCutLogCount = 0;
  std::vector<ShortCutLogEntry> ShortCutLogList{1};
  int16_t ApFileLinkCount = 0;
  std::vector<ApFileLinkEntry> ApFileLinkList{1};
  int16_t AdminExeCount = 0;
  std::vector<AdminExeEntry> AdminExeList{1};
  int16_t DownloadCount = 0;
  std::vector<DownloadEntry> DownloadList{1};
  int16_t IsSilent = 0;
  // The caption the record reader composes for the window.
  std::wstring Caption = L"Norvale UnInstaller";
  // "1.2.05": the program's version as the caption shows it.
  std::wstring ProgramVersion = L"1.0.00";

  // The removal found the Uninstall entry to be this uninstaller's: it goes
  // once the install folder is gone, so that a removal that cannot finish
  // leaves the product registered for another try.
  bool UninstallEntryToRemove = false;

  // The run's ending so far; the program ends with it.
  UninstallExit Exit = UninstallExit::Cancelled;
  // What the removal's end needs (MakeDeleteMeCmd), made ready before its
  // first step; none until then.
  std::shared_ptr<RemovalEnd> removalEnd;

  std::wstring ProgramPath;    // the running uninstaller
  std::wstring ProgramFolder;  // its folder ("...\Uninst")
  UninstallerServices services;
  clsWinCommon objWinCommon;
  clsIni objIni;
  IUninstallerWindow* window;

  // The window the steps report to; null detaches it (nothing is shown).
  void AttachWindow(IUninstallerWindow* attached) { window = attached ? attached : &noWindow_; }

  // Option 1 ticked: the file associations stay.
  bool KeepsFileLinks() const;
  // Option 2 exists and is ticked: the fonts stay.
  bool KeepsFonts() const;

 private:
  NoUninstallerWindow noWindow_;
};

}  // namespace norvale
