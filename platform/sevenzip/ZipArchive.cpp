#include "ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace sevenzip {

namespace {

constexpr size_t kChunk = 256 * 1024;

std::string ForMessage(const std::wstring& name) { return Narrow(name, CP_ACP); }

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  if (path.size() <= folder.size()) return false;
  return CompareStringOrdinal(path.c_str(), int(folder.size()), folder.c_str(),
                              int(folder.size()), TRUE) == CSTR_EQUAL &&
         path[folder.size()] == L'\\';
}

// Finds the extended-time (UTC modification) and Unicode-path extra fields.
void ReadExtraFields(const unsigned char* p, size_t size, const std::string& rawName,
                     ZipArchive::Entry& entry, std::wstring* unicodeName, bool* hasUnixTime) {
  while (size >= 4) {
    uint16_t id = Get16(p), length = Get16(p + 2);
    if (size_t(length) + 4 > size) break;
    const unsigned char* body = p + 4;
    if (id == kExtraExtendedTime && length >= 5 && (body[0] & 1)) {
      entry.modified = UnixTimeToFileTime(Get32(body + 1));
      *hasUnixTime = true;
    } else if (id == kExtraUnicodePath && length >= 5 && body[0] == 1) {
      uint32_t nameCrc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(rawName.data()),
                                        uInt(rawName.size())));
      if (Get32(body + 1) == nameCrc) {
        *unicodeName = Widen(std::string(reinterpret_cast<const char*>(body + 5), length - 5),
                             CP_UTF8);
      }
    }
    p += 4 + length;
    size -= 4 + size_t(length);
  }
}

}  // namespace

std::wstring SafeRelativeName(const std::wstring& stored) {
  std::wstring name = stored;
  std::replace(name.begin(), name.end(), L'/', L'\\');
  while (!name.empty() && name.back() == L'\\') name.pop_back();
  if (name.empty() || name.front() == L'\\') return {};
  std::wstring part;
  auto partIsSafe = [](const std::wstring& p) {
    // Windows drops trailing dots and blanks, so "..", ". ." and "... " all
    // climb or vanish: a part made only of them is refused.
    if (p.empty() || p.find_first_not_of(L". ") == std::wstring::npos) return false;
    return p.back() != L' ' && p.back() != L'.';
  };
  for (wchar_t c : name) {
    if (c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' ||
        c == L'>' || c == L'|') {
      return {};
    }
    if (c == L'\\') {
      if (!partIsSafe(part)) return {};
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  return partIsSafe(part) ? name : std::wstring{};
}

int ZipArchive::Fail(int code, const std::string& what) {
  problem_ = what;
  return code;
}

int ZipArchive::Open(const std::wstring& path) {
  entries_.clear();
  problem_.clear();
  file_ = UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Fail(kArchiveNotFound, "archive not found");
    }
    return Fail(kCannotOpenArchive, "cannot open the archive");
  }
  return ReadCentralDirectory(FileSizeOf(file_.Get()));
}

