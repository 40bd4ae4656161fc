#include "DeleteGuard.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "FileActs.h"
#include "FileSystem.h"
#include "Handles.h"
#include "Text.h"
#include "forms/ComObjects.h"

namespace norvale {
namespace {

// A file that the system opens elsewhere than where its folder lists it is a
// link that opening follows (Wine shows a file link made on the host so,
// without the reparse mark): deleting it would delete what it leads to.
// listed is where the folder lists it, its folder resolved (ResolvedPath).
bool OpensElsewhere(const std::wstring& listed, const std::wstring& path,
                    const IFinalPaths& finalPaths) {
  if (listed.empty()) return false;
  const std::wstring opened = finalPaths.FinalPathOf(path, false);
  return !opened.empty() && !SamePath(opened, listed);
}

std::wstring KnownFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr,
                              SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  return buffer;
}

std::wstring EnvironmentFolder(const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

struct TaskMemFree {
  void operator()(void* p) const { CoTaskMemFree(p); }
};

// Every folder the known-folder manager knows, for this user and for the
// profile new users are made from: a hand list of CSIDLs misses Downloads,
// Saved Games, LocalLow and whatever a later Windows adds.
void AddKnownFolders(std::vector<std::wstring>& folders) {
  const forms::ComApartment com;
  {
    forms::ComPtr<IKnownFolderManager> manager;
    if (SUCCEEDED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IKnownFolderManager, manager.OutVoid())) &&
        manager) {
      KNOWNFOLDERID* rawIds = nullptr;
      UINT count = 0;
      if (SUCCEEDED(manager->GetFolderIds(&rawIds, &count)) && rawIds) {
        std::unique_ptr<KNOWNFOLDERID, TaskMemFree> ids(rawIds);
        const HANDLE defaultUser = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
        for (UINT i = 0; i < count; ++i) {
          for (HANDLE token : {HANDLE{nullptr}, defaultUser}) {
            PWSTR rawPath = nullptr;
            const HRESULT hr = SHGetKnownFolderPath(rawIds[i], KF_FLAG_DONT_VERIFY, token,
                                                    &rawPath);
            std::unique_ptr<wchar_t, TaskMemFree> path(rawPath);
            if (SUCCEEDED(hr) && path) folders.emplace_back(path.get());
          }
        }
      }
    }
  }
}

// A text value as stored (environment variables unexpanded); empty when it
// is missing, no text, or larger than any path.
std::wstring StoredText(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0 || bytes > 65536) {
    return {};
  }
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  // The stored text need not end in a NUL, or may hold one early.
  return CutAtNull(std::wstring_view(buffer.data(), std::min<size_t>(bytes / sizeof(wchar_t),
                                                                     buffer.size())));
}

}  // namespace

ProfileListing SystemProfileList::List() const {
  ProfileListing listing;
  try {
    listing.ownProfile = KnownFolder(CSIDL_PROFILE);
    if (listing.ownProfile.empty()) listing.ownProfile = EnvironmentFolder(L"USERPROFILE");
    // The key is shared by both registry views on 64-bit Windows; the 64-bit
    // one is asked all the same, so a 32-bit program reads the list Windows
    // keeps even where a view were split.
    RegKey list;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                      KEY_READ | KEY_WOW64_64KEY, list.Put()) != ERROR_SUCCESS) {
      return listing;
    }
    listing.profilesDirectory = StoredText(list.Get(), L"ProfilesDirectory");
    listing.defaultProfile = StoredText(list.Get(), L"Default");
    listing.publicProfile = StoredText(list.Get(), L"Public");
    // A key name is at most 255 characters; a list of thousands is no
    // machine's, and is read no further.
    for (DWORD i = 0; i < 10000; ++i) {
      wchar_t name[256] = {};
      DWORD length = 256;
      const LSTATUS status =
          RegEnumKeyExW(list.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) continue;
      RegKey account;
      if (RegOpenKeyExW(list.Get(), name, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, account.Put()) !=
          ERROR_SUCCESS) {
        continue;
      }
      listing.profiles.push_back(StoredText(account.Get(), L"ProfileImagePath"));
    }
  } catch (const std::bad_alloc&) {
    // What was read so far is all the guard learns.
  }
  return listing;
}

