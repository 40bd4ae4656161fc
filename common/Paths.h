#pragma once
// The one set of rules by which two path texts name the same place, shared
// by the delete guard, the installer and the uninstaller: the full form, the
// long form, where an existing path really lies, and comparing as the file
// system compares names (letter case ignored, nothing else: "ポ" and "ぽ",
// or a full-width and a half-width letter, name different files).
#include <string>
#include <string_view>

#include "Seams.h"

namespace norvale {

// True when a path fits the plain file calls (no "\\?\" form): at most
// MAX_PATH - 1 characters without its closing separators, MAX_PATH - 12 for a
// folder (room left for an 8.3 name inside it, as CreateDirectoryW demands),
// and no part longer than 255 characters. Nothing longer is ours, and some
// systems' path calls overrun fixed buffers on it.
bool FitsPlainPathCalls(const std::wstring& path, bool folder = false);

// The full form: blanks trimmed, "/" read as "\", "." and ".." resolved, a
// relative path taken from the current folder, no closing separator (a drive
// root keeps it). The disk is not asked. Empty when Windows cannot make one.
// Windows drops trailing blanks and dots from the last part only, and only
// when no separator follows it: "C:\App \x" lies in the folder "App ", a
// folder of its own, and "C:\App \" names that folder too, so there the
// closing separator stays ("C:\App " names "C:\App"). Of a middle part it
// drops one closing dot: "App..\" is left as "App.\", which would lose its
// dot again if handed back, so the form is for comparing.
std::wstring FullPath(const std::wstring& path);

// The full form of a path that names one place whatever the current folder
// is, each existing part spelled as its folder lists it (8.3 short names
// expanded). Each part is looked up by itself in the folder its long form
// names, so no call is handed more than the plain file calls take; a part
// that ends in a blank or a dot stays as spelled (asked by itself it would
// be read trimmed, as the last part of a path is, and answer for another
// folder), and so does the closing separator FullPath keeps after one. A share
// is not asked (the question alone would reach whatever host it names), nor
// are the parts from the first one that is missing or holds a wildcard, or
// below one that ends in a dot (a path through it is read without the dot).
// Empty when the path is relative or its long form does not fit the plain
// file calls.
std::wstring LongPath(const std::wstring& path);

// Where an existing folder lies: every junction and link on the way to it,
// and the folder's own, followed. Empty when it cannot be asked.
std::wstring ResolvedFolder(const std::wstring& folder,
                            const IFinalPaths& finalPaths = SystemFinalPaths());

// Where an existing file or folder lies as a delete meets it: the folder
// holding it resolved through its links, then its own name as that folder
// lists it (a link there is the link itself; a name that keeps its closing
// separator, as spelled). Empty when it does not exist or cannot be asked.
std::wstring ResolvedPath(const std::wstring& path,
                          const IFinalPaths& finalPaths = SystemFinalPaths());

// A drive letter as the file system takes one: ASCII "A" to "Z" in either
// case. "é" or a full-width "Ｃ" names no drive, and a rule that took one as a
// drive would judge a relative path as an absolute one.
bool IsDriveLetter(wchar_t c);

// "X:\" or "X:/" with X a drive letter: a path that names its drive and the
// folders from its root.
bool IsDriveAbsolute(std::wstring_view path);

// Two names as the file system and the network compare them: ordinal, letter
// case ignored, nothing else (no kana type, width or ignorable characters).
bool SameName(std::wstring_view a, std::wstring_view b);

// Where an open file or folder lies, in drive form ("\\?\" taken off, a
// share as "\\host\share\..."), without a closing separator but a drive
// root's and, as in FullPath, one after a last part that ends in a blank or
// a dot. Empty when it cannot be asked.
std::wstring FinalPathOfHandle(HANDLE handle);
// That form of what GetFinalPathNameByHandleW answers ("\\?\C:\...").
std::wstring DriveFormOfFinalPath(std::wstring finalPath);

// folder and name with one separator between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// Where FinalPathOfHandle places the entry `name` (one part, or parts below
// `folder`) of the folder lying at `folder`: joined, and closed by a
// separator when the last part ends in a blank or a dot, which Windows
// keeps in the name.
std::wstring EntryPath(const std::wstring& folder, const std::wstring& name);

// Two paths in one form name the same place (ordinal, letter case ignored).
bool SamePath(std::wstring_view a, std::wstring_view b);

// path lies strictly below folder, both in one form (folder may end in "\").
bool PathIsBelow(std::wstring_view path, std::wstring_view folder);

// What follows folder and its separator in path ("sub\a.zip"), both in one
// form; empty unless path lies strictly below folder.
std::wstring PartBelow(std::wstring_view path, std::wstring_view folder);

// Two absolute paths name one place by some name of each: their full forms,
// or their long forms where both can be had (8.3 names expanded).
bool SamePlace(const std::wstring& a, const std::wstring& b);

// path lies strictly below folder by some name of each: their full forms, or
// their long forms where both can be had (8.3 names expanded). Both must be
// absolute (a drive or a share).
bool PlaceIsBelow(const std::wstring& path, const std::wstring& folder);

// One key per place, for sets and maps of paths: the long form where it can
// be had, else the full form, else the text trimmed; letter case folded as
// SamePath ignores it. Keys of two paths are equal exactly when SamePath
// takes their forms as one.
std::wstring PathKey(const std::wstring& path);

}  // namespace norvale
