#pragma once
// The design the three start-up windows share: the dialog frame sized for
// its client area, and the header strip with logo, title and subtitle.
#include "forms/Forms.h"

namespace norvale {

// Caption "Norvale Installer", fixed dialog border, no maximise or minimise
// button, not in the taskbar, outer size made from the client area.
void DesignStartupDialog(forms::Form& form, float clientWidth, float clientHeight);

// The header strip Pic_H with Image_H and L_H (0) and (1).
struct StartupHeader {
  forms::PictureBox& Pic_H;
  forms::Image& Image_H;
};
StartupHeader AddStartupHeader(forms::Form& form, forms::ControlArray<forms::Label>& L_H,
                               const std::wstring& title, const std::wstring& subtitle);

forms::StdFont GothicFont(float points, bool bold = false);

}  // namespace norvale
