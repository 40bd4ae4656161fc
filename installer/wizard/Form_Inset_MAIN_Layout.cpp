// The layout for the window's current outer size: the footer along the
// bottom, the visible page over the rest. Hidden pages are laid out when
// they are shown. A size that would come out negative is refused by the
// control and the rule after it still runs.
#include "Form_Inset_MAIN.h"
#include "WizardText.h"

namespace norvale {

using namespace forms;

void Form_Inset_MAIN::LayoutPageFrame(Frame& page, float outerWidth, float outerHeight) {
  page.Top(-100);
  page.Left(-20);
  page.Width(outerWidth - 80);
  page.Height(outerHeight - F_footer.Height() - 280);
}

void Form_Inset_MAIN::LayoutHeader(Frame& page, PictureBox& picture, Image& image,
                                   Array<Label>& labels) {
  picture.Top(100);
  picture.Left(0);
  picture.Width(page.Width());
  image.Left(picture.Width() - image.Width() - 200);
  for (Label* label : labels.Elements()) {
    label->Width(picture.Width() - label->Left() - 1000);
  }
}

void Form_Inset_MAIN::LayoutSidePanel(Frame& page, PictureBox& panel) {
  panel.Top(100);
  panel.Left(0);
  panel.Height(page.Height());
}

void Form_Inset_MAIN::Form_Resize() {
  try {
    const float W = Width();
    const float H = Height();
    F_footer.Top(H - F_footer.Height() - 490);
    F_footer.Left(-20);
    F_footer.Width(W - 80);
    C_Cancel.Left(W - C_Cancel.Width() - 500);
    CommandButton& next = *C_Skip(1);
    CommandButton& back = *C_Skip(0);
    next.Left(C_Cancel.Left() - next.Width() - 200);
    back.Left(next.Left() - back.Width() - 200);

    for (Frame* page : {&F_Start, &F_Select, &F_Input, &F_Check, &F_END, &F_SETUP, &F_FINAL}) {
      if (page->Visible()) LayoutPageFrame(*page, W, H);
    }
    if (F_Start.Visible()) {
      LayoutSidePanel(F_Start, Pic_Start);
      for (Label* label : L_Start.Elements()) {
        label->Width(F_Start.Width() - Pic_Start.Width() - 800);
      }
    }
    if (F_Select.Visible()) LayoutSelectPage();
    if (F_Input.Visible()) LayoutInputPage();
    if (F_Check.Visible()) LayoutCheckPage();
    if (F_END.Visible()) LayoutEndPage();
    if (F_SETUP.Visible()) LayoutSetupPage();
    if (F_FINAL.Visible()) {
      LayoutSidePanel(F_FINAL, Pic_FINAL);
      for (Label* label : L_Final.Elements()) {
        label->Width(F_FINAL.Width() - label->Left() - 1000);
      }
    }
  } catch (...) {
  }
}

void Form_Inset_MAIN::LayoutSelectPage() {
  LayoutHeader(F_Select, Pic_Select, Image_Select_H, L_Select_H);
  for (Frame* group : F_SelItem.Elements()) {
    group->Height(F_Select.Height() - group->Top() - 100);
  }
}

void Form_Inset_MAIN::LayoutInputPage() {
  LayoutHeader(F_Input, Pic_Input, Image_Input_H, L_Input_H);
  for (Frame* item : F_InputItem.Elements()) {
    item->Width(F_Input.Width() - item->Left() - 50);
    item->Height(F_Input.Height() - item->Top() + 20);
  }
  // Every item follows the template's size, the hidden ones included.
  const Frame& sizeOf = *F_InputItem(0);
  for (Array<Label>* labels : {&L_Input1, &L_Input2, &L_Input3}) {
    for (Label* label : labels->Elements()) {
      label->Width(sizeOf.Width() - label->Left() - 500);
    }
  }
  for (Label* label : L_Input3.Elements()) {
    label->Top(sizeOf.Height() - label->Height() - 300);
  }
  for (TextBox* text : T_Input.Elements()) {
    text->Width(sizeOf.Width() - text->Left() - 1700);
  }
  for (CommandButton* browse : C_Input.Elements()) {
    const TextBox* text = T_Input(browse->Index());
    if (text) browse->Left(sizeOf.Width() - text->Left() - 1200);
  }
}

void Form_Inset_MAIN::LayoutCheckPage() {
  LayoutHeader(F_Check, Pic_Check, Image_Check_H, L_Check_H);
  for (Label* title : L_CheckTitle.Elements()) {
    title->Width(Pic_Check.Width() - title->Left() - 1000);
  }
  for (CheckBox* task : Chk_Check.Elements()) {
    task->Width(Pic_Check.Width() - task->Left() - 1000);
  }
  for (Label* label : L_Check.Elements()) {
    label->Width(F_Check.Width() - label->Left() - 1000);
  }
  if (Label* footer = L_Check(L_Check.UBound())) {
    footer->Top(F_Check.Height() - footer->Height() - 300);
  }
}

void Form_Inset_MAIN::LayoutEndPage() {
  LayoutHeader(F_END, Pic_END, Image_END_H, L_END_H);
  for (Label* label : L_END.Elements()) {
    label->Width(F_END.Width() - label->Left() - 1000);
  }
  T_END.Width(F_END.Width() - T_END.Left() - 400);
  T_END.Height(F_END.Height() - T_END.Top() - 160);
}

void Form_Inset_MAIN::LayoutSetupPage() {
  Pic_SETUP.Top(100);
  Pic_SETUP.Left(0);
  Pic_SETUP.Width(F_SETUP.Width());
  Pic_ingM.Width(F_SETUP.Width() - Pic_ingM.Left() - 600);
  Image_SETUP_H.Left(Pic_SETUP.Width() - Image_SETUP_H.Width() - 200);
  if (Pic_ingM.Visible()) {
    if (const auto percent = WholeNumber(Pic_ing.Tag())) Dispゲージ(*percent);
  }
  for (Label* label : L_SETUP_H.Elements()) {
    label->Width(Pic_SETUP.Width() - label->Left() - 1000);
  }
  for (Label* label : L_SETUP.Elements()) {
    label->Width(F_SETUP.Width() - label->Left() - 1000);
  }
}

}  // namespace norvale
