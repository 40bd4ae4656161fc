#include "TempDir.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>

#include "Text.h"

namespace testing_support {

TempDir::TempDir(const std::wstring& hint) {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring base = temp;
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  for (;;) {
    path_ = base + L"\\nv-" + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++);
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("temp dir");
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write test file");
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

std::vector<std::wstring> ReadAnsiLines(const std::wstring& path) {
  const std::wstring text = norvale::FromAnsi(ReadFileBytes(path));
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t at; (at = text.find(L"\r\n", start)) != std::wstring::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start) + L"<no CR LF>");
  return lines;
}

void AgeFile(const std::wstring& path, int64_t seconds) {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{};
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ULL;
  FILETIME then{t.LowPart, t.HighPart};
  HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot age test file");
  SetFileTime(h, nullptr, nullptr, &then);
  CloseHandle(h);
}

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return buffer;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace testing_support
