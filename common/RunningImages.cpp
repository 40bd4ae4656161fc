#include "RunningImages.h"

#include <tlhelp32.h>

#include <vector>

#include "Handles.h"
#include "Paths.h"

namespace norvale {
namespace {

// The program files and DLLs of every process the snapshot can read; a
// process of the other bitness (or one ending meanwhile) is passed over.
std::vector<std::wstring> LoadedModulePaths() {
  std::vector<std::wstring> paths;
  const FileHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes) return paths;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL more = Process32FirstW(processes.Get(), &process); more;
       more = Process32NextW(processes.Get(), &process)) {
    const FileHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32,
                                                        process.th32ProcessID));
    if (!modules) continue;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL next = Module32FirstW(modules.Get(), &module); next;
         next = Module32NextW(modules.Get(), &module)) {
      paths.emplace_back(module.szExePath);
    }
  }
  return paths;
}

std::optional<ULONGLONG> NumberOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  return (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

std::optional<ULONGLONG> NumberOf(const std::wstring& path) {
  const FileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  if (!file) return std::nullopt;
  return NumberOf(file.Get());
}

// The numbers of the mapped files lying at `folder` or below it.
std::set<ULONGLONG> ImagesLyingIn(const std::wstring& folder) {
  std::set<ULONGLONG> numbers;
  const std::wstring within = FullPath(folder);
  if (within.empty()) return numbers;
  for (const std::wstring& loaded : LoadedModulePaths()) {
    // A program started through an 8.3 name is listed by it.
    std::wstring path = FullPath(loaded);
    if (path.find(L'~') != std::wstring::npos) path = LongPath(path);
    if (path.empty() || !(PathIsBelow(path, within) || SamePath(path, within))) continue;
    if (const std::optional<ULONGLONG> number = NumberOf(path)) numbers.insert(*number);
  }
  return numbers;
}

// The kinds of file Windows programs are started from or load as modules.
bool HasImageName(const std::wstring& path) {
  const size_t dot = path.find_last_of(L".\\");
  if (dot == std::wstring::npos || path[dot] != L'.') return false;
  const std::wstring_view extension = std::wstring_view(path).substr(dot + 1);
  for (const wchar_t* image : {L"exe", L"dll", L"ocx", L"cpl", L"scr", L"sys", L"drv", L"ax",
                               L"com", L"efi", L"mui", L"tlb", L"tsp", L"ime"}) {
    if (SameName(extension, image)) return true;
  }
  return false;
}

}  // namespace

bool RunningImages::Hold(HANDLE file, const std::wstring& lies,
                         std::optional<ULONGLONG> index) {
  if (!HasImageName(lies)) return false;
  if (!indexes_ || folder_.empty()) indexes_ = ImagesLyingIn(folder_.empty() ? lies : folder_);
  if (indexes_->empty()) return false;
  if (!index) index = NumberOf(file);
  return index && indexes_->count(*index) != 0;
}

}  // namespace norvale
