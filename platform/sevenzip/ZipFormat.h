#pragma once
// Byte layout of zip archives and the small pieces the reader and the writer
// share: little-endian fields, DOS times, entry names in either the ANSI code
// page or UTF-8, and an owning file handle.
#include <windows.h>

#include <cstdint>
#include <string>

namespace sevenzip {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndOfCentralSignature = 0x06054b50;
constexpr uint32_t kZip64EndLocatorSignature = 0x07064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndOfCentralSize = 22;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kExtraExtendedTime = 0x5455;
constexpr uint16_t kExtraUnicodePath = 0x7075;

// Codes SevenZip() answers with; 0 is success.
enum Result : int {
  kOk = 0,
  kBadCommand = 0x801C,
  kArchiveNotFound = 0x800F,
  kCannotOpenArchive = 0x8018,
  kNotAnArchive = 0x8019,
  kBrokenArchive = 0x8017,
  kUnsupportedMethod = 0x8009,
  kEncrypted = 0x800A,
  kCrcMismatch = 0x800C,
  kUnsafeName = 0x801B,
  kTooLarge = 0x8011,
  kCannotCreateFolder = 0x8012,
  kCannotWrite = 0x8013,
  kCannotRead = 0x801A,
};

inline uint16_t Get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(std::string& out, uint16_t v);
void Put32(std::string& out, uint32_t v);

// DOS date and time in local time, as zip headers keep them.
FILETIME DosTimeToFileTime(uint16_t date, uint16_t time);
void FileTimeToDos(const FILETIME& utc, uint16_t* date, uint16_t* time);
// Seconds since 1970 (the extended-time extra field) and back.
FILETIME UnixTimeToFileTime(uint32_t seconds);
uint32_t FileTimeToUnixTime(const FILETIME& utc);

std::wstring Widen(const std::string& bytes, UINT codePage);
// Empty when the text has no lossless form in that code page.
std::string Narrow(const std::wstring& text, UINT codePage, bool* lossless = nullptr);

// The stored bytes of an entry name and whether they are UTF-8 (flag bit 11):
// names the ANSI code page holds stay in it, as the programs that read our
// archives on Japanese Windows expect; others are UTF-8 and flagged.
struct EncodedName {
  std::string bytes;
  bool utf8 = false;
};
EncodedName EncodeEntryName(const std::wstring& name);

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) { Reset(); h_ = o.h_; o.h_ = nullptr; }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void Reset() { if (h_) CloseHandle(h_); h_ = nullptr; }

 private:
  HANDLE h_ = nullptr;
};

// Creates a folder with every missing folder above it.
bool CreateFolders(const std::wstring& path);
std::wstring FullPathOf(const std::wstring& path);

bool ReadExact(HANDLE file, uint64_t offset, void* buffer, size_t size);
bool WriteAll(HANDLE file, const void* data, size_t size);
uint64_t FileSizeOf(HANDLE file);

}  // namespace sevenzip
