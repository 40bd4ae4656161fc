#include "forms/Label.h"

namespace norvale::forms {

Label::Label(const Init& init) : Control(init) {}

Control::WindowKind Label::Kind() const {
  return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0, false};
}

std::unique_ptr<Control> Label::NewElement(const Init& init) const {
  return std::make_unique<Label>(init);
}

void Label::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  caption_ = static_cast<const Label&>(source).caption_;
}

void Label::Caption(const std::wstring& value) {
  caption_ = value;
  ApplyWindowText(value);
}

bool Label::SetValue(const std::wstring& value) {
  Caption(value);
  return true;
}

void Label::OnCommand(WORD code) {
  if (code == STN_CLICKED) RaiseClick();
}

}  // namespace norvale::forms
