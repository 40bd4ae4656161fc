#include "ArchiveExtraction.h"

#include <windows.h>

#include <optional>

#include "DeleteGuard.h"
#include "EngineBinding.h"
#include "EngineSupport.h"
#include "FileSystem.h"
#include "FolderAccess.h"
#include "FileActs.h"
#include "GuardedRemovals.h"
#include "Handles.h"
#include "Paths.h"
#include "Text.h"

namespace norvale {

using engine::EqualsIgnoreCase;
using engine::OrFailure;

namespace {

std::wstring WithTrailingSeparator(const std::wstring& path) {
  return path.ends_with(L"\\") ? path : path + L"\\";
}

void SetCaption(ICaption* label, const std::wstring& text) {
  if (label) engine::SkipOnFailure([&] { label->SetCaption(text); });
}

// Entries of a folder (files and folders, "." and ".." left out) in the
// order the file system lists them.
std::vector<WIN32_FIND_DATAW> ListEntries(const std::wstring& folder) {
  std::vector<WIN32_FIND_DATAW> entries;
  WIN32_FIND_DATAW data{};
  FindHandle find(FindFirstFileW((WithTrailingSeparator(folder) + L"*").c_str(), &data));
  if (!find) return entries;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") entries.push_back(data);
  } while (FindNextFileW(find.Get(), &data));
  return entries;
}

bool InTree(ITreeWrites* tree, const std::wstring& path) {
  if (!tree) return false;
  const std::wstring full = FullPath(path);
  return !full.empty() && tree->Holds(full);
}

// Makes a folder with the levels it lacks: by name, or through the tree.
bool MakeFolders(const std::wstring& folder, ITreeWrites* tree, std::wstring* errText = nullptr) {
  if (InTree(tree, folder)) {
    const StepDone made = MakeFolderInTree(*tree, FullPath(folder));
    if (!made && errText) *errText = made.Error().Text();
    return static_cast<bool>(made);
  }
  CreateMissingLevels(WithoutTrailingSeparator(folder), nullptr);
  return true;
}

bool CopyOneFile(const std::wstring& from, const std::wstring& to, bool overwrite,
                 ITreeWrites* tree, std::wstring& errText) {
  if (InTree(tree, to)) {
    const StepDone copied = CopyIntoTree(*tree, from, FullPath(to), overwrite);
    if (!copied) errText = copied.Error().Text();
    return static_cast<bool>(copied);
  }
  if (CopyFileW(from.c_str(), to.c_str(), !overwrite)) return true;
  errText = engine::SystemErrorText(GetLastError());
  return false;
}

// Copies a folder's tree into target (created when missing). Links inside
// are not followed, so a copy never leaves the source tree.
bool CopyTree(const std::wstring& source, const std::wstring& target, bool overwrite,
              std::wstring& errText, ITreeWrites* tree) {
  if (InTree(tree, target)) {
    if (!MakeFolders(target, tree, &errText)) return false;
  } else if (!CreateDirectoryW(target.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    errText = engine::SystemErrorText(GetLastError());
    return false;
  }
  for (const WIN32_FIND_DATAW& entry : ListEntries(source)) {
    const std::wstring from = source + L"\\" + entry.cFileName;
    const std::wstring to = target + L"\\" + entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!CopyTree(from, to, overwrite, errText, tree)) return false;
    } else if (!CopyOneFile(from, to, overwrite, tree, errText)) {
      return false;
    }
  }
  return true;
}

// An entry copied from source into target would land in the folder `kept`
// or be that folder.
bool Reaches(const std::wstring& source, const std::wstring& target, const std::wstring& kept) {
  if (SamePlace(target, kept) || PlaceIsBelow(target, kept)) return true;
  for (const WIN32_FIND_DATAW& entry : ListEntries(source)) {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    const std::wstring to = target + L"\\" + entry.cFileName;
    const bool reaches = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                             ? Reaches(source + L"\\" + entry.cFileName, to, kept)
                             : SamePlace(to, kept) || PlaceIsBelow(to, kept);
    if (reaches) return true;
  }
  return false;
}

// The checks both extractions make before touching anything: a zip path, a
// destination and the extension "zip". True (with errText) when refused.
bool RefusedArchive(clsPublicFunc& func, const std::wstring& zip, const std::wstring& dest,
                    const wchar_t* noDestinationText, std::wstring& errText) {
  if (IsBlank(zip)) {
    errText = L"圧縮ファイルパスが設定されていません！";
  } else if (IsBlank(dest)) {
    errText = noDestinationText;
  } else if (!EqualsIgnoreCase(func.GetFileExt(func.GetFileID(zip)), L"zip")) {
    errText = L"zipファイル以外のファイルは解凍できません！";
  }
  return !errText.empty();
}

