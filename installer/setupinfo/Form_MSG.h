#pragma once
// The progress window of the start-up: a header, the FTP client's message
// line and a gauge.
#include <cstdint>
#include <functional>

#include "FtpSeams.h"
#include "StartupForms.h"
#include "forms/Forms.h"

namespace norvale {

class Form_MSG : public forms::Form {
 public:
  explicit Form_MSG(forms::Application& app);

  forms::ControlArray<forms::Label> L_H{L"L_H"};

 private:
  StartupHeader header_;

 public:
  forms::PictureBox& Pic_H;
  forms::Image& Image_H;
  forms::Label& L_MSG;
  forms::PictureBox& Pic_ingM;
  forms::PictureBox& Pic_ing;
  forms::CommandButton& C_OK;

  // A negative value hides the gauge; otherwise the bar takes that share of
  // the frame (no upper limit).
  void Dispゲージ(int16_t intValue);

  // L_MSG as the FTP client's display; valid while the window is loaded.
  std::shared_ptr<ITextDisplay> MessageDisplay();

 protected:
  void Form_Load() override;
};

}  // namespace norvale
