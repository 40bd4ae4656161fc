#pragma once
// A product program that keeps running from the install folder (a copy of
// the running_product helper), as a user leaves one open while the product
// is removed: its file stays mapped until the test ends it.
#include <windows.h>

#include <string>

#include "Handles.h"

namespace testing_support {

class RunningProgram {
 public:
  // Copies `helper` to `at` (which must not exist yet) and starts it there.
  RunningProgram(const std::wstring& helper, const std::wstring& at) {
    if (!CopyFileW(helper.c_str(), at.c_str(), TRUE)) return;
    const std::wstring event = L"nv-running-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(GetTickCount64());
    const norvale::KernelHandle started(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = L"\"" + at + L"\" " + event;
    if (!started || !CreateProcessW(at.c_str(), line.data(), nullptr, nullptr, FALSE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
      return;
    }
    process_.Reset(info.hProcess);
    CloseHandle(info.hThread);
    running_ = WaitForSingleObject(started.Get(), 30000) == WAIT_OBJECT_0;
  }
  ~RunningProgram() { End(); }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // It was copied, started and says it runs.
  bool Running() const { return running_; }
  // Ends it and waits until its file is let go.
  void End() {
    if (!process_) return;
    TerminateProcess(process_.Get(), 0);
    WaitForSingleObject(process_.Get(), 30000);
    process_.Reset();
    running_ = false;
  }

 private:
  norvale::KernelHandle process_;
  bool running_ = false;
};

}  // namespace testing_support
