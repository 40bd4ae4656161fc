#pragma once
// File-system queries and the folder walk that the common classes share.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvale {

struct FoundFile {
  std::wstring name;
  DWORD attributes = 0;
  uint64_t size = 0;
  FILETIME lastWrite{};
};

// A file that a plain directory listing shows: exists, is no folder, and is
// neither hidden nor system.
bool IsOrdinaryFile(const std::wstring& path);
// Any file (hidden and system ones too), no folder.
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
std::optional<FoundFile> QueryFile(const std::wstring& path);

// The files (never folders) matching a pattern such as "C:\\dir\\*.log", in
// the order the file system lists them. Hidden and system files only when
// asked for. A missing folder lists nothing; any other failure to list
// (bad drive, invalid name) is reported in *listError as a run-time number.
std::vector<FoundFile> ListFiles(const std::wstring& pattern, bool includeHiddenAndSystem,
                                 int32_t* listError = nullptr);

bool IsNetworkPath(const std::wstring& path);
// "X:\..." or "\\server\...": a path that names one place whatever the
// current drive and folder are ("\\?\" and "\\.\" device paths excluded).
bool IsFullyQualifiedPath(const std::wstring& path);

// The "." and ".." entries that every folder listing holds.
bool IsSelfOrParent(std::wstring_view name);
// A path without its closing "\\"; a drive root ("C:\\") keeps it, as "C:"
// alone names the drive's current folder.
std::wstring WithoutTrailingSeparator(std::wstring path);

// The absolute form of a path: blanks trimmed, a leading "." resolved against
// baseFolder (the program's folder when blank), then against the current
// directory. The disk is not touched. nullopt when Windows cannot make one.
std::optional<std::wstring> AbsolutePath(const std::wstring& path,
                                         const std::wstring& baseFolder);

// Creates every missing level of an absolute path, from the drive down,
// without changing the current directory. Returns 0 or the run-time error
// number of the level that could not be created (named in *failedLevel).
int32_t CreateMissingLevels(const std::wstring& absolutePath, std::wstring* failedLevel);

// Creates a network folder in one step unless a listing finds it already;
// returns 0 or the creation's run-time error number.
int32_t CreateNetworkFolder(const std::wstring& path);

}  // namespace norvale
