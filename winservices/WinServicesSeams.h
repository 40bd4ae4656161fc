#pragma once
// The points where the Windows services ask Windows about itself and open
// registry keys. Production asks the running system; tests put in a Windows of
// their choice (any version, server or workstation, 32- or 64-bit) or a
// registry that refuses what a user without administrator rights is refused.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace norvale {

// Version and bitness of the running Windows.
class IWindowsFacts {
 public:
  virtual ~IWindowsFacts() = default;
  // ntdll's RtlGetVersion into a record whose size field the caller set;
  // false when it reports a failure.
  virtual bool GetVersion(OSVERSIONINFOEXW& info) = 0;
  // VerifyVersionInfoW asked whether the product type is workstation.
  virtual bool VerifyWorkstation() = 0;
  // GetSystemMetrics(SM_SERVERR2) is non-zero.
  virtual bool IsServerR2() = 0;
  // IsWow64Process for this process; nothing when Windows cannot answer.
  virtual std::optional<bool> IsWow64Process() = 0;
};

// Opening and creating registry keys; everything done with an open key goes to
// the registry directly.
class IRegistryKeys {
 public:
  virtual ~IRegistryKeys() = default;
  virtual LSTATUS Open(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) = 0;
  // Opens the key, creating it and its missing parents: empty class,
  // non-volatile, default security.
  virtual LSTATUS Create(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) = 0;
};

class SystemWindowsFacts final : public IWindowsFacts {
 public:
  bool GetVersion(OSVERSIONINFOEXW& info) override;
  bool VerifyWorkstation() override;
  bool IsServerR2() override;
  std::optional<bool> IsWow64Process() override;
};

class SystemRegistryKeys final : public IRegistryKeys {
 public:
  LSTATUS Open(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override;
  LSTATUS Create(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override;
};

struct WinServicesSeams {
  std::shared_ptr<IWindowsFacts> windows;
  std::shared_ptr<IRegistryKeys> registry;

  static WinServicesSeams System();
};

}  // namespace norvale
