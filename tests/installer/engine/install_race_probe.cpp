// An install run for tests/tools/test_install_race.py, which swaps a folder
// of the install folder for a link from the host while this installs into
// it, as another signed-in user could:
//   install_race_probe APP HOST PORT USER PASSWORD PROGRAM_FOLDER
// Installs the race package with the real engine: the folder /pkg/bin/ into
// APP\bin (its sub-folder "plugins" included), /pkg/extra/NvHelper.dll into
// APP\bin and /pkg/data.zip unpacked into APP\bin\data. PROGRAM_FOLDER holds
// the archive DLL. Every question is answered as a user who wants the
// install: retry (a few times, then give up), go on. What the run registered
// (its Uninstall entry, the uninstaller's administrator flag) is taken away
// again. Prints "done" and the run's outcome. The folders the race made on
// the way are answered as an administrator's, as Windows answers for them:
// Wine calls every folder the running account's, which an elevated run
// does not install below.
#include <windows.h>

#include <cstdio>
#include <string>

#include "EngineBinding.h"
#include "InstallRun.h"
#include "InstallSequence.h"
#include "RecordingFolderAccess.h"
#include "Text.h"

namespace {

class AnsweringBox final : public norvale::IMessageBox {
 public:
  int Show(const std::wstring&, const std::wstring& title, unsigned) override {
    ++asked;
    if (title == L"リトライしますか？") return ++retries <= 5 ? IDYES : IDNO;
    if (title == L"★処理を中止しますか？") return IDYES;
    return IDOK;
  }
  int asked = 0;
  int retries = 0;
};

class NoWindow final : public norvale::IInstallRunWindow {
 public:
  void Dispゲージ(int16_t) override {}
  void DoEvents() override {}
  std::shared_ptr<norvale::ITextDisplay> L_SETUP(int16_t) override { return nullptr; }
  void Chk_FinalRun(int16_t) override {}
  void C_CancelEnabled(bool) override {}
};

void Add(norvale::InstallerState& s, const std::wstring& src, const std::wstring& dst) {
  norvale::DownloadEntry entry;
  entry.src = src;
  entry.dst = dst;
  entry.IsFolder = src.back() == L'/' ? -1 : 0;
  norvale::AddToList(s.DownloadCount, s.DownloadList, entry);
}

// What the run registered in the prefix's registry goes again, in both
// views: the Uninstall entry and the Layers value lie in whichever view the
// build and Windows give them.
void Unregister(const norvale::InstallerState& s, const std::wstring& app) {
  const std::wstring uninstall =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + s.AppId;
  const std::wstring layers =
      L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, uninstall.c_str(), view, 0);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, layers.c_str(), 0, KEY_SET_VALUE | view, &key) ==
        ERROR_SUCCESS) {
      RegDeleteValueW(key, (app + L"\\Uninst\\Dekant00.exe").c_str());
      RegCloseKey(key);
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: install_race_probe APP HOST PORT USER PASSWORD PROGRAM_FOLDER\n");
    return 2;
  }
  const std::wstring app = argv[1];
  auto box = std::make_shared<AnsweringBox>();
  norvale::InstallerSeams seams;
  seams.common.messageBox = box;
  seams.ftpWaits = norvale::FtpWaits::None();
  auto access = std::make_shared<testing_support::RecordingFolderAccess>();
  access->lists = [](const std::wstring&) {
    return testing_support::ListFromSddl(testing_support::kAdministratorsFolder);
  };
  seams.windows.folderAccess = access;
  norvale::InstallerState s(seams);
  norvale::InputItemEntry folder;
  folder.value = app;
  norvale::AddToList(s.InputItemCount, s.InputItems, folder);
  s.AppId = L"{norvale-install-race-" + std::to_wstring(GetCurrentProcessId()) + L"}";
  s.AppName = L"Norvale POS";
  s.AppVerName = L"Ver 3.2";
  s.DownloadServer.ip = argv[2];
  s.DownloadServer.port = static_cast<int32_t>(std::wcstol(argv[3], nullptr, 10));
  s.DownloadServer.user = argv[4];
  s.DownloadServer.pw = argv[5];
  s.OsVersion.dwOSVersionInfoSize = sizeof(s.OsVersion);
  s.OsVersion.dwMajorVersion = 10;
  s.OsVersion.dwBuildNumber = 19045;
  Add(s, L"/pkg/bin/", L"{app}\\bin");
  Add(s, L"/pkg/extra/NvHelper.dll", L"{app}\\bin");
  Add(s, L"/pkg/data.zip", L"{app}\\bin\\data");

  NoWindow window;
  norvale::EngineSeams engineSeams;
  engineSeams.programFolder = argv[6];
  norvale::EngineBinding binding(s, window, engineSeams);
  norvale::InstallRun run{s,       window, binding.Calls(), argv[6], L"install_race_probe",
                          [] {}, [](const std::wstring&) {}};
  norvale::ExecuteSetup(run);
  Unregister(s, app);
  std::printf("done aborted=%d questions=%d\n", s.InstallAborted != 0 ? 1 : 0, box->asked);
  return 0;
}
