#include "forms/CheckBox.h"

namespace norvale::forms {

CheckBox::CheckBox(const Init& init) : Control(init) {}

Control::WindowKind CheckBox::Kind() const {
  // Not automatic: the value is the toolkit's.
  return {L"BUTTON", BS_3STATE | BS_MULTILINE, 0, false};
}

std::unique_ptr<Control> CheckBox::NewElement(const Init& init) const {
  return std::make_unique<CheckBox>(init);
}

void CheckBox::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  const auto& box = static_cast<const CheckBox&>(source);
  caption_ = box.caption_;
  value_ = box.value_;
}

void CheckBox::AfterWindowCreated() { SetCheckMark(); }

void CheckBox::Caption(const std::wstring& value) {
  caption_ = value;
  ApplyWindowText(value);
}

void CheckBox::SetCheckMark() {
  if (!hwnd_) return;
  SendMessageW(hwnd_, BM_SETCHECK,
               value_ == 1 ? BST_CHECKED : value_ == 2 ? BST_INDETERMINATE : BST_UNCHECKED, 0);
}

bool CheckBox::Value(int16_t value) {
  if (value < 0 || value > 2) return false;
  const bool changed = value != value_;
  value_ = value;
  SetCheckMark();
  if (changed) RaiseClick();
  return true;
}

void CheckBox::OnCommand(WORD code) {
  // A click ticks an unticked or greyed box and unticks a ticked one.
  if (code == BN_CLICKED) Value(value_ == 1 ? 0 : 1);
}

}  // namespace norvale::forms
