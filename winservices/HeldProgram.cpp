#include "HeldProgram.h"

#include <utility>

namespace norvale {

namespace {

bool SetJobLimits(HANDLE job, DWORD limitFlags) noexcept {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = limitFlags;
  return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits)) !=
         FALSE;
}

}  // namespace

HeldProgram::HeldProgram(DWORD processId, KernelHandle process, KernelHandle thread,
                         KernelHandle job) noexcept
    : processId_(processId),
      process_(std::move(process)),
      thread_(std::move(thread)),
      job_(std::move(job)) {}

HeldProgram::~HeldProgram() {
  if (Held()) Stop();
}

HeldProgram& HeldProgram::operator=(HeldProgram&& other) noexcept {
  if (this == &other) return *this;
  if (Held()) Stop();
  processId_ = std::exchange(other.processId_, 0);
  process_ = std::move(other.process_);
  thread_ = std::move(other.thread_);
  job_ = std::move(other.job_);
  return *this;
}

bool HeldProgram::LetRun() noexcept {
  if (!Held()) return true;
  // The limit goes before the thread runs: a program that runs while the
  // job still ends it with us would be ended in the middle of its work.
  if (job_ && !SetJobLimits(job_.Get(), 0)) return false;
  if (ResumeThread(thread_.Get()) == static_cast<DWORD>(-1)) {
    const DWORD error = GetLastError();
    // Still held: it must again go with us.
    if (job_) SetJobLimits(job_.Get(), JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE);
    SetLastError(error);
    return false;
  }
  thread_.Reset();
  // Without its limit the job no longer ends anything when it closes.
  job_.Reset();
  return true;
}

bool HeldProgram::Stop() noexcept {
  bool ended = false;
  if (process_) {
    DWORD code = 0;
    ended = TerminateProcess(process_.Get(), 1) ||
            (GetExitCodeProcess(process_.Get(), &code) && code != STILL_ACTIVE);
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
  }
  const DWORD error = GetLastError();
  thread_.Reset();
  job_.Reset();
  SetLastError(error);
  return ended;
}

KernelHandle JobEndingWithItsLastHandle() noexcept {
  // Unnamed and not inherited: no other process gets a handle that would
  // keep the job open after ours has gone.
  KernelHandle job(CreateJobObjectW(nullptr, nullptr));
  if (job && !SetJobLimits(job.Get(), JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE)) job.Reset();
  return job;
}

}  // namespace norvale
