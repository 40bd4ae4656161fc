#include "SevenZip.h"

#include <exception>
#include <string>
#include <vector>

#include "ZipArchive.h"
#include "ZipCommand.h"
#include "ZipFormat.h"
#include "ZipWriter.h"

namespace sevenzip {
namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
         CSTR_EQUAL;
}

struct Input {
  std::wstring entryName;
  std::wstring source;
  bool folder = false;
  FILETIME modified{};
};

// Lists a file, or a folder with everything below it (links to folders are
// kept as empty folders, never entered).
void Collect(const std::wstring& source, const std::wstring& entryName,
             const WIN32_FIND_DATAW& found, const std::wstring& skip, std::vector<Input>& out) {
  bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!folder) {
    if (!SamePath(FullPathOf(source), skip)) {
      out.push_back({entryName, source, false, found.ftLastWriteTime});
    }
    return;
  }
  out.push_back({entryName, source, true, found.ftLastWriteTime});
  if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return;
  WIN32_FIND_DATAW child{};
  HANDLE h = FindFirstFileExW((source + L"\\*").c_str(), FindExInfoBasic, &child,
                              FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = child.cFileName;
    if (name == L"." || name == L"..") continue;
    Collect(source + L"\\" + name, entryName + L"\\" + name, child, skip, out);
  } while (FindNextFileW(h, &child));
  FindClose(h);
}

int CollectInputs(const std::vector<std::wstring>& files, const std::wstring& archive,
                  std::vector<Input>& out, std::string* problem) {
  for (std::wstring path : files) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    std::wstring folder;
    size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) folder = path.substr(0, cut + 1);
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
      *problem = "not found: " + Narrow(path, CP_ACP);
      return kArchiveNotFound;
    }
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      Collect(folder + name, name, found, archive, out);
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  return kOk;
}

int RunAdd(const ZipCommand& command, std::string* message) {
  std::wstring archivePath = FullPathOf(command.archive);
  std::vector<Input> inputs;
  if (int r = CollectInputs(command.files, archivePath, inputs, message); r != kOk) return r;
  ZipArchive earlier;
  bool hadArchive = GetFileAttributesW(archivePath.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (hadArchive) {
    if (int r = earlier.Open(archivePath); r != kOk) {
      *message = "the existing archive is not sound: " + earlier.Problem();
      return r;
    }
  }
  std::wstring parent = archivePath.substr(0, archivePath.find_last_of(L'\\'));
  wchar_t temporary[MAX_PATH + 1] = {};
  if (!CreateFolders(parent) || !GetTempFileNameW(parent.c_str(), L"7za", 0, temporary)) {
    *message = "cannot write into the archive's folder";
    return kCannotWrite;
  }
  int result = kOk;
  {
    UniqueHandle out(CreateFileW(temporary, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ZipWriter writer(out.Get());
    if (!out) {
      result = kCannotWrite;
      writer.Fail(kCannotWrite, "cannot create a temporary archive");
    }
    // Entries of the earlier archive stay unless a new one takes their name.
    for (const auto& entry : earlier.Entries()) {
      if (result != kOk) break;
      bool replaced = false;
      for (const Input& input : inputs) replaced = replaced || SamePath(input.entryName, entry.name);
      if (!replaced) result = writer.CopyEntry(earlier, entry);
    }
    for (const Input& input : inputs) {
      if (result != kOk) break;
      result = input.folder ? writer.AddFolder(input.entryName, input.modified)
                            : writer.AddFile(input.entryName, input.source);
    }
    if (result == kOk) result = writer.Finish();
    *message = result == kOk ? std::to_string(inputs.size()) + " item(s) added"
               : writer.Problem().empty() ? "cannot write the archive"
                                          : writer.Problem();
  }
  earlier = ZipArchive();  // closes the earlier archive so it can be replaced
  if (result == kOk && !MoveFileExW(temporary, archivePath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    *message = "cannot replace the archive";
    result = kCannotWrite;
  }
  // Only the temporary file this call created itself is ever removed here.
  if (result != kOk) DeleteFileW(temporary);
  return result;
}

int RunExtract(const ZipCommand& command, std::string* message) {
  ZipArchive archive;
  int r = archive.Open(FullPathOf(command.archive));
  if (r == kOk) {
    std::wstring folder = command.outputFolder.empty() ? L"." : command.outputFolder;
    r = archive.ExtractTo(folder);
  }
  *message = archive.Problem();
  return r;
}

int Run(LPCSTR commandLine, std::string* message) {
  ZipCommand command;
  if (commandLine == nullptr || !command.Parse(Widen(commandLine, CP_ACP))) {
    *message = commandLine == nullptr ? "no command" : command.Problem();
    return kBadCommand;
  }
  return command.verb == L'x' ? RunExtract(command, message) : RunAdd(command, message);
}

void WriteMessage(const std::string& text, LPSTR output, DWORD size) {
  if (output == nullptr || size == 0) return;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  // Never cut a double-byte character in half.
  if (n < text.size()) {
    size_t i = 0;
    while (i < n) i += IsDBCSLeadByte(BYTE(text[i])) ? 2 : 1;
    if (i > n) n -= 1;
  }
  text.copy(output, n);
  output[n] = '\0';
}

}  // namespace
}  // namespace sevenzip

extern "C" int WINAPI SevenZip(HWND, LPCSTR commandLine, LPSTR output, DWORD outputSize) {
  std::string message;
  int result = sevenzip::kCannotWrite;
  try {
    result = sevenzip::Run(commandLine, &message);
  } catch (const std::exception&) {
    message = "out of memory";
  }
  if (result != sevenzip::kOk && message.empty()) message = "failed";
  sevenzip::WriteMessage(result == sevenzip::kOk ? "OK: " + message : "Error: " + message, output,
                         outputSize);
  return result;
}

extern "C" BOOL WINAPI SevenZipCheckArchive(LPCSTR archivePath, int mode) {
  if (archivePath == nullptr) return FALSE;
  try {
    sevenzip::ZipArchive archive;
    if (archive.Open(sevenzip::Widen(archivePath, CP_ACP)) != sevenzip::kOk) return FALSE;
    return mode < 2 || archive.TestAll() == sevenzip::kOk;
  } catch (const std::exception&) {
    return FALSE;
  }
}

extern "C" BOOL WINAPI SevenZipSetCursorMode(BOOL) { return TRUE; }
extern "C" BOOL WINAPI SevenZipSetBackGroundMode(BOOL) { return TRUE; }