void MakeFolderLogged(EngineContext& engine, const std::wstring& folder) {
  engine::SkipOnFailure([&] { engine.state.objPublicFunc.MakeDir(folder, nullptr, true); });
}

}  // namespace

std::optional<HeldEntry> MakePrivateWorkFolder(IFolderAccess& access) {
  try {
    const std::optional<FolderAccessList> list =
        FolderAccessListForThisRun(access, GuardedFolder::kPrivateFolder);
    if (!list) return std::nullopt;
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return std::nullopt;
    const std::wstring base =
        WithoutTrailingSeparator(PrivateFolderParent(access, std::wstring(temp, n)));
    if (base.empty()) return std::nullopt;
    StepResult<HeldEntry> made = MakePrivateFolder(access, base, L"Norvale-", *list);
    if (!made) return std::nullopt;
    return std::move(*made);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

int32_t GetPathKind(const std::wstring& path) {
  return OrFailure<int32_t>(0, [&]() -> int32_t {
    if (IsBlank(path)) return 0;
    if (FileExists(path)) return 1;
    return FolderExists(path) ? 2 : 0;
  });
}

bool vbCopyFile(const std::wstring& source, const std::wstring& destination, bool overwrite,
                bool destinationIsFile, std::wstring& errText, ITreeWrites* tree) {
  errText.clear();
  return OrFailure(false, [&] {
    if (IsBlank(source) || IsBlank(destination)) {
      errText = L"パスが指定されていません！";
      return false;
    }
    const bool namesFile = destinationIsFile && !destination.ends_with(L"\\");
    std::wstring folder = namesFile ? BeforeLast(destination, L'\\') : destination;
    folder = WithTrailingSeparator(folder);
    const std::wstring target = namesFile ? destination : folder + AfterLast(source, L'\\');
    if (!MakeFolders(WithoutTrailingSeparator(folder), tree, &errText)) return false;
    return CopyOneFile(source, target, overwrite, tree, errText);
  });
}

bool vbCopyFolder(const std::wstring& source, const std::wstring& destination, bool overwrite,
                  std::wstring& errText, ITreeWrites* tree) {
  errText.clear();
  return OrFailure(false, [&] {
    if (IsBlank(source) || IsBlank(destination)) {
      errText = L"フォルダが指定されていません！";
      return false;
    }
    const std::wstring from = WithoutTrailingSeparator(source);
    if (!FolderExists(from)) {
      errText = engine::SystemErrorText(ERROR_PATH_NOT_FOUND);
      return false;
    }
    // A destination ending in "\" receives the folder under its own name.
    const std::wstring target = destination.ends_with(L"\\")
                                    ? destination + AfterLast(from, L'\\')
                                    : destination;
    if (!MakeFolders(BeforeLast(target, L'\\'), tree, &errText)) return false;
    return CopyTree(from, target, overwrite, errText, tree);
  });
}

bool CopyFolderContents(const std::wstring& source, const std::wstring& dest, ITreeWrites* tree) {
  return OrFailure(false, [&] {
    if (IsBlank(source) || IsBlank(dest)) return false;
    if (GetPathKind(source) != 2) return false;
    if (InTree(tree, dest)) {
      if (!tree->OpenFolder(FullPath(dest), false)) return false;
    } else if (GetPathKind(dest) != 2) {
      return false;
    }
    const std::wstring from = WithTrailingSeparator(source);
    const std::wstring to = WithTrailingSeparator(dest);
    bool ok = true;
    const std::vector<WIN32_FIND_DATAW> entries = ListEntries(from);
    std::wstring errText;
    for (const WIN32_FIND_DATAW& entry : entries) {
      if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
      if (!vbCopyFile(from + entry.cFileName, to, true, false, errText, tree)) ok = false;
    }
    for (const WIN32_FIND_DATAW& entry : entries) {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!vbCopyFolder(from + entry.cFileName + L"\\", to, true, errText, tree)) ok = false;
      }
    }
    return ok;
  });
}

