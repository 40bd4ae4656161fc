// A removal run for tests/tools/test_removal_race.py, which changes the
// folder from the host while this removes it, as another signed-in user
// could:
//   removal_race_probe install FOLDER           the uninstaller's removal of
//                                               its install folder
//   removal_race_probe tree FOLDER [NAME DIR]   the guard's tree delete; with
//       NAME, it stops before opening the entry NAME, makes DIR\swap-now and
//       waits (20 s at most) for DIR\swap-done, so that the host swaps that
//       entry between the listing and the opening.
// Prints "done" and what the call answered.
#include <windows.h>

#include <cstdio>
#include <string>

#include "DeleteGuard.h"
#include "DeleteMeCmd.h"
#include "UninstallerState.h"
#include "WinServicesSeams.h"

namespace {

class SwapBeforeOpening final : public norvale::ITreeRemovalEvents {
 public:
  SwapBeforeOpening(std::wstring name, std::wstring dir)
      : name_(std::move(name)), dir_(std::move(dir)) {}
  void BeforeOpening(const std::wstring& path) override {
    if (done_ || path.size() < name_.size() + 1 ||
        path.compare(path.size() - name_.size() - 1, std::wstring::npos, L"\\" + name_) != 0) {
      return;
    }
    done_ = true;
    const HANDLE signal = CreateFileW((dir_ + L"\\swap-now").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (signal != INVALID_HANDLE_VALUE) CloseHandle(signal);
    const std::wstring answer = dir_ + L"\\swap-done";
    for (int waited = 0; waited < 2000; ++waited) {
      if (GetFileAttributesW(answer.c_str()) != INVALID_FILE_ATTRIBUTES) return;
      Sleep(10);
    }
  }

 private:
  std::wstring name_, dir_;
  bool done_ = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"install" && argc == 3) {
    norvale::NoUninstallerWindow window;
    norvale::SystemWaits waits;
    const bool removed = static_cast<bool>(norvale::RemoveInstallFolder(argv[2], waits, window));
    std::printf("done %s\n", removed ? "removed" : "left");
    return 0;
  }
  if (mode == L"tree" && (argc == 3 || argc == 5)) {
    SwapBeforeOpening events(argc == 5 ? argv[3] : L"\x1", argc == 5 ? argv[4] : L"");
    const bool removed =
        static_cast<bool>(norvale::DeleteTree(argv[2], norvale::SystemFinalPaths(), events));
    std::printf("done %s\n", removed ? "removed" : "left");
    return 0;
  }
  std::fprintf(stderr, "usage: removal_race_probe install FOLDER | tree FOLDER [NAME DIR]\n");
  return 2;
}
