#include "forms/OptionButton.h"

#include "forms/Form.h"

namespace norvale::forms {

OptionButton::OptionButton(const Init& init) : Control(init) {}

Control::WindowKind OptionButton::Kind() const {
  // Not an automatic radio button: the selection is the toolkit's.
  return {L"BUTTON", BS_RADIOBUTTON | BS_MULTILINE, 0, false};
}

std::unique_ptr<Control> OptionButton::NewElement(const Init& init) const {
  return std::make_unique<OptionButton>(init);
}

void OptionButton::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  caption_ = static_cast<const OptionButton&>(source).caption_;
  value_ = false;
}

void OptionButton::AfterWindowCreated() { SetCheckMark(value_); }

void OptionButton::Caption(const std::wstring& value) {
  caption_ = value;
  ApplyWindowText(value);
}

void OptionButton::SetCheckMark(bool selected) {
  if (hwnd_) SendMessageW(hwnd_, BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
}

void OptionButton::ClearOthersInContainer() {
  for (Control* c : ParentForm().Controls()) {
    auto* other = dynamic_cast<OptionButton*>(c);
    if (other && other != this && &other->Container() == &Container() && other->value_) {
      other->value_ = false;
      other->SetCheckMark(false);
    }
  }
}

void OptionButton::Value(bool selected) {
  const bool changed = selected != value_;
  if (selected) ClearOthersInContainer();
  value_ = selected;
  SetCheckMark(selected);
  if (selected && changed) RaiseClick();
}

bool OptionButton::IsTabStop() const {
  if (value_) return true;
  for (Control* c : const_cast<OptionButton*>(this)->ParentForm().Controls()) {
    auto* other = dynamic_cast<OptionButton*>(c);
    if (other && other != this && &other->Container() == &Container() && other->value_ &&
        other->CanFocusNow()) {
      return false;
    }
  }
  return true;
}

void OptionButton::OnCommand(WORD code) {
  if (code != BN_CLICKED) return;
  if (value_) {
    RaiseClick();
  } else {
    Value(true);
  }
}

void OptionButton::ContainerChanged(Widget& previous) {
  (void)previous;
  // The one that arrives selected stays the selected one.
  if (value_) ClearOthersInContainer();
}

}  // namespace norvale::forms