bool UnzipByShell(EngineContext& engine, const std::wstring& zip, std::wstring dest) {
  return OrFailure(false, [&] {
    if (IsBlank(zip) || !FileExists(zip)) return false;
    if (IsBlank(dest)) dest = engine.seams.programFolder;
    if (!FolderExists(dest) && !CreateDirectoryW(dest.c_str(), nullptr)) return false;
    const std::wstring name = AfterLast(zip, L'\\');
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || !EqualsIgnoreCase(name.substr(dot + 1), L"ZIP")) return false;
    std::wstring error;
    return engine.seams.zipFolder->CopyItemsOut(zip, dest, &error);
  });
}

bool ExtractArchive(EngineContext& engine, const std::wstring& archive, std::wstring dest) {
  return OrFailure(false, [&] {
    if (IsBlank(archive) || !FileExists(Trim(archive))) return false;
    // The archive DLL the binding loads, or the shell's zip folder.
    if (!FileExists(ArchiveLibraryPath(engine.seams.programFolder, L"7-zip32.dll"))) {
      return UnzipByShell(engine, archive, dest);
    }
    if (IsBlank(dest)) dest = engine.seams.programFolder;
    MakeFolderLogged(engine, dest);
    const std::wstring command = L"x \"" + Trim(archive) + L"\" \"" + dest + L"\\\"";
    return engine.objLzh.LHA_UnLha(command, false);
  });
}

bool ExtractZipFolder(EngineContext& engine, const std::wstring& zip, const std::wstring& dest,
                      std::wstring& errText, ICaption* label) {
  errText.clear();
  return OrFailure(false, [&] {
    clsPublicFunc& func = engine.state.objPublicFunc;
    if (RefusedArchive(func, zip, dest, L"コピー先フォルダが設定されていません！", errText)) {
      return false;
    }
    const std::wstring name = func.GetFileID(zip);
    std::optional<HeldEntry> made = MakePrivateWorkFolder(*engine.state.seams.windows.folderAccess);
    if (!made) {
      errText = L"zipファイルを解凍できませんでした！";
      return false;
    }
    ITreeWrites* tree = engine.state.installTree.get();
    if (label) {
      SetCaption(label, name + L"を解凍しています...");
      engine.window.DoEvents();
    }
    const std::wstring& work = made->path;
    bool ok = ExtractArchive(engine, zip, work);
    if (ok) {
      const std::vector<WIN32_FIND_DATAW> entries = ListEntries(work);
      if (entries.empty()) {
        errText = L"圧縮ファイルにフォルダが存在しませんでした！";
        ok = false;
      } else {
        SetCaption(label, L"解凍したファイルを転送しています...");
        engine.window.DoEvents();
        engine.state.objWinCommon.WinSleep(200);
        engine.window.DoEvents();
        const std::wstring top = work + L"\\" + entries.front().cFileName;
        // The elevated uninstaller and what it trusts lie in "Uninst", which
        // the installer fills itself: nothing an archive holds goes there.
        const std::wstring app = engine.macros.ExpandPathMacros(L"{app}");
        if (IsFullyQualifiedPath(app) && Reaches(top, dest, JoinPath(FullPath(app), L"Uninst"))) {
          errText = L"圧縮ファイルにアンインストーラのフォルダ（Uninst）へ入るファイルがあります！";
          ok = false;
        } else {
          if (InTree(tree, dest)) {
            ok = MakeFolders(dest, tree);
          } else {
            MakeFolderLogged(engine, dest);
          }
          ok = ok && CopyFolderContents(top, dest, tree);
          if (!ok) errText = L"解凍されたフォルダをコピーできませんでした！";
        }
      }
    } else {
      errText = L"zipファイルを解凍できませんでした！";
    }
    // Removals by name do not reach into the Windows folder's TEMP.
    RemoveHeldOwnFolder(made->handle, work);
    SetCaption(label, L"");
    return ok;
  });
}

bool ExtractZip(EngineContext& engine, const std::wstring& zip, const std::wstring& dest,
                std::wstring& errText, ICaption* label) {
  errText.clear();
  return OrFailure(false, [&] {
    clsPublicFunc& func = engine.state.objPublicFunc;
    if (RefusedArchive(func, zip, dest, L"解凍先フォルダが設定されていません！", errText)) {
      return false;
    }
    DeleteTree(dest);
    MakeFolderLogged(engine, dest);
    if (label) {
      SetCaption(label, func.GetFileID(zip) + L"を解凍しています...");
      engine.window.DoEvents();
    }
    const bool ok = ExtractArchive(engine, zip, dest);
    if (!ok) errText = L"zipファイルを解凍できませんでした！";
    SetCaption(label, L"");
    return ok;
  });
}

}  // namespace norvale
