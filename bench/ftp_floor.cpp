// The WinINet floor under the client's folder download: the same files over
// one session with nothing but what WinINet needs, one CWD per folder, a
// listing, then FtpOpenFile and InternetReadFile for each file. The client
// cannot be faster than this on the same WinINet.
//
//   ftp_floor --port N --user U --password P --folder /srv --local DIR
//
// Prints "ok SECONDS FILES BYTES" like ftp_bench (or "fail CODE").
#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "InternetHandle.h"

namespace {

struct Totals {
  int files = 0;
  long long bytes = 0;
};

DWORD Mirror(HINTERNET session, const std::wstring& folder, const std::wstring& local,
             Totals& totals) {
  CreateDirectoryW(local.c_str(), nullptr);
  if (!FtpSetCurrentDirectoryW(session, folder.c_str())) return GetLastError();
  std::vector<WIN32_FIND_DATAW> entries;
  {
    WIN32_FIND_DATAW data{};
    norvale::InternetHandle find(FtpFindFirstFileW(
        session, L"*", &data, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (find) {
      do {
        entries.push_back(data);
      } while (InternetFindNextFileW(find.Get(), &data));
    }
  }
  std::vector<char> buffer(1024 * 1024);
  std::vector<std::wstring> folders;
  for (const WIN32_FIND_DATAW& e : entries) {
    const std::wstring name = e.cFileName;
    if (name == L"." || name == L"..") continue;
    if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      folders.push_back(name);
      continue;
    }
    norvale::InternetHandle remote(FtpOpenFileW(
        session, name.c_str(), GENERIC_READ,
        FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!remote) return GetLastError();
    norvale::FileHandle out(CreateFileW((local + L"\\" + name).c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return GetLastError();
    for (;;) {
      DWORD got = 0;
      if (!InternetReadFile(remote.Get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                            &got)) {
        return GetLastError();
      }
      if (got == 0) break;
      DWORD written = 0;
      if (!WriteFile(out.Get(), buffer.data(), got, &written, nullptr)) return GetLastError();
      totals.bytes += got;
    }
    ++totals.files;
  }
  for (const std::wstring& name : folders) {
    const DWORD error = Mirror(session, folder + L"/" + name, local + L"\\" + name, totals);
    if (error != 0) return error;
  }
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::map<std::wstring, std::wstring> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  LocalFree(argv);
  if (args[L"--port"].empty() || args[L"--local"].empty() || args[L"--folder"].empty()) {
    std::fprintf(stderr, "usage: ftp_floor --port N --user U --password P --folder /srv "
                         "--local DIR\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  norvale::InternetHandle root(
      InternetOpenW(L"ftp_floor", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  norvale::InternetHandle session(InternetConnectW(
      root.Get(), L"127.0.0.1", static_cast<INTERNET_PORT>(std::stoi(args[L"--port"])),
      args[L"--user"].c_str(), args[L"--password"].c_str(), INTERNET_SERVICE_FTP,
      INTERNET_FLAG_PASSIVE, 0));
  if (!session) {
    std::printf("fail %lu\n", GetLastError());
    return 1;
  }
  Totals totals;
  const DWORD error = Mirror(session.Get(), args[L"--folder"], args[L"--local"], totals);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (error != 0) {
    std::printf("fail %lu\n", error);
    return 1;
  }
  std::printf("ok %.3f %d %lld\n", seconds, totals.files, totals.bytes);
  return 0;
}
