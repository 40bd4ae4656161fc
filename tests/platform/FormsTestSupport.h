#pragma once
// Helpers for driving real forms headless: an event-recording form, a
// recorded end of the program, pumping until something happened, real key
// presses, and a hand that answers a real message box from another thread.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "forms/Forms.h"

namespace forms_testing {

namespace forms = norvale::forms;

class RecordingEnd final : public forms::IProgramEnd {
 public:
  using norvale::forms::IProgramEnd::End;
  void End(int) override { ++ends; }
  int ends = 0;
};

// A form that writes its events into a log ("Load", "Activate", ...).
class EventForm : public forms::Form {
 public:
  EventForm(forms::Application& app, const std::wstring& name) : Form(app, name) {}

  std::vector<std::wstring> log;
  int16_t cancelQueryUnload = 0;
  int16_t cancelUnload = 0;
  std::vector<int16_t> unloadModes;
  struct Key {
    int16_t code;
    int16_t shift;
  };
  std::vector<Key> keys;
  bool swallowKeys = false;
  std::function<void()> onActivate;
  std::function<void()> onLoad;

  int Count(const std::wstring& event) const;
  using Form::Form_Resize;

 protected:
  void Form_Load() override;
  void Form_Activate() override;
  void Form_Resize() override { log.push_back(L"Resize"); }
  void Form_KeyDown(int16_t& KeyCode, int16_t Shift) override;
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) override;
  void Form_Unload(int16_t& Cancel) override;
};

// Handles messages until the condition holds or the time is up.
bool PumpUntil(forms::Application& app, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
void PumpFor(forms::Application& app, std::chrono::milliseconds time);

// Real key presses through the system's input queue; modifiers are held
// around the key.
void PressKey(WORD key, bool shift = false, bool ctrl = false, bool alt = false);
// Key events in one batch: (key, released).
void PressKeySequence(const std::vector<std::pair<WORD, bool>>& events);

// Waits on another thread for a dialog of this process with the title,
// records its text and clicks the button with the id.
class BoxAnswerer {
 public:
  BoxAnswerer(std::wstring title, int button);
  ~BoxAnswerer();
  bool Answered() const { return answered_; }
  std::wstring Text() const;

 private:
  std::wstring title_;
  int button_;
  std::atomic<bool> answered_{false};
  std::atomic<bool> stop_{false};
  std::wstring text_;
  std::thread thread_;
};

}  // namespace forms_testing
