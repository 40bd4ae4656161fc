#pragma once
// A form: a top-level window of the program with its controls. Its Left,
// Top, Width and Height are the outer place and size on the screen in twips;
// they keep the exact values set until the user really moves or resizes the
// window. The window events arrive as the virtual members below.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/Control.h"
#include "forms/Surface.h"
#include "forms/Widget.h"

namespace norvale::forms {

class Application;

// Why a form is being unloaded (QueryUnload's UnloadMode).
constexpr int16_t kFormControlMenu = 0;  // the close box or the system menu
constexpr int16_t kFormCode = 1;         // Unload called by the program
constexpr int16_t kAppWindows = 2;       // Windows is ending the session

// Window states.
constexpr int16_t kNormal = 0;
constexpr int16_t kMinimized = 1;
constexpr int16_t kMaximized = 2;

// Border styles.
constexpr int16_t kBorderNone = 0;
constexpr int16_t kBorderFixedSingle = 1;
constexpr int16_t kBorderSizable = 2;
constexpr int16_t kBorderFixedDialog = 3;

class Form : public Widget, public Surface {
 public:
  // The application must outlive its forms.
  Form(Application& app, std::wstring name);
  ~Form() override;

  Application& App() const { return app_; }
  Form& ParentForm() override { return *this; }
  bool IsContainer() const override { return true; }
  Surface* AsSurface() override { return this; }

  // Design: a control placed in the form or in one of its containers.
  template <typename T>
  T& Add(std::wstring name) {
    return Add<T>(std::move(name), *this);
  }
  template <typename T>
  T& Add(std::wstring name, Widget& container) {
    return static_cast<T&>(Adopt(std::make_unique<T>(Control::Init(*this, std::move(name), -1)),
                                 container));
  }
  // Design: element `index` of a control array (see ControlArray).
  template <typename T>
  T& AddElement(const std::wstring& arrayName, int16_t index, Widget& container) {
    return static_cast<T&>(
        Adopt(std::make_unique<T>(Control::Init(*this, arrayName, index)), container));
  }
  // Run time: a copy of an array's template as element `index`, hidden.
  Control* LoadElement(const Control& templateElement, int16_t index);

  // Every control of the form, nested ones included, in the order they were
  // made.
  const std::vector<Control*>& Controls() const { return controls_; }
  // The control that has (or last had) the focus on this form.
  Control* ActiveControl() const;

  const std::wstring& Caption() const { return caption_; }
  void Caption(const std::wstring& value);
  int16_t WindowState() const;
  // Refused for values other than 0 to 2.
  bool WindowState(int16_t value);
  int16_t BorderStyle() const { return borderStyle_; }
  bool BorderStyle(int16_t value);
  bool MaxButton() const { return maxButton_; }
  void MaxButton(bool value);
  bool MinButton() const { return minButton_; }
  void MinButton(bool value);
  bool ShowInTaskbar() const { return showInTaskbar_; }
  void ShowInTaskbar(bool value);
  // The form sees every key before its controls.
  bool KeyPreview() const { return keyPreview_; }
  void KeyPreview(bool value) { keyPreview_ = value; }
  // The window's icon from an icon resource of the module.
  bool Icon(HMODULE module, int resourceId);

  float Left() const override;
  bool Left(float value) override;
  float Top() const override;
  bool Top(float value) override;
  float Width() const override;
  bool Width(float value) override;
  float Height() const override;
  bool Height(float value) override;
  bool Visible(bool value) override;
  using Widget::Visible;
  bool BackColor(int32_t value) override;
  using Widget::BackColor;

  bool IsLoaded() const { return state_ == State::kLoaded; }
  // Adds the form to the loaded forms and raises Load. A form is loaded
  // once; an unloaded form object cannot be loaded again.
  bool Load();
  // Loads when needed and shows the form. Modal (1) returns when the form is
  // hidden or unloaded, with the other forms disabled meanwhile.
  bool Show(int16_t modal = 0);
  bool Hide();
  // Asks QueryUnload (mode kFormCode) and Unload; false when either cancels.
  bool Unload();

 protected:
  // Events of the form.
  virtual void Form_Load() {}
  virtual void Form_Activate() {}
  virtual void Form_Resize() {}
  virtual void Form_KeyDown(int16_t& KeyCode, int16_t Shift) { (void)KeyCode, (void)Shift; }
  virtual void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) { (void)Cancel, (void)UnloadMode; }
  virtual void Form_Unload(int16_t& Cancel) { (void)Cancel; }

  LRESULT WindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
  void ApplyPlacement() override;

 private:
  friend class Control;
  friend class Widget;
  friend class Application;
  enum class State { kDesign, kLoaded, kUnloaded };

  Control& Adopt(std::unique_ptr<Control> control, Widget& container);
  // True when the key must go no further.
  bool PreviewKeyDown(UINT message, WPARAM* key, LPARAM lParam);
  void MoveFocus(bool forward);
  void FocusFirst();
  void NoteFocus(Control& control) { lastFocus_ = &control; }
  bool UnloadWith(int16_t mode);
  void DestroyWindows();
  void ApplyStyles();
  void OnActivated();
  void RaiseActivate();
  void RaiseResize();
  void RunModalLoop();
  RECT PixelRect() const;
  void SyncModelFromWindow();
  DWORD Style() const;
  DWORD ExStyle() const;

  Application& app_;
  State state_ = State::kDesign;
  std::wstring caption_;
  int16_t windowState_ = kNormal;
  int16_t borderStyle_ = kBorderSizable;
  bool maxButton_ = true;
  bool minButton_ = true;
  bool showInTaskbar_ = true;
  bool keyPreview_ = false;
  bool showing_ = false;
  bool unloading_ = false;
  bool activatePending_ = false;
  int nextControlId_ = 100;
  std::vector<std::unique_ptr<Control>> owned_;
  std::vector<Control*> controls_;
  std::vector<Control*> tabOrder_;
  Control* lastFocus_ = nullptr;
  IconHandle bigIcon_;
  IconHandle smallIcon_;
};

}  // namespace norvale::forms
