// The page builders: the setup record turned into the pages' texts and the
// run-time elements of the control arrays.
#include "Form_Inset_MAIN.h"
#include "Text.h"

namespace norvale {

using namespace forms;

void Form_Inset_MAIN::BuildPages() {
  if (!state_) return;
  InstallerState& s = *state_;

  // Welcome page.
  L_Start(0)->Caption(s.AppName + L" セットアップウイザードの開始");
  std::wstring intro = L"このプログラムはご使用のコンピュータへ" + s.AppName;
  if (IsBlank(s.AppVerName)) {
    intro += L"をインストールします。";
  } else {
    intro += L" " + s.AppVerName + L"をインストールします。";
  }
  L_Start(1)->Caption(intro);

  // Module options: odd groups in the left column, even ones in the right.
  Frame& groupTemplate = *F_SelItem(0);
  OptionButton& optionTemplate = *Opt_SelItem(0);
  for (int16_t g = 1; g <= s.SelectGroupCount && g < static_cast<int16_t>(s.SelectGroups.size());
       ++g) {
    SelectGroupEntry& group = s.SelectGroups[g];
    Frame* frame = F_SelItem.Load(g);
    if (!frame) continue;
    frame->Top(groupTemplate.Top());
    frame->Left(g % 2 == 1 ? groupTemplate.Left()
                           : groupTemplate.Left() + groupTemplate.Width() + 200);
    frame->BackColor(F_Select.BackColor());
    frame->Visible(false);
    frame->Enabled(false);
    if (Label* heading = L_SelItem.Load(g)) {
      heading->Container(*frame);
      heading->Left(L_SelItem(0)->Left());
      heading->Top(L_SelItem(0)->Top());
      heading->Visible(true);
      heading->Caption(group.heading);
    }
    const int16_t options = static_cast<int16_t>(group.options.size() - 1);
    for (int16_t o = 1; o <= options; ++o) {
      if (s.SelectOptionSeq == INT16_MAX) break;
      s.SelectOptionSeq = static_cast<int16_t>(s.SelectOptionSeq + 1);
      const int16_t k = s.SelectOptionSeq;
      OptionButton* option = Opt_SelItem.Load(k);
      if (!option) continue;
      option->Container(*frame);
      option->Top(optionTemplate.Top() + (o - 1) * (optionTemplate.Height() + 18));
      option->Left(optionTemplate.Left());
      option->Visible(true);
      option->Enabled(true);
      option->Caption(group.options[o].caption);
      if (o == 1) option->Value(true);
      group.options[o].controlIndex = k;
      option->Tag(std::to_wstring(g) + L":" + std::to_wstring(o));
    }
  }

  // Install folder and program group.
  for (int16_t i = 1; i <= s.InputItemCount && i < static_cast<int16_t>(s.InputItems.size());
       ++i) {
    const InputItemEntry& input = s.InputItems[i];
    Frame* frame = F_InputItem.Load(i);
    if (!frame) continue;
    frame->Left(F_InputItem(0)->Left());
    frame->Top(F_InputItem(0)->Top());
    frame->Visible(false);
    frame->Enabled(false);
    auto placeInFrame = [&](Control* element, const Control& templateElement) {
      if (!element) return;
      element->Container(*frame);
      element->Top(templateElement.Top());
      element->Left(templateElement.Left());
      element->Visible(true);
    };
    if (Label* label = L_Input1.Load(i)) {
      placeInFrame(label, *L_Input1(0));
      label->Caption(input.description2);
    }
    if (Label* label = L_Input2.Load(i)) {
      placeInFrame(label, *L_Input2(0));
      label->Caption(input.hint);
    }
    if (Label* label = L_Input3.Load(i)) {
      placeInFrame(label, *L_Input3(0));
      label->Caption(input.freeSpaceText);
    }
    if (Image* image = Image_Input.Load(i)) {
      placeInFrame(image, *Image_Input(0));
      if (input.picture > 0) {
        image->PictureFromIcon(options_.resources, input.picture);
      } else {
        image->ClearPicture();
      }
    }
    if (TextBox* text = T_Input.Load(i)) {
      placeInFrame(text, *T_Input(0));
      text->Text(input.value);
    }
    if (CommandButton* browse = C_Input.Load(i)) {
      placeInFrame(browse, *C_Input(0));
      browse->Click = [this](int16_t index) { C_Input_Click(index); };
    }
  }

  // Additional tasks.
  L_Check_H(0)->Caption(s.CheckTitle);
  L_Check_H(1)->Caption(s.CheckText);
  L_Check(0)->Caption(s.CheckInputText);
  L_Check(1)->Caption(s.CheckFooterText);
  for (int16_t i = 1; i <= s.CheckItemCount && i < static_cast<int16_t>(s.CheckItems.size());
       ++i) {
    const CheckItemEntry& task = s.CheckItems[i];
    const float rowOffset = (i - 1) * 600.0f;
    if (Label* title = L_CheckTitle.Load(i)) {
      title->Top(L_CheckTitle(0)->Top() + rowOffset);
      title->Left(L_CheckTitle(0)->Left());
      title->Caption(task.heading);
      title->Visible(true);
    }
    if (CheckBox* check = Chk_Check.Load(i)) {
      check->Top(Chk_Check(0)->Top() + rowOffset);
      check->Left(Chk_Check(0)->Left());
      check->Caption(task.name);
      check->Value(task.checked);
      check->Visible(true);
      check->Enabled(true);
    }
  }

  // Ready page.
  L_END_H(1)->Caption(L"ご使用のコンピュータへ" + s.AppName + L"をインストールする準備ができました。");
}

}  // namespace norvale
