#include "FolderAccess.h"

#include <new>

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

#include "FileActs.h"
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
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token_.Put())) {
      return;
    }
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

constexpr ACCESS_MASK kListAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER;

// Rights that delete or rename the folder, take its list or owner, or delete
// what it holds whatever the entries' own lists say.
constexpr ACCESS_MASK kRenameRights = DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD;

bool IsAllowType(BYTE type) {
  return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
         type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
}

// The entry kinds whose SID follows the mask directly.
bool HasPlainSid(BYTE type) {
  return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE ||
         type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_ACE_TYPE;
}

// One access entry as its bytes: the header, the mask at offset 4, for the
// plain kinds the SID at offset 8.
struct Entry {
  std::vector<BYTE> raw;

  BYTE Type() const { return raw[0]; }
  BYTE Flags() const { return raw[1]; }
  void Flags(BYTE flags) { raw[1] = flags; }
  ACCESS_MASK Mask() const {
    ACCESS_MASK mask = 0;
    std::memcpy(&mask, raw.data() + 4, sizeof mask);
    return mask;
  }
  void Mask(ACCESS_MASK mask) { std::memcpy(raw.data() + 4, &mask, sizeof mask); }
  PSID Sid() const { return HasPlainSid(Type()) ? PSID(const_cast<BYTE*>(raw.data() + 8)) : nullptr; }
  // The same entry for another SID (plain kinds only).
  Entry WithSid(PSID sid) const {
    const DWORD oldLength = GetLengthSid(Sid());
    const DWORD newLength = GetLengthSid(sid);
    Entry changed;
    changed.raw.assign(raw.begin(), raw.begin() + 8);
    changed.raw.insert(changed.raw.end(), static_cast<BYTE*>(sid),
                       static_cast<BYTE*>(sid) + newLength);
    changed.raw.insert(changed.raw.end(), raw.begin() + 8 + oldLength, raw.end());
    const WORD size = static_cast<WORD>(changed.raw.size());
    std::memcpy(changed.raw.data() + 2, &size, sizeof size);
    return changed;
  }
};

struct ReadDescriptor {
  PSID owner = nullptr;
  std::vector<Entry> entries;
};

std::optional<ReadDescriptor> ReadOf(const FolderAccessList& list) {
  ReadDescriptor read;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = nullptr;
  if (!IsValidSecurityDescriptor(list.Descriptor()) ||
      !GetSecurityDescriptorOwner(list.Descriptor(), &read.owner, &defaulted) ||
      !GetSecurityDescriptorDacl(list.Descriptor(), &present, &dacl, &defaulted)) {
    return std::nullopt;
  }
  // No DACL at all lets everyone do everything: nothing to pass on, and
  // nothing that could be kept.
  if (!present || !dacl) return std::nullopt;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return std::nullopt;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceSize < 8) return std::nullopt;
    Entry entry;
    entry.raw.assign(static_cast<BYTE*>(ace), static_cast<BYTE*>(ace) + header->AceSize);
    if (entry.Sid() && (entry.raw.size() < 16 || !IsValidSid(entry.Sid()) ||
                        8 + GetLengthSid(entry.Sid()) > entry.raw.size())) {
      return std::nullopt;
    }
    read.entries.push_back(std::move(entry));
  }
  return read;
}

// A descriptor of owner (none: left out) and acl in one block, as a list
// that can be handed on; protect keeps the parent's from being passed down.
std::optional<FolderAccessList> SelfRelative(PSID owner, PACL acl, bool protect) {
  SECURITY_DESCRIPTOR absolute{};
  if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
      (owner && !SetSecurityDescriptorOwner(&absolute, owner, FALSE)) ||
      !SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED,
                                    protect ? SE_DACL_PROTECTED : 0)) {
    return std::nullopt;
  }
  DWORD size = 0;
  MakeSelfRelativeSD(&absolute, nullptr, &size);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> relative(size);
  if (!MakeSelfRelativeSD(&absolute, relative.data(), &size)) return std::nullopt;
  return FolderAccessList(std::move(relative));
}