namespace {

// One folder under every name it goes by: full, and long when it exists.
void AddForms(std::vector<std::wstring>& to, const std::wstring& folder) {
  if (folder.empty()) return;
  const std::wstring full = FullPath(folder);
  if (full.empty()) return;
  to.push_back(full);
  const std::wstring longForm = LongPath(full);
  if (!longForm.empty() && longForm != full) to.push_back(longForm);
}

struct ProtectedPlaces {
  // Neither these nor any of their ancestors may go.
  std::vector<std::wstring> folders;
  // Folders holding profiles: nothing directly in them may go either.
  std::vector<std::wstring> profileHolders;
  // Other accounts' profiles and the default one: nothing at or below them
  // may go, nor any of their ancestors.
  std::vector<std::wstring> otherProfiles;
  // Nothing at or below them may go, except what lies strictly below TEMP
  // and font files directly in the Fonts folder.
  std::vector<std::wstring> windowsFolders;
  std::vector<std::wstring> tempFolders;
  std::vector<std::wstring> fontsFolders;
  // Where Windows keeps its font cache file, rebuilt after a font change.
  std::vector<std::wstring> systemFolders;
  // The names this machine answers to on the network.
  std::vector<std::wstring> machineNames;
};

std::vector<std::wstring> MachineNames() {
  std::vector<std::wstring> names{L"localhost", L"::1", L"[::1]", L"0--1.ipv6-literal.net"};
  for (COMPUTER_NAME_FORMAT format :
       {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified,
        ComputerNamePhysicalNetBIOS, ComputerNamePhysicalDnsHostname,
        ComputerNamePhysicalDnsFullyQualified}) {
    wchar_t buffer[256] = {};
    DWORD n = 256;
    if (GetComputerNameExW(format, buffer, &n) && n > 0) names.emplace_back(buffer, n);
  }
  return names;
}

// A folder named by a profile list value, in full form; empty unless it is
// an absolute, plain path below a drive root. The list is not ours: a blank,
// relative, raw ("\\?\") or root value names nothing to protect.
std::wstring ListedFolder(const std::wstring& value) {
  const std::wstring stored = Trim(value);
  if (stored.empty() || stored.size() > 32767 || stored.find(L'\0') != std::wstring::npos) {
    return {};
  }
  const DWORD n = ExpandEnvironmentStringsW(stored.c_str(), nullptr, 0);
  if (n == 0 || n > 32768) return {};
  std::vector<wchar_t> buffer(n + 1);
  const DWORD m =
      ExpandEnvironmentStringsW(stored.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (m == 0 || m > buffer.size()) return {};
  const std::wstring expanded = Trim(std::wstring(buffer.data()));
  if (!IsDriveAbsolute(expanded) || !FitsPlainPathCalls(expanded) ||
      expanded.find_first_of(L"*?<>\"|") != std::wstring::npos ||
      expanded.find(L':', 2) != std::wstring::npos) {
    return {};
  }
  const std::wstring full = FullPath(expanded);
  return full.size() > 3 ? full : std::wstring();
}

// Every profile the list names is another account's, except the running
// account's own and the shared one (whose folders hold what a product
// installs for all users). A listed path that is or holds one of those, the
// folder of profiles or one of the folders everyone installs into
// (`common`) is no profile: taking it whole would refuse what a product may
// remove.
void AddProfiles(ProtectedPlaces& places, const ProfileListing& listing,
                 const std::vector<std::wstring>& common) {
  std::vector<std::wstring> shared;
  AddForms(shared, ListedFolder(listing.ownProfile));
  AddForms(shared, ListedFolder(listing.publicProfile));
  places.folders.insert(places.folders.end(), shared.begin(), shared.end());
  const std::wstring holder = ListedFolder(listing.profilesDirectory);
  AddForms(places.profileHolders, holder);
  AddForms(places.folders, holder);
  AddForms(shared, holder);
  for (const std::wstring& folder : common) AddForms(shared, folder);

  std::vector<std::wstring> candidates = listing.profiles;
  candidates.push_back(listing.defaultProfile);
  for (const std::wstring& value : candidates) {
    const std::wstring folder = ListedFolder(value);
    if (folder.empty()) continue;
    std::vector<std::wstring> forms;
    AddForms(forms, folder);
    bool holdsShared = false;
    for (const std::wstring& form : forms) {
      for (const std::wstring& kept : shared) {
        if (SamePath(form, kept) || PathIsBelow(kept, form)) holdsShared = true;
      }
    }
    if (holdsShared) continue;
    places.otherProfiles.insert(places.otherProfiles.end(), forms.begin(), forms.end());
  }
}

ProtectedPlaces AskProtectedPlaces(const IProfileList& profiles) {
  static const int kCsidls[] = {
      CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES,
      CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
      CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA,
      CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS,
      CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_STARTUP,
      CSIDL_COMMON_STARTUP, CSIDL_FONTS, CSIDL_TEMPLATES, CSIDL_COMMON_TEMPLATES,
      CSIDL_COMMON_DOCUMENTS, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_FAVORITES,
      CSIDL_SENDTO, CSIDL_RECENT, CSIDL_NETHOOD, CSIDL_PRINTHOOD, CSIDL_INTERNET_CACHE,
      CSIDL_COOKIES, CSIDL_HISTORY, CSIDL_COMMON_ADMINTOOLS, CSIDL_ADMINTOOLS};
  std::vector<std::wstring> folders;
  for (int csidl : kCsidls) folders.push_back(KnownFolder(csidl));
  for (const wchar_t* name : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)",
                              L"CommonProgramFiles", L"CommonProgramFiles(x86)",
                              L"CommonProgramW6432", L"ProgramData", L"SystemRoot", L"windir",
                              L"USERPROFILE", L"PUBLIC", L"ALLUSERSPROFILE", L"TEMP", L"TMP",
                              L"APPDATA", L"LOCALAPPDATA"}) {
    folders.push_back(EnvironmentFolder(name));
  }
  AddKnownFolders(folders);

