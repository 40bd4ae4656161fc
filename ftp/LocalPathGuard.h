#pragma once
// Names that a server lists end up in local paths. A hostile or broken server
// must not be able to reach outside the folder the user chose: these two
// checks stand between its names and the file system.
#include <string>
#include <string_view>

namespace norvale {

// True when a listed name can be used as one level of a local path: not
// empty, no separator, drive colon, control or wildcard character, not "."
// or "..", not only dots and blanks (Windows would drop them), and no device
// name such as CON, NUL, COM1 or LPT1, also with an extension ("con.txt").
bool IsSafeLocalName(std::wstring_view name);

// True when path, made absolute and normalised, lies below folder (or is the
// folder itself when allowSame). Either one that Windows cannot make
// absolute is outside.
bool IsInsideFolder(const std::wstring& folder, const std::wstring& path, bool allowSame = false);

// The absolute, normalised form of a local path (relative ones against the
// current directory), without a trailing separator; empty when Windows
// cannot make one or the path names a device.
std::wstring FullLocalPath(const std::wstring& path);

}  // namespace norvale
