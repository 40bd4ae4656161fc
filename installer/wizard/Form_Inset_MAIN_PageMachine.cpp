// Moving between the pages: Back, Next, Cancel and the letter keys, the
// install folder's checks, the install run with its roll-back, and what the
// finish page does on its way out.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>

#include "ApFileLinks.h"
#include "Conditions.h"
#include "DeleteGuard.h"
#include "EngineBinding.h"
#include "FileSystem.h"
#include "Fonts.h"
#include "Form_Inset_MAIN.h"
#include "InstallSequence.h"
#include "Paths.h"
#include "SetupText.h"
#include "System.h"
#include "SystemServices.h"
#include "Text.h"

namespace norvale {

using namespace forms;

namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
constexpr wchar_t kStartMarker[] = L"Setup_Start.txt";
constexpr wchar_t kUninstallerProgram[] = L"Dekant00.exe";
constexpr wchar_t kGoOnTitle[] = L"インストールを続行しますか？";
constexpr wchar_t kChooseTail[] =
    L"★続行する場合は「はい」を、インストール先の変更、又は\r\n"
    L"\u3000インストールを中止する場合は「いいえ」を押して下さい。";
constexpr wchar_t kMayNotWork[] = L"（インストールを続行しても正常に動作しない可能性があります）";

bool PathExists(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What one temporary download entry left behind, as the roll-back finds it.
struct TemporaryTarget {
  std::wstring path;
  bool isFolder = false;
};

// The file or folder a temporary entry stands for; nothing when its
// destination names no single place of its own.
std::optional<TemporaryTarget> TemporaryTargetOf(InstallerState& s, const DownloadEntry& entry,
                                                 const std::wstring& dst) {
  const std::wstring folder = Trim(dst);
  if (!IsFullyQualifiedPath(folder)) return std::nullopt;
  if (entry.IsFolder != 0) return TemporaryTarget{folder, true};
  const std::wstring name = Trim(s.objPublicFunc.GetFileID_FTP(entry.src));
  // A server name is one plain file name, never a pattern or a path.
  if (name.empty() || !IsPlainFileName(name) || name.find_first_of(L"*?") != std::wstring::npos) {
    return std::nullopt;
  }
  return TemporaryTarget{folder + L"\\" + name, false};
}

class LabelText final : public ITextDisplay {
 public:
  explicit LabelText(Label* label) : label_(label) {}
  void SetText(const std::wstring& text) override {
    if (label_) label_->Caption(text);
  }

 private:
  Label* label_;
};

}  // namespace

class Form_Inset_MAIN::RunWindow final : public IInstallRunWindow {
 public:
  explicit RunWindow(Form_Inset_MAIN& form) : form_(form) {}
  void Dispゲージ(int16_t intValue) override { form_.Dispゲージ(intValue); }
  void DoEvents() override { form_.DoEvents(); }
  std::shared_ptr<ITextDisplay> L_SETUP(int16_t index) override {
    return std::make_shared<LabelText>(form_.L_SETUP(index));
  }
  void Chk_FinalRun(int16_t value) override { form_.Chk_FinalRun.Value(value); }
  void C_CancelEnabled(bool enabled) override { form_.C_Cancel.Enabled(enabled); }

