#include "forms/TextBox.h"

#include <algorithm>
#include <vector>

namespace norvale::forms {

TextBox::TextBox(const Init& init) : Control(init) {
  backColor_ = kColorWindow;
  foreColor_ = kColorWindowText;
}

Control::WindowKind TextBox::Kind() const {
  DWORD style = ES_LEFT;
  style |= multiLine_ ? ES_MULTILINE | ES_AUTOVSCROLL : ES_AUTOHSCROLL;
  if (multiLine_ && (scrollBars_ & 1) == 0) style &= ~ES_AUTOHSCROLL;
  if (scrollBars_ & 1) style |= WS_HSCROLL | ES_AUTOHSCROLL;
  if (scrollBars_ & 2) style |= WS_VSCROLL;
  if (locked_) style |= ES_READONLY;
  return {L"EDIT", style, WS_EX_CLIENTEDGE, false};
}

void TextBox::AfterWindowCreated() {
  if (!hwnd_) return;
  SendMessageW(hwnd_, EM_LIMITTEXT, 0, 0);
  if (!passwordChar_.empty()) SendMessageW(hwnd_, EM_SETPASSWORDCHAR, passwordChar_[0], 0);
}

std::unique_ptr<Control> TextBox::NewElement(const Init& init) const {
  return std::make_unique<TextBox>(init);
}

void TextBox::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  const auto& box = static_cast<const TextBox&>(source);
  text_ = box.Text();
  multiLine_ = box.multiLine_;
  scrollBars_ = box.scrollBars_;
  locked_ = box.locked_;
  passwordChar_ = box.passwordChar_;
}

std::wstring TextBox::Text() const {
  if (hwnd_) {
    const int length = GetWindowTextLengthW(hwnd_);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int got = GetWindowTextW(hwnd_, buffer.data(), length + 1);
    text_.assign(buffer.data(), static_cast<size_t>(std::max(got, 0)));
  }
  return text_;
}

void TextBox::Text(const std::wstring& value) {
  text_ = value;
  ApplyWindowText(value);
}

bool TextBox::SetValue(const std::wstring& value) {
  Text(value);
  return true;
}

void TextBox::RecreateWindow() {
  if (!hwnd_) return;
  const std::wstring text = Text();
  const bool hadFocus = GetFocus() == hwnd_;
  DestroyWindow(hwnd_);
  text_ = text;
  CreateControlWindow();
  if (hadFocus && hwnd_) ::SetFocus(hwnd_);
}

void TextBox::MultiLine(bool value) {
  if (value == multiLine_) return;
  multiLine_ = value;
  RecreateWindow();
}

bool TextBox::ScrollBars(int16_t value) {
  if (value < 0 || value > 3) return false;
  if (value != scrollBars_) {
    scrollBars_ = value;
    RecreateWindow();
  }
  return true;
}

void TextBox::Locked(bool value) {
  locked_ = value;
  if (hwnd_) SendMessageW(hwnd_, EM_SETREADONLY, value, 0);
}

void TextBox::PasswordChar(const std::wstring& value) {
  passwordChar_ = value;
  if (hwnd_) {
    SendMessageW(hwnd_, EM_SETPASSWORDCHAR, value.empty() ? 0 : value[0], 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

void TextBox::SelectionRange(DWORD* start, DWORD* end) const {
  *start = *end = 0;
  if (hwnd_) {
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(start),
                 reinterpret_cast<LPARAM>(end));
  }
}

int32_t TextBox::SelStart() const {
  DWORD start, end;
  SelectionRange(&start, &end);
  return static_cast<int32_t>(start);
}

int32_t TextBox::SelLength() const {
  DWORD start, end;
  SelectionRange(&start, &end);
  return static_cast<int32_t>(end - start);
}

bool TextBox::SelStart(int32_t value) {
  if (value < 0 || !hwnd_) return false;
  const int32_t at = std::min<int32_t>(value, GetWindowTextLengthW(hwnd_));
  SendMessageW(hwnd_, EM_SETSEL, at, at);
  return true;
}

bool TextBox::SelLength(int32_t value) {
  if (value < 0 || !hwnd_) return false;
  const int32_t start = SelStart();
  const int32_t end = std::min<int32_t>(start + value, GetWindowTextLengthW(hwnd_));
  SendMessageW(hwnd_, EM_SETSEL, start, end);
  return true;
}

}  // namespace norvale::forms
