#include "ZipFormat.h"

namespace sevenzip {

void Put16(std::string& out, uint16_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8));
}

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

FILETIME DosTimeToFileTime(uint16_t date, uint16_t time) {
  FILETIME local{}, utc{};
  if (!DosDateTimeToFileTime(date, time, &local) || !LocalFileTimeToFileTime(&local, &utc)) {
    return FILETIME{};
  }
  return utc;
}

void FileTimeToDos(const FILETIME& utc, uint16_t* date, uint16_t* time) {
  FILETIME local{};
  WORD d = 0x21, t = 0;  // 1980-01-01 when the time has no DOS form
  if (FileTimeToLocalFileTime(&utc, &local)) FileTimeToDosDateTime(&local, &d, &t);
  *date = d;
  *time = t;
}

namespace {
constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;
}  // namespace

FILETIME UnixTimeToFileTime(uint32_t seconds) {
  uint64_t ticks = uint64_t(seconds) * kTicksPerSecond + kUnixEpochTicks;
  return FILETIME{DWORD(ticks & 0xFFFFFFFF), DWORD(ticks >> 32)};
}

uint32_t FileTimeToUnixTime(const FILETIME& utc) {
  uint64_t ticks = (uint64_t(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
  if (ticks < kUnixEpochTicks) return 0;
  uint64_t seconds = (ticks - kUnixEpochTicks) / kTicksPerSecond;
  return seconds > 0xFFFFFFFFULL ? 0xFFFFFFFFU : uint32_t(seconds);
}

std::wstring Widen(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
  int n = MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text, UINT codePage, bool* lossless) {
  if (lossless) *lossless = true;
  if (text.empty()) return {};
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultPtr = codePage == CP_UTF8 ? nullptr : &usedDefault;
  int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                              usedDefaultPtr);
  // The ANSI code page may itself be UTF-8 (a Windows option), which refuses
  // the used-default question: the caller's round trip judges then.
  if (n <= 0 && usedDefaultPtr && GetLastError() == ERROR_INVALID_PARAMETER) {
    usedDefaultPtr = nullptr;
    n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                            nullptr);
  }
  if (n <= 0) {
    if (lossless) *lossless = false;
    return {};
  }
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), out.data(), n, nullptr,
                      usedDefaultPtr);
  if (lossless && usedDefault) *lossless = false;
  return out;
}

EncodedName EncodeEntryName(const std::wstring& name) {
  bool lossless = false;
  std::string ansi = Narrow(name, CP_ACP, &lossless);
  if (lossless && Widen(ansi, CP_ACP) == name) return {ansi, false};
  return {Narrow(name, CP_UTF8), true};
}

bool CreateFolders(const std::wstring& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t cut = path.find_last_of(L'\\');
  if (cut != std::wstring::npos && cut > 0 && path[cut - 1] != L':' &&
      !CreateFolders(path.substr(0, cut))) {
    return false;
  }
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring FullPathOf(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring out(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
  out.resize(n);
  return out;
}

bool ReadExact(HANDLE file, uint64_t offset, void* buffer, size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFF);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD chunk = size > 0x100000 ? 0x100000 : DWORD(size), got = 0;
    if (!ReadFile(file, out, chunk, &got, &at) || got == 0) return false;
    out += got;
    offset += got;
    size -= got;
  }
  return true;
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
  auto* in = static_cast<const unsigned char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x100000 ? 0x100000 : DWORD(size), wrote = 0;
    if (!WriteFile(file, in, chunk, &wrote, nullptr) || wrote == 0) return false;
    in += wrote;
    size -= wrote;
  }
  return true;
}

uint64_t FileSizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? uint64_t(size.QuadPart) : 0;
}

}  // namespace sevenzip
