#include "InstallSequence.h"

#include <windows.h>

#include <cstdio>

#include "ApFileLinks.h"
#include "DownloadLoop.h"
#include "GeneratedFiles.h"
#include "Handles.h"
#include "InstallFolders.h"
#include "SetupLog.h"
#include "Text.h"
#include "UninstallRegistration.h"

namespace norvale {

int32_t WriteSetupStartTxt(InstallRun& run, const std::wstring& line, int16_t mode) {
  int32_t result = 0;
  const bool ran = SkipOnFailure([&] {
    const std::wstring path = Trim(run.InstallFolder() + L"\\Setup_Start.txt");
    InstallerState& s = run.state;
    if (InInstallTree(s, path)) {
      // Made anew whole each time, never opened: a line is added only to a
      // marker this run made. One that was there is not the run's to add to
      // (a user may have put it there first), so it is replaced as mode 1
      // replaces it.
      const std::string bytes = (mode == 1 ? std::string() : s.SetupStartWritten) +
                                ToAnsi(line) + "\r\n";
      if (mode == 1) s.SetupStartWritten.clear();
      result = static_cast<int32_t>(WriteGeneratedFileInTree(
          s, path, bytes, [&run](const std::wstring& record) { run.Log(record); }));
      if (result == 0) s.SetupStartWritten = bytes;
      return;
    }
    const FileHandle file(CreateFileW(path.c_str(), mode == 1 ? GENERIC_WRITE : FILE_APPEND_DATA,
                                      FILE_SHARE_READ, nullptr,
                                      mode == 1 ? CREATE_ALWAYS : OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      result = static_cast<int32_t>(GetLastError());
      return;
    }
    const std::string bytes = ToAnsi(line) + "\r\n";
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      result = static_cast<int32_t>(GetLastError());
    } else if (written != bytes.size()) {
      result = ERROR_WRITE_FAULT;
    }
  });
  return ran ? result : ERROR_NOT_ENOUGH_MEMORY;
}

namespace {

// The FTP client writes below the install folder through the run's tree for
// as long as the run lasts; then the tree lets its folders go, so that the
// roll-back, the product and its uninstaller may remove them.
class WritesThroughTree {
 public:
  explicit WritesThroughTree(InstallRun& run) : state_(run.state) {
    SkipOnFailure([&] { state_.objFtp.WriteTree(state_.installTree); });
    // The installed-files list is the client's to write.
    SkipOnFailure([&] {
      state_.objFtp.GeneratedFiles(std::make_shared<GeneratedFiles>(
          *state_.seams.windows.folderAccess,
          [&run](const std::wstring& record) { run.Log(record); }));
    });
  }
  ~WritesThroughTree() {
    SkipOnFailure([&] { state_.objFtp.WriteTree(nullptr); });
    SkipOnFailure([&] { state_.objFtp.GeneratedFiles(nullptr); });
    SkipOnFailure([&] {
      if (state_.installTree) state_.installTree->Release();
    });
  }
  WritesThroughTree(const WritesThroughTree&) = delete;
  WritesThroughTree& operator=(const WritesThroughTree&) = delete;

 private:
  InstallerState& state_;
};

}  // namespace

int16_t ExecuteSetup(InstallRun& run) {
  InstallerState& s = run.state;
  s.InstallAborted = 0;
  SkipOnFailure([&] { s.objFtp.StopFlag(0); });

  const std::wstring app = run.InstallFolder();
  // Before anything goes in: each folder is born with its list, and what
  // cannot be made the run's own is not written into at all.
  const PreparedFolders folders = PrepareInstallFolders(run);
  const WritesThroughTree writes(run);
  if (folders.refused) {
    SkipOnFailure([&] { run.window.Chk_FinalRun(0); });
    return 0;
  }

  SkipOnFailure([&] { run.calls.WriteSetupLog(L";Setup処理を開始しました。", 1); });
  for (const std::wstring& line : folders.recordLines) run.Log(line);

  s.TmpDir = app + L"\\TEMP";

  SkipOnFailure([&] {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (s.seams.common.clock) now = s.seams.common.clock->LocalNow();
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04u/%02u/%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    const std::wstring line =
        std::wstring(stamp) + L" [" + s.AppName + L"]のインストールを開始しました。";
    if (WriteSetupStartTxt(run, line, 1) != 0) {
      run.Log(L";★Setup_Start.txtの作成に失敗しました！");
    }
  });

  run.Log(L"[Setup]");
  run.Log(L";セットアップ情報");
  run.Log(L"AppId=" + s.AppId);
  run.Log(L"AppName=" + s.AppName);
  run.Log(L"AppVerName=" + s.AppVerName);
  run.Log(L"AppDir=" + PathForRecord(app));
  if (s.AlertSpaceOnDisk > 0) {
    SkipOnFailure([&] {
      // A fixed-point value with four decimals, written as its decimal text.
      const int64_t whole = s.AlertSpaceOnDisk / 10000;
      int64_t fraction = s.AlertSpaceOnDisk % 10000;
      std::wstring text = std::to_wstring(whole);
      if (fraction != 0) {
        std::wstring digits = std::to_wstring(fraction);
        digits.insert(0, 4 - digits.size(), L'0');
        while (!digits.empty() && digits.back() == L'0') digits.pop_back();
        text += L"." + digits;
      }
      run.Log(L"AlertSpaceOnDisk=" + text);
    });
  }
  if (!IsBlank(s.InstallFilesList)) run.Log(L"InstallFilesList=" + Trim(s.InstallFilesList));

  // Every download lies between a program's arrival and its start.
  SkipOnFailure([&] { WatchProgramsToStart(run); });
  DownloadFiles(run);

  if (s.InstallAborted != 0) {
    SkipOnFailure([&] { run.window.Chk_FinalRun(0); });
    return 0;
  }
  SkipOnFailure([&] { run.window.C_CancelEnabled(false); });
  SkipOnFailure([&] {
    if (run.calls.CreateShortCuts) run.calls.CreateShortCuts();
  });
  CreateApFileLinks(run);
  ExecuteAutoRun(run);
  RegstRunAsAdmin(run);
  RegstUninstInfo(run);
  InstallUninstaller(run);
  SkipOnFailure([&] { s.objWinCommon.REG_RegFlush(); });
  return 0;
}

}  // namespace norvale
