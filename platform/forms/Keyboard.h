#pragma once
// Keys as the form events see them.
#include <windows.h>

#include <cstdint>

namespace norvale::forms {

// Shift mask of KeyDown.
constexpr int16_t kShiftMask = 1;
constexpr int16_t kCtrlMask = 2;
constexpr int16_t kAltMask = 4;

// The modifier keys held now; `systemKey` (a system-key message) counts as
// Alt held.
int16_t CurrentShiftMask(bool systemKey = false);

// A typed character as its code in the ANSI code page: a single byte gives
// 0 to 255, a double-byte character the negative 16-bit value of its two
// bytes. 0 when it has no such code.
int16_t CharToKeyAscii(wchar_t character);
wchar_t KeyAsciiToChar(int16_t keyAscii);

// Presses and releases a key on the window that has the focus, and returns
// when the key has been handled.
void SendKeyStroke(UINT virtualKey);

}  // namespace norvale::forms