std::optional<FolderAccessList> Composed(PSID owner, const std::vector<Entry>& entries,
                                         bool protect = true) {
  DWORD aclSize = sizeof(ACL);
  bool objectEntries = false;
  for (const Entry& entry : entries) {
    aclSize += static_cast<DWORD>(entry.raw.size());
    objectEntries = objectEntries || !HasPlainSid(entry.Type());
  }
  aclSize = (aclSize + 3) & ~3u;
  std::vector<BYTE> aclBytes(aclSize);
  PACL acl = reinterpret_cast<PACL>(aclBytes.data());
  const DWORD revision = objectEntries ? ACL_REVISION_DS : ACL_REVISION;
  if (!InitializeAcl(acl, aclSize, revision)) return std::nullopt;
  for (const Entry& entry : entries) {
    if (!AddAce(acl, revision, MAXDWORD, const_cast<BYTE*>(entry.raw.data()),
                static_cast<DWORD>(entry.raw.size()))) {
      return std::nullopt;
    }
  }
  return SelfRelative(owner, acl, protect);
}

ACCESS_MASK MappedForFiles(ACCESS_MASK mask) {
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                          FILE_ALL_ACCESS};
  MapGenericMask(&mask, &mapping);
  return mask;
}

bool IsSid(PSID sid, WELL_KNOWN_SID_TYPE type) { return sid && IsWellKnownSid(sid, type); }

bool IsTrustedInstaller(PSID sid) {
  PSID installer = nullptr;
  if (!sid || !ConvertStringSidToSidW(
                  L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &installer)) {
    return false;
  }
  const LocalMemory owned(installer);
  return EqualSid(sid, installer) != FALSE;
}

bool SameSid(PSID a, PSID b) { return a && b && IsValidSid(a) && IsValidSid(b) && EqualSid(a, b); }

// Who keeps the rights to delete and rename the folder: the machine's
// administrators, its system, the folder's owner (who may give them to
// itself again anyway), and an unelevated run's own account.
bool KeepsRenameRights(PSID sid, PSID owner, bool elevated, PSID account) {
  return IsSid(sid, WinBuiltinAdministratorsSid) || IsSid(sid, WinLocalSystemSid) ||
         SameSid(sid, owner) || (!elevated && SameSid(sid, account));
}

// The entries with every right to delete or rename the folder itself taken
// from those who must not have it; what an entry passes down stays, in an
// entry that reaches only what lies below. Every entry becomes the folder's
// own (the list is protected). changed: whether any entry lost a right.
std::vector<Entry> WithoutRenameRights(const std::vector<Entry>& entries, PSID owner,
                                       bool elevated, PSID account, bool* changed) {
  std::vector<Entry> result;
  for (Entry entry : entries) {
    const BYTE flags = entry.Flags() & ~INHERITED_ACE;
    entry.Flags(flags);
    const ACCESS_MASK mapped = MappedForFiles(entry.Mask());
    if (!IsAllowType(entry.Type()) || (flags & INHERIT_ONLY_ACE) || !(mapped & kRenameRights) ||
        (entry.Sid() && KeepsRenameRights(entry.Sid(), owner, elevated, account))) {
      result.push_back(std::move(entry));
      continue;
    }
    if (changed) *changed = true;
    const BYTE inherit = flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    if ((mapped & ~kRenameRights) != 0) {
      Entry own = entry;
      own.Flags(0);
      own.Mask(mapped & ~kRenameRights);
      result.push_back(std::move(own));
    }
    if (inherit != 0) {
      entry.Flags(flags | INHERIT_ONLY_ACE);
      result.push_back(std::move(entry));
    }
  }
  return result;
}

}  // namespace

PSID FolderAccessList::Owner() const {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(Descriptor(), &owner, &defaulted)) return nullptr;
  return owner;
}

