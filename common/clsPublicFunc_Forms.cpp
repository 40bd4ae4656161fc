// Form and control utilities over the form toolkit: centring, scaling the
// controls after a resize, the loaded forms, text selection, key filters and
// text measurement.
#include <cmath>

#include "Text.h"
#include "clsPublicFunc.h"
#include "forms/Forms.h"

using namespace norvale;

namespace {

// A key whose character alone reads as a number. Only the digits do: the
// other single-byte characters do not, and the negative codes of
// double-byte characters pass the filters as control codes anyway.
bool IsNumberKey(int16_t key) { return key >= '0' && key <= '9'; }

}  // namespace

bool clsPublicFunc::IsFormLoaded(const std::wstring& aStrFormName, forms::Form** aFormObject) {
  if (aFormObject) *aFormObject = nullptr;
  if (IsBlank(aStrFormName)) return false;
  forms::Application* app = forms::Application::Current();
  forms::Form* found = app ? app->FindForm(aStrFormName) : nullptr;
  if (!found) return false;
  if (aFormObject) *aFormObject = found;
  return true;
}

double clsPublicFunc::GetTextWidth(const std::wstring& sStrText, const forms::StdFont* aDblFont,
                                   forms::Surface* aObjDev) {
  if (sStrText.empty() || !aDblFont || !aObjDev) return 0;
  forms::Widget& surface = aObjDev->Owner();
  const forms::StdFont savedFont = surface.Font();
  const int16_t savedMode = aObjDev->ScaleMode();
  if (!surface.Font(*aDblFont)) return 0;
  aObjDev->ScaleMode(forms::kScaleTwips);
  // Two capital W as a margin.
  const double width = aObjDev->TextWidth(sStrText + L"WW");
  surface.Font(savedFont);
  aObjDev->ScaleMode(savedMode);
  return width;
}

double clsPublicFunc::GetOptimizationFontSize(const std::wstring& sStrText,
                                              double aDblSourceFontSize, double aDblWidth,
                                              double aDblHeight, forms::Surface* aObjCtrl) {
  if (sStrText.empty()) return aDblSourceFontSize;
  forms::Surface* surface = aObjCtrl;
  if (!surface) {
    forms::Application* app = forms::Application::Current();
    forms::Form* active = app ? app->Screen().ActiveForm() : nullptr;
    surface = active;
  }
  if (!surface) return aDblSourceFontSize;
  forms::Widget& owner = surface->Owner();
  const float savedSize = owner.Font().Size;
  double size = aDblSourceFontSize;
  while (true) {
    if (!owner.FontSize(static_cast<float>(size))) {
      owner.FontSize(savedSize);
      return aDblSourceFontSize;
    }
    if (surface->TextWidth(sStrText) < aDblWidth - 50 &&
        surface->TextHeight(sStrText) < aDblHeight - 50) {
      break;
    }
    size *= 0.9;
    // The size that reaches 5 points is returned untried.
    if (size <= 5.0) break;
  }
  owner.FontSize(savedSize);
  return size;
}

int16_t clsPublicFunc::KeyPressNumChk(int16_t KeyAscii) {
  if (IsNumberKey(KeyAscii)) return KeyAscii;
  return KeyAscii <= 27 ? KeyAscii : 0;
}

