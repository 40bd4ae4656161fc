#include "forms/CommandButton.h"

namespace norvale::forms {

CommandButton::CommandButton(const Init& init) : Control(init) {}

Control::WindowKind CommandButton::Kind() const {
  return {L"BUTTON", BS_PUSHBUTTON | BS_MULTILINE, 0, false};
}

std::unique_ptr<Control> CommandButton::NewElement(const Init& init) const {
  return std::make_unique<CommandButton>(init);
}

void CommandButton::CopyFrom(const Control& source) {
  Control::CopyFrom(source);
  caption_ = static_cast<const CommandButton&>(source).caption_;
}

void CommandButton::Caption(const std::wstring& value) {
  caption_ = value;
  ApplyWindowText(value);
}

void CommandButton::OnCommand(WORD code) {
  if (code == BN_CLICKED) RaiseClick();
}

bool CommandButton::KeyDownAction(WPARAM key) {
  if (key != VK_RETURN) return false;
  RaiseClick();
  return true;
}

}  // namespace norvale::forms
