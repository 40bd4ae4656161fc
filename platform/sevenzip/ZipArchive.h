#pragma once
// Reading side of our archive library: opens a zip archive, checks the whole
// of it before anything is written (layout, names, sizes), then extracts or
// tests its entries.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZipFormat.h"

namespace sevenzip {

// An archive may unpack to at most this many bytes in all, and an entry never
// to more than its recorded size: a small download cannot fill the disk.
constexpr uint64_t kMaxTotalUnpackedBytes = 2ULL * 1024 * 1024 * 1024;
constexpr size_t kMaxEntries = 65535;

class ZipArchive {
 public:
  struct Entry {
    std::wstring name;      // relative path, "\" separated, no trailing "\"
    std::string rawName;    // the name as stored
    bool utf8Name = false;  // rawName is UTF-8
    bool isFolder = false;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t size = 0;
    uint32_t externalAttributes = 0;
    uint64_t dataOffset = 0;
    FILETIME modified{};
  };

  // Reads the central directory and checks every entry; kOk or why not.
  int Open(const std::wstring& path);
  const std::vector<Entry>& Entries() const { return entries_; }
  const std::string& Problem() const { return problem_; }

  // Unpacks every entry below the folder. A file is written under a
  // temporary name and takes its own name only when its size and CRC came
  // out right, so a failed entry leaves nothing behind.
  int ExtractTo(const std::wstring& folder);
  // Unpacks every entry into nothing and compares sizes and CRCs.
  int TestAll();
  // Copies an entry's stored (compressed) bytes to the current position of out.
  bool CopyStoredData(const Entry& entry, HANDLE out) const;

 private:
  int ReadCentralDirectory(uint64_t archiveSize);
  int CheckEntry(Entry& entry, uint64_t centralOffset);
  // Decodes the entry's data and hands every chunk to sink (when set).
  int Unpack(const Entry& entry, HANDLE sink);
  // readyFolder: the folder last known to exist, saving a look-up per file.
  int ExtractFile(const Entry& entry, const std::wstring& target, std::wstring* readyFolder);
  int Fail(int code, const std::string& what);

  UniqueHandle file_;
  std::unique_ptr<unsigned char[]> input_;
  std::unique_ptr<unsigned char[]> output_;
  std::vector<Entry> entries_;
  std::string problem_;
};

// A safe relative path for the entry's name, or empty when the name is
// absolute, has a drive, climbs with "..", or holds characters no Windows
// file name may hold.
std::wstring SafeRelativeName(const std::wstring& stored);

}  // namespace sevenzip
