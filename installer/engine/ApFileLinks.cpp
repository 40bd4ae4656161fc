#include "ApFileLinks.h"

#include <optional>
#include <vector>

#include "DownloadLoop.h"
#include "FileSystem.h"
#include "SetupLog.h"
#include "Text.h"

namespace norvale {
namespace {

bool Chosen(InstallRun& run, const std::wstring& chk) {
  bool chosen = false;
  SkipOnFailure([&] { chosen = run.calls.IsTaskOrOptionChosen(chk); });
  return chosen;
}

std::wstring Expanded(InstallRun& run, const std::wstring& text) {
  std::wstring result = text;
  SkipOnFailure([&] { result = run.calls.ExpandPathMacros(text); });
  return result;
}

bool IsCompleteLink(const ApFileLinkEntry& e) {
  return !IsBlank(e.ext) && !IsBlank(e.id) && !IsBlank(e.name) && !IsBlank(e.path);
}

// Kinds of file that Windows starts as programs, and the classes behind
// them and behind every file and folder: linking one of them to the product
// would change how Windows starts everything of that kind.
const wchar_t* const kSystemFileTypes[] = {
    L".exe", L".com", L".bat", L".cmd", L".pif", L".scr", L".lnk", L".msi", L".vbs",
    L".vbe", L".js", L".jse", L".wsf", L".wsh", L".ps1", L".hta", L".cpl", L".reg",
    L".url", L"exefile", L"batfile", L"cmdfile", L"comfile", L"lnkfile", L"piffile",
    L"scrfile", L"regfile", L"htafile", L"cplfile", L"VBSFile", L"JSFile", L"Msi.Package",
    L"*", L"Directory", L"Folder", L"Drive", L"AllFilesystemObjects", L"Unknown"};

bool IsSystemFileType(const std::wstring& name) {
  for (const wchar_t* type : kSystemFileTypes) {
    if (TextEqualsIgnoreCase(name, type)) return true;
  }
  return false;
}

// An extension (".npos") and a program identifier, each a single key name
// below the classes key and neither a kind that Windows owns.
bool IsOwnFileType(const std::wstring& ext, const std::wstring& id) {
  const std::wstring e = Trim(ext), i = Trim(id);
  if (e.size() < 2 || e[0] != L'.' || e.find_first_of(L"\\/*?\" ") != std::wstring::npos) return false;
  if (i.empty() || i[0] == L'.' || i.find_first_of(L"\\/*?\"") != std::wstring::npos) return false;
  return !IsSystemFileType(e) && !IsSystemFileType(i);
}

}  // namespace

bool IsFullProgramPath(const std::wstring& path) {
  const std::wstring p = Trim(path);
  if (p.find_first_of(L"\"\r\n\t") != std::wstring::npos) return false;
  return IsFullyQualifiedPath(p);
}

std::wstring FinishProgramOf(const std::wstring& expandedCommand) {
  std::wstring program = Trim(expandedCommand);
  if (program.size() >= 2 && program.front() == L'"' && program.back() == L'"') {
    program = Trim(program.substr(1, program.size() - 2));
  }
  return program;
}

void WatchProgramsToStart(InstallRun& run) {
  InstallerState& s = run.state;
  if (!s.installTree) return;
  for (int32_t i = 1; i <= s.AutoRunCount && i < static_cast<int32_t>(s.AutoRunList.size()); ++i) {
    s.installTree->Watch(Trim(Expanded(run, s.AutoRunList[static_cast<size_t>(i)].exe)));
  }
  if (!IsBlank(s.ExecuteCmd)) s.installTree->Watch(FinishProgramOf(Expanded(run, s.ExecuteCmd)));
}

std::optional<HeldArrival> HoldProgramToStart(InstallerState& state, const std::wstring& program) {
  return ValueOrOnFailure(std::optional<HeldArrival>(), [&]() -> std::optional<HeldArrival> {
    if (!state.installTree || !state.installTree->Covers(program)) return HeldArrival{};
    StepResult<HeldArrival> arrived = state.installTree->OpenArrived(program);
    if (!arrived) return std::nullopt;
    return std::move(*arrived);
  });
}

int32_t CountApFileLinks(InstallRun& run) {
  const InstallerState& s = run.state;
  int32_t total = 0;
  for (int32_t i = 1; i <= s.ApFileLinkCount && i < static_cast<int32_t>(s.ApFileLinkList.size()); ++i) {
    const ApFileLinkEntry& e = s.ApFileLinkList[static_cast<size_t>(i)];
    if (IsCompleteLink(e) && Chosen(run, e.chk)) ++total;
  }
  return total;
}

int16_t CreateApFileLinks(InstallRun& run) {
  InstallerState& s = run.state;
  int16_t result = -1;
  const int32_t total = CountApFileLinks(run);
  run.Log(L"[APファイルリンク]");
  run.Log(L";APファイルリンク作成結果");
  run.Log(L"Count=" + std::to_wstring(total));
  run.Log(L"");
  run.SetLabel(0, L"APとファイルの関連付けを更新しています...");
  run.SetLabel(1, L"");
  run.DoEvents();

  int32_t count = 0;
  run.Gauge(0);
  for (int32_t i = 1; i <= s.ApFileLinkCount && i < static_cast<int32_t>(s.ApFileLinkList.size()); ++i) {
    ApFileLinkEntry& e = s.ApFileLinkList[static_cast<size_t>(i)];
    e.path = Expanded(run, e.path);
    if (!IsCompleteLink(e) || !Chosen(run, e.chk)) continue;
    ++count;
    run.GaugeAt(count, total);
    bool ok = false;
    // Files of that type would open with whatever program Windows finds
    // under a bare name: only a full path of the product's program is linked,
    // and only to a file type of the product's own.
    if (IsFullProgramPath(e.path) && IsOwnFileType(e.ext, e.id)) {
      SkipOnFailure([&] { ok = s.objWinCommon.REG_CreateApLink(e.id, e.ext, e.name, e.path); });
    }
    const std::wstring nn = L"ext" + Numbered(count, 2);
    // The reader pairs the n-th values of each key, so an entry is recorded
    // whole or not at all; a look-alike id or extension would have the
    // uninstaller remove another product's association.
    const std::optional<std::wstring> path = RecordablePath(e.path);
    if (ToAnsiExact(e.ext) && ToAnsiExact(e.id) && ToAnsiExact(e.name) && path) {
      run.Log(nn + L"_ext=" + e.ext);
      run.Log(nn + L"_id=" + e.id);
      run.Log(nn + L"_name=" + e.name);
      run.Log(nn + L"_path=" + *path);
    } else {
      run.Log(LeftOutNote(nn));
    }
    run.Log(nn + L"_err=" + (ok ? L"" : L"APファイルのリンクに失敗しました！"));
    if (!ok) result = 0;
  }
  run.EndProgressStep();
  return result;
}

int16_t ExecuteAutoRun(InstallRun& run) {
  InstallerState& s = run.state;
  std::vector<std::wstring> done{L""}, destinations{L""};
  int32_t n = 0;
  run.Log(L"[自動実行]");
  run.Log(L";┏自動実行処理を開始しました");
  for (int32_t i = 1; i <= s.AutoRunCount && i < static_cast<int32_t>(s.AutoRunList.size()); ++i) {
    AutoRunEntry& e = s.AutoRunList[static_cast<size_t>(i)];
    e.exe = Expanded(run, e.exe);
    e.prm = Expanded(run, e.prm);
    if (IsBlank(e.exe)) continue;
    if (!run.ConditionHolds(e.chk)) continue;

    const std::wstring prm = Trim(e.prm);
    const std::wstring runLine = e.exe + (prm.empty() ? L"" : L" " + prm);
    if (IsAlreadyDone(done, destinations, e.exe, L"") != 0) {
      run.Log(L"実行" + Numbered(n, 2) + L"=" + runLine);
      run.Log(L"結果" + Numbered(n, 2) + L"=既に実行されているのでskipします！");
      continue;
    }
    ++n;
    const std::wstring nn = Numbered(n, 2);
    std::wstring res;
    bool installed = false;
    if (!IsBlank(e.id)) {
      SkipOnFailure([&] { installed = run.calls.IsProductInstalled(e.id); });
    }
    run.Log(L"実行" + nn + L"=" + runLine);
    if (installed) {
      res = L"既にインストールされています（Skipされました）";
    } else if (!IsFullProgramPath(e.exe)) {
      res = L"RunApplication:完全なパスで指定されていないため起動しませんでした。(" + e.exe + L")";
    } else if (std::optional<HeldArrival> held = HoldProgramToStart(s, Trim(e.exe)); !held) {
      res = L"RunApplication:インストールしたファイルではないか、ダウンロード後に変更されたため"
            L"起動しませんでした。(" + e.exe + L")";
    } else {
      double taskId = 0;
      if (!SkipOnFailure([&] {
            res = s.objWinCommon.RunApplication(Trim(e.exe), true, &taskId, 1, prm,
                                                [&held] { held.reset(); });
          })) {
        res = L"RunApplication:プログラムの起動に失敗しました。";
      }
      if (res.empty()) {
        done.push_back(e.exe);
        destinations.push_back(L"");
      }
    }
    run.Log(L"結果" + nn + L"=" + (IsBlank(res) ? L"APを正常に起動しました" : res));
  }
  run.Log(L";┗自動実行処理を終了しました");
  return -1;
}

int16_t RegstRunAsAdmin(InstallRun& run) {
  InstallerState& s = run.state;
  run.Log(L"[管理者権限]");
  run.Log(L";管理者権限で実行するEXEの登録結果");
  int32_t n = 0;
  for (int32_t i = 1; i <= s.AdminExeCount && i < static_cast<int32_t>(s.AdminExeList.size()); ++i) {
    AdminExeEntry& e = s.AdminExeList[static_cast<size_t>(i)];
    e.exe = Expanded(run, e.exe);
    if (IsBlank(e.exe) || !Chosen(run, e.chk)) continue;
    ++n;
    bool ok = false;
    SkipOnFailure([&] { ok = s.objWinCommon.REG_4DLayersRegst(e.exe); });
    // The uninstaller removes the value named by the program's long path,
    // which the short form recorded here still finds.
    run.Log(L"exe" + Numbered(n, 2) + L"=" + PathForRecord(e.exe));
    run.Log(L"err" + Numbered(n, 2) + L"=" + (ok ? L"" : L"レジストリの登録に失敗しました！"));
  }
  return -1;
}

}  // namespace norvale
