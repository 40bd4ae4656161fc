#include "GeneratedFiles.h"

#include "EngineSupport.h"
#include "Paths.h"

namespace norvale {

const wchar_t kFileAccessComment[] = L";ファイルのアクセス許可=";

GeneratedFiles::GeneratedFiles(IFolderAccess& access,
                               std::function<void(const std::wstring&)> record)
    : access_(access), record_(std::move(record)) {
  SkipOnFailure([&] {
    elevated_ = access_.IsElevated();
    list_ = FolderAccessListForThisRun(access_, GuardedFolder::kGeneratedFile);
  });
}

StepResult<FileHandle> GeneratedFiles::CreateIn(HANDLE folder, const std::wstring& path) {
  try {
    // Elevated, a file that users could change is not made at all: the
    // caller then goes without it (a shortcut starts its program itself).
    if (elevated_ && !list_) {
      return StepError::Refusal(ERROR_INVALID_SECURITY_DESCR, path, Reason::NoAccessListForFile);
    }
    return access_.CreateFileIn(folder, path, list_ ? &*list_ : nullptr);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(path);
  }
}

void GeneratedFiles::Placed(const std::wstring& path) {
  // A file that keeps what its folder passes down got no list to name.
  SkipOnFailure([&] {
    if (record_ && list_) record_(kFileAccessComment + path + L"|作成|" + list_->Text());
  });
}

bool InInstallTree(const InstallerState& state, const std::wstring& path) {
  return engine::OrFailure(false, [&] {
    const std::wstring full = FullPath(path);
    return state.installTree && !full.empty() && state.installTree->Holds(full);
  });
}

DWORD WriteGeneratedFileInTree(InstallerState& state, const std::wstring& path,
                               std::string_view content,
                               std::function<void(const std::wstring&)> record) {
  return engine::OrFailure<DWORD>(ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    if (!state.installTree) return ERROR_BAD_PATHNAME;
    GeneratedFiles files(*state.seams.windows.folderAccess, std::move(record));
    const StepDone written = WriteGeneratedFile(*state.installTree, path, content, &files);
    return written ? 0 : written.Error().code;
  });
}

}  // namespace norvale
