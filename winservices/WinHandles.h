#pragma once
// Owners for the handles the Windows services open besides kernel handles.
#include <windows.h>
#include <shlobj.h>

#include "Handles.h"

namespace norvale {

// An item-identifier list the shell allocated for us.
struct ItemIdListTraits {
  using handle_type = LPITEMIDLIST;
  static LPITEMIDLIST Invalid() { return nullptr; }
  static void Close(LPITEMIDLIST p) { CoTaskMemFree(p); }
};

using ItemIdList = UniqueHandle<ItemIdListTraits>;

// Closes the key now and says whether the registry accepted the close; a
// member that reports the close in its result uses this instead of letting
// the owner close it silently.
inline bool CloseRegKey(RegKey& key) {
  if (!key) return true;
  return RegCloseKey(key.Release()) == ERROR_SUCCESS;
}

}  // namespace norvale
