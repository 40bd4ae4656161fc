#pragma once
// A text box: one line or many, read-only when locked, masked by a password
// character, with the selection as start and length in characters. Its
// text is the value a DDE link sends.
#include "forms/Control.h"
#include "forms/DdeLink.h"

namespace norvale::forms {

class TextBox : public Control, public DdeLink {
 public:
  explicit TextBox(const Init& init);

  // What the box shows now, typing included.
  std::wstring Text() const;
  void Text(const std::wstring& value);
  bool MultiLine() const { return multiLine_; }
  void MultiLine(bool value);
  // 0 none, 1 horizontal, 2 vertical, 3 both; other values are refused.
  int16_t ScrollBars() const { return scrollBars_; }
  bool ScrollBars(int16_t value);
  bool Locked() const { return locked_; }
  void Locked(bool value);
  // The first character masks the text; empty shows it.
  const std::wstring& PasswordChar() const { return passwordChar_; }
  void PasswordChar(const std::wstring& value);

  int32_t SelStart() const;
  // Places the caret; the selection becomes empty. Negative is refused.
  bool SelStart(int32_t value);
  int32_t SelLength() const;
  // Selects from SelStart on, at most to the end. Negative is refused.
  bool SelLength(int32_t value);

  bool TakesFocus() const override { return true; }
  bool SetValue(const std::wstring& value) override;

 protected:
  WindowKind Kind() const override;
  std::wstring InitialWindowText() const override { return text_; }
  void AfterWindowCreated() override;
  std::unique_ptr<Control> NewElement(const Init& init) const override;
  void CopyFrom(const Control& source) override;
  std::wstring LinkValue() const override { return Text(); }

 private:
  // Line mode and scroll bars are fixed at creation: the window is made
  // anew around the same model.
  void RecreateWindow();
  void SelectionRange(DWORD* start, DWORD* end) const;

  mutable std::wstring text_;
  bool multiLine_ = false;
  int16_t scrollBars_ = 0;
  bool locked_ = false;
  std::wstring passwordChar_;
};

}  // namespace norvale::forms
