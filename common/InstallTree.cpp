#include "InstallTree.h"

#include <cstdio>
#include <vector>

#include "DeleteGuard.h"
#include "Paths.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr ACCESS_MASK kTreeFolderAccess =
    FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
constexpr wchar_t kPartSuffix[] = L".nvpart";

std::wstring FolderKey(const std::wstring& relative) { return UpperCased(relative); }

// The handle still lies at path: a folder renamed away since it was opened
// does not.
bool StillAt(HANDLE handle, const std::wstring& path) {
  const std::wstring opened = FinalPathOfHandle(handle);
  return !opened.empty() && SamePath(opened, path);
}

std::shared_ptr<const TreeFolder> Refused(DWORD error, std::wstring* why, std::wstring text) {
  if (why) *why = std::move(text);
  SetLastError(error);
  return nullptr;
}

}  // namespace

InstallTree::InstallTree(FileHandle root, std::wstring rootPath, bool rootMade)
    : root_(std::make_shared<TreeFolder>(TreeFolder{std::move(root), std::move(rootPath)})),
      rootMade_(rootMade) {
  if (root_->handle) rootIdentity_ = IdentityOf(root_->handle.Get());
}

std::optional<std::wstring> InstallTree::KeyOf(const std::wstring& path) const {
  std::wstring full = FullPath(path);
  // A last part ending in a blank or a dot keeps a closing separator there.
  if (full.size() > 3 && full.back() == L'\\') full.pop_back();
  if (full.empty()) return std::nullopt;
  if (SamePath(full, root_->path)) return std::wstring();
  const std::wstring below = PartBelow(full, root_->path);
  if (below.empty()) return std::nullopt;
  return below;
}

void InstallTree::NoteMade(const std::wstring& path, HANDLE folder) {
  try {
    const std::optional<std::wstring> key = KeyOf(path);
    const std::optional<FileIdentity> identity = IdentityOf(folder);
    if (key && !key->empty() && identity) made_[FolderKey(*key)] = *identity;
  } catch (...) {
  }
}

bool InstallTree::StillMadeHere(const std::wstring& path) {
  try {
    const std::optional<std::wstring> key = KeyOf(path);
    if (!key) return false;
    std::optional<FileIdentity> expected;
    if (key->empty()) {
      expected = rootIdentity_;
    } else if (const auto found = made_.find(FolderKey(*key)); found != made_.end()) {
      expected = found->second;
    }
    if (!expected) return false;
    const FileHandle opened = OpenFolderWithoutLinks(path, FILE_READ_ATTRIBUTES);
    if (!opened) return false;
    const std::optional<FileIdentity> identity = IdentityOf(opened.Get());
    return identity && *identity == *expected;
  } catch (...) {
    return false;
  }
}

void InstallTree::Release() {
  last_.reset();
  lastKey_.clear();
  root_->handle.Reset();
}

bool InstallTree::Holds(const std::wstring& path) const {
  try {
    return root_->handle && KeyOf(path).has_value();
  } catch (...) {
    return false;
  }
}

std::shared_ptr<const TreeFolder> InstallTree::OpenFolder(const std::wstring& folder, bool make,
                                                          std::wstring* why) {
  try {
    const std::optional<std::wstring> relative = root_->handle ? KeyOf(folder) : std::nullopt;
    if (!relative) {
      return Refused(ERROR_BAD_PATHNAME, why, L"[" + folder + L"]はインストール先の外にあります");
    }
    const std::wstring expected = relative->empty() ? root_->path : EntryPath(root_->path, *relative);
    if (last_ && SamePath(lastKey_, *relative)) {
      if (StillAt(last_->handle.Get(), expected)) return last_;
      last_.reset();
    }
    // The root cannot be renamed by others (its list keeps them from it);
    // should it have moved all the same, nothing more goes into it.
    if (!StillAt(root_->handle.Get(), root_->path)) {
      return Refused(kErrorLinkOnTheWay, why,
                     L"[" + root_->path + L"]はインストール時の場所にありません");
    }
    if (relative->empty()) return root_;

    std::shared_ptr<TreeFolder> current = root_;
    std::wstring key;
    size_t start = 0;
    while (start <= relative->size()) {
      size_t end = relative->find(L'\\', start);
      if (end == std::wstring::npos) end = relative->size();
      const std::wstring name = relative->substr(start, end - start);
      start = end + 1;
      const std::wstring path = JoinPath(current->path, name);
      if (!IsSinglePart(name)) {
        return Refused(ERROR_INVALID_NAME, why, L"[" + path + L"]はフォルダ名として使えません");
      }
      key = key.empty() ? name : key + L"\\" + name;
      std::wstring opened;
      FileHandle next = OpenFolderIn(current->handle.Get(), current->path, name,
                                     kTreeFolderAccess, &opened);
      bool madeNow = false;
      if (!next && make &&
          (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
        next = CreateFolderIn(current->handle.Get(), name, nullptr, kTreeFolderAccess);
        madeNow = next.Valid();
        if (next) {
          opened = FinalPathOfHandle(next.Get());
        } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
          next = OpenFolderIn(current->handle.Get(), current->path, name, kTreeFolderAccess,
                              &opened);
        }
      }
      if (!next) {
        const DWORD error = GetLastError();
        if (error == kErrorLinkOnTheWay) {
          return Refused(error, why,
                         L"[" + path + L"]はリンクか、その先が別の場所にあるフォルダです");
        }
        return Refused(error, why, L"[" + path + L"]を開けませんでした");
      }
      const std::optional<FileIdentity> identity = IdentityOf(next.Get());
      if (!identity || opened.empty()) {
        return Refused(kErrorLinkOnTheWay, why, L"[" + path + L"]を確認できませんでした");
      }
      const auto made = made_.find(FolderKey(key));
      if (madeNow) {
        made_[FolderKey(key)] = *identity;
      } else if (made != made_.end() && !(made->second == *identity)) {
        return Refused(kErrorLinkOnTheWay, why,
                       L"[" + path + L"]はこのインストールで作成したフォルダではありません");
      }
      current = std::make_shared<TreeFolder>(TreeFolder{std::move(next), opened});
    }
    last_ = current;
    lastKey_ = *relative;
    return current;
  } catch (...) {
    return Refused(ERROR_NOT_ENOUGH_MEMORY, why, L"[" + folder + L"]を開けませんでした");
  }
}

