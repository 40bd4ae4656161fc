// Page display, the summary of the user's choices, the progress gauge and
// the hidden Windows version check.
#include <cmath>
#include <cwctype>

#include "Conditions.h"
#include "Form_Inset_MAIN.h"
#include "WizardText.h"

namespace norvale {

using namespace forms;

namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
constexpr wchar_t kIndent[] = L"    ";

// A summary block: the heading and its lines, or nothing when the lines
// hold only blanks.
std::wstring Block(const std::wstring& heading, const std::vector<std::wstring>& lines) {
  std::wstring body;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) body += kCrLf;
    body += kIndent + lines[i];
  }
  if (IsBlank(body)) return L"";
  return heading + kCrLf + body;
}

void HideAndDisable(Widget& widget) {
  widget.Visible(false);
  widget.Enabled(false);
}

void ShowAndEnable(Widget& widget) {
  widget.Visible(true);
  widget.Enabled(true);
}

// Shows and enables the run-time elements the page's sub-page picks; hides
// and disables the others.
template <typename Pick>
void ShowPicked(const ControlArray<Frame>& frames, Pick picked) {
  for (Frame* frame : frames.Elements()) {
    if (frame->Index() < 1) continue;
    if (picked(frame->Index())) {
      ShowAndEnable(*frame);
    } else {
      HideAndDisable(*frame);
    }
  }
}

}  // namespace

void Form_Inset_MAIN::ShowPage() {
  if (!state_) return;
  InstallerState& s = *state_;
  for (Frame* page : {&F_Start, &F_Select, &F_Input, &F_Check, &F_END, &F_SETUP}) {
    HideAndDisable(*page);
  }
  CommandButton& back = *C_Skip(0);
  CommandButton& next = *C_Skip(1);
  next.Caption(L"次へ(N)");
  switch (s.PageNo) {
    case 0:
      ShowAndEnable(F_Start);
      back.Visible(false);
      next.SetFocus();
      break;
    case 1:
      ShowAndEnable(F_Select);
      back.Visible(true);
      ShowPicked(F_SelItem,
                 [&](int16_t g) { return g == 2 * s.SubPageNo - 1 || g == 2 * s.SubPageNo; });
      break;
    case 2:
      ShowAndEnable(F_Input);
      back.Visible(true);
      ShowPicked(F_InputItem, [&](int16_t i) { return i == s.SubPageNo; });
      if (F_InputItem(s.SubPageNo) && s.SubPageNo >= 1 &&
          s.SubPageNo < static_cast<int16_t>(s.InputItems.size())) {
        L_Input_H(0)->Caption(s.InputItems[s.SubPageNo].heading);
        L_Input_H(1)->Caption(s.InputItems[s.SubPageNo].description1);
      }
      break;
    case 3:
      ShowAndEnable(F_Check);
      back.Visible(true);
      break;
    case 4:
      MakeSummaryText();
      ShowAndEnable(F_END);
      back.Visible(true);
      next.Caption(L"インストール(I)");
      break;
    case 5:
      L_SETUP_H(0)->Caption(L"インストール状況");
      L_SETUP_H(1)->Caption(L"ご使用のコンピュータに" + s.AppName +
                            L"をインストールしています、しばらくお待ち下さい。");
      L_SETUP(0)->Caption(L"");
      L_SETUP(1)->Caption(L"");
      ShowAndEnable(F_SETUP);
      back.Visible(false);
      next.Visible(false);
      break;
    case 6:
      ShowFinalPage();
      break;
    default:
      break;
  }
  Form_Resize();
}

void Form_Inset_MAIN::ShowFinalPage() {
  InstallerState& s = *state_;
  HideAndDisable(F_Final_Sel);
  const std::wstring finished = s.AppName + L"のインストールを終了しました。";
  if (s.RestartNeeded != 0 && s.OsVersion.dwMajorVersion >= 6) {
    L_Final(1)->Caption(finished + kCrLf + kCrLf +
                        L"処理を完了するにはコンピュータを再起動する必要があります。" + kCrLf +
                        L"コンピュータを再起動しますか？");
    ShowAndEnable(F_FINAL);
    ShowAndEnable(F_Final_Sel);
    Opt_Final(0)->Caption(L"今すぐに再起動する(Y)");
    Opt_Final(1)->Caption(L"後で再起動する(N)");
    Opt_Final(0)->Value(true);
    Opt_Final(0)->Enabled(true);
    Opt_Final(1)->Enabled(true);
  } else {
    // Without the restart question the design text about fonts would be
    // wrong for most installs; the plain end of the installation is right
    // for all of them (the program option below may replace it).
    L_Final(1)->Caption(finished);
  }
  Chk_FinalRun.Caption(L"");
  Chk_FinalRun.Value(0);
  Chk_FinalRun.Visible(false);
  const std::wstring program = Trim(s.ExecuteDsp);
  const bool offerProgram = !IsBlank(s.ExecuteCmd) && !program.empty() &&
                            (!F_Final_Sel.Enabled() || Opt_Final(1)->Value());
  Chk_FinalRun.Caption(program);
  if (offerProgram) {
    Chk_FinalRun.Value(1);
    Chk_FinalRun.Visible(true);
    L_Final(1)->Caption(L"終了後の処理を選択後[完了(F)]ボタンをクリックして下さい。");
  }
  ShowAndEnable(F_FINAL);
  C_Skip(0)->Visible(false);
  C_Skip(1)->Visible(true);
  C_Skip(1)->Caption(L"完了(F)");
  C_Cancel.Visible(false);
}