  ProtectedPlaces places;
  for (const std::wstring& f : folders) AddForms(places.folders, f);
  const ProfileListing listing = profiles.List();
  std::vector<std::wstring> common;
  for (int csidl : {CSIDL_WINDOWS, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                    CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
                    CSIDL_COMMON_APPDATA, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS,
                    CSIDL_COMMON_STARTMENU, CSIDL_COMMON_STARTUP, CSIDL_COMMON_DOCUMENTS}) {
    common.push_back(KnownFolder(csidl));
  }
  for (const wchar_t* name : {L"ProgramW6432", L"PUBLIC", L"ALLUSERSPROFILE"}) {
    common.push_back(EnvironmentFolder(name));
  }
  AddProfiles(places, listing, common);
  // The folder holding this account's profile ("C:\Users" unless it is a
  // service's), and the old name of the folder of profiles.
  const std::wstring profile = ListedFolder(listing.ownProfile);
  const size_t sep = profile.rfind(L'\\');
  if (sep != std::wstring::npos) AddForms(places.profileHolders, profile.substr(0, sep));
  std::wstring systemDrive = EnvironmentFolder(L"SystemDrive");
  if (systemDrive.empty()) systemDrive = KnownFolder(CSIDL_WINDOWS).substr(0, 2);
  if (!systemDrive.empty()) {
    AddForms(places.profileHolders, systemDrive + L"\\Documents and Settings");
  }
  for (const std::wstring& holder : std::vector<std::wstring>(places.profileHolders)) {
    AddForms(places.folders, holder);
  }
  for (const std::wstring& w : {KnownFolder(CSIDL_WINDOWS), EnvironmentFolder(L"SystemRoot"),
                                EnvironmentFolder(L"windir")}) {
    AddForms(places.windowsFolders, w);
  }
  AddForms(places.tempFolders, EnvironmentFolder(L"TEMP"));
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n > 0 && n <= MAX_PATH) AddForms(places.tempFolders, std::wstring(temp, n));
  AddForms(places.fontsFolders, KnownFolder(CSIDL_FONTS));
  // "system32" of a 32-bit program on 64-bit Windows is SysWOW64 once the
  // path is resolved: the cache file it names lies there.
  AddForms(places.systemFolders, KnownFolder(CSIDL_SYSTEM));
  AddForms(places.systemFolders, KnownFolder(CSIDL_SYSTEMX86));
  places.machineNames = MachineNames();
  return places;
}

