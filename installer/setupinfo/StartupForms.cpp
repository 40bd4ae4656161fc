#include "StartupForms.h"

#include "InstallerPictures.h"

namespace norvale {

forms::StdFont GothicFont(float points, bool bold) {
  forms::StdFont font;
  font.Name = L"ＭＳ Ｐゴシック";
  font.Size = points;
  font.Bold = bold;
  return font;
}

void DesignStartupDialog(forms::Form& form, float clientWidth, float clientHeight) {
  form.Caption(L"Norvale Installer");
  form.BorderStyle(forms::kBorderFixedDialog);
  form.MaxButton(false);
  form.MinButton(false);
  form.ShowInTaskbar(false);
  form.Font(GothicFont(9));
  // The window's outer size: the client area plus caption and dialog frame.
  RECT frame{0, 0, 100, 100};
  AdjustWindowRectEx(&frame, WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, FALSE, WS_EX_DLGMODALFRAME);
  const float twipsX = 1440.0f / 96, twipsY = 1440.0f / 96;
  form.Width(clientWidth + static_cast<float>(frame.right - frame.left - 100) * twipsX);
  form.Height(clientHeight + static_cast<float>(frame.bottom - frame.top - 100) * twipsY);
}

StartupHeader AddStartupHeader(forms::Form& form, forms::ControlArray<forms::Label>& L_H,
                               const std::wstring& title, const std::wstring& subtitle) {
  auto& strip = form.Add<forms::PictureBox>(L"Pic_H");
  strip.Move(0, 0, 7000, 1000);
  strip.BackColor(forms::kColorWindow);
  strip.BorderStyle(0);
  auto& logo = form.Add<forms::Image>(L"Image_H", strip);
  logo.Move(5800, 60, 885, 870);
  logo.Stretch(true);
  // The installer window's header picture, which the program carries.
  logo.PictureFromResource(GetModuleHandleW(nullptr), kPictureHeader);
  auto& heading = L_H.Add(form, 0, strip);
  heading.Move(300, 105, 6405, 300);
  heading.Font(GothicFont(11.25f, true));
  heading.BackColor(forms::kColorWindow);
  heading.Caption(title);
  auto& sub = L_H.Add(form, 1, strip);
  sub.Move(570, 480, 7050, 300);
  sub.Font(GothicFont(9.75f));
  sub.BackColor(forms::kColorWindow);
  sub.Caption(subtitle);
  return {strip, logo};
}

}  // namespace norvale
