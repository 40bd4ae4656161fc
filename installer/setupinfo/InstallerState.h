#pragma once
// The installer window's state without its visuals: the window's own fields,
// the setup record and the service objects. The procedures of the setup
// information, the engine and the wizard all work on one of these, so each
// of them can run and be tested without a window.
#include <cstdint>
#include <memory>
#include <string>

#include "ClsWinFTP.h"
#include "InstallTree.h"
#include "SetupRecord.h"
#include "Seams.h"
#include "WinServicesSeams.h"
#include "clsError.h"
#include "clsIni.h"
#include "clsPublicFunc.h"
#include "clsTimer.h"
#include "clsWinCommon.h"
#include "forms/Application.h"

namespace norvale {

// The drives as the installer looks at them: which roots exist and how much
// room they have. Tests play machines with and without a D: drive.
class IDriveFacts {
 public:
  virtual ~IDriveFacts() = default;
  // The roots as GetLogicalDriveStringsA lists them into a 250-character
  // buffer: NUL-separated, ending with an empty piece; "" when it fails.
  virtual std::string LogicalDriveStrings() = 0;
  // The space free to the caller on the drive of the root, scaled by
  // 10,000: bytes, or gigabytes cut to one decimal with isGB; 0 when the
  // query fails.
  virtual int64_t FreeSpace(const std::wstring& root, bool isGB) = 0;
};

class SystemDriveFacts final : public IDriveFacts {
 public:
  std::string LogicalDriveStrings() override;
  int64_t FreeSpace(const std::wstring& root, bool isGB) override;
};

// Opens an address with the shell's "open" verb in a normal window; the
// shell's result (above 32 when it worked).
class IAddressOpener {
 public:
  virtual ~IAddressOpener() = default;
  virtual int32_t Open(const std::wstring& address) = 0;
};

class SystemAddressOpener final : public IAddressOpener {
 public:
  int32_t Open(const std::wstring& address) override;
};

// The replaceable surroundings of one installer: questions, clock and pump;
// Windows facts, registry, program starts; the FTP client's pauses.
struct InstallerSeams {
  Seams common = Seams::System();
  WinServicesSeams windows = WinServicesSeams::System();
  FtpWaits ftpWaits{};
  std::shared_ptr<IDriveFacts> drives = std::make_shared<SystemDriveFacts>();
  // Ending the installer at once (after starting the uninstaller, or when
  // it is outdated).
  std::shared_ptr<forms::IProgramEnd> programEnd = std::make_shared<forms::SystemProgramEnd>();
  std::shared_ptr<IAddressOpener> addressOpener = std::make_shared<SystemAddressOpener>();
  // What a held folder is and where it lies (Wine shows no junction).
  std::shared_ptr<IFinalPaths> finalPaths = std::make_shared<SystemFinalPaths>();

  static InstallerSeams System() { return InstallerSeams{}; }
};

struct InstallerState : SetupRecord {
  explicit InstallerState(InstallerSeams seams = InstallerSeams::System());
  InstallerState(const InstallerState&) = delete;
  InstallerState& operator=(const InstallerState&) = delete;

  std::wstring SetupFileId = L"Setup.ini";
  int16_t StartupOk = -1;
  std::wstring ErrText;
  int16_t PageNo = 0;
  int16_t SubPageNo = 0;

  InstallerSeams seams;
  clsWinCommon objWinCommon;
  clsIni objStartIni;
  clsIni objSetupIni;
  clsError objError;
  clsPublicFunc objPublicFunc;
  clsTimer objTimer;
  ClsWinFTP objFtp;

  int16_t InstallAborted = 0;
  // The install folder held open for the install run, with the folders the
  // run made in it: everything the run writes below the install folder goes
  // through it. None before the run made sure of the folder, nor when it
  // refused a folder it could not make its own.
  std::shared_ptr<InstallTree> installTree;
  // The folders the run made on the way to the install folder, the deepest
  // first.
  std::vector<std::wstring> FoldersMadeAbove;
  // What the run wrote as "Setup_Start.txt" through the install tree: a line
  // is added to the marker only when this run made it.
  std::string SetupStartWritten;
  const std::wstring DecodeKey = L"kovtar";
  int16_t RestartNeeded = 0;
  // The file names of the fonts that an earlier installation in the install
  // folder recorded as the product's, read before that folder was deleted:
  // such a font on the machine is still the product's, not one it had before.
  std::vector<std::wstring> EarlierProductFonts;

  // The window's caption as the start-up sets it; the wizard shows it.
  std::wstring Caption;
  // The installer's own program file: its folder holds "Start.ini" and the
  // downloaded setup information, its name and time decide whether it is
  // outdated.
  std::wstring ProgramPath;
};

}  // namespace norvale
