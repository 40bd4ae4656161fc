#pragma once
// Registry fixtures of the Windows services tests: unique keys that are
// removed again, reads of either registry view from the outside, the reg.exe
// of the prefix, and the stand-ins for Windows and for a user without
// administrator rights.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "WinServicesSeams.h"
#include "clsWinCommon.h"

// Reaches the lines of the object's last listings and its process list.
struct clsWinCommonTestAccess {
  static const std::vector<std::wstring>& Values(const clsWinCommon& w) {
    return w.m_RegEnumValues;
  }
  static const std::vector<std::wstring>& SubKeys(const clsWinCommon& w) {
    return w.m_RegEnumSubKeys;
  }
  static const std::vector<PROCESSENTRY32W>& Processes(const clsWinCommon& w) {
    return w.m_ProcessList;
  }
  static const NOTIFYICONDATAW& TrayIcon(const clsWinCommon& w) { return w.m_TrayIcon; }
  static bool OSVersionEx(OSVERSIONINFOW& info) { return clsWinCommon::GetOSVersionEx(info); }
};

namespace testing_support {

constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;
// The view a program of this build reads and writes by default: the 32-bit
// one for the 32-bit programs we ship, the 64-bit one for a 64-bit test build
// (made where the kernel cannot run 32-bit programs), and the other one.
constexpr bool kIs32BitProgram = sizeof(void*) == 4;
constexpr REGSAM kOwnView = kIs32BitProgram ? kView32 : kView64;
constexpr REGSAM kOtherView = kIs32BitProgram ? kView64 : kView32;

// Only a 32-bit program on 64-bit Windows sees two views as its own and the
// 64-bit one: what tests that split can check exists only in that build.
#define SKIP_UNLESS_32BIT_PROGRAM()                                      \
  if (!::testing_support::kIs32BitProgram)                               \
  GTEST_SKIP() << "a 64-bit test build has no 32-bit view of its own"

// A name no other test process and no earlier run uses.
std::wstring UniqueName(const std::wstring& hint);

// A key path the test owns; its tree is deleted in both views when the
// owner goes.
class ScopedRegKey {
 public:
  ScopedRegKey(HKEY root, std::wstring path);
  ~ScopedRegKey();
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;
  HKEY Root() const { return root_; }
  const std::wstring& Path() const { return path_; }

 private:
  HKEY root_;
  std::wstring path_;
};

// A value the test put into a key it does not own (a system key such as the
// fonts or Layers key); removed in both views when the owner goes.
class ScopedRegValue {
 public:
  ScopedRegValue(HKEY root, std::wstring path, std::wstring name);
  ~ScopedRegValue();
  ScopedRegValue(const ScopedRegValue&) = delete;
  ScopedRegValue& operator=(const ScopedRegValue&) = delete;

 private:
  HKEY root_;
  std::wstring path_, name_;
};

struct RawValue {
  DWORD type = 0;
  std::vector<BYTE> bytes;
  std::wstring Text() const;  // REG_SZ data up to its first NUL
  uint32_t Dword() const;
};

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view);
std::optional<RawValue> ReadRaw(HKEY root, const std::wstring& path, const std::wstring& name,
                                REGSAM view);
// Writes into the given view (0 is the test program's own view).
void WriteRaw(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const void* data, DWORD size, REGSAM view);
void WriteText(HKEY root, const std::wstring& path, const std::wstring& name,
               const std::wstring& text, REGSAM view);
// The bytes a value reads as through the ANSI registry function.
std::optional<std::string> ReadAnsiBytes(HKEY root, const std::wstring& path,
                                         const std::wstring& name, REGSAM view);

// The prefix's reg.exe run from outside the program, "query KEY [/v NAME]
// /reg:64": its exit code and what it printed.
struct RegExeResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::wstring output;
};
RegExeResult RegExeQuery(const std::wstring& machineKeyPath, const std::wstring& valueName,
                         int bits);

// A Windows of the test's choice.
class FakeWindows final : public norvale::IWindowsFacts {
 public:
  DWORD major = 10, minor = 0, build = 19045;
  WORD servicePackMajor = 0, suiteMask = 0;
  BYTE productType = VER_NT_WORKSTATION;
  bool versionFails = false, serverR2 = false;
  std::optional<bool> wow64 = true;

  bool GetVersion(OSVERSIONINFOEXW& info) override;
  bool VerifyWorkstation() override { return productType == VER_NT_WORKSTATION; }
  bool IsServerR2() override { return serverR2; }
  std::optional<bool> IsWow64Process() override { return wow64; }
  // Where the test says so, another Windows' code pages.
  const norvale::ICodePages* codePages = nullptr;
  const norvale::ICodePages& CodePages() override {
    return codePages ? *codePages : norvale::SystemCodePages();
  }
};

// The registry as a user without administrator rights meets it: keys under
// HKEY_LOCAL_MACHINE open for reading only.
class MachineWritesRefused final : public norvale::IRegistryKeys {
 public:
  LSTATUS Open(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override;
  LSTATUS Create(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override;
  LSTATUS Flush(HKEY root) override { return real_.Flush(root); }

 private:
  norvale::SystemRegistryKeys real_;
};

norvale::WinServicesSeams WithWindows(std::shared_ptr<FakeWindows> windows);
norvale::WinServicesSeams WithoutAdministratorRights();

}  // namespace testing_support
