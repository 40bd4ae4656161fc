#pragma once
// Access lists as Windows would take them. Wine 8 neither keeps nor enforces
// a folder's list (reading one back gives a list made from the Unix file
// modes) and counts every process as elevated, so tests say whether the run
// is elevated, record which list went to which folder, and read the list
// itself: who may change the folder, who may only read, whether the parent's
// entries are kept out.
#include <windows.h>
#include <sddl.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "FileActs.h"
#include "FolderAccess.h"

namespace testing_support {

// A list as SDDL ("O:BAD:P(A;OICI;FA;;;BA)").
inline norvale::FolderAccessList ListFromSddl(const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return norvale::FolderAccessList({});
  }
  const DWORD size = GetSecurityDescriptorLength(descriptor);
  std::vector<BYTE> bytes(static_cast<BYTE*>(descriptor), static_cast<BYTE*>(descriptor) + size);
  LocalFree(descriptor);
  return norvale::FolderAccessList(std::move(bytes));
}

// A folder as an elevated install leaves it in Program Files: the
// administrators' own, which users read and run.
constexpr wchar_t kAdministratorsFolder[] =
    L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

// An account of an ordinary user (S-1-5-21-1000-2000-3000-1001).
inline std::vector<BYTE> UserAccountSid() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&nt, 5, SECURITY_NT_NON_UNIQUE, 1000, 2000, 3000, 1001, 0, 0, 0,
                                &sid)) {
    return {};
  }
  std::vector<BYTE> bytes(GetLengthSid(sid));
  CopySid(static_cast<DWORD>(bytes.size()), bytes.data(), sid);
  FreeSid(sid);
  return bytes;
}

class RecordingFolderAccess final : public norvale::IFolderAccess {
 public:
  struct Use {
    std::wstring folder;
    norvale::FolderAccessList list;
  };
  bool IsElevated() override { return elevated; }
  std::vector<BYTE> Account() override { return account; }
  norvale::StepDone ApplyToFolder(const std::wstring& folder,
                                  const norvale::FolderAccessList& list) override {
    applied.push_back({folder, list});
    if (onApply) onApply();
    if (applyError != ERROR_SUCCESS) return norvale::StepError::Of(applyError, folder);
    return {};
  }
  // The folder is made for real (Wine drops the list).
  norvale::StepDone CreateFolder(const std::wstring& folder,
                                 const norvale::FolderAccessList& list) override {
    created.push_back({folder, list});
    return system_.CreateFolder(folder, list);
  }
  // What `lists` answers for the folder, as Windows would; else Wine's own
  // answer (every folder owned by the running account).
  std::optional<norvale::FolderAccessList> ReadList(HANDLE folder,
                                                    const std::wstring& path) override {
    if (lists) {
      if (std::optional<norvale::FolderAccessList> answer = lists(path)) return answer;
    }
    return system_.ReadList(folder, path);
  }
  norvale::StepDone ApplyToOpenFolder(HANDLE, const std::wstring& path,
                                      const norvale::FolderAccessList& list) override {
    applied.push_back({path, list});
    if (onApply) onApply();
    if (applyError != ERROR_SUCCESS) return norvale::StepError::Of(applyError, path);
    return {};
  }
  norvale::StepResult<norvale::FileHandle> CreateFolderIn(HANDLE parent, const std::wstring& path,
                                     const norvale::FolderAccessList* list) override {
    if (list) created.push_back({path, *list});
    if (onCreate) onCreate(path);
    return system_.CreateFolderIn(parent, path, list);
  }

  // What the volume says, as Windows would: FAT32 and exFAT keep no lists.
  // Wine has one volume: keepsListsOf tells the roots it is asked of apart.
  bool KeepsLists(HANDLE folder) override {
    return keepsListsOf ? keepsListsOf(folder) : keepsLists;
  }
  struct FileUse {
    std::wstring path;  // as made, before it took its name
    std::optional<norvale::FolderAccessList> list;
    std::optional<norvale::FileIdentity> identity;
  };
  // The file is made for real; which file it is stays known after it took
  // its name (FileMadeAt).
  norvale::StepResult<norvale::FileHandle> CreateFileIn(
      HANDLE folder, const std::wstring& path, const norvale::FolderAccessList* list) override {
    norvale::StepResult<norvale::FileHandle> made = system_.CreateFileIn(folder, path, list);
    if (made) {
      createdFiles.push_back({path, list ? std::optional(*list) : std::nullopt,
                              norvale::IdentityOf(made->Get())});
    }
    return made;
  }
  // What the file now at path was made with; null when it was not made here.
  const FileUse* FileMadeAt(const std::wstring& path) const {
    const auto file = norvale::OpenByPath(path, FILE_READ_ATTRIBUTES, 7, norvale::EntryType::File);
    const auto identity = file ? norvale::IdentityOf(file->Get()) : std::nullopt;
    for (const FileUse& use : createdFiles) {
      if (identity && use.identity == identity) return &use;
    }
    return nullptr;
  }

