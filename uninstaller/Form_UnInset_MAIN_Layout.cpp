// The layout of the uninstaller window at any size: the footer and its
// buttons, then the visible page.
#include "Form_UnInset_MAIN.h"
#include "SetupText.h"

namespace norvale {

namespace {

// A width or position the window cannot take (a negative width in a very
// small window) keeps the control's previous value.
void SetWidth(forms::Widget& control, float width) {
  if (width >= 0) control.Width(width);
}

template <class T>
void WidthsOf(forms::ControlArray<T>& array, float available) {
  for (int16_t i = array.LBound(); i <= array.UBound(); ++i) {
    if (T* element = array(i)) SetWidth(*element, available - element->Left() - 1000);
  }
}

}  // namespace

void Form_UnInset_MAIN::Form_Resize() {
  const float W = Width(), H = Height();
  SkipOnFailure([&] {
    F_footer.Top(H - F_footer.Height() - 490);
    F_footer.Left(-20);
    SetWidth(F_footer, W - 80);
    C_Cancel.Left(W - C_Cancel.Width() - 500);
    C_Skip(1)->Left(C_Cancel.Left() - C_Skip(1)->Width() - 200);
    C_Skip(0)->Left(C_Skip(1)->Left() - C_Skip(0)->Width() - 200);
  });
  for (forms::Frame* frame : {&F_Start, &F_Check, &F_END, &F_SETUP, &F_FINAL}) {
    if (!frame->Visible()) continue;
    SkipOnFailure([&] {
      frame->Top(-100);
      frame->Left(-20);
      SetWidth(*frame, W - 80);
      const float height = H - F_footer.Height() - 280;
      if (height >= 0) frame->Height(height);
    });
  }
  const float fw = F_Start.Width();
  if (F_Start.Visible()) {
    SkipOnFailure([&] {
      Pic_Start.Top(100);
      Pic_Start.Left(0);
      Pic_Start.Height(F_Start.Height());
      for (int16_t i = 0; i <= L_Start.UBound(); ++i) {
        if (auto* label = L_Start(i)) SetWidth(*label, fw - Pic_Start.Width() - 800);
      }
    });
  }
  if (F_Check.Visible()) {
    SkipOnFailure([&] {
      Pic_Check.Move(0, 100, F_Check.Width(), Pic_Check.Height());
      Image_Check_H.Left(Pic_Check.Width() - 885 - 200);
      WidthsOf(L_Check_H, Pic_Check.Width());
      WidthsOf(L_Check, F_Check.Width());
    });
  }
  if (F_END.Visible()) {
    SkipOnFailure([&] {
      Pic_END.Move(0, 100, F_END.Width(), Pic_END.Height());
      Image_END_H.Left(Pic_END.Width() - Image_END_H.Width() - 200);
      WidthsOf(L_END_H, Pic_END.Width());
      WidthsOf(L_END, F_END.Width());
      SetWidth(T_END, F_END.Width() - T_END.Left() - 400);
      const float height = F_END.Height() - T_END.Top() - 160;
      if (height >= 0) T_END.Height(height);
    });
  }
  if (F_SETUP.Visible()) {
    SkipOnFailure([&] {
      Pic_SETUP.Move(0, 100, F_SETUP.Width(), Pic_SETUP.Height());
      SetWidth(Pic_ingM, F_SETUP.Width() - Pic_ingM.Left() - 600);
      Image_SETUP_H.Left(Pic_SETUP.Width() - Image_SETUP_H.Width() - 200);
      if (Pic_ingM.Visible()) {
        if (const std::optional<double> value = ParseNumber(Pic_ing.Tag())) {
          Dispゲージ(static_cast<int16_t>(*value));
        }
      }
      WidthsOf(L_SETUP_H, Pic_SETUP.Width());
      WidthsOf(L_SETUP, F_SETUP.Width());
    });
  }
  if (F_FINAL.Visible()) {
    SkipOnFailure([&] {
      Pic_FINAL.Top(100);
      Pic_FINAL.Left(0);
      Pic_FINAL.Height(F_FINAL.Height());
      WidthsOf(L_Final, F_FINAL.Width());
    });
  }
}

}  // namespace norvale
