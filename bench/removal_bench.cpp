// The product's tree removal next to the plain loop over the same tree, in
// one run: 2,000 small files in three levels of folders (10 x 10 folders of
// 20 files), made afresh before every removal.
//
//   removal_bench FOLDER [RUNS]
//
// Prints one line per way, "NAME median SECONDS (runs: ...)", then the ratio
// of each product way to the plain loop. FOLDER must not exist.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "DeleteGuard.h"
#include "removal_bench.h"

namespace {

bool MakeTree(const std::wstring& root) {
  if (!CreateDirectoryW(root.c_str(), nullptr)) return false;
  for (int a = 0; a < 10; ++a) {
    const std::wstring first = root + L"\\a" + std::to_wstring(a);
    CreateDirectoryW(first.c_str(), nullptr);
    for (int b = 0; b < 10; ++b) {
      const std::wstring second = first + L"\\b" + std::to_wstring(b);
      CreateDirectoryW(second.c_str(), nullptr);
      for (int c = 0; c < 20; ++c) {
        const std::wstring file = second + L"\\f" + std::to_wstring(c) + L".dat";
        const HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        WriteFile(h, "norvale", 7, &written, nullptr);
        CloseHandle(h);
      }
    }
  }
  return true;
}

double Seconds() {
  LARGE_INTEGER now{}, frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The uninstaller's way: the install folder emptied entry by entry with a
// call after each (where its window answers), then the folder itself.
class CountingEvents final : public norvale::ITreeRemovalEvents {
 public:
  void Done(const std::wstring&) override { ++entries; }
  int entries = 0;
};

struct Way {
  const char* name;
  bool (*remove)(const std::wstring& root);
  std::vector<double> runs;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: removal_bench FOLDER [RUNS]\n");
    return 2;
  }
  const std::wstring root = argv[1];
  const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;
  std::vector<Way> ways = {
      {"plain loop", [](const std::wstring& r) {
         bench::RemovePlainly(r);
         return GetFileAttributesW(r.c_str()) == INVALID_FILE_ATTRIBUTES;
       }, {}},
      {"product tree delete", [](const std::wstring& r) { return static_cast<bool>(norvale::DeleteTree(r)); }, {}},
      {"product emptying", [](const std::wstring& r) {
         CountingEvents events;
         return norvale::EmptyGuardedFolder(r, events).Complete() &&
                events.entries == 2110 && static_cast<bool>(norvale::DeleteTree(r));
       }, {}},
  };
  for (int run = 0; run < runs; ++run) {
    for (Way& way : ways) {
      if (!MakeTree(root)) {
        std::printf("fail making %ls\n", root.c_str());
        return 1;
      }
      const double start = Seconds();
      const bool removed = way.remove(root);
      way.runs.push_back(Seconds() - start);
      if (!removed || GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::printf("fail: %s left the tree\n", way.name);
        return 1;
      }
    }
  }
  std::printf("tree: 2000 files, 110 folders in three levels; %d runs per way\n", runs);
  for (const Way& way : ways) {
    std::printf("%-20s median %7.3f s  (runs:", way.name, Median(way.runs));
    for (double s : way.runs) std::printf(" %.3f", s);
    std::printf(")\n");
  }
  const double floor = Median(ways[0].runs);
  for (size_t i = 1; i < ways.size(); ++i) {
    std::printf("ratio %-14s %.2f x the plain loop\n", ways[i].name + 8,
                Median(ways[i].runs) / floor);
  }
  return 0;
}