  bool elevated = true;
  bool keepsLists = true;
  std::function<bool(HANDLE)> keepsListsOf;
  std::vector<BYTE> account = UserAccountSid();
  DWORD applyError = ERROR_SUCCESS;
  std::function<void()> onApply;
  // Before a folder is made inside an open one (a race's moment).
  std::function<void(const std::wstring&)> onCreate;
  std::function<std::optional<norvale::FolderAccessList>(const std::wstring&)> lists;
  std::vector<Use> applied;
  std::vector<Use> created;
  std::vector<FileUse> createdFiles;

 private:
  norvale::SystemFolderAccess system_;
};

// A SID as text ("S-1-5-32-544"); the well-known ones by their SDDL names.
inline std::wstring SidText(PSID sid) {
  struct Known {
    WELL_KNOWN_SID_TYPE type;
    const wchar_t* name;
  };
  for (const Known& known : {Known{WinBuiltinAdministratorsSid, L"Administrators"},
                             Known{WinLocalSystemSid, L"SYSTEM"},
                             Known{WinBuiltinUsersSid, L"Users"},
                             Known{WinWorldSid, L"Everyone"},
                             Known{WinAuthenticatedUserSid, L"Authenticated Users"},
                             Known{WinCreatorOwnerSid, L"CREATOR OWNER"}}) {
    if (IsWellKnownSid(sid, known.type)) return known.name;
  }
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"?";
  std::wstring result = text;
  LocalFree(text);
  return result;
}

// What a list grants, read from its entries one by one.
struct ListReading {
  std::wstring owner;
  bool isProtected = false;
  bool everyEntryInherits = true;   // to files and folders below
  bool onlyAllowEntries = true;
  std::vector<std::wstring> writers;  // may write, delete or change the list
  std::vector<std::wstring> readers;  // may read and run, nothing more
};

inline ListReading Read(const norvale::FolderAccessList& list) {
  ListReading reading;
  PSECURITY_DESCRIPTOR descriptor = list.Descriptor();
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner) {
    reading.owner = SidText(owner);
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  reading.isProtected = (control & SE_DACL_PROTECTED) != 0;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
    return reading;
  }
  constexpr DWORD kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                             FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                             WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) continue;
    const auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      reading.onlyAllowEntries = false;
      continue;
    }
    if ((header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) !=
            (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) ||
        (header->AceFlags & INHERIT_ONLY_ACE)) {
      reading.everyEntryInherits = false;
    }
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    const std::wstring who = SidText(const_cast<DWORD*>(&allowed->SidStart));
    (allowed->Mask & kChanges ? reading.writers : reading.readers).push_back(who);
  }
  return reading;
}

// Who may do what to a folder, read from the entries of its list that are
// its own (not those that only pass down), generic rights read as a file's:
// the names as SidText gives them, TrustedInstaller by name.
inline std::wstring Named(PSID sid) {
  PSID installer = nullptr;
  ConvertStringSidToSidW(
      L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &installer);
  const bool isInstaller = installer && EqualSid(sid, installer);
  LocalFree(installer);
  return isInstaller ? L"TrustedInstaller" : SidText(sid);
}

// The rights each account has on what the list's own entries (not the ones
// that only pass down) grant, generic rights read as a file's.
inline std::map<std::wstring, DWORD> OwnRights(const norvale::FolderAccessList& list) {
  std::map<std::wstring, DWORD> rights;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(list.Descriptor(), &present, &dacl, &defaulted);
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    GetAce(dacl, i, &entry);
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        (allowed->Header.AceFlags & INHERIT_ONLY_ACE)) {
      continue;
    }
    DWORD mask = allowed->Mask;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    rights[Named(const_cast<DWORD*>(&allowed->SidStart))] |= mask;
  }
  return rights;
}

// Who may delete or rename the folder: DELETE on it, or the right to delete
// what its parent holds.
inline std::set<std::wstring> MayDeleteOrRename(const norvale::FolderAccessList& folder,
                          const norvale::FolderAccessList& parent) {
  std::set<std::wstring> who;
  for (const auto& [name, mask] : OwnRights(folder)) {
    if (mask & DELETE) who.insert(name);
  }
  for (const auto& [name, mask] : OwnRights(parent)) {
    if (mask & FILE_DELETE_CHILD) who.insert(name);
  }
  return who;
}

// Who may change the folder's list or owner.
inline std::set<std::wstring> MayChangeTheList(const norvale::FolderAccessList& folder) {
  std::set<std::wstring> who;
  for (const auto& [name, mask] : OwnRights(folder)) {
    if (mask & (WRITE_DAC | WRITE_OWNER)) who.insert(name);
  }
  return who;
}

inline DWORD RightsOf(const norvale::FolderAccessList& list, const std::wstring& name) {
  const auto rights = OwnRights(list);
  const auto found = rights.find(name);
  return found == rights.end() ? 0 : found->second;
}

}  // namespace testing_support
