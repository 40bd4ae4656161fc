#pragma once
// A program whose first thread was held at its start: it does nothing until
// its owner lets it run, and while it is held it must not outlive the owner.
// A program that stays held for good would keep what it was started for
// (its files, its folder) for good.
#include <windows.h>

#include "Handles.h"

namespace norvale {

class HeldProgram {
 public:
  // Takes the new process's handles. Without a thread the program runs
  // already (a stand-in that starts it at once); with a job, the system
  // ends the program when the job's last handle closes, that is when this
  // process goes whichever way it goes, until it is let run.
  HeldProgram(DWORD processId, KernelHandle process, KernelHandle thread = {},
              KernelHandle job = {}) noexcept;
  // Stops a program that is still held.
  ~HeldProgram();
  HeldProgram(HeldProgram&& other) noexcept = default;
  HeldProgram& operator=(HeldProgram&& other) noexcept;
  HeldProgram(const HeldProgram&) = delete;
  HeldProgram& operator=(const HeldProgram&) = delete;

  DWORD Id() const noexcept { return processId_; }
  // Null where a stand-in handed out none.
  HANDLE Process() const noexcept { return process_.Get(); }
  bool Held() const noexcept { return thread_.Valid(); }
  // Held in a job that ends it should this process end first. Windows 7
  // puts no job inside another: within a job that allows no breakaway the
  // program is held without one, and would stay held for good.
  bool EndsWithItsStarter() const noexcept { return job_.Valid(); }

  // Lets the program run on its own for good, also after this process has
  // ended. True when it runs; false, with the Windows error as the last
  // error, when it stays held.
  bool LetRun() noexcept;
  // Ends the program, held or let run. True when it is ended or had ended.
  bool Stop() noexcept;

 private:
  DWORD processId_ = 0;
  KernelHandle process_;
  KernelHandle thread_;
  KernelHandle job_;
};

// A job of its own for a program to be held: the system ends what is in it
// when its last handle closes. Empty when Windows makes none.
KernelHandle JobEndingWithItsLastHandle() noexcept;

}  // namespace norvale