// Where these folders lie does not change while a program runs; asking the
// shell costs milliseconds, and deletes come by the hundred.
const ProtectedPlaces& Protected() {
  static const ProtectedPlaces places = AskProtectedPlaces(SystemProfileList());
  return places;
}

// True when `ancestor` is `path` itself or one of its parents.
bool IsSameOrAncestor(const std::wstring& ancestor, const std::wstring& path) {
  return SamePath(ancestor, path) || PathIsBelow(path, ancestor);
}

// True when `path` is `folder`, lies directly in it, or is above it.
bool IsWithinOneLevelOf(const std::wstring& folder, const std::wstring& path) {
  if (IsSameOrAncestor(path, folder)) return true;
  if (!PathIsBelow(path, folder)) return false;
  const size_t rest = folder.back() == L'\\' ? folder.size() : folder.size() + 1;
  return path.find(L'\\', rest) == std::wstring::npos;
}

bool AnyHolds(const std::vector<std::wstring>& folders, const std::wstring& path,
              bool strictly) {
  for (const std::wstring& f : folders) {
    if (strictly ? PathIsBelow(path, f) : IsSameOrAncestor(f, path)) return true;
  }
  return false;
}

bool IsFontFileName(const std::wstring& path) {
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || path.find(L'\\', dot) != std::wstring::npos) return false;
  const std::wstring extension = path.substr(dot + 1);
  for (const wchar_t* font : {L"ttf", L"ttc", L"otf", L"otc", L"fon", L"fnt", L"fot", L"pfm",
                              L"pfb"}) {
    if (SamePath(extension, font)) return true;
  }
  return false;
}

// Inside the Windows folder only TEMP's contents (where a service account
// downloads) and single font files may go.
std::wstring WindowsFolderRefusal(const ProtectedPlaces& places, const std::wstring& form,
                                  bool pattern) {
  if (!AnyHolds(places.windowsFolders, form, false)) return L"";
  if (pattern ? AnyHolds(places.tempFolders, form, false)
              : AnyHolds(places.tempFolders, form, true)) {
    return L"";
  }
  if (!pattern && IsFontFileName(form)) {
    const DWORD attributes = GetFileAttributesW(form.c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    const size_t sep = form.rfind(L'\\');
    const std::wstring parent = sep == std::wstring::npos ? L"" : form.substr(0, sep);
    for (const std::wstring& fonts : places.fontsFolders) {
      if (!folder && SamePath(fonts, parent)) return L"";
    }
  }
  if (!pattern) {
    const size_t sep = form.rfind(L'\\');
    if (sep != std::wstring::npos && SamePath(form.substr(sep + 1), L"FNTCACHE.DAT")) {
      for (const std::wstring& system : places.systemFolders) {
        if (SamePath(system, form.substr(0, sep))) return L"";
      }
    }
  }
  return ReasonText(Reason::InsideWindowsFolder);
}

// Why a "\\host\share\..." path may not go; empty when it may. Host names
// are compared as the network resolves them: ordinally, letter case ignored
// (a full-width or kana twin of this machine's name is another name).
std::wstring UncRefusal(const ProtectedPlaces& places, const std::wstring& full) {
  const size_t hostEnd = full.find(L'\\', 2);
  if (hostEnd == std::wstring::npos) return ReasonText(Reason::ShareRoot);
  const std::wstring host = full.substr(2, hostEnd - 2);
  size_t shareEnd = full.find(L'\\', hostEnd + 1);
  if (shareEnd == std::wstring::npos) shareEnd = full.size();
  const std::wstring share = full.substr(hostEnd + 1, shareEnd - hostEnd - 1);
  if (host.empty() || share.empty() || shareEnd + 1 >= full.size()) return ReasonText(Reason::ShareRoot);
  if (share.back() == L'$') return ReasonText(Reason::AdministrativeShare);
  if (StartsWith(host, L"127.")) return ReasonText(Reason::ShareOnThisMachine);
  for (const std::wstring& name : places.machineNames) {
    if (SameName(host, name)) return ReasonText(Reason::ShareOnThisMachine);
  }
  return L"";
}

}  // namespace