FileHandle CreatePartFileIn(const TreeFolder& folder, const std::wstring& name) try {
  const ULONGLONG seed = GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 20);
  constexpr int kNames = 32;
  for (int attempt = 0; attempt < kNames; ++attempt) {
    std::wstring part = name + kPartSuffix;
    if (attempt > 0 || part.size() > 255 || !FitsPlainPathCalls(JoinPath(folder.path, part))) {
      wchar_t hex[9] = {};
      const auto mixed = static_cast<uint32_t>(
          (seed + static_cast<ULONGLONG>(attempt)) * 0x9E3779B97F4A7C15ull >> 32);
      swprintf(hex, 9, L"%08x", mixed);
      part = std::wstring(L"~") + hex + kPartSuffix;
    }
    FileHandle file = CreateFileIn(folder.handle.Get(), part,
                                   GENERIC_READ | GENERIC_WRITE | DELETE, 0);
    if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)) {
      return file;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return {};
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return {};
}

bool PlaceInFolder(HANDLE file, const TreeFolder& folder, const std::wstring& name, bool replace,
                   std::wstring* why) {
  // Only what was judged may be replaced: a file put there meanwhile makes
  // the rename fail instead of going unjudged.
  const bool existed = replace && KindIn(folder.handle.Get(), name) != EntryKind::kMissing;
  if (existed) {
    // Replacing deletes the file that is there.
    const std::wstring refusal = DeleteRefusal(JoinPath(folder.path, name));
    if (!refusal.empty()) {
      if (why) *why = refusal;
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
  }
  if (RenameInto(file, folder.handle.Get(), name, existed)) return true;
  if (why) why->clear();
  return false;
}

bool MakeFolderInTree(ITreeWrites& tree, const std::wstring& folder, std::wstring* why) {
  return tree.OpenFolder(folder, true, why) != nullptr;
}

bool CopyIntoTree(ITreeWrites& tree, const std::wstring& source, const std::wstring& target,
                  bool overwrite, std::wstring* why) {
  try {
    const std::wstring full = FullPath(target);
    const std::wstring name = AfterLast(full, L'\\');
    const std::shared_ptr<const TreeFolder> folder =
        tree.OpenFolder(BeforeLast(full, L'\\'), true, why);
    if (!folder) return false;
    if (!overwrite && KindIn(folder->handle.Get(), name) != EntryKind::kMissing) {
      SetLastError(ERROR_FILE_EXISTS);
      return false;
    }
    const FileHandle from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from) return false;
    FileHandle to = CreatePartFileIn(*folder, name);
    if (!to) return false;
    bool copied = true;
    std::vector<char> buffer(1024 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(from.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
        copied = false;
        break;
      }
      if (got == 0) break;
      DWORD written = 0;
      if (!WriteFile(to.Get(), buffer.data(), got, &written, nullptr) || written != got) {
        copied = false;
        break;
      }
    }
    DWORD error = copied ? 0 : GetLastError();
    if (copied) {
      // As the system's copy leaves it: the source's times and attributes.
      FILE_BASIC_INFO basic{};
      if (GetFileInformationByHandleEx(from.Get(), FileBasicInfo, &basic, sizeof basic)) {
        basic.ChangeTime.QuadPart = 0;
        basic.FileAttributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(to.Get(), FileBasicInfo, &basic, sizeof basic);
      }
      if (PlaceInFolder(to.Get(), *folder, name, overwrite, why)) return true;
      error = GetLastError();
    }
    // Read-only, the new file could not be taken away again.
    FILE_BASIC_INFO plain{};
    plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(to.Get(), FileBasicInfo, &plain, sizeof plain);
    DiscardCreatedFile(to.Get());
    SetLastError(error);
    return false;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

}  // namespace norvale
