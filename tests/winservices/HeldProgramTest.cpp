#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Handles.h"
#include "HeldProgram.h"
#include "ServicesTestSupport.h"
#include "System.h"
#include "TempDir.h"
#include "WinServicesSeams.h"
#include "WinServicesTestSupport.h"

using namespace testing_support;
using norvale::HeldProgram;
using norvale::KernelHandle;

namespace {

bool EndsWithin(HANDLE process, DWORD milliseconds) {
  return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
}

DWORD ExitCodeOf(HANDLE process) {
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

// "nvws_helper sleep <ms> <code>" started held by this process.
std::optional<HeldProgram> HoldHelper(DWORD milliseconds, int code) {
  norvale::SystemProgramStarts starts;
  return starts.StartHeld(HelperPath(),
                          L"\"" + HelperPath() + L"\" sleep " + std::to_wstring(milliseconds) +
                              L" " + std::to_wstring(code),
                          SW_HIDE, {});
}

// The same held as where no job can be had.
std::optional<HeldProgram> HoldOutsideAJob(DWORD milliseconds, int code) {
  std::wstring line = L"\"" + HelperPath() + L"\" sleep " + std::to_wstring(milliseconds) + L" " +
                      std::to_wstring(code);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(HelperPath().c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &info)) {
    return std::nullopt;
  }
  return HeldProgram(info.dwProcessId, KernelHandle(info.hProcess), KernelHandle(info.hThread));
}

// A handle of the test's own on a program, which it ends when the test is
// over, should it still run.
class Watched {
 public:
  Watched() = default;
  explicit Watched(const HeldProgram& program) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), program.Process(), GetCurrentProcess(), &copy,
                    SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, 0);
    process_.Reset(copy);
  }
  explicit Watched(HANDLE process) : process_(process) {}
  ~Watched() {
    if (process_ && !EndsWithin(process_.Get(), 0)) TerminateProcess(process_.Get(), 1);
  }
  Watched(Watched&&) = default;
  Watched& operator=(Watched&&) = default;
  HANDLE Get() const { return process_.Get(); }
  explicit operator bool() const { return process_.Valid(); }

 private:
  KernelHandle process_;
};

// One run of "nvws_starter" (inside `job` when one is given) and the program
// it holds, opened while the starter waits for the go.
class StarterRun {
 public:
  StarterRun(const std::wstring& ending, DWORD heldMilliseconds, HANDLE job = nullptr) {
    const std::wstring idFile = dir_ / L"held.id";
    const std::wstring goName = UniqueName(L"go");
    go_.Reset(CreateEventW(nullptr, TRUE, FALSE, goName.c_str()));
    const std::wstring starter = norvale::ProgramFolder() + L"\\nvws_starter.exe";
    std::wstring line = L"\"" + starter + L"\" \"" + idFile + L"\" " + goName + L" " + ending +
                        L" " + std::to_wstring(heldMilliseconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(starter.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &info)) {
      return;
    }
    starter_ = Watched(info.hProcess);
    const KernelHandle thread(info.hThread);
    if (job) AssignProcessToJobObject(job, starter_.Get());
    ResumeThread(thread.Get());
    std::string text;
    WaitUntil(
        [&] {
          text = ReadFileBytes(idFile);
          return !text.empty() || EndsWithin(starter_.Get(), 0);
        },
        10000);
    const DWORD id = text.empty() ? 0 : std::stoul(text);
    if (id) {
      held_ = Watched(OpenProcess(
          SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id));
    }
  }
  StarterRun(const StarterRun&) = delete;
  StarterRun& operator=(const StarterRun&) = delete;

  HANDLE Held() const { return held_.Get(); }
  // Lets the starter end as it was asked to; its exit code.
  DWORD Go() {
    SetEvent(go_.Get());
    return EndsWithin(starter_.Get(), 10000) ? ExitCodeOf(starter_.Get()) : STILL_ACTIVE;
  }

 private:
  TempDir dir_{L"held"};
  KernelHandle go_;
  Watched starter_;
  Watched held_;
};