// One set of rates and base sizes serves every form; each call scales by the
// change since the previous scaling call.
bool clsPublicFunc::FormCtlResize(forms::Form* frmForm, bool IsRefresh, float* aSngFrmWidthRate,
                                  float* aSngFrmHeightRate) {
  auto report = [&] {
    if (aSngFrmWidthRate) *aSngFrmWidthRate = widthRate_;
    if (aSngFrmHeightRate) *aSngFrmHeightRate = heightRate_;
  };
  if (!frmForm) return false;
  const float scaleWidth = frmForm->ScaleWidth();
  const float scaleHeight = frmForm->ScaleHeight();
  if (baseScaleWidth_ <= 0 || baseScaleHeight_ <= 0) {
    // No base yet: scaling against 0 would shrink every control and font to
    // nothing. The first call only records the base; nothing changed.
    if (scaleWidth > 0 && scaleHeight > 0) {
      baseScaleWidth_ = scaleWidth;
      baseScaleHeight_ = scaleHeight;
    }
    widthRate_ = heightRate_ = 1;
    report();
    return false;
  }
  if (scaleWidth <= 0 || scaleHeight <= 0) {
    // A minimised form has no inner area; scaling to it would lose the
    // layout for good. The base stays for the restore.
    report();
    return false;
  }
  widthRate_ = scaleWidth / baseScaleWidth_;
  heightRate_ = scaleHeight / baseScaleHeight_;
  report();
  if (widthRate_ == 1 && heightRate_ == 1) return false;
  baseScaleWidth_ = scaleWidth;
  baseScaleHeight_ = scaleHeight;
  for (forms::Control* control : frmForm->Controls()) {
    // Fonts shrink before the sizes change and grow after. A control that
    // lacks a property skips its step; the toolkit has no tab or grid
    // controls, whose tab heights, rows and columns would follow here.
    if (heightRate_ <= 1 && control->HasFont()) {
      control->FontSize(control->Font().Size * heightRate_);
    }
    control->Width(control->Width() * widthRate_);
    control->Height(control->Height() * heightRate_);
    // Controls parked at negative places stay there.
    if (control->Top() >= 0) control->Top(control->Top() * heightRate_);
    if (control->Left() >= 0) control->Left(control->Left() * widthRate_);
    if (heightRate_ > 1 && control->HasFont()) {
      control->FontSize(control->Font().Size * heightRate_);
    }
    if (IsRefresh) control->Refresh();
  }
  return true;
}

bool clsPublicFunc::TextObjSelect(forms::TextBox* objFrmTextBox) {
  if (!objFrmTextBox) return true;
  objFrmTextBox->SetFocus();
  objFrmTextBox->SelStart(0);
  objFrmTextBox->SelLength(static_cast<int32_t>(objFrmTextBox->Text().size()));
  return true;
}

void clsPublicFunc::UnloadForm(forms::Form* afrm) {
  if (afrm) afrm->Unload();
}

bool clsPublicFunc::TextObjInputCheck(int16_t& KeyAscii, bool IsNumeText, bool IsCrlfSikp,
                                      bool IsDateField, bool IsSmallNum) {
  if (KeyAscii == 13) {
    if (IsCrlfSikp) {
      forms::SendKeyStroke(VK_TAB);
      KeyAscii = 0;
    }
    return true;
  }
  if (IsDateField) {
    if (!IsNumberKey(KeyAscii) && KeyAscii != '/' && KeyAscii != ':' && KeyAscii > 27) {
      KeyAscii = 0;
    }
  } else if (IsNumeText) {
    if (!IsNumberKey(KeyAscii) && !(KeyAscii == '.' && IsSmallNum) && KeyAscii > 27) {
      KeyAscii = 0;
    }
  }
  return true;
}

bool clsPublicFunc::FormCtlRefresh(forms::Form* frmForm) {
  if (!frmForm) return false;
  seams_.pump->DoEvents();
  for (forms::Control* control : frmForm->Controls()) {
    forms::Surface* surface = control->AsSurface();
    if (surface && surface->AutoRedraw()) control->Refresh();
  }
  return true;
}

// The initial scale sizes are never recorded, so both rates read 1.
float clsPublicFunc::FrmHeightRate(forms::Form* frmForm) {
  if (!frmForm || initialScaleHeight_ == 0) return 1.0f;
  return frmForm->ScaleHeight() / initialScaleHeight_;
}

float clsPublicFunc::FrmWidthRate(forms::Form* frmForm) {
  if (!frmForm || initialScaleWidth_ == 0) return 1.0f;
  return frmForm->ScaleWidth() / initialScaleWidth_;
}

bool clsPublicFunc::IsFormObjLoaded(const forms::Widget* aFormObject) {
  if (!aFormObject) return false;
  forms::Application* app = forms::Application::Current();
  return app && app->IsLoaded(dynamic_cast<const forms::Form*>(aFormObject));
}

bool clsPublicFunc::FormCentering(forms::Form* frmForm) {
  if (!frmForm || frmForm->WindowState() != forms::kNormal) return false;
  const forms::Screen screen = frmForm->App().Screen();
  // Not rounded to whole twips.
  const float left = (screen.Width() - frmForm->Width()) / 2;
  const float top = (screen.Height() - frmForm->Height()) / 2;
  return frmForm->Left(left) && frmForm->Top(top);
}