int ZipArchive::ReadCentralDirectory(uint64_t archiveSize) {
  if (archiveSize < kEndOfCentralSize) return Fail(kNotAnArchive, "not a zip archive");
  size_t tailSize = size_t(std::min<uint64_t>(archiveSize, 0xFFFF + kEndOfCentralSize));
  std::string tail(tailSize, '\0');
  if (!ReadExact(file_.Get(), archiveSize - tailSize, tail.data(), tailSize)) {
    return Fail(kCannotRead, "cannot read the archive");
  }
  const auto* t = reinterpret_cast<const unsigned char*>(tail.data());
  size_t end = std::string::npos;
  for (size_t i = tailSize - kEndOfCentralSize + 1; i-- > 0;) {
    if (Get32(t + i) == kEndOfCentralSignature &&
        i + kEndOfCentralSize + Get16(t + i + 20) == tailSize) {
      end = i;
      break;
    }
  }
  if (end == std::string::npos) return Fail(kNotAnArchive, "not a zip archive");
  uint64_t endOffset = archiveSize - tailSize + end;
  const unsigned char* e = t + end;
  uint16_t disk = Get16(e + 4), centralDisk = Get16(e + 6);
  uint16_t onDisk = Get16(e + 8), total = Get16(e + 10);
  uint32_t centralSize = Get32(e + 12), centralOffset = Get32(e + 16);
  if (total == 0xFFFF || centralSize == 0xFFFFFFFF || centralOffset == 0xFFFFFFFF ||
      (end >= 20 && Get32(t + end - 20) == kZip64EndLocatorSignature)) {
    return Fail(kTooLarge, "zip64 archives are not supported");
  }
  if (disk != 0 || centralDisk != 0 || onDisk != total) {
    return Fail(kBrokenArchive, "multi-part archives are not supported");
  }
  if (uint64_t(centralOffset) + centralSize > endOffset) {
    return Fail(kBrokenArchive, "the central directory lies outside the archive");
  }
  std::string central(centralSize, '\0');
  if (centralSize > 0 && !ReadExact(file_.Get(), centralOffset, central.data(), centralSize)) {
    return Fail(kCannotRead, "cannot read the central directory");
  }
  const auto* c = reinterpret_cast<const unsigned char*>(central.data());
  size_t at = 0;
  uint64_t unpacked = 0;
  for (uint16_t i = 0; i < total; ++i) {
    if (at + kCentralHeaderSize > central.size() || Get32(c + at) != kCentralHeaderSignature) {
      return Fail(kBrokenArchive, "damaged central directory");
    }
    const unsigned char* h = c + at;
    size_t nameLength = Get16(h + 28), extraLength = Get16(h + 30), commentLength = Get16(h + 32);
    size_t recordSize = kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (at + recordSize > central.size()) return Fail(kBrokenArchive, "damaged central directory");
    Entry entry;
    entry.flags = Get16(h + 8);
    entry.method = Get16(h + 10);
    entry.dosTime = Get16(h + 12);
    entry.dosDate = Get16(h + 14);
    entry.crc = Get32(h + 16);
    entry.compressedSize = Get32(h + 20);
    entry.size = Get32(h + 24);
    entry.externalAttributes = Get32(h + 38);
    entry.dataOffset = Get32(h + 42);  // the local header's offset until CheckEntry
    entry.rawName.assign(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLength);
    entry.utf8Name = (entry.flags & kFlagUtf8Name) != 0;
    std::wstring unicodeName;
    bool hasUnixTime = false;
    ReadExtraFields(h + kCentralHeaderSize + nameLength, extraLength, entry.rawName, entry,
                    &unicodeName, &hasUnixTime);
    if (!hasUnixTime) entry.modified = DosTimeToFileTime(entry.dosDate, entry.dosTime);
    // Zip programs on Unix write names in the locale's encoding, today UTF-8,
    // often without the flag; Windows programs write the ANSI code page.
    bool madeOnUnix = (Get16(h + 4) >> 8) == 3;
    std::wstring utf8 = Widen(entry.rawName, CP_UTF8);
    std::wstring stored = entry.utf8Name              ? utf8
                          : !unicodeName.empty()      ? unicodeName
                          : madeOnUnix && !utf8.empty() ? utf8
                                                        : Widen(entry.rawName, CP_ACP);
    entry.isFolder = !stored.empty() && (stored.back() == L'/' || stored.back() == L'\\');
    entry.name = SafeRelativeName(stored);
    if (entry.name.empty()) {
      return Fail(kUnsafeName, "unsafe entry name refused: " + entry.rawName);
    }
    if (int r = CheckEntry(entry, centralOffset); r != kOk) return r;
    unpacked += entry.size;
    if (unpacked > kMaxTotalUnpackedBytes) {
      return Fail(kTooLarge, "the archive would unpack to more than 2 GiB");
    }
    entries_.push_back(std::move(entry));
    at += recordSize;
  }
  return kOk;
}

