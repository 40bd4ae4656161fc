// Times the FTP client against a local server: a folder of small files
// fetched after one listing of the folder (the way a folder download works),
// a few of them fetched as the installer fetches a single file (each one
// listed first, then verified, dated and recorded), and one large file
// fetched that way.
//
//   ftp_bench --port N --user U --password P --local DIR --waits part|zero
//
// tools/bench-ftp.sh prepares the server and runs it.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ClsWinFTP.h"
#include "Text.h"

namespace {

struct Result {
  int files = 0;
  long long bytes = 0;
  double seconds = 0;
  int failures = 0;
};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The files of one server folder into a local folder: after one listing,
// or (lookupEach) each file listed on its own before its transfer. At most
// `limit` files.
Result Fetch(ClsWinFTP& ftp, const std::wstring& serverFolder, const std::wstring& localFolder,
             bool lookupEach, int32_t limit) {
  Result r;
  CreateDirectoryW(localFolder.c_str(), nullptr);
  const auto start = Clock::now();
  std::vector<std::wstring> names;
  int32_t code = 0;
  const int32_t listed =
      ftp.FtpGetFileList(serverFolder, L"", 2, names, code, L"", L"", L"", false);
  const int32_t n = std::min(listed, limit);
  std::vector<int32_t> sizes;
  for (int32_t i = 1; i <= n; ++i) sizes.push_back(ftp.GetDirInfo_FileSize(i));
  for (int32_t i = 1; i <= n; ++i) {
    int32_t count = 0;
    const std::wstring& name = names[static_cast<size_t>(i)];
    const std::wstring target = localFolder + L"\\" + name;
    const int32_t size = sizes[static_cast<size_t>(i) - 1];
    bool ok = lookupEach ? ftp.FtpGet(serverFolder, name, target, true, code, false, true, count,
                                      true, true)
                         : ftp.FtpGet(serverFolder, name, target, true, code, false, false, count);
    // Without the lookup the size is checked against the folder's listing.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (ok && !lookupEach &&
        (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) ||
         static_cast<int32_t>(data.nFileSizeLow) != size)) {
      ok = false;
    }
    if (!ok) {
      ++r.failures;
      std::fwprintf(stderr, L"  %ls: code %d\n", target.c_str(), static_cast<int>(code));
      continue;
    }
    ++r.files;
    r.bytes += size;
  }
  r.seconds = SecondsSince(start);
  return r;
}

void Print(const char* what, const Result& r) {
  std::printf("%-34s %4d files %10lld bytes %9.2f s%s\n", what, r.files, r.bytes, r.seconds,
              r.failures ? "  (FAILURES)" : "");
  std::fflush(stdout);
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::map<std::wstring, std::wstring> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  LocalFree(argv);
  if (args[L"--port"].empty() || args[L"--local"].empty()) {
    std::fprintf(stderr, "usage: ftp_bench --port N --user U --password P --local DIR "
                         "--waits part|zero\n");
    return 2;
  }
  const bool zeroWaits = args[L"--waits"] == L"zero";
  norvale::Seams seams = norvale::Seams::System();
  ClsWinFTP ftp(seams, zeroWaits ? norvale::FtpWaits::None() : norvale::FtpWaits{});
  ftp.PortNo(static_cast<int16_t>(std::stoi(args[L"--port"])));
  ftp.OLErrorRetryMaxCount(0);

  int32_t code = 0;
  if (!ftp.InetConnect(L"127.0.0.1", args[L"--user"], args[L"--password"], code)) {
    std::fprintf(stderr, "cannot connect: %d\n", static_cast<int>(code));
    return 1;
  }
  const std::wstring local = args[L"--local"];
  CreateDirectoryW(local.c_str(), nullptr);
  std::printf("waits: %s\n", zeroWaits ? "zero" : "as in production");
  const Result smallOnce = Fetch(ftp, L"/small", local + L"\\small-once", false, 1 << 30);
  Print("small files after one listing", smallOnce);
  const Result smallEach = Fetch(ftp, L"/small", local + L"\\small-each", true, 10);
  Print("small files, each listed first", smallEach);
  const Result large = Fetch(ftp, L"/large", local + L"\\large", true, 1);
  Print("large file, listed first", large);
  ftp.InetDisConnect(code);
  return smallEach.failures + smallOnce.failures + large.failures == 0 ? 0 : 1;
}
