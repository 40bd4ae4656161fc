#include "ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace sevenzip {

namespace {
constexpr size_t kChunk = 256 * 1024;
constexpr uint16_t kVersionNeeded = 20;    // deflate, folders
constexpr uint16_t kVersionMadeBy = 0x0A3F;  // NTFS host, spec 6.3
constexpr uint32_t kLargest = 0xFFFFFFFFU;

std::string ExtendedTime(uint32_t unixTime) {
  std::string extra;
  Put16(extra, kExtraExtendedTime);
  Put16(extra, 5);
  extra.push_back(1);  // modification time only
  Put32(extra, unixTime);
  return extra;
}
}  // namespace

int ZipWriter::Fail(int code, const std::string& what) {
  problem_ = what;
  return code;
}

bool ZipWriter::Position(uint64_t* at) const {
  LARGE_INTEGER zero{}, now{};
  if (!SetFilePointerEx(out_, zero, &now, FILE_CURRENT)) return false;
  *at = uint64_t(now.QuadPart);
  return true;
}

bool ZipWriter::Seek(uint64_t at) const {
  LARGE_INTEGER to{};
  to.QuadPart = LONGLONG(at);
  return SetFilePointerEx(out_, to, nullptr, FILE_BEGIN) != 0;
}

ZipWriter::Header ZipWriter::StartHeader(const std::wstring& entryName, const FILETIME& modified,
                                         bool folder) const {
  std::wstring name = entryName;
  std::replace(name.begin(), name.end(), L'\\', L'/');
  if (folder && (name.empty() || name.back() != L'/')) name.push_back(L'/');
  EncodedName encoded = EncodeEntryName(name);
  Header h;
  h.name = encoded.bytes;
  h.utf8 = encoded.utf8;
  FileTimeToDos(modified, &h.dosDate, &h.dosTime);
  h.unixTime = FileTimeToUnixTime(modified);
  h.externalAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  return h;
}

// The fields from "version needed" to the extra field's length, which the
// local and the central header share.
std::string ZipWriter::SharedFields(const Header& h, const std::string& extra) const {
  std::string out;
  Put16(out, kVersionNeeded);
  Put16(out, h.utf8 ? kFlagUtf8Name : 0);
  Put16(out, h.method);
  Put16(out, h.dosTime);
  Put16(out, h.dosDate);
  Put32(out, h.crc);
  Put32(out, h.compressedSize);
  Put32(out, h.size);
  Put16(out, uint16_t(h.name.size()));
  Put16(out, uint16_t(extra.size()));
  return out;
}

std::string ZipWriter::LocalHeader(const Header& h) const {
  std::string extra = ExtendedTime(h.unixTime), out;
  Put32(out, kLocalHeaderSignature);
  return out + SharedFields(h, extra) + h.name + extra;
}

std::string ZipWriter::CentralHeader(const Header& h) const {
  std::string extra = ExtendedTime(h.unixTime), out;
  Put32(out, kCentralHeaderSignature);
  Put16(out, kVersionMadeBy);
  out += SharedFields(h, extra);
  Put16(out, 0);  // comment
  Put16(out, 0);  // disk
  Put16(out, 0);  // internal attributes
  Put32(out, h.externalAttributes);
  Put32(out, h.localOffset);
  return out + h.name + extra;
}

int ZipWriter::AddFolder(const std::wstring& entryName, const FILETIME& modified) {
  Header h = StartHeader(entryName, modified, true);
  uint64_t at = 0;
  if (!Position(&at) || at > kLargest) return Fail(kTooLarge, "archive too large");
  if (count_ >= kMaxEntries) return Fail(kTooLarge, "too many entries");
  h.localOffset = uint32_t(at);
  std::string local = LocalHeader(h);
  if (!WriteAll(out_, local.data(), local.size())) return Fail(kCannotWrite, "cannot write");
  central_ += CentralHeader(h);
  ++count_;
  return kOk;
}

