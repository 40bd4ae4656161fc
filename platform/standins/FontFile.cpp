#include "FontFile.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace standins {

namespace {

uint16_t Be16(const std::vector<unsigned char>& b, size_t at) {
  return at + 2 <= b.size() ? uint16_t((b[at] << 8) | b[at + 1]) : 0;
}
uint32_t Be32(const std::vector<unsigned char>& b, size_t at) {
  return at + 4 <= b.size() ? (uint32_t(Be16(b, at)) << 16) | Be16(b, at + 2) : 0;
}

std::vector<unsigned char> ReadAll(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  // Fonts are at most a few tens of megabytes; anything larger is not one.
  if (GetFileSizeEx(h, &size) && size.QuadPart > 0 && size.QuadPart < 256 * 1024 * 1024) {
    bytes.resize(size_t(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(h, bytes.data(), DWORD(bytes.size()), &got, nullptr) || got != bytes.size()) {
      bytes.clear();
    }
  }
  CloseHandle(h);
  return bytes;
}

}  // namespace

bool FontFile::Load(const std::wstring& path) {
  fullName_.clear();
  std::vector<unsigned char> b = ReadAll(path);
  size_t font = 0;
  if (Be32(b, 0) == 0x74746366) font = Be32(b, 12);  // "ttcf": the collection's first font
  uint32_t version = Be32(b, font);
  if (version != 0x00010000 && version != 0x4F54544F && version != 0x74727565) return false;
  postscriptOutlines_ = version == 0x4F54544F;  // "OTTO"
  uint16_t tables = Be16(b, font + 4);
  size_t nameTable = 0, nameLength = 0;
  for (uint16_t i = 0; i < tables; ++i) {
    size_t record = font + 12 + size_t(i) * 16;
    if (Be32(b, record) == 0x6E616D65) {  // "name"
      nameTable = Be32(b, record + 8);
      nameLength = Be32(b, record + 12);
    }
  }
  if (nameTable == 0 || nameTable + nameLength > b.size()) return false;
  uint16_t count = Be16(b, nameTable + 2);
  size_t strings = nameTable + Be16(b, nameTable + 4);
  int best = 0;
  for (uint16_t i = 0; i < count; ++i) {
    size_t r = nameTable + 6 + size_t(i) * 12;
    uint16_t platform = Be16(b, r), language = Be16(b, r + 4), id = Be16(b, r + 6);
    size_t length = Be16(b, r + 8), offset = strings + Be16(b, r + 10);
    if (platform != 3 || (id != 4 && id != 1) || offset + length > b.size()) continue;
    // The English full name first, then any full name, then the family.
    int rank = id == 4 ? (language == 0x0409 ? 3 : 2) : 1;
    if (rank <= best) continue;
    std::wstring name;
    for (size_t at = offset; at + 1 < offset + length; at += 2) name.push_back(wchar_t(Be16(b, at)));
    if (name.empty()) continue;
    fullName_ = name;
    best = rank;
  }
  return !fullName_.empty();
}

std::wstring FontFile::RegistryValueName() const {
  return fullName_ + (postscriptOutlines_ ? L" (OpenType)" : L" (TrueType)");
}

}  // namespace standins
