#pragma once
// Writing side of our archive library: builds a new zip archive entry by
// entry (deflated, or stored when deflate does not help), optionally keeping
// entries of an earlier archive as they were stored.
#include <windows.h>

#include <cstdint>
#include <string>

#include "ZipArchive.h"
#include "ZipFormat.h"

namespace sevenzip {

class ZipWriter {
 public:
  explicit ZipWriter(HANDLE out) : out_(out) {}

  // entryName uses "\" or "/"; folders are stored with a trailing "/".
  int AddFolder(const std::wstring& entryName, const FILETIME& modified);
  int AddFile(const std::wstring& entryName, const std::wstring& sourcePath);
  int CopyEntry(const ZipArchive& from, const ZipArchive::Entry& entry);
  // Writes the central directory; the archive is complete after it.
  int Finish();
  const std::string& Problem() const { return problem_; }
  int Fail(int code, const std::string& what);

 private:
  struct Header {
    std::string name;
    bool utf8 = false;
    uint16_t method = kMethodStored;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    uint32_t unixTime = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t size = 0;
    uint32_t externalAttributes = 0;
    uint32_t localOffset = 0;
  };
  std::string SharedFields(const Header& h, const std::string& extra) const;
  std::string LocalHeader(const Header& h) const;
  std::string CentralHeader(const Header& h) const;
  Header StartHeader(const std::wstring& entryName, const FILETIME& modified, bool folder) const;
  // Writes a file's data deflated (or stored) and fills in sizes and CRC.
  int WriteFileData(HANDLE source, Header& h, bool deflate);
  bool Position(uint64_t* at) const;
  bool Seek(uint64_t at) const;

  HANDLE out_;
  std::string central_;
  size_t count_ = 0;
  std::string problem_;
};

}  // namespace sevenzip
