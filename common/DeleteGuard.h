#pragma once
// The one decision every delete of a folder or file goes through. An
// installer that deletes the wrong folder destroys a user's data, so a path is
// refused unless it is an absolute, plain path that lies strictly below every
// folder that Windows or the user's profile owns.
#include <string>

namespace norvale {

enum class DeleteKind {
  SinglePath,        // one file or folder, no wildcards
  PatternInFolder,   // wildcards allowed in the last part only
};

// Empty when the path may be deleted; otherwise why not (for the log).
std::wstring DeleteRefusal(const std::wstring& path, DeleteKind kind = DeleteKind::SinglePath);
inline bool MayDelete(const std::wstring& path, DeleteKind kind = DeleteKind::SinglePath) {
  return DeleteRefusal(path, kind).empty();
}

// Deletes a folder with everything below it (read-only files included) after
// the guard agreed. Junctions and symbolic links inside are removed as links:
// what they point to is never entered. Returns true when the folder is gone;
// a refusal or failure is described in *why.
bool DeleteTree(const std::wstring& folder, std::wstring* why = nullptr);

}  // namespace norvale