void Form_Inset_MAIN::MakeSummaryText() {
  if (!state_) return;
  InstallerState& s = *state_;
  for (SelectGroupEntry& group : s.SelectGroups) {
    for (SelectOptionEntry& option : group.options) option.chosen = 0;
  }
  for (OptionButton* button : Opt_SelItem.Elements()) {
    if (button->Index() < 1) continue;
    const std::wstring& tag = button->Tag();
    const size_t colon = tag.find(L':');
    const int16_t g = WholeNumber(tag.substr(0, colon)).value_or(0);
    int16_t o = 0;
    if (colon != std::wstring::npos) {
      const std::wstring rest = tag.substr(colon + 1);
      o = WholeNumber(rest.substr(0, rest.find(L':'))).value_or(0);
    }
    if (g < 1 || o < 1 || g >= static_cast<int16_t>(s.SelectGroups.size())) continue;
    auto& options = s.SelectGroups[g].options;
    if (o >= static_cast<int16_t>(options.size())) continue;
    options[o].chosen = button->Value() ? -1 : 0;
  }
  for (int16_t i = 1; i <= s.InputItemCount && i < static_cast<int16_t>(s.InputItems.size());
       ++i) {
    if (TextBox* text = T_Input(i)) s.InputItems[i].value = text->Text();
  }
  for (int16_t i = 1; i <= s.CheckItemCount && i < static_cast<int16_t>(s.CheckItems.size());
       ++i) {
    if (CheckBox* check = Chk_Check(i)) s.CheckItems[i].checked = check->Value();
  }

  std::vector<std::wstring> blocks;
  std::vector<std::wstring> modules;
  for (size_t g = 1; g < s.SelectGroups.size(); ++g) {
    const auto& options = s.SelectGroups[g].options;
    for (size_t o = 1; o < options.size(); ++o) {
      if (options[o].chosen != 0 && FindIgnoreCase(options[o].caption, L"なし") == std::wstring::npos) {
        modules.push_back(options[o].caption);
      }
    }
  }
  blocks.push_back(Block(L"モジュール選択:", modules));
  const InputItemEntry* folder = nullptr;
  const InputItemEntry* programGroup = nullptr;
  for (int16_t i = 1; i <= s.InputItemCount && i < static_cast<int16_t>(s.InputItems.size());
       ++i) {
    const InputItemEntry& item = s.InputItems[i];
    if (item.kind == 0 && !folder) folder = &item;
    if (item.kind == 1) programGroup = &item;
  }
  if (folder) blocks.push_back(Block(L"インストール先:", {folder->value}));
  if (programGroup) {
    blocks.push_back(Block(L"プログラムグループ:", {programGroup->value}));
    s.ProgramGroupDir = programGroup->value;
  }
  std::vector<std::wstring> tasks;
  for (int16_t i = 1; i <= s.CheckItemCount && i < static_cast<int16_t>(s.CheckItems.size());
       ++i) {
    if (s.CheckItems[i].checked != 0) tasks.push_back(s.CheckItems[i].name);
  }
  blocks.push_back(Block(L"追加オプション:", tasks));

  std::wstring summary;
  for (const std::wstring& block : blocks) {
    if (block.empty()) continue;
    if (!summary.empty()) summary += std::wstring(kCrLf) + kCrLf;
    summary += block;
  }
  T_END.Text(summary);
}

void Form_Inset_MAIN::Dispゲージ(int16_t intValue) {
  try {
    if (intValue < 0) {
      Pic_ingM.Visible(false);
      DoEvents();
      return;
    }
    const int16_t v = intValue > 100 ? int16_t{100} : intValue;
    const float width = std::trunc(Pic_ingM.Width() * static_cast<float>(v) / 100.0f);
    Pic_ingM.Visible(true);
    Pic_ing.Width(width);
    Pic_ing.Tag(std::to_wstring(v));
    DoEvents();
  } catch (...) {
  }
}

void Form_Inset_MAIN::DoEvents() { App().DoEvents(); }

bool ConditionIncludes(InstallerState& state, const std::wstring& condition) {
  return ValueOrOnFailure(false, [&] {
    int16_t groupNo = 0, optionNo = 0, include = 0, taskNo = 0;
    std::wstring groupName, optionName;
    ParseCondition(state, condition, groupNo, optionNo, include, taskNo, groupName, optionName);
    return include == -1;
  });
}

void Form_Inset_MAIN::C_WinVer_Click() { ShowWindowsVersionCheck(); }

void Form_Inset_MAIN::ShowWindowsVersionCheck() {
  if (!state_) return;
  InstallerState& s = *state_;
  static const wchar_t* const kNames[] = {
      L"Windows XP",          L"Windows XP SP1",         L"Windows XP SP2",
      L"Windows XP SP3",      L"Windows 2000",           L"Windows 2000 Server",
      L"Windows Vista",       L"Windows 7",              L"Windows 8",
      L"Windows 8.1",         L"Windows Server 2008",    L"Windows Server 2008 R2",
      L"Windows Server 2012", L"Windows Server 2012 R2", L"Windows 10",
      L"Windows Server 2016"};
  std::wstring list;
  for (const wchar_t* name : kNames) {
    bool holds = false;
    if (options_.parseCondition) {
      try {
        holds = options_.parseCondition(s, std::wstring(L"<Windows>") + name + L"</Windows>");
      } catch (...) {
        holds = false;
      }
    }
    list += name;
    if (holds) list += L"（★）";
    list += kCrLf;
  }
  if (s.seams.common.messageBox) {
    s.seams.common.messageBox->Show(
        L"このPCのバージョンは[" + s.WindowsName + L"]です。" + kCrLf + kCrLf + list,
        L"Windowsバージョンチェック", MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
  }
}

}  // namespace norvale
