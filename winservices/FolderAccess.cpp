#include "FolderAccess.h"

#include <aclapi.h>
#include <sddl.h>

#include "Handles.h"
#include "Paths.h"
#include "Text.h"

namespace norvale {

namespace {

struct LocalMemoryTraits {
  using handle_type = HLOCAL;
  static HLOCAL Invalid() { return nullptr; }
  static void Close(HLOCAL h) { LocalFree(h); }
};
using LocalMemory = UniqueHandle<LocalMemoryTraits>;

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

std::vector<BYTE> CopiedSid(PSID sid) {
  if (!sid || !IsValidSid(sid)) return {};
  const DWORD size = GetLengthSid(sid);
  std::vector<BYTE> copy(size);
  if (!CopySid(size, copy.data(), sid)) return {};
  return copy;
}

struct Grant {
  std::vector<BYTE> sid;
  DWORD mask;
};

// Read, list and run; nothing that writes, deletes or changes the list.
constexpr DWORD kReadAndRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

// The process token's privilege switched on for as long as this lives, and
// back to what it was afterwards.
class HeldPrivilege {
 public:
  explicit HeldPrivilege(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      return;
    }
    token_.Reset(token);
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) return;
    DWORD size = sizeof(previous_);
    adjusted_ = AdjustTokenPrivileges(token_.Get(), FALSE, &wanted, sizeof(wanted), &previous_,
                                      &size) &&
                GetLastError() == ERROR_SUCCESS;
  }
  ~HeldPrivilege() {
    if (adjusted_) AdjustTokenPrivileges(token_.Get(), FALSE, &previous_, 0, nullptr, nullptr);
  }
  HeldPrivilege(const HeldPrivilege&) = delete;
  HeldPrivilege& operator=(const HeldPrivilege&) = delete;

 private:
  KernelHandle token_;
  TOKEN_PRIVILEGES previous_{};
  bool adjusted_ = false;
};

constexpr DWORD kFolderOpenFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

FileHandle OpenFolderForList(const std::wstring& folder) {
  return FileHandle(CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, kFolderOpenFlags, nullptr));
}

// Where the handle lies ("\\?\" taken off); empty when it cannot be asked.
}  // namespace

std::wstring FolderAccessList::Text() const {
  try {
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            Descriptor(), SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
      return L"";
    }
    const LocalMemory owned(text);
    return text;
  } catch (...) {
    return L"";
  }
}

std::optional<FolderAccessList> BuildFolderAccessList(GuardedFolder folder, bool elevated,
                                                      PSID account) {
  try {
    const std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    const std::vector<BYTE> system = WellKnownSid(WinLocalSystemSid);
    if (administrators.empty() || system.empty()) return std::nullopt;
    std::vector<Grant> grants = {{administrators, FILE_ALL_ACCESS}, {system, FILE_ALL_ACCESS}};
    std::vector<BYTE> owner = administrators;
    if (folder == GuardedFolder::kUninstallerFolder) {
      const std::vector<BYTE> users = WellKnownSid(WinBuiltinUsersSid);
      if (users.empty()) return std::nullopt;
      grants.push_back({users, kReadAndRun});
    } else if (!elevated) {
      // Unelevated we can neither give the folder to Administrators nor need
      // to keep the account out: its own programs run with the same rights.
      owner = CopiedSid(account);
      if (owner.empty()) return std::nullopt;
      grants.push_back({owner, FILE_ALL_ACCESS});
    }

    DWORD aclSize = sizeof(ACL);
    for (const Grant& grant : grants) {
      aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(grant.sid.size());
    }
    std::vector<BYTE> aclBytes(aclSize);
    PACL acl = reinterpret_cast<PACL>(aclBytes.data());
    if (!InitializeAcl(acl, aclSize, ACL_REVISION)) return std::nullopt;
    for (Grant& grant : grants) {
      if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                 grant.mask, grant.sid.data())) {
        return std::nullopt;
      }
    }
    SECURITY_DESCRIPTOR absolute{};
    if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&absolute, owner.data(), FALSE) ||
        !SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return std::nullopt;
    }
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> relative(size);
    if (!MakeSelfRelativeSD(&absolute, relative.data(), &size)) return std::nullopt;
    return FolderAccessList(std::move(relative));
  } catch (...) {
    return std::nullopt;
  }
}

bool SystemFolderAccess::IsElevated() {
  try {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const KernelHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)) {
      return elevation.TokenIsElevated != 0;
    }
    // Before UAC every member of Administrators runs with its full rights.
    std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    BOOL member = FALSE;
    return !administrators.empty() &&
           CheckTokenMembership(nullptr, administrators.data(), &member) && member;
  } catch (...) {
    return false;
  }
}

std::vector<BYTE> SystemFolderAccess::Account() {
  try {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const KernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    return CopiedSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  } catch (...) {
    return {};
  }
}

bool SystemFolderAccess::ApplyToFolder(const std::wstring& folder, const FolderAccessList& list) {
  try {
    FileHandle handle = OpenFolderForList(folder);
    if (!handle && GetLastError() == ERROR_ACCESS_DENIED) {
      // A folder an ordinary user made may keep administrators out of its
      // list; taking it over is what these privileges of an elevated run
      // are for.
      const HeldPrivilege takeOwnership(L"SeTakeOwnershipPrivilege");
      const HeldPrivilege restore(L"SeRestorePrivilege");
      handle = OpenFolderForList(folder);
    }
    if (!handle) return false;
    // The name may have been swapped for a link or a file since anyone
    // looked at it: what counts is what the handle holds.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.Get(), &info)) return false;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      SetLastError(ERROR_DIRECTORY);
      return false;
    }
    // A link that the open followed all the same (Wine shows a link made on
    // the host so) leads the handle elsewhere than the folder lists it.
    const std::wstring listed = ResolvedPath(folder);
    const std::wstring opened = FinalPathOfHandle(handle.Get());
    if (listed.empty() || opened.empty() || !SamePath(listed, opened)) {
      SetLastError(ERROR_DIRECTORY);
      return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    if (!GetSecurityDescriptorOwner(list.Descriptor(), &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(list.Descriptor(), &present, &dacl, &defaulted) || !owner ||
        !present || !dacl) {
      SetLastError(ERROR_INVALID_SECURITY_DESCR);
      return false;
    }
    // The owner first, so that a user who owned the folder keeps no right to
    // rewrite the list afterwards.
    const DWORD status = SetSecurityInfo(
        handle.Get(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        owner, nullptr, dacl, nullptr);
    if (status != ERROR_SUCCESS) {
      SetLastError(status);
      return false;
    }
    return true;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

bool SystemFolderAccess::CreateFolder(const std::wstring& folder, const FolderAccessList& list) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = list.Descriptor();
  attributes.bInheritHandle = FALSE;
  return CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
}

std::optional<FolderAccessList> FolderAccessListForThisRun(IFolderAccess& access,
                                                           GuardedFolder folder) {
  try {
    const bool elevated = access.IsElevated();
    if (folder == GuardedFolder::kUninstallerFolder && !elevated) return std::nullopt;
    std::vector<BYTE> account;
    if (!elevated) account = access.Account();
    return BuildFolderAccessList(folder, elevated, account.empty() ? nullptr : account.data());
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace norvale
