#pragma once
// A control on a form: its place is relative to its container (the form, a
// frame or a picture box), it may be an element of a control array, and it
// raises the events the windows handle.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "forms/Widget.h"

namespace norvale::forms {

class Form;

// The mouse pointer a control shows while the mouse is over it.
enum class PointerShape {
  kDefault,  // the window's own
  kHand,     // the system's hand, as over a link
};

class Control : public Widget {
 public:
  // Made only by a form (Form::Add, ControlArray); the passkey keeps it so.
  class Init {
   public:
    Form& form;
    std::wstring name;
    int16_t index;

   private:
    friend class Form;
    Init(Form& f, std::wstring n, int16_t i) : form(f), name(std::move(n)), index(i) {}
  };

  ~Control() override;

  // The element's index in its control array, -1 for a single control.
  int16_t Index() const { return index_; }
  Form& ParentForm() override { return form_; }

  Widget& Container() const { return *container_; }
  // Moves the control into another container of the same form, keeping its
  // Left and Top relative to the new one. Refused for a widget that holds no
  // controls, another form's widget, or the control itself or one inside it.
  bool Container(Widget& container);

  // Refused when the control cannot take the focus: a kind without focus, or
  // the control, one of its containers or its form hidden or disabled.
  bool SetFocus();
  // Position in the form's tab order, from 0.
  int16_t TabIndex() const;
  bool TabIndex(int16_t position);

  bool Visible(bool value) override;
  using Widget::Visible;
  bool Enabled(bool value) override;
  using Widget::Enabled;

  // Answered when Windows asks for the pointer over the control itself.
  PointerShape MousePointer() const { return mousePointer_; }
  void MousePointer(PointerShape value) { mousePointer_ = value; }

  // Events; Index is the element's index (-1 for a single control).
  std::function<void(int16_t Index)> Click;
  std::function<void(int16_t Index)> GotFocus;
  // KeyAscii is the character in the ANSI code page (a double-byte
  // character gives a negative code); 0 drops the key, another code
  // replaces it.
  std::function<void(int16_t Index, int16_t& KeyAscii)> KeyPress;

  // Can this kind of control take the focus at all?
  virtual bool TakesFocus() const { return false; }
  // Could it take the focus now (visible and enabled up to the form)?
  bool CanFocusNow() const;
  // Does the Tab key stop here (among option buttons only at the selected
  // one)?
  virtual bool IsTabStop() const { return true; }

 protected:
  explicit Control(const Init& init);

  struct WindowKind {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
    bool ownClass;  // a class of the toolkit rather than a standard one
  };
  virtual WindowKind Kind() const = 0;
  virtual std::wstring InitialWindowText() const { return L""; }
  // Puts the model into a window just made.
  virtual void AfterWindowCreated() {}
  // A new element of the same kind, for control arrays.
  virtual std::unique_ptr<Control> NewElement(const Init& init) const = 0;
  // Copies what an array element takes over from its template; the element
  // stays hidden.
  virtual void CopyFrom(const Control& source);

  bool CreateControlWindow();
  void ApplyPlacement() override;
  LRESULT WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
  bool FilterKeyPress(WPARAM* character) override;
  void RaiseClick();
  virtual void ContainerChanged(Widget& previous) { (void)previous; }

 private:
  friend class Form;
  bool IsInside(const Widget& widget) const;

  Form& form_;
  int16_t index_;
  Widget* container_;
  int controlId_ = 0;
  PointerShape mousePointer_ = PointerShape::kDefault;
};

// Runs an event handler of the program; what it throws stops there.
template <typename F, typename... A>
void RaiseEvent(const F& handler, A&&... args) {
  if constexpr (std::is_constructible_v<bool, const F&>) {
    if (!static_cast<bool>(handler)) return;
  }
  try {
    handler(std::forward<A>(args)...);
  } catch (...) {
  }
}

}  // namespace norvale::forms
