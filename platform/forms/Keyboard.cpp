#include "forms/Keyboard.h"

namespace norvale::forms {

int16_t CurrentShiftMask(bool systemKey) {
  int16_t mask = 0;
  if (GetKeyState(VK_SHIFT) < 0) mask |= kShiftMask;
  if (GetKeyState(VK_CONTROL) < 0) mask |= kCtrlMask;
  if (systemKey || GetKeyState(VK_MENU) < 0) mask |= kAltMask;
  return mask;
}

int16_t CharToKeyAscii(wchar_t character) {
  char bytes[4] = {};
  // No used-default question: Windows refuses it for a UTF-8 ANSI code page
  // (the "Unicode UTF-8 for worldwide language support" option), and every
  // typed character would then read as 0.
  const int n =
      WideCharToMultiByte(CP_ACP, 0, &character, 1, bytes, sizeof bytes, nullptr, nullptr);
  if (n == 1) return static_cast<int16_t>(static_cast<unsigned char>(bytes[0]));
  if (n == 2) {
    return static_cast<int16_t>((static_cast<unsigned char>(bytes[0]) << 8) |
                                static_cast<unsigned char>(bytes[1]));
  }
  return 0;
}

wchar_t KeyAsciiToChar(int16_t keyAscii) {
  char bytes[2];
  int n = 0;
  const uint16_t code = static_cast<uint16_t>(keyAscii);
  if (code <= 0xFF) {
    bytes[n++] = static_cast<char>(code);
  } else {
    bytes[n++] = static_cast<char>(code >> 8);
    bytes[n++] = static_cast<char>(code & 0xFF);
  }
  wchar_t out[2] = {};
  return MultiByteToWideChar(CP_ACP, 0, bytes, n, out, 2) == 1 ? out[0] : 0;
}

void SendKeyStroke(UINT virtualKey) {
  HWND target = GetFocus();
  if (!target) target = GetActiveWindow();
  if (!target) return;
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  const LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
  // Sent rather than posted: the key is handled when the call returns.
  SendMessageW(target, WM_KEYDOWN, virtualKey, down);
  if (IsWindow(target)) SendMessageW(target, WM_KEYUP, virtualKey, up);
}

}  // namespace norvale::forms
