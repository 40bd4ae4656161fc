#include "SingleInstance.h"

#include <aclapi.h>

#include <new>
#include <vector>

namespace norvale {

const wchar_t kSingleInstanceName[] = L"Norvale.Dekant00.SingleInstance";

namespace {

// The owner this process gives what it makes: Administrators for an
// elevated administrator, the account itself otherwise.
std::vector<BYTE> OwnDefaultOwner() {
  KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return {};
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenOwner, nullptr, 0, &size);
  std::vector<BYTE> bytes(size);
  if (size == 0 || !GetTokenInformation(token.Get(), TokenOwner, bytes.data(), size, &size)) {
    return {};
  }
  const PSID owner = reinterpret_cast<TOKEN_OWNER*>(bytes.data())->Owner;
  std::vector<BYTE> copy(GetLengthSid(owner));
  if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), owner)) return {};
  return copy;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return IsWellKnownSid(sid, type) != FALSE;
}

// Made by an uninstaller: by the system, the administrators, or whoever
// this run's own objects belong to.
bool MadeByAnUninstaller(HANDLE mutex) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  // Windows gives every object an owner; Wine none to one made without a
  // list, as this program makes its own.
  bool trusted = !owner || IsWellKnown(owner, WinBuiltinAdministratorsSid) ||
                 IsWellKnown(owner, WinLocalSystemSid);
  if (owner && !trusted) {
    std::vector<BYTE> own = OwnDefaultOwner();
    trusted = !own.empty() && EqualSid(owner, own.data());
  }
  LocalFree(descriptor);
  return trusted;
}

}  // namespace

InstanceClaim ClaimSingleInstance(const wchar_t* name, KernelHandle& held) {
  try {
    held.Reset(CreateMutexW(nullptr, FALSE, name));
    const DWORD error = GetLastError();
    if (!held) {
      // Refused to us: made by an account that keeps this one out.
      return InstanceClaim::Claimed;
    }
    if (error != ERROR_ALREADY_EXISTS) return InstanceClaim::Claimed;
    if (MadeByAnUninstaller(held.Get())) return InstanceClaim::AnotherRuns;
    held.Reset();
    return InstanceClaim::Claimed;
  } catch (const std::bad_alloc&) {
    return InstanceClaim::Claimed;
  }
}

}  // namespace norvale
