#pragma once
// The program's side of the toolkit: the collection of loaded forms, the
// screen, the message loop with DoEvents, and the end of the program.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace norvale::forms {

// Runs every message that is waiting, leaving a quit request for the main
// loop to see.
void PumpWaitingMessages();

class Form;

// "End the program": production ends the process at once, as the programs'
// own end statement does, with the exit code its caller reads (a quiet
// run's caller reads nothing else); tests record it instead.
class IProgramEnd {
 public:
  virtual ~IProgramEnd() = default;
  void End() { End(0); }
  virtual void End(int exitCode) = 0;
};

class SystemProgramEnd final : public IProgramEnd {
 public:
  using IProgramEnd::End;
  void End(int exitCode) override { ExitProcess(static_cast<UINT>(exitCode)); }
};

class Application;

// The screen in twips, and the form the user works in.
class Screen {
 public:
  explicit Screen(const Application& app) : app_(app) {}
  float Width() const;
  float Height() const;
  float TwipsPerPixelX() const;
  float TwipsPerPixelY() const;
  Form* ActiveForm() const;

 private:
  const Application& app_;
};

class Application {
 public:
  explicit Application(std::shared_ptr<IProgramEnd> programEnd =
                           std::make_shared<SystemProgramEnd>());
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The application of the calling thread, null when it has none.
  static Application* Current();

  // Loaded forms in load order.
  const std::vector<Form*>& Forms() const { return forms_; }
  // The first loaded form of that exact name, null when none.
  Form* FindForm(const std::wstring& name) const;
  // Is this very form object loaded?
  bool IsLoaded(const Form* form) const;
  forms::Screen Screen() const { return forms::Screen(*this); }

  // Runs the message loop until the last form has unloaded or the program
  // was ended; returns the exit code.
  int Run();
  // Handles the window messages waiting now, so the windows stay responsive
  // during a long step; returns the number of loaded forms.
  int DoEvents();
  // Ends the program through the seam with exitCode, which Run then
  // returns where the seam lets the program go on.
  void End(int exitCode = 0);
  bool Ended() const { return ended_; }

  // The hidden window that owns the forms kept out of the taskbar.
  HWND hWnd() const { return hwnd_; }

 private:
  friend class Form;
  friend class Screen;
  void FormLoaded(Form& form);
  void FormUnloaded(Form& form);
  // Called when a form's window becomes active; true when the form's
  // Activate event is due (the active form changed).
  bool FormActivated(Form& form);
  // Another window of this program (a message box, a dialog) took the
  // activation from the forms.
  void ActivationLeftForms() { activateOwner_ = nullptr; }
  void WakeLoop();

  std::shared_ptr<IProgramEnd> programEnd_;
  std::vector<Form*> forms_;
  Form* activeForm_ = nullptr;
  Form* activateOwner_ = nullptr;
  bool ended_ = false;
  int exitCode_ = 0;
  HWND hwnd_ = nullptr;
};

}  // namespace norvale::forms
