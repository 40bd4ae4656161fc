#pragma once
// Acting on names inside an open folder, never following a link. An elevated
// program writes where other users may rename folders and put links in their
// place: a name looked at a moment ago may lead elsewhere now, a folder held
// open stays the folder it was. Each act here names its folder by handle.
// Failures leave a Windows error as the last error.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "Handles.h"

namespace norvale {

// A part of the way is a link, or opens elsewhere than where its folder
// lists it (Wine follows a link made on the host even when asked not to).
constexpr DWORD kErrorLinkOnTheWay = 4395;  // ERROR_REPARSE_POINT_ENCOUNTERED

// Which file or folder an open handle holds, whatever its name is now.
struct FileIdentity {
  DWORD volume = 0;
  ULONGLONG index = 0;
  bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentityOf(HANDLE file);

// A folder name nobody can have prepared: prefix and a new GUID's digits
// (another run at the same time, or a program of the user that planted a
// folder, gets its own). Empty when no GUID could be had.
std::wstring UniqueFolderName(const std::wstring& prefix);

// One name that a folder can hold: not empty, no separator, colon or
// wildcard, not "." or "..".
bool IsSinglePart(std::wstring_view name);

// The folder `name` inside parent (whose own place is parentPath, as
// FinalPathOfHandle says), opened without following a link. Refused with
// kErrorLinkOnTheWay when it is a link or opens anywhere but parentPath\name.
// *openedPath receives where it lies.
FileHandle OpenFolderIn(HANDLE parent, const std::wstring& parentPath, const std::wstring& name,
                        ACCESS_MASK access, std::wstring* openedPath = nullptr);

// Makes the folder `name` inside parent, with the descriptor in the same call
// (null: what parent passes down); fails with ERROR_ALREADY_EXISTS when the
// name is taken.
FileHandle CreateFolderIn(HANDLE parent, const std::wstring& name,
                          PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK access);

// Makes a new file `name` inside folder; never opens one that exists.
FileHandle CreateFileIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                        DWORD share);

// Opens the existing file `name` inside folder as itself: a link in its
// place is refused with kErrorLinkOnTheWay; a folder there fails as the
// system fails a folder opened as a file.
FileHandle OpenFileIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share);

// What folder holds under name: nothing, a file, a folder, or a link.
enum class EntryKind { kMissing, kFile, kFolder, kLink, kUnknown };
EntryKind KindIn(HANDLE folder, const std::wstring& name);

// Gives the file behind file (opened with DELETE access) the name `name`
// inside folder, replacing a file of that name only when replace is set.
bool RenameInto(HANDLE file, HANDLE folder, const std::wstring& name, bool replace);

// The folder at an absolute drive path ("C:\a\b"), opened from the drive's
// root one part at a time, none of them a link and each where its folder
// lists it. *openedPath receives where it lies.
FileHandle OpenFolderWithoutLinks(const std::wstring& path, ACCESS_MASK access,
                                  std::wstring* openedPath = nullptr);

}  // namespace norvale