int ZipWriter::AddFile(const std::wstring& entryName, const std::wstring& sourcePath) {
  std::string what = Narrow(sourcePath, CP_ACP);
  UniqueHandle source(CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source) return Fail(kCannotRead, "cannot read " + what);
  if (FileSizeOf(source.Get()) > kLargest) return Fail(kTooLarge, "file too large: " + what);
  FILETIME modified{};
  GetFileTime(source.Get(), nullptr, nullptr, &modified);
  Header h = StartHeader(entryName, modified, false);
  uint64_t at = 0;
  if (!Position(&at) || at > kLargest) return Fail(kTooLarge, "archive too large");
  if (count_ >= kMaxEntries) return Fail(kTooLarge, "too many entries");
  h.localOffset = uint32_t(at);
  std::string local = LocalHeader(h);
  if (!WriteAll(out_, local.data(), local.size())) return Fail(kCannotWrite, "cannot write");
  uint64_t dataAt = at + local.size();
  int r = WriteFileData(source.Get(), h, true);
  if (r == kOk && h.compressedSize >= h.size && h.size > 0) {
    // Deflate did not help: store the bytes as they are.
    LARGE_INTEGER zero{};
    if (!Seek(dataAt) || !SetEndOfFile(out_) ||
        !SetFilePointerEx(source.Get(), zero, nullptr, FILE_BEGIN)) {
      return Fail(kCannotWrite, "cannot write");
    }
    r = WriteFileData(source.Get(), h, false);
  }
  if (r != kOk) return r;
  uint64_t end = 0;
  local = LocalHeader(h);
  if (!Position(&end) || !Seek(at) || !WriteAll(out_, local.data(), local.size()) || !Seek(end)) {
    return Fail(kCannotWrite, "cannot write");
  }
  central_ += CentralHeader(h);
  ++count_;
  return kOk;
}

int ZipWriter::WriteFileData(HANDLE source, Header& h, bool deflate) {
  auto input = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  auto output = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  z_stream z{};
  if (deflate && deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                              Z_DEFAULT_STRATEGY) != Z_OK) {
    return Fail(kCannotWrite, "out of memory");
  }
  std::unique_ptr<z_stream, int (*)(z_stream*)> guard(deflate ? &z : nullptr, deflateEnd);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t size = 0, written = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(source, input.get(), kChunk, &got, nullptr)) return Fail(kCannotRead, "read");
    crc = crc32(crc, input.get(), got);
    size += got;
    if (size > kLargest) return Fail(kTooLarge, "file too large");
    if (!deflate) {
      if (!WriteAll(out_, input.get(), got)) return Fail(kCannotWrite, "cannot write");
      written += got;
      if (got == 0) break;
      continue;
    }
    z.next_in = input.get();
    z.avail_in = got;
    int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    int status = Z_OK;
    do {
      z.next_out = output.get();
      z.avail_out = kChunk;
      status = ::deflate(&z, flush);
      size_t produced = kChunk - z.avail_out;
      if (!WriteAll(out_, output.get(), produced)) return Fail(kCannotWrite, "cannot write");
      written += produced;
    } while (z.avail_out == 0 && status != Z_STREAM_END);
    if (flush == Z_FINISH) break;
  }
  if (written > kLargest) return Fail(kTooLarge, "file too large");
  h.method = deflate ? kMethodDeflated : kMethodStored;
  h.crc = uint32_t(crc);
  h.size = uint32_t(size);
  h.compressedSize = uint32_t(written);
  return kOk;
}

int ZipWriter::CopyEntry(const ZipArchive& from, const ZipArchive::Entry& entry) {
  Header h;
  h.name = entry.rawName;
  h.utf8 = entry.utf8Name;
  h.method = entry.method;
  h.dosDate = entry.dosDate;
  h.dosTime = entry.dosTime;
  h.unixTime = FileTimeToUnixTime(entry.modified);
  h.crc = entry.crc;
  h.compressedSize = entry.compressedSize;
  h.size = entry.size;
  h.externalAttributes = entry.externalAttributes;
  uint64_t at = 0;
  if (!Position(&at) || at > kLargest) return Fail(kTooLarge, "archive too large");
  if (count_ >= kMaxEntries) return Fail(kTooLarge, "too many entries");
  h.localOffset = uint32_t(at);
  std::string local = LocalHeader(h);
  if (!WriteAll(out_, local.data(), local.size()) || !from.CopyStoredData(entry, out_)) {
    return Fail(kCannotWrite, "cannot copy an entry of the earlier archive");
  }
  central_ += CentralHeader(h);
  ++count_;
  return kOk;
}

int ZipWriter::Finish() {
  uint64_t at = 0;
  if (!Position(&at) || at + central_.size() > kLargest) return Fail(kTooLarge, "archive too large");
  std::string end;
  Put32(end, kEndOfCentralSignature);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, uint16_t(count_));
  Put16(end, uint16_t(count_));
  Put32(end, uint32_t(central_.size()));
  Put32(end, uint32_t(at));
  Put16(end, 0);
  if (!WriteAll(out_, central_.data(), central_.size()) || !WriteAll(out_, end.data(), end.size())) {
    return Fail(kCannotWrite, "cannot write");
  }
  return kOk;
}

}  // namespace sevenzip