 private:
  Form_Inset_MAIN& form_;
};

void Form_Inset_MAIN::ConnectPageMachine() {
  runWindow_ = std::make_unique<RunWindow>(*this);
  // Every key reaches the window before the control that has the focus.
  KeyPreview(true);
  for (int16_t i = 0; i < 2; ++i) {
    if (CommandButton* button = C_Skip(i)) {
      button->Click = [this](int16_t Index) { C_Skip_Click(Index); };
    }
  }
  C_Cancel.Click = [this](int16_t) { C_Cancel_Click(); };
  for (OptionButton* option : Opt_Final.Elements()) {
    option->Click = [this](int16_t Index) { Opt_Final_Click(Index); };
  }
}

int Form_Inset_MAIN::Ask(const std::wstring& text, const std::wstring& title, unsigned style) {
  if (!state_ || !state_->seams.common.messageBox) return 0;
  return ValueOrOnFailure(0, [&] { return state_->seams.common.messageBox->Show(text, title, style); });
}

std::wstring Form_Inset_MAIN::InstallFolderText() {
  const TextBox* text = T_Input(1);
  return text ? Trim(text->Text()) : L"";
}

void Form_Inset_MAIN::FocusInstallFolder() {
  if (TextBox* text = T_Input(1)) text->SetFocus();
}

void Form_Inset_MAIN::C_Skip_Click(int16_t Index) {
  if (!state_) return;
  if (Index == 0) {
    GoBack();
  } else if (Index == 1) {
    GoNext();
  }
}

namespace {

// The record's share in the page tables: G option groups, I input items,
// T tasks and the P sub-pages of the options page (two groups each).
struct PageShape {
  explicit PageShape(const SetupRecord& r)
      : G(r.SelectGroupCount), I(r.InputItemCount), T(r.CheckItemCount),
        P(static_cast<int16_t>((G + 1) / 2)) {}
  int16_t G, I, T, P;
};

void MoveTo(InstallerState& s, int16_t page, int16_t subPage) {
  s.PageNo = page;
  s.SubPageNo = subPage;
}

}  // namespace

void Form_Inset_MAIN::GoBack() {
  InstallerState& s = *state_;
  const PageShape shape(s);
  const int16_t previousSubPage = static_cast<int16_t>(s.SubPageNo - 1);
  // Where Back lands when the input items are left behind.
  auto beforeInputs = [&] {
    if (shape.G > 0) {
      MoveTo(s, 1, shape.P);
    } else {
      MoveTo(s, 0, 0);
    }
  };
  switch (s.PageNo) {
    case 1:
      if (s.SubPageNo > 1) {
        MoveTo(s, 1, previousSubPage);
      } else {
        MoveTo(s, 0, 0);
      }
      break;
    case 2:
      if (s.SubPageNo > 1) {
        MoveTo(s, 2, previousSubPage);
      } else {
        beforeInputs();
      }
      break;
    case 3:
      if (shape.I > 0) {
        MoveTo(s, 2, 1);
      } else {
        beforeInputs();
      }
      break;
    case 4:
      if (shape.T > 0) {
        MoveTo(s, 3, 0);
      } else if (shape.I > 0) {
        MoveTo(s, 2, shape.I);
      } else {
        beforeInputs();
      }
      break;
    default:
      return;  // pages 0, 5 and 6 have no way back
  }
  ShowPage();
}

void Form_Inset_MAIN::GoNext() {
  InstallerState& s = *state_;
  const PageShape shape(s);
  // Where Next lands when the options are behind.
  auto afterOptions = [&] {
    if (shape.I > 0) {
      MoveTo(s, 2, 1);
    } else if (shape.T > 0) {
      MoveTo(s, 3, 1);
    } else {
      MoveTo(s, 4, 0);
    }
  };
  switch (s.PageNo) {
    case 0:
      if (shape.G > 0) {
        MoveTo(s, 1, 1);
      } else {
        afterOptions();
      }
      break;
    case 1:
      if (s.SubPageNo < shape.P) {
        MoveTo(s, 1, static_cast<int16_t>(s.SubPageNo + 1));
      } else {
        afterOptions();
      }
      break;
    case 2:
      if (!LeaveInputPageAllowed()) return;
      if (!state_) return;  // the user chose to end the installer
      MoveTo(s, shape.T > 0 ? 3 : 4, 0);
      break;
    case 3:
      MoveTo(s, 4, 0);
      break;
    case 4:
      if (!CheckInstallFolder()) return;
      RunInstallation();
      return;
    case 5:
      break;
    case 6:
      FinishActions();
      return;
    default:
      return;
  }
  ShowPage();
}

bool Form_Inset_MAIN::HoldsEarlierInstallation(const std::wstring& folder) {
  InstallerState& s = *state_;
  const bool registered =
      ValueOrOnFailure(false, [&] { return IsProductInstalled(s, s.AppId); });
  if (!registered) return false;
  // Our install run puts the uninstaller into "Uninst"; older ones beside
  // the programs.
  return FileExists(folder + L"\\Uninst\\" + kUninstallerProgram) ||
         FileExists(folder + L"\\" + kUninstallerProgram);
}

void Form_Inset_MAIN::NoteEarlierProductFonts(const std::wstring& folder) {
  InstallerState& s = *state_;
  SkipOnFailure([&] {
    const std::wstring fonts = s.objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
    // Where our install run puts the record, and where older ones did.
    for (const std::wstring& record : {folder + L"\\Uninst\\Setup.log", folder + L"\\Setup.log"}) {
      for (const std::wstring& name : ProductFontsOfRecord(record, fonts)) {
        s.EarlierProductFonts.push_back(name);
      }
    }
  });
}

bool Form_Inset_MAIN::LeaveInputPageAllowed() {
  InstallerState& s = *state_;
  if (s.SubPageNo == 1) {
    const std::wstring folder = InstallFolderText();
    if (folder.empty()) {
      Ask(std::wstring(L"インストール先のフォルダが入力されていません！") + kCrLf +
              L"インストール先フォルダを入力して下さい。",
          L"インストール先を入力して下さい", MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
      FocusInstallFolder();
      return false;
    }
    if (s.AlertSpaceOnDisk > 0) {
      const int64_t free = ValueOrOnFailure<int64_t>(
          0, [&] { return s.objWinCommon.GetDiskFreeSpace2(folder, 1).scaled; });
      if (free < s.AlertSpaceOnDisk) {
        const std::wstring head =
            free <= 0 ? std::wstring(L"インストール先ドライブの空き容量を取得できませんでした！") +
                            kCrLf + L"インストール先を続行しますか？"
                      : std::wstring(L"インストール先ドライブの容量が不足しています！") + kCrLf +
                            L"インストール先を変更するかインストールを中止して下さい。";
        const int answer = Ask(head + kCrLf + kMayNotWork + kCrLf + kCrLf + kChooseTail,
                               kGoOnTitle, MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2);
        if (answer != IDYES) {
          FocusInstallFolder();
          return false;
        }
      }
    }
  }
  const std::wstring folder = InstallFolderText();
  if (PathExists(folder)) {
    const std::wstring first =
        HoldsEarlierInstallation(folder)
            ? L"指定されたフォルダ[" + folder +
                  L"]には既にシステムがインストールされています！" + kCrLf +
                  L"（先にアンインストールを実行し、その後でインストールを行うことをお勧め致します）"
            : L"インストール先フォルダ[" + folder + L"]が存在します！";
    const int answer =
        Ask(first + kCrLf + kCrLf +
                L"インストールを続行すると現在のフォルダ及び全ファイルは削除されます。" + kCrLf +
                L"（「はい」ボタンを押すとフォルダごと削除されますのでご注意下さい）" + kCrLf +
                kCrLf + L"★インストールを続行しますか？",
            kGoOnTitle, MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2);
    if (answer != IDYES) {
      s.StartupOk = 0;
      Unload();
      return false;
    }
    NoteEarlierProductFonts(folder);
    if (!ValueOrOnFailure(false, [&] { return vbDeleteFolder(folder); })) {
      Ask(L"フォルダ[" + folder + L"]を削除できませんでした！", L"デレクトリを削除できませんでした！",
          MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
    }
  }
  return true;
}

bool Form_Inset_MAIN::CheckInstallFolder() {
  if (!state_) return false;
  InstallerState& s = *state_;
  const std::wstring folder =
      s.InputItemCount >= 1 && s.InputItems.size() > 1 ? Trim(s.InputItems[1].value) : L"";
  if (folder.empty()) {
    Ask(std::wstring(L"インストール先フォルダが設定されていません！") + kCrLf + kCrLf +
            L"★「戻る」をクリックして入力を行って下さい。",
        L"未設定の項目があります！", MB_OK | MB_ICONINFORMATION);
    return false;
  }
  // The user agreed to its removal on the input page.
  if (PathExists(folder)) {
    NoteEarlierProductFonts(folder);
    SkipOnFailure([&] { vbDeleteFolder(folder); });
  }
  return true;
}

std::vector<std::wstring> Form_Inset_MAIN::MissingFoldersAbove(const std::wstring& folder) const {
  std::vector<std::wstring> missing;
  if (!IsFullyQualifiedPath(folder)) return missing;
  for (std::wstring level = BeforeLast(folder, L'\\');
       level.size() > 3 && level.find(L'\\') != std::wstring::npos && !FolderExists(level);
       level = BeforeLast(level, L'\\')) {
    missing.push_back(level);  // deepest first
  }
  return missing;
}

void Form_Inset_MAIN::RunInstallation() {
  InstallerState& s = *state_;
  s.PageNo = 5;
  s.SubPageNo = 0;
  ShowPage();
  bool close = false;
  SkipOnFailure([&] {
    const std::wstring app =
        s.InputItemCount >= 1 && s.InputItems.size() > 1 ? Trim(s.InputItems[1].value) : L"";
    const std::vector<std::wstring> createdAbove = MissingFoldersAbove(app);
    EngineBinding binding(s, *runWindow_, options_.engineSeams);
    const std::wstring program = s.ProgramPath.empty() ? ProgramPath() : s.ProgramPath;
    std::wstring name = AfterLast(program, L'\\');
    if (name.size() > 4 && TextEqualsIgnoreCase(name.substr(name.size() - 4), L".exe")) {
      name.resize(name.size() - 4);
    }
    const std::wstring installerFolder =
        options_.programFolder.empty() ? BeforeLast(program, L'\\') : options_.programFolder;
    const std::function<void()> endProgram = [&s] {
      if (s.seams.programEnd) s.seams.programEnd->End();
    };
    InstallRun run{s, *runWindow_, binding.Calls(), installerFolder, name, endProgram, nullptr};
    if (options_.prepareRun) options_.prepareRun(run);
    const std::vector<PathBefore> before = ExistingTemporaryTargets(run);

    SkipOnFailure([&] { ExecuteSetup(run); });

    s.PageNo = 6;
    s.SubPageNo = 0;
    if (s.InstallAborted != 0) {
      RollBack(run, before, createdAbove);
      close = true;
      return;
    }
    RemoveStartMarker(run);
  });
  if (!state_) return;
  if (s.PageNo == 5) {
    // The run could not even be prepared: the progress page, which refuses
    // to close, must not stay.
    s.PageNo = 6;
    close = true;
  }
  if (close) {
    // Page 6 closes without the closing question; the finish page is never
    // shown after an aborted run.
    Unload();
    return;
  }
  ShowPage();
}

std::vector<Form_Inset_MAIN::PathBefore> Form_Inset_MAIN::ExistingTemporaryTargets(
    InstallRun& run) {
  // What a temporary entry's place held before the run stays after a
  // roll-back: only what the run brought goes again.
  std::vector<PathBefore> existing;
  InstallerState& s = run.state;
  for (int32_t i = 1; i <= s.DownloadCount && i < static_cast<int32_t>(s.DownloadList.size());
       ++i) {
    SkipOnFailure([&] {
      const DownloadEntry& entry = s.DownloadList[static_cast<size_t>(i)];
      if (entry.IsTemp == 0) return;
      const std::wstring dst =
          run.calls.ExpandPathMacros ? run.calls.ExpandPathMacros(entry.dst) : entry.dst;
      const auto target = TemporaryTargetOf(s, entry, dst);
      if (target && PathExists(target->path)) existing.push_back(target->path);
    });
  }
  return existing;
}

void Form_Inset_MAIN::RollBack(InstallRun& run, const std::vector<PathBefore>& before,
                               const std::vector<std::wstring>& createdAbove) {
  InstallerState& s = run.state;
  const std::wstring app = Trim(run.InstallFolder());
  for (int32_t i = 1; i <= s.DownloadCount && i < static_cast<int32_t>(s.DownloadList.size());
       ++i) {
    SkipOnFailure([&] {
      const DownloadEntry& entry = s.DownloadList[static_cast<size_t>(i)];
      if (entry.IsTemp == 0) return;
      const auto target = TemporaryTargetOf(s, entry, entry.dst);
      if (!target) return;
      const bool wasThere = std::any_of(before.begin(), before.end(), [&](const PathBefore& p) {
        return SamePath(p, target->path);
      });
      if (wasThere) return;
      if (target->isFolder) {
        run.calls.vbDeleteFolder(target->path);
      } else {
        std::wstring ignored;
        run.calls.vbDeleteFile(target->path, ignored);
      }
    });
  }
  if (IsFullyQualifiedPath(app)) {
    // Only a folder the run made (or made its own) goes; one it refused is
    // another account's or a link, and stays as it is. A share's folder is
    // made by name and was the run's whenever it could be made.
    const bool byName = !IsDriveAbsolute(FullPath(app));
    const bool ours =
        byName || ValueOrOnFailure(false, [&] {
          return s.installTree && s.installTree->StillMadeHere(app);
        });
    const std::wstring marker = app + L"\\" + kStartMarker;
    if (ours) {
      SkipOnFailure([&] {
        if (FileExists(marker)) {
          std::wstring ignored;
          run.calls.vbDeleteFile(marker, ignored);
        }
      });
      SkipOnFailure([&] { run.calls.vbDeleteFolder(app); });
    }
    // The folders the run made above the install folder, when nothing else
    // moved in meanwhile.
    for (const std::wstring& level : byName ? createdAbove : s.FoldersMadeAbove) {
      bool removed = false;
      SkipOnFailure([&] { removed = static_cast<bool>(RemoveGuardedFolder(level)); });
      if (!removed) break;  // a folder that is not empty keeps every one above it
    }
  }
}

void Form_Inset_MAIN::RemoveStartMarker(InstallRun& run) {
  const std::wstring marker = Trim(run.InstallFolder()) + L"\\" + kStartMarker;
  std::wstring line;
  if (FileExists(marker)) {
    std::wstring errorText;
    bool deleted = false;
    SkipOnFailure([&] { deleted = run.calls.vbDeleteFile(marker, errorText); });
    if (deleted) return;
    line = std::wstring(L";★") + kStartMarker + L"を削除できませんでした！（" + errorText + L"）";
  } else {
    line = std::wstring(L";★") + kStartMarker +
           L"を削除できませんでした！（ファイルが存在しませんでした）";
  }
  SkipOnFailure([&] { run.calls.WriteSetupLog(line, 0); });
}

void Form_Inset_MAIN::FinishActions() {
  InstallerState& s = *state_;
  if (F_Final_Sel.Visible() && Opt_Final(0) && Opt_Final(0)->Value()) {
    // The restart ends the program before its unload would remove the
    // downloaded setup information, so it goes first.
    SkipOnFailure([&] {
      const std::wstring setupInfo = s.objSetupIni.IniFilePath();
      if (!setupInfo.empty() && FileExists(setupInfo)) DeleteGuardedFile(setupInfo);
    });
    SkipOnFailure([&] { s.objWinCommon.shutdown(-1, -1); });
    SkipOnFailure([&] {
      if (s.seams.programEnd) s.seams.programEnd->End();
    });
    return;
  }
  if (!IsBlank(s.ExecuteCmd) && Chk_FinalRun.Value() == 1) StartFinalProgram();
  Unload();
}

void Form_Inset_MAIN::StartFinalProgram() {
  InstallerState& s = *state_;
  SkipOnFailure([&] {
    s.ExecuteCmd = ExpandPathMacros(s, s.ExecuteCmd);
    s.ExecutePrm = ExpandPathMacros(s, s.ExecutePrm);
    const std::wstring program = FinishProgramOf(s.ExecuteCmd);
    // Exactly the named program file: never a search along PATH, never the
    // shell's idea of what a name or document means.
    if (!IsFullyQualifiedPath(program) || program.find(L'"') != std::wstring::npos ||
        !FileExists(program)) {
      return;
    }
    // In the install folder only as the run wrote it, held until it runs.
    const std::optional<HeldArrival> held = HoldProgramToStart(s, program);
    if (!held) return;
    const std::wstring parameters = Trim(s.ExecutePrm);
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!parameters.empty()) commandLine += L" " + parameters;
    if (!s.seams.windows.starts) return;
    DWORD id = 0;
    KernelHandle process;
    if (s.seams.windows.starts->StartProgram(program, commandLine, SW_SHOWNORMAL, &id,
                                             process.Put())) {
      // The new program's window may take the focus from ours.
      AllowSetForegroundWindow(id);
    }
  });
}

void Form_Inset_MAIN::C_Cancel_Click() {
  if (!state_) return;
  InstallerState& s = *state_;
  if (s.PageNo == 5) {
    s.objFtp.StopFlag(-999);
    if (s.objFtp.ASYNC()) SkipOnFailure([&] { s.objFtp.InetClose(); });
    return;
  }
  Unload();
}

void Form_Inset_MAIN::Form_KeyDown(int16_t& KeyCode, int16_t Shift) {
  if (!state_) return;
  if (KeyCode < 0 || KeyCode > 0xFF) return;
  InstallerState& s = *state_;
  // Letter keys arrive as their capitals whatever Shift does.
  const wchar_t key = static_cast<wchar_t>(KeyCode);
  const bool alt = (Shift & kAltMask) != 0;
  // In a text box the letters are text: they act only together with Alt.
  const auto* box = dynamic_cast<const TextBox*>(ActiveControl());
  const bool typing = box && !box->Locked() && GetFocus() == box->hWnd();
  if (typing && !alt && (key == L'B' || key == L'N' || key == L'R' || key == L'I')) return;
  switch (key) {
    case L'B':
      if (s.PageNo > 0) C_Skip_Click(0);
      break;
    case L'N':
      if (s.PageNo < 4) C_Skip_Click(1);
      break;
    case L'R':
      if (s.PageNo == 2 && s.SubPageNo >= 1 && s.SubPageNo < C_Input.Count() &&
          F_InputItem(s.SubPageNo) && F_InputItem(s.SubPageNo)->Visible()) {
        C_Input_Click(s.SubPageNo);
      }
      break;
    case L'I':
      if (s.PageNo == 4) C_Skip_Click(1);
      break;
    case L'S':
      if ((Shift & (kShiftMask | kCtrlMask | kAltMask)) == (kShiftMask | kCtrlMask | kAltMask)) {
        C_WinVer.Visible(!C_WinVer.Visible());
      }
      break;
    default:
      break;
  }
}

void Form_Inset_MAIN::Opt_Final_Click(int16_t) {
  if (Opt_Final(0) && Opt_Final(0)->Value()) {
    Chk_FinalRun.Visible(false);
  } else {
    Chk_FinalRun.Visible(true);
  }
}

}  // namespace norvale
