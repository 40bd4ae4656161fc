#include "ScriptedMessageBox.h"

namespace norvale {

int ScriptedMessageBox::Show(const std::wstring& text, const std::wstring& title,
                             unsigned style) {
  asked_.push_back({text, title, style});
  if (!answers_.empty()) {
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  // Unscripted questions get the answer a user who just presses Enter gives.
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return (style & MB_DEFMASK) == MB_DEFBUTTON2 ? IDCANCEL : IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL: {
      unsigned def = style & MB_DEFMASK;
      if (def == MB_DEFBUTTON2) return IDNO;
      if (def == MB_DEFBUTTON3) return IDCANCEL;
      return IDYES;
    }
    case MB_RETRYCANCEL: return (style & MB_DEFMASK) == MB_DEFBUTTON2 ? IDCANCEL : IDRETRY;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
  }
}

}  // namespace norvale