int ZipArchive::CheckEntry(Entry& entry, uint64_t centralOffset) {
  std::string what = ForMessage(entry.name);
  if (entries_.size() >= kMaxEntries) return Fail(kTooLarge, "too many entries");
  if (entry.flags & kFlagEncrypted) return Fail(kEncrypted, "encrypted entry: " + what);
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
    return Fail(kUnsupportedMethod, "unsupported compression method: " + what);
  }
  if (entry.method == kMethodStored && entry.compressedSize != entry.size) {
    return Fail(kBrokenArchive, "damaged entry: " + what);
  }
  if (entry.isFolder && entry.size != 0) return Fail(kBrokenArchive, "damaged entry: " + what);
  // The local header's own name and extra lengths place the data, which
  // must lie before the central directory.
  unsigned char local[kLocalHeaderSize];
  uint64_t localOffset = entry.dataOffset;
  if (localOffset + kLocalHeaderSize > centralOffset ||
      !ReadExact(file_.Get(), localOffset, local, sizeof local) ||
      Get32(local) != kLocalHeaderSignature) {
    return Fail(kBrokenArchive, "damaged local header: " + what);
  }
  entry.dataOffset = localOffset + kLocalHeaderSize + Get16(local + 26) + Get16(local + 28);
  if (entry.dataOffset + entry.compressedSize > centralOffset) {
    return Fail(kBrokenArchive, "entry data runs past the archive's end: " + what);
  }
  return kOk;
}

int ZipArchive::Unpack(const Entry& entry, HANDLE sink) {
  std::string what = ForMessage(entry.name);
  // One pair of buffers serves every entry of the archive.
  if (!input_) {
    input_ = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
    output_ = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  }
  unsigned char* input = input_.get();
  unsigned char* output = output_.get();
  uint64_t readAt = entry.dataOffset;
  uint32_t left = entry.compressedSize;
  uint64_t produced = 0;
  uLong crc = crc32(0, nullptr, 0);
  auto deliver = [&](const unsigned char* data, size_t size) {
    produced += size;
    if (produced > entry.size) return false;
    crc = crc32(crc, data, uInt(size));
    return sink == nullptr || WriteAll(sink, data, size);
  };
  if (entry.method == kMethodStored) {
    while (left > 0) {
      DWORD chunk = std::min<DWORD>(left, kChunk);
      if (!ReadExact(file_.Get(), readAt, input, chunk)) {
        return Fail(kCannotRead, "truncated entry: " + what);
      }
      if (!deliver(input, chunk)) return Fail(kCannotWrite, "cannot write " + what);
      readAt += chunk;
      left -= chunk;
    }
  } else {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return Fail(kCannotRead, "out of memory");
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    int status = Z_OK;
    while (status != Z_STREAM_END) {
      if (z.avail_in == 0) {
        if (left == 0) return Fail(kBrokenArchive, "damaged entry (data ends early): " + what);
        DWORD chunk = std::min<DWORD>(left, kChunk);
        if (!ReadExact(file_.Get(), readAt, input, chunk)) {
          return Fail(kCannotRead, "truncated entry: " + what);
        }
        readAt += chunk;
        left -= chunk;
        z.next_in = input;
        z.avail_in = chunk;
      }
      z.next_out = output;
      z.avail_out = kChunk;
      status = inflate(&z, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END) {
        return Fail(kBrokenArchive, "damaged entry (bad deflate data): " + what);
      }
      size_t got = kChunk - z.avail_out;
      if (produced + got > entry.size) {
        return Fail(kTooLarge, "entry unpacks beyond its recorded size: " + what);
      }
      if (got > 0 && !deliver(output, got)) return Fail(kCannotWrite, "cannot write " + what);
    }
  }
  if (produced != entry.size) return Fail(kBrokenArchive, "size mismatch: " + what);
  if (uint32_t(crc) != entry.crc) return Fail(kCrcMismatch, "CRC mismatch: " + what);
  return kOk;
}