namespace {

std::wstring RefusalAmong(const ProtectedPlaces& places, const std::wstring& path,
                          DeleteKind kind, const IFinalPaths& finalPaths) {
  const std::wstring p = Trim(path);
  if (p.empty()) return ReasonText(Reason::BlankPath);
  if (p.find(L'\0') != std::wstring::npos) return ReasonText(Reason::PathHoldsNul);
  if (!FitsPlainPathCalls(p)) return ReasonText(Reason::PathTooLong);
  if (StartsWith(p, L"\\\\?\\") || StartsWith(p, L"\\\\.\\") || StartsWith(p, L"//?/") ||
      StartsWith(p, L"//./") || StartsWith(p, L"\\??\\")) {
    return ReasonText(Reason::DeviceOrRawPath);
  }
  // "<", ">" and '"' are wildcards to the file system as well; nothing of
  // ours is named with them.
  if (p.find_first_of(L"<>\"|") != std::wstring::npos) return ReasonText(Reason::WildcardInPath);
  const size_t lastSep = p.find_last_of(L"\\/");
  const size_t wildcard = p.find_first_of(L"*?");
  if (wildcard != std::wstring::npos &&
      (kind == DeleteKind::SinglePath || lastSep == std::wstring::npos || wildcard < lastSep)) {
    return ReasonText(Reason::WildcardInPath);
  }
  const bool unc = StartsWith(p, L"\\\\") || StartsWith(p, L"//");
  if (!unc && !IsDriveAbsolute(p)) return ReasonText(Reason::RelativePath);
  // A colon past the drive names a stream ("C:\Windows::$INDEX_ALLOCATION"
  // is the folder itself).
  if (p.find(L':', unc ? 0 : 2) != std::wstring::npos) return ReasonText(Reason::StreamNameInPath);

  // What the folder part resolves to ("C:\a\..\.." is the drive root).
  // The separator stays with the folder part: "C:" alone would name the
  // drive's current directory, not its root.
  const bool pattern = wildcard != std::wstring::npos;
  const std::wstring folderPart = pattern ? p.substr(0, lastSep + 1) : p;
  const std::wstring full = FullPath(folderPart);
  if (full.empty()) return ReasonText(Reason::PathCannotBeResolved);
  if (unc) {
    const std::wstring why = UncRefusal(places, full);
    if (!why.empty()) return why;
  } else if (full.size() <= 3) {
    return ReasonText(Reason::DriveRoot);
  }
  // The same place by other names: its long form, and where it lies once
  // the links on the way are followed (a pattern's folder is entered, so
  // its own link is followed too). Where the system opens the path itself
  // is judged as well: Wine follows a folder link made on the host even
  // when asked not to.
  const std::wstring longForm = LongPath(full);
  if (longForm.empty()) return ReasonText(Reason::PathTooLong);
  std::vector<std::wstring> forms{full};
  if (longForm != full) forms.push_back(longForm);
  const std::wstring resolved =
      pattern ? ResolvedFolder(full, finalPaths) : ResolvedPath(full, finalPaths);
  const std::wstring opened = pattern ? L"" : finalPaths.FinalPathOf(full, false);
  for (const std::wstring& form : {resolved, opened}) {
    if (form.empty() || form == full) continue;
    if (!StartsWith(form, L"\\\\") && form.size() <= 3) return ReasonText(Reason::DriveRoot);
    if (StartsWith(form, L"\\\\")) {
      const std::wstring why = UncRefusal(places, form);
      if (!why.empty()) return why;
    }
    forms.push_back(form);
  }
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (!pattern && attributes != INVALID_FILE_ATTRIBUTES &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY) && OpensElsewhere(resolved, full, finalPaths)) {
    return ReasonText(Reason::LinkToFileElsewhere);
  }
  for (const std::wstring& form : forms) {
    for (const std::wstring& guarded : places.folders) {
      if (IsSameOrAncestor(form, guarded)) return ReasonText(Reason::ProtectedFolder, guarded);
    }
    // Every profile is some user's whole data, not only ours.
    for (const std::wstring& holder : places.profileHolders) {
      if (IsWithinOneLevelOf(holder, form)) return ReasonText(Reason::UserProfile, form);
    }
    for (const std::wstring& other : places.otherProfiles) {
      if (IsSameOrAncestor(form, other) || PathIsBelow(form, other)) {
        return ReasonText(Reason::OtherAccountsProfile, other);
      }
    }
    const std::wstring why = WindowsFolderRefusal(places, form, pattern);
    if (!why.empty()) return why;
  }
  return L"";
}

}  // namespace