// A job as whoever started us may have put us in.
KernelHandle EnclosingJob(DWORD limitFlags) {
  KernelHandle job(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = limitFlags;
  SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  return job;
}

TEST(HeldProgram, RunsOnlyOnceLetRun) {
  std::optional<HeldProgram> program = HoldHelper(100, 5);
  ASSERT_TRUE(program);
  EXPECT_TRUE(program->Held());
  EXPECT_NE(program->Id(), 0u);
  // Running, it would have ended long before.
  EXPECT_FALSE(EndsWithin(program->Process(), 1000));
  ASSERT_TRUE(program->LetRun());
  EXPECT_FALSE(program->Held());
  ASSERT_TRUE(EndsWithin(program->Process(), 5000));
  EXPECT_EQ(ExitCodeOf(program->Process()), 5u);
  EXPECT_TRUE(program->LetRun());

  norvale::SystemProgramStarts starts;
  SetLastError(0);
  EXPECT_FALSE(starts.StartHeld(L"C:\\nvws-none\\none.exe", L"none.exe", SW_HIDE, {}));
  EXPECT_NE(GetLastError(), 0u);
}

TEST(HeldProgram, StopEndsItHeldOrLetRun) {
  for (const bool letRun : {false, true}) {
    std::optional<HeldProgram> program = HoldHelper(60000, 0);
    ASSERT_TRUE(program);
    const Watched watched(*program);
    if (letRun) {
      ASSERT_TRUE(program->LetRun());
    }
    EXPECT_TRUE(program->Stop());
    EXPECT_FALSE(program->Held());
    EXPECT_TRUE(EndsWithin(program->Process(), 5000)) << letRun;
    // Ended already.
    EXPECT_TRUE(program->Stop());
  }
}

// Its owner going (or another program put in its place) ends a program
// still held, and leaves one that was let run alone: also where the program
// could be put into no job (Windows 7 inside a job of its own starter).
TEST(HeldProgram, ItsOwnerEndsItOnlyWhileHeld) {
  for (const bool inJob : {true, false}) {
    auto hold = inJob ? HoldHelper : HoldOutsideAJob;
    Watched held, replaced, letRun;
    {
      std::optional<HeldProgram> program = hold(60000, 0);
      ASSERT_TRUE(program);
      held = Watched(*program);
    }
    EXPECT_TRUE(EndsWithin(held.Get(), 5000)) << inJob;
    {
      std::optional<HeldProgram> program = hold(60000, 0);
      ASSERT_TRUE(program);
      replaced = Watched(*program);
      std::optional<HeldProgram> next = hold(1000, 7);
      ASSERT_TRUE(next);
      *program = std::move(*next);
      EXPECT_TRUE(EndsWithin(replaced.Get(), 5000)) << inJob;
      ASSERT_TRUE(program->LetRun());
      letRun = Watched(*program);
    }
    EXPECT_FALSE(EndsWithin(letRun.Get(), 200)) << inJob;
    ASSERT_TRUE(EndsWithin(letRun.Get(), 10000));
    EXPECT_EQ(ExitCodeOf(letRun.Get()), 7u);
  }
}

// Killed, or ended without a word, while the program is held: the system
// ends the program with it, instead of leaving it held for good.
TEST(HeldProgram, NothingHeldOutlivesAStarterThatDies) {
  for (const auto& [ending, code] : {std::pair{L"killed", 5u}, std::pair{L"exited", 6u}}) {
    StarterRun run(ending, 60000);
    ASSERT_TRUE(run.Held());
    EXPECT_FALSE(EndsWithin(run.Held(), 200));
    ASSERT_EQ(run.Go(), code);
    EXPECT_TRUE(EndsWithin(run.Held(), 5000)) << Narrow(ending) << ": the held program stays";
  }
}

TEST(HeldProgram, AProgramLetRunOutlivesItsStarterAndEndsByItself) {
  StarterRun run(L"letgo", 2000);
  ASSERT_TRUE(run.Held());
  ASSERT_EQ(run.Go(), 5u);
  EXPECT_FALSE(EndsWithin(run.Held(), 200));
  ASSERT_TRUE(EndsWithin(run.Held(), 10000));
  EXPECT_EQ(ExitCodeOf(run.Held()), 7u);
}

// A starter that itself runs in a job: one that lets nothing break away
// still gets its program started and ended with it; one that lets programs
// break away and ends everything in it when it closes does not take the
// program let run along.
TEST(HeldProgram, AStarterInAJobOfItsOwnStarter) {
  {
    const KernelHandle job = EnclosingJob(0);
    StarterRun run(L"letgo", 500, job.Get());
    ASSERT_TRUE(run.Held());
    ASSERT_EQ(run.Go(), 5u);
    ASSERT_TRUE(EndsWithin(run.Held(), 10000));
    EXPECT_EQ(ExitCodeOf(run.Held()), 7u);
  }
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  norvale::SystemWindowsFacts().GetVersion(version);
  // Windows 7 puts no job inside another.
  if (version.dwMajorVersion > 6 || version.dwMinorVersion >= 2) {
    const KernelHandle job = EnclosingJob(0);
    StarterRun run(L"killed", 60000, job.Get());
    ASSERT_TRUE(run.Held());
    ASSERT_EQ(run.Go(), 5u);
    EXPECT_TRUE(EndsWithin(run.Held(), 5000)) << "the held program stays";
  }
  KernelHandle job =
      EnclosingJob(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK);
  StarterRun run(L"letgo", 2000, job.Get());
  ASSERT_TRUE(run.Held());
  ASSERT_EQ(run.Go(), 5u);
  job.Reset();
  EXPECT_FALSE(EndsWithin(run.Held(), 200));
  ASSERT_TRUE(EndsWithin(run.Held(), 10000));
  EXPECT_EQ(ExitCodeOf(run.Held()), 7u);
}

}  // namespace
