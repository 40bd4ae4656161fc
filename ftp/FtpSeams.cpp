#include "FtpSeams.h"

namespace norvale {

void WindowTextDisplay::SetText(const std::wstring& text) {
  SetWindowTextW(window_, text.c_str());
}

}  // namespace norvale
