#include "FtpSeams.h"

namespace norvale {

void WindowTextDisplay::SetText(const std::wstring& text) {
  SetWindowTextW(window_, text.c_str());
}

DWORD WinInetFileSize::OfOpenFile(HINTERNET file, const std::wstring&, DWORD* high) {
  return FtpGetFileSize(file, high);
}

}  // namespace norvale