std::optional<FolderAccessList> InheritedByNewFolder(const FolderAccessList& parent, PSID owner) {
  try {
    const std::optional<ReadDescriptor> read = ReadOf(parent);
    if (!read) return std::nullopt;
    std::vector<Entry> entries;
    for (const Entry& entry : read->entries) {
      const BYTE flags = entry.Flags();
      const bool toFolders = (flags & CONTAINER_INHERIT_ACE) != 0;
      const bool toFiles = (flags & OBJECT_INHERIT_ACE) != 0;
      const bool onlyOneLevel = (flags & NO_PROPAGATE_INHERIT_ACE) != 0;
      if (!toFolders) {
        // Passed on through the folder to the files in it.
        if (toFiles && !onlyOneLevel) {
          Entry passed = entry;
          passed.Flags(OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE);
          entries.push_back(std::move(passed));
        }
        continue;
      }
      // Generic rights and the creator's placeholders mean something else
      // on the folder than further down: the folder gets its own reading
      // of them, and the entry as it was goes on to what lies below.
      const bool creator = entry.Sid() && (IsSid(entry.Sid(), WinCreatorOwnerSid) ||
                                           IsSid(entry.Sid(), WinCreatorGroupSid));
      const bool generic = (entry.Mask() & (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                                            GENERIC_ALL)) != 0;
      if (onlyOneLevel || creator || generic) {
        if (!(creator && (IsSid(entry.Sid(), WinCreatorGroupSid) || !owner))) {
          Entry own = creator ? entry.WithSid(owner) : entry;
          own.Flags(INHERITED_ACE);
          own.Mask(MappedForFiles(entry.Mask()));
          entries.push_back(std::move(own));
        }
        if (!onlyOneLevel) {
          Entry passed = entry;
          passed.Flags((flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) | INHERIT_ONLY_ACE |
                       INHERITED_ACE);
          entries.push_back(std::move(passed));
        }
        continue;
      }
      Entry kept = entry;
      kept.Flags((flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) | INHERITED_ACE);
      entries.push_back(std::move(kept));
    }
    return Composed(owner, entries, false);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<FolderAccessList> InstallPathFolderList(const FolderAccessList& parent,
                                                      bool elevated, PSID account) {
  try {
    const std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    const std::vector<BYTE> own = CopiedSid(account);
    if (administrators.empty() || (!elevated && own.empty())) return std::nullopt;
    PSID owner = elevated ? PSID(const_cast<BYTE*>(administrators.data()))
                          : PSID(const_cast<BYTE*>(own.data()));
    const std::optional<FolderAccessList> inherited = InheritedByNewFolder(parent, owner);
    if (!inherited) return std::nullopt;
    const std::optional<ReadDescriptor> read = ReadOf(*inherited);
    if (!read) return std::nullopt;
    return Composed(owner, WithoutRenameRights(read->entries, owner, elevated, account, nullptr));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<FolderAccessList> ClosedToRenames(const FolderAccessList& current, bool elevated,
                                                PSID account) {
  try {
    const std::optional<ReadDescriptor> read = ReadOf(current);
    if (!read) return std::nullopt;
    bool changed = false;
    const std::vector<Entry> entries =
        WithoutRenameRights(read->entries, read->owner, elevated, account, &changed);
    if (!changed) return std::nullopt;
    return Composed(nullptr, entries);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<FolderAccessList> DaclOnly(const FolderAccessList& list) {
  try {
    const std::optional<ReadDescriptor> read = ReadOf(list);
    if (!read) return std::nullopt;
    return Composed(nullptr, read->entries);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<FolderAccessList> WithOwner(const FolderAccessList& list, PSID owner) {
  try {
    const std::optional<ReadDescriptor> read = ReadOf(list);
    if (!read || !owner || !IsValidSid(owner)) return std::nullopt;
    return Composed(owner, read->entries);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

namespace {

// Whether any entry that applies to the object itself gives someone the
// administrators do not stand behind one of the rights.
bool OthersGet(const FolderAccessList& list, ACCESS_MASK rights, bool elevated, PSID account) {
  const std::optional<ReadDescriptor> read = ReadOf(list);
  if (!read) return true;
  for (const Entry& entry : read->entries) {
    if (!IsAllowType(entry.Type()) || (entry.Flags() & INHERIT_ONLY_ACE) ||
        !(MappedForFiles(entry.Mask()) & rights)) {
      continue;
    }
    // An entry whose SID cannot be read is taken as someone else's.
    if (!entry.Sid() || !IsTrustedOwner(entry.Sid(), elevated ? nullptr : account)) return true;
  }
  return false;
}

DWORD WriteOwnSecurity(HANDLE object, SECURITY_INFORMATION what,
                       PSECURITY_DESCRIPTOR descriptor) {
  return SetKernelObjectSecurity(object, what, descriptor) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

bool OnlyTrustedMayChange(const FolderAccessList& list, bool elevated, PSID account) {
  try {
    constexpr ACCESS_MASK kChanges = DELETE | WRITE_DAC | WRITE_OWNER | FILE_WRITE_DATA |
                                     FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA;
    return IsTrustedOwner(list.Owner(), elevated ? nullptr : account) &&
           !OthersGet(list, kChanges, elevated, account);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool OthersMayDeleteWhatItHolds(const FolderAccessList& list, bool, PSID account) {
  try {
    // Other accounts: what the running account itself may do there is the
    // folders' own lists' to keep from its unelevated programs.
    return OthersGet(list, FILE_DELETE_CHILD, false, account);
  } catch (const std::bad_alloc&) {
    return true;
  }
}

bool IsTrustedOwner(PSID owner, PSID account) {
  try {
    return IsSid(owner, WinBuiltinAdministratorsSid) || IsSid(owner, WinLocalSystemSid) ||
           IsTrustedInstaller(owner) || SameSid(owner, account);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

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
  } catch (const std::bad_alloc&) {
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
    if (folder == GuardedFolder::kUninstallerFolder || folder == GuardedFolder::kGeneratedFile) {
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
    const DWORD inherit = folder == GuardedFolder::kGeneratedFile
                              ? 0
                              : OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    for (Grant& grant : grants) {
      if (!AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, grant.mask, grant.sid.data())) {
        return std::nullopt;
      }
    }
    return SelfRelative(owner.data(), acl, true);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

SystemFolderAccess::SystemFolderAccess(OwnSecurityWrite writeOwn)
    : writeOwn_(writeOwn ? std::move(writeOwn) : OwnSecurityWrite(WriteOwnSecurity)) {}

bool SystemFolderAccess::IsElevated() {
  try {
    KernelHandle owned;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, owned.Put())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (GetTokenInformation(owned.Get(), TokenElevation, &elevation, sizeof(elevation), &size)) {
      return elevation.TokenIsElevated != 0;
    }
    // Before UAC every member of Administrators runs with its full rights.
    std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
    BOOL member = FALSE;
    return !administrators.empty() &&
           CheckTokenMembership(nullptr, administrators.data(), &member) && member;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::vector<BYTE> SystemFolderAccess::Account() {
  try {
    KernelHandle owned;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, owned.Put())) return {};
    DWORD size = 0;
    GetTokenInformation(owned.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(owned.Get(), TokenUser, buffer.data(), size, &size)) return {};
    return CopiedSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

StepDone SystemFolderAccess::ApplyToFolder(const std::wstring& folder,
                                           const FolderAccessList& list) {
  try {
    StepResult<HeldEntry> handle = OpenFolderFromRoot(folder, kListAccess);
    if (!handle && handle.Error().code == ERROR_ACCESS_DENIED) {
      // A folder an ordinary user made may keep administrators out of its
      // list; taking it over is what these privileges of an elevated run
      // are for.
      const HeldPrivilege takeOwnership(L"SeTakeOwnershipPrivilege");
      const HeldPrivilege restore(L"SeRestorePrivilege");
      handle = OpenFolderFromRoot(folder, kListAccess);
    }
    if (!handle) return handle.Error();
    return ApplyToOpenFolder(handle->handle.Get(), folder, list);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(folder);
  }
}

std::optional<FolderAccessList> SystemFolderAccess::ReadList(HANDLE folder, const std::wstring&) {
  try {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(folder, SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (status != ERROR_SUCCESS || !descriptor) {
      SetLastError(status != ERROR_SUCCESS ? status : ERROR_INVALID_SECURITY_DESCR);
      return std::nullopt;
    }
    const LocalMemory owned(descriptor);
    const DWORD size = GetSecurityDescriptorLength(descriptor);
    std::vector<BYTE> bytes(static_cast<BYTE*>(descriptor), static_cast<BYTE*>(descriptor) + size);
    return FolderAccessList(std::move(bytes));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return std::nullopt;
  }
}

StepDone SystemFolderAccess::ApplyToOpenFolder(HANDLE folder, const std::wstring& path,
                                               const FolderAccessList& list) {
  try {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder, &info)) return StepError::Last(path);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return StepError::Refusal(ERROR_DIRECTORY, path);
    }
    PSID owner = list.Owner();
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    if (!GetSecurityDescriptorDacl(list.Descriptor(), &present, &dacl, &defaulted) || !present ||
        !dacl) {
      return StepError::Of(ERROR_INVALID_SECURITY_DESCR, path);
    }
    // The owner in the same write, so that a user who owned the folder keeps
    // no right to rewrite the list afterwards; the list protected from what
    // the folder above passes down. Only this folder's own: what lies below
    // keeps its lists (another product's tree, a user's files).
    SECURITY_DESCRIPTOR own{};
    if (!InitializeSecurityDescriptor(&own, SECURITY_DESCRIPTOR_REVISION) ||
        (owner && !SetSecurityDescriptorOwner(&own, owner, FALSE)) ||
        !SetSecurityDescriptorDacl(&own, TRUE, dacl, FALSE) ||
        !SetSecurityDescriptorControl(&own, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return StepError::Last(path);
    }
    const SECURITY_INFORMATION what = (owner ? OWNER_SECURITY_INFORMATION : 0) |
                                      DACL_SECURITY_INFORMATION |
                                      PROTECTED_DACL_SECURITY_INFORMATION;
    const DWORD status = writeOwn_(folder, what, &own);
    if (status != ERROR_SUCCESS) return StepError::Of(status, path);
    return {};
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

StepResult<FileHandle> SystemFolderAccess::CreateFolderIn(HANDLE parent, const std::wstring& path,
                                                          const FolderAccessList* list) {
  try {
    // Names are made and renamed into it: no DELETE, every kind of sharing
    // (Windows' own open of a rename's target shares no deletes).
    StepResult<FileHandle> made =
        CreateIn(parent, AfterLast(path, L'\\'),
                 READ_CONTROL | FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE |
                     FILE_ADD_SUBDIRECTORY,
                 kShareAll, EntryType::Folder,
                 list ? list->Descriptor() : nullptr);
    if (!made) return made.Error().At(path);
    return made;
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

bool SystemFolderAccess::KeepsLists(HANDLE folder) {
  DWORD flags = 0;
  // A volume that cannot be asked is taken as one that keeps them, as every
  // volume Windows installs onto does.
  if (!GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return true;
  }
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

StepResult<FileHandle> SystemFolderAccess::CreateFileIn(HANDLE folder, const std::wstring& path,
                                                        const FolderAccessList* list) {
  try {
    return CreateIn(folder, AfterLast(path, L'\\'), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                    EntryType::File, list ? list->Descriptor() : nullptr);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

StepDone SystemFolderAccess::CreateFolder(const std::wstring& folder, const FolderAccessList& list) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = list.Descriptor();
  attributes.bInheritHandle = FALSE;
  if (!CreateDirectoryW(folder.c_str(), &attributes)) return StepError::Last(folder);
  return {};
}

std::optional<FolderAccessList> FolderAccessListForThisRun(IFolderAccess& access,
                                                           GuardedFolder folder) {
  try {
    const bool elevated = access.IsElevated();
    if ((folder == GuardedFolder::kUninstallerFolder || folder == GuardedFolder::kGeneratedFile) &&
        !elevated) {
      return std::nullopt;
    }
    std::vector<BYTE> account;
    if (!elevated) account = access.Account();
    return BuildFolderAccessList(folder, elevated, account.empty() ? nullptr : account.data());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::wstring PrivateFolderParent(IFolderAccess& access, const std::wstring& temp) {
  try {
    if (!access.IsElevated()) return temp;
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return L"";
    std::wstring parent(windows, n);
    if (parent.back() != L'\\') parent += L'\\';
    return parent + L"Temp";
  } catch (const std::bad_alloc&) {
    return L"";
  }
}

StepResult<HeldEntry> MakePrivateFolder(IFolderAccess& access, const std::wstring& parent,
                                         const std::wstring& prefix,
                                         const FolderAccessList& list) {
  try {
    const StepResult<FileHandle> where =
        OpenByPath(parent, FILE_TRAVERSE | FILE_ADD_SUBDIRECTORY,
                   kShareAll, EntryType::Folder);
    if (!where) return where.Error();
    const std::wstring lies = FinalPathOfHandle(where->Get());
    if (lies.empty()) return StepError::Last(parent);
    for (int attempt = 0; attempt < 3; ++attempt) {
      const std::wstring name = UniqueFolderName(prefix);
      if (name.empty()) return StepError::Last(parent);
      const std::wstring path = JoinPath(parent, name);
      const StepResult<FileHandle> made = access.CreateFolderIn(where->Get(), path, &list);
      if (!made) {
        if (made.Error().code == ERROR_ALREADY_EXISTS) continue;
        return made.Error();
      }
      // Renaming a folder takes only DELETE on it, which Windows grants to
      // whoever may delete what its parent holds, whatever the folder's own
      // list says: held from now on sharing no deletes, nobody can rename it
      // away under us. Held so only if nobody else got DELETE on it in the
      // moment since it was made. Windows' own open of a rename's target,
      // sharing reading and writing, is still admitted.
      StepResult<FileHandle> held =
          OpenIn(made->Get(), L"", READ_CONTROL | FILE_TRAVERSE | FILE_LIST_DIRECTORY |
                                      FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                 FILE_SHARE_READ | FILE_SHARE_WRITE, EntryType::Folder);
      if (!held) return held.Error().At(path);
      if (!SamePath(FinalPathOfHandle(held->Get()), EntryPath(lies, name))) {
        return StepError::Refusal(kErrorLinkOnTheWay, path);
      }
      return HeldEntry{std::move(*held), path};
    }
    return StepError::Of(ERROR_ALREADY_EXISTS, parent);
  } catch (const std::bad_alloc&) {
    return StepError::Of(ERROR_NOT_ENOUGH_MEMORY, parent);
  }
}

}  // namespace norvale
