#include "SevenZipTestSupport.h"

#include <zlib.h>

#include <stdexcept>

#include "TempDir.h"

namespace sevenzip_test {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {
template <typename Fn>
Fn Bind(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
}  // namespace

SevenZipDll::SevenZipDll() {
  // Found beside the test program, as the installer finds it beside itself.
  module_ = LoadLibraryW(L"7-zip32.dll");
  if (module_ == nullptr) return;
  sevenZip_ = Bind<SevenZipFn>(module_, "SevenZip");
  check_ = Bind<CheckFn>(module_, "SevenZipCheckArchive");
  cursorMode_ = Bind<ModeFn>(module_, "SevenZipSetCursorMode");
  backgroundMode_ = Bind<ModeFn>(module_, "SevenZipSetBackGroundMode");
  if (!sevenZip_ || !check_ || !cursorMode_ || !backgroundMode_) {
    FreeLibrary(module_);
    module_ = nullptr;
  }
}

SevenZipDll::~SevenZipDll() {
  if (module_) FreeLibrary(module_);
}

int SevenZipDll::RunAnsi(const char* commandLine, char* buffer, DWORD bufferSize) {
  cursorMode_(FALSE);
  backgroundMode_(TRUE);
  return sevenZip_(nullptr, commandLine, buffer, bufferSize);
}

int SevenZipDll::Run(const std::wstring& commandLine, std::string* message, DWORD bufferSize) {
  std::string buffer(bufferSize, ' ');
  int r = RunAnsi(Ansi(commandLine).c_str(), buffer.data(), bufferSize);
  if (message) *message = buffer.substr(0, buffer.find('\0'));
  return r;
}

bool SevenZipDll::Check(const std::wstring& archive, int mode) {
  cursorMode_(FALSE);
  backgroundMode_(TRUE);
  return check_(Ansi(archive).c_str(), mode) != FALSE;
}

void WriteTree(const std::wstring& root, const Tree& tree) {
  CreateDirectoryW(root.c_str(), nullptr);
  for (const auto& [name, data] : tree) {
    std::wstring path = root + L"\\" + name;
    for (size_t cut = path.find(L'\\', root.size() + 1); cut != std::wstring::npos;
         cut = path.find(L'\\', cut + 1)) {
      CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
    }
    if (name.back() != L'\\') WriteFileBytes(path, data);
  }
}

namespace {
void ReadInto(const std::wstring& root, const std::wstring& prefix, Tree& out) {
  WIN32_FIND_DATAW found{};
  HANDLE h = FindFirstFileW((root + L"\\" + prefix + L"*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[prefix + name + L"\\"] = "";
      ReadInto(root, prefix + name + L"\\", out);
    } else {
      out[prefix + name] = ReadFileBytes(root + L"\\" + prefix + name);
    }
  } while (FindNextFileW(h, &found));
  FindClose(h);
}
}  // namespace

Tree ReadTree(const std::wstring& root) {
  Tree tree;
  ReadInto(root, L"", tree);
  return tree;
}

std::vector<std::wstring> ListAll(const std::wstring& root) {
  std::vector<std::wstring> names;
  for (const auto& [name, data] : ReadTree(root)) names.push_back(name);
  return names;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Deflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

namespace {
void Put16(std::string& s, uint32_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
}  // namespace

std::string ArchiveBuilder::Bytes() const {
  std::string body, central;
  for (const Entry& e : entries_) {
    std::string stored = e.deflate ? Deflate(e.data) : e.data;
    uint32_t crc = e.declaredCrc >= 0 ? uint32_t(e.declaredCrc)
                                      : uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                                       uInt(e.data.size())));
    uint32_t size = e.declaredSize >= 0 ? uint32_t(e.declaredSize) : uint32_t(e.data.size());
    uint32_t offset = uint32_t(body.size());
    std::string common;
    Put16(common, e.flags);
    Put16(common, e.deflate ? 8 : 0);
    Put16(common, 0x6000);  // 12:00:00
    Put16(common, 0x52CF);  // 2021-06-15
    Put32(common, crc);
    Put32(common, uint32_t(stored.size()));
    Put32(common, size);
    Put16(common, uint32_t(e.name.size()));
    Put16(common, 0);
    Put32(body, 0x04034b50);
    Put16(body, 20);
    body += common + e.name + stored;
    Put32(central, 0x02014b50);
    Put16(central, e.madeBy);
    Put16(central, 20);
    central += common;
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, e.name.back() == '/' ? FILE_ATTRIBUTE_DIRECTORY : 0);
    Put32(central, offset);
    central += e.name;
  }
  std::string end;
  Put32(end, 0x06054b50);
  Put32(end, 0);
  Put16(end, uint32_t(entries_.size()));
  Put16(end, uint32_t(entries_.size()));
  Put32(end, uint32_t(central.size()));
  Put32(end, uint32_t(body.size()));
  Put16(end, 0);
  return body + central + end;
}

void ArchiveBuilder::Write(const std::wstring& path) const { WriteFileBytes(path, Bytes()); }

namespace {
std::string Encode(const std::wstring& text, UINT codePage) {
  int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}
}  // namespace

std::string Ansi(const std::wstring& text) { return Encode(text, CP_ACP); }
std::string Utf8(const std::wstring& text) { return Encode(text, CP_UTF8); }

std::string Fixture(const wchar_t* resourceName) {
  HRSRC found = FindResourceW(nullptr, resourceName, MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) throw std::runtime_error("fixture missing");
  HGLOBAL loaded = LoadResource(nullptr, found);
  const char* data = static_cast<const char*>(LockResource(loaded));
  return std::string(data, SizeofResource(nullptr, found));
}

}  // namespace sevenzip_test