int ZipArchive::TestAll() {
  for (const Entry& entry : entries_) {
    if (int r = Unpack(entry, nullptr); r != kOk) return r;
  }
  return kOk;
}

int ZipArchive::ExtractTo(const std::wstring& folder) {
  std::wstring root = FullPathOf(folder);
  while (root.size() > 3 && root.back() == L'\\') root.pop_back();
  if (root.empty() || !CreateFolders(root)) {
    return Fail(kCannotCreateFolder, "cannot create the output folder");
  }
  std::wstring base = root.back() == L'\\' ? root.substr(0, root.size() - 1) : root;
  // Every target is placed and checked before the first byte is written.
  std::vector<std::wstring> targets;
  for (const Entry& entry : entries_) {
    std::wstring target = FullPathOf(base + L"\\" + entry.name);
    if (!StartsWithFolder(target, base)) {
      return Fail(kUnsafeName, "entry would leave the output folder: " + ForMessage(entry.name));
    }
    targets.push_back(std::move(target));
  }
  size_t files = 0;
  std::wstring readyFolder;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (entry.isFolder) {
      if (!CreateFolders(targets[i])) {
        return Fail(kCannotCreateFolder, "cannot create folder " + ForMessage(entry.name));
      }
      continue;
    }
    if (int r = ExtractFile(entry, targets[i], &readyFolder); r != kOk) return r;
    ++files;
  }
  problem_ = std::to_string(files) + " file(s) extracted";
  return kOk;
}

int ZipArchive::ExtractFile(const Entry& entry, const std::wstring& target,
                            std::wstring* readyFolder) {
  std::string what = ForMessage(entry.name);
  std::wstring parent = target.substr(0, target.find_last_of(L'\\'));
  if (parent != *readyFolder) {
    if (!CreateFolders(parent)) return Fail(kCannotCreateFolder, "cannot create folder for " + what);
    *readyFolder = parent;
  }
  // The data goes to a name of our own beside the target first; another
  // file already holding that name is never touched.
  std::wstring temporary = target + L".7z-part";
  UniqueHandle out(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) {
    wchar_t unique[MAX_PATH + 1] = {};
    if (!GetTempFileNameW(parent.c_str(), L"7zx", 0, unique)) {
      return Fail(kCannotWrite, "cannot write " + what);
    }
    temporary = unique;
    out = UniqueHandle(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  int result = kOk;
  if (!out) {
    result = Fail(kCannotWrite, "cannot write " + what);
  } else {
    result = Unpack(entry, out.Get());
    if (result == kOk) SetFileTime(out.Get(), nullptr, nullptr, &entry.modified);
  }
  out.Reset();
  if (result == kOk && !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    // A read-only file of that name is replaced all the same.
    DWORD existing = GetFileAttributesW(target.c_str());
    if (existing == INVALID_FILE_ATTRIBUTES || !(existing & FILE_ATTRIBUTE_READONLY) ||
        !SetFileAttributesW(target.c_str(), existing & ~FILE_ATTRIBUTE_READONLY) ||
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      result = Fail(kCannotWrite, "cannot write " + what);
    }
  }
  // Only the temporary file this call created itself is ever removed here.
  if (result != kOk) DeleteFileW(temporary.c_str());
  return result;
}

bool ZipArchive::CopyStoredData(const Entry& entry, HANDLE out) const {
  auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  uint64_t at = entry.dataOffset;
  uint32_t left = entry.compressedSize;
  while (left > 0) {
    DWORD chunk = std::min<DWORD>(left, kChunk);
    if (!ReadExact(file_.Get(), at, buffer.get(), chunk) || !WriteAll(out, buffer.get(), chunk)) {
      return false;
    }
    at += chunk;
    left -= chunk;
  }
  return true;
}

}  // namespace sevenzip