std::wstring DeleteRefusal(const std::wstring& path, DeleteKind kind,
                           const IFinalPaths& finalPaths, const IProfileList& profiles) {
  try {
    // Only the system's answer is kept for the run; another one is a test's.
    if (dynamic_cast<const SystemProfileList*>(&profiles)) {
      return RefusalAmong(Protected(), path, kind, finalPaths);
    }
    return RefusalAmong(AskProtectedPlaces(profiles), path, kind, finalPaths);
  } catch (const std::exception&) {
    // Out of memory, or a seam that failed: what cannot be judged stays.
    return ReasonText(Reason::PathCannotBeJudged);
  }
}

namespace {

// The guard's verdict on a path as a step's refusal.
std::optional<StepError> Refused(const std::wstring& refusal, const std::wstring& path) {
  if (refusal.empty()) return std::nullopt;
  return StepError::Refusal(ERROR_ACCESS_DENIED, path, Reason::Described, refusal);
}

// The names of a NUL-separated list, empty ones left out.
std::vector<std::wstring> NamesOf(const std::wstring& list) {
  std::vector<std::wstring> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(L'\0', start);
    if (end == std::wstring::npos) end = list.size();
    if (end > start) names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// A shell name list runs to its first empty name (two NULs in a row).
std::wstring ShellList(const wchar_t* list) {
  std::wstring all;
  if (!list) return all;
  for (const wchar_t* name = list; *name; name += wcslen(name) + 1) {
    all.append(name);
    all.push_back(L'\0');
  }
  return all;
}

}  // namespace

StepDone ReplaceGuardedFile(const std::wstring& from, const std::wstring& to) {
  if (const auto refused = Refused(DeleteRefusal(to), to)) return *refused;
  const std::wstring target = FullPath(to);
  const StepResult<FileHandle> source =
      OpenByPath(FullPath(from), DELETE, kShareAll,
                 EntryType::File);
  if (!source) return source.Error();
  return RenameTo(source->Get(), target, true);
}

std::wstring ShellOperationRefusal(UINT operation, const std::wstring& sources) {
  if (operation != FO_DELETE && operation != FO_MOVE && operation != FO_RENAME) return L"";
  const std::vector<std::wstring> names = NamesOf(sources);
  if (names.empty()) return ReasonText(Reason::NothingNamed);
  for (const std::wstring& name : names) {
    const std::wstring refusal = DeleteRefusal(name, DeleteKind::PatternInFolder);
    if (!refusal.empty()) return name + L": " + refusal;
  }
  return L"";
}

int GuardedShellOperation(SHFILEOPSTRUCTW& operation) {
  if (!ShellOperationRefusal(operation.wFunc, ShellList(operation.pFrom)).empty()) {
    return ERROR_ACCESS_DENIED;
  }
  return SHFileOperationW(&operation);
}

StepDone DiscardCreatedFile(HANDLE file) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE) {
    return StepError::Of(ERROR_INVALID_HANDLE, L"");
  }
  return DisposeOf(file, false);
}

StepDone PlaceCreatedFile(HANDLE file, const std::wstring& to, bool replace) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE) {
    return StepError::Of(ERROR_INVALID_HANDLE, to);
  }
  // A relative name would be taken from whatever the current folder is.
  const std::wstring given = Trim(to);
  const bool unc = StartsWith(given, L"\\\\");
  const bool drive = IsDriveAbsolute(given);
  const std::wstring full = unc || drive ? FullPath(given) : L"";
  if (full.empty()) return *Refused(ReasonText(Reason::RelativePath), to);
  if (replace) {
    if (const auto refused = Refused(DeleteRefusal(full), full)) return *refused;
  }
  return RenameTo(file, full, replace);
}

}  // namespace norvale
