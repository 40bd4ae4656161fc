// The floor under the product's tree removal: the plain path-based loop that
// any program would write, with no guard, no handles held and no checks.
#include "removal_bench.h"

#include <windows.h>

namespace bench {

void RemovePlainly(const std::wstring& folder) {
  WIN32_FIND_DATAW data{};
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = folder + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemovePlainly(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace bench
