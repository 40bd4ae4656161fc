// Where the shipped programs take their system DLLs from. Both run elevated,
// often from a folder others may write; a DLL that is no Known DLL is looked
// for beside the program first, so a planted copy there would run elevated.
//
// Wine takes its built-in DLL even where a native one of the same name lies
// beside the program, unless the load order puts native first: for each
// program started here the test sets that order for the planted names in
// the prefix's per-program DllOverrides (HKCU, one view for 32- and 64-bit
// programs), which makes Wine look beside the program first, as Windows
// does. Wine does not read the load configuration's dependent-load flags;
// those are checked in the image files.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "Handles.h"
#include "TempDir.h"

namespace {

using testing::IsEmpty;
using testing_support::Narrow;
using testing_support::ReadFileBytes;
using testing_support::TempDir;

// The Known DLLs that Windows 7, 10 and 11 all list (Session Manager,
// KnownDLLs), and ntdll, which the loader maps first: whatever folder a
// program starts from, the loader takes these from the system's own copies.
// Windows 7 lists WININET as well; Windows 10 no longer does.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "clbcatq.dll",  "comdlg32.dll", "difxapi.dll",  "gdi32.dll",
    "imagehlp.dll", "imm32.dll",    "kernel32.dll", "msctf.dll",    "msvcrt.dll",
    "normaliz.dll", "nsi.dll",      "ntdll.dll",    "ole32.dll",    "oleaut32.dll",
    "psapi.dll",    "rpcrt4.dll",   "sechost.dll",  "setupapi.dll", "shell32.dll",
    "shlwapi.dll",  "user32.dll",   "wldap32.dll",  "ws2_32.dll"};

// The system DLLs of the programs that are none, planted beside the probe.
const std::vector<std::wstring> kDelayedNames = {L"mpr.dll", L"version.dll", L"wininet.dll",
                                                 L"comctl32.dll"};
// Those planted beside the programs. Wine's own user32 and comdlg32, which
// the programs import, import VERSION and COMCTL32 themselves, and Wine,
// which keeps no Known DLLs, resolves those imports beside the program too:
// under Wine a copy of either runs there whatever the program does. The
// image tables below cover them.
const std::vector<std::wstring> kProgramOnlyNames = {L"mpr.dll", L"wininet.dll"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::wstring LowerW(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring TestFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring text(path, n);
  return text.substr(0, text.rfind(L'\\'));
}

// What a PE image says about the DLLs it needs, read from its file.
struct ImageTables {
  bool pe32plus = false;
  std::vector<std::string> imports;       // lower case
  std::vector<std::string> delayImports;  // lower case
  DWORD configRva = 0;
  DWORD configDirectorySize = 0;
  DWORD configSize = 0;
  WORD dependentLoadFlags = 0;
  ULONGLONG seHandlerTable = 0;
  ULONGLONG seHandlerCount = 0;
};

class ImageReader {
 public:
  explicit ImageReader(std::string bytes) : bytes_(std::move(bytes)) {}

  // False, with the reason in error, for what is no PE image this reads.
  bool Read(ImageTables& tables, std::string& error) {
    const auto* dos = At<IMAGE_DOS_HEADER>(0);
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return Fail(error, "no MZ header");
    const size_t nt = static_cast<size_t>(dos->e_lfanew);
    const auto* signature = At<DWORD>(nt);
    const auto* file = At<IMAGE_FILE_HEADER>(nt + 4);
    if (!signature || *signature != IMAGE_NT_SIGNATURE || !file) return Fail(error, "no PE header");
    const size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    const auto* magic = At<WORD>(optional);
    if (!magic) return Fail(error, "no optional header");
    const IMAGE_DATA_DIRECTORY* directories = nullptr;
    DWORD count = 0;
    if (*magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
      const auto* header = At<IMAGE_OPTIONAL_HEADER64>(optional);
      if (!header) return Fail(error, "short optional header");
      tables.pe32plus = true;
      directories = header->DataDirectory;
      count = header->NumberOfRvaAndSizes;
    } else if (*magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
      const auto* header = At<IMAGE_OPTIONAL_HEADER32>(optional);
      if (!header) return Fail(error, "short optional header");
      directories = header->DataDirectory;
      count = header->NumberOfRvaAndSizes;
    } else {
      return Fail(error, "unknown optional header");
    }
    if (count <= IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT) return Fail(error, "too few directories");
    const size_t sectionTable = optional + file->SizeOfOptionalHeader;
    for (WORD i = 0; i < file->NumberOfSections; ++i) {
      const auto* section = At<IMAGE_SECTION_HEADER>(sectionTable + i * sizeof(IMAGE_SECTION_HEADER));
      if (!section) return Fail(error, "short section table");
      sections_.push_back(*section);
    }

    for (DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress; rva;
         rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto* descriptor = AtRva<IMAGE_IMPORT_DESCRIPTOR>(rva);
      if (!descriptor) return Fail(error, "import table outside the image");
      if (descriptor->Name == 0) break;
      tables.imports.push_back(Lower(Text(descriptor->Name)));
    }
    // The delayed-import descriptors (delayimp.h's ImgDelayDescr): attributes,
    // then the DLL name's RVA, and six more 32-bit fields.
    for (DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress; rva;
         rva += 8 * sizeof(DWORD)) {
      const auto* descriptor = AtRva<DWORD[8]>(rva);
      if (!descriptor) return Fail(error, "delay-import table outside the image");
      if ((*descriptor)[1] == 0) break;
      tables.delayImports.push_back(Lower(Text((*descriptor)[1])));
    }

    const IMAGE_DATA_DIRECTORY& config = directories[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    tables.configRva = config.VirtualAddress;
    tables.configDirectorySize = config.Size;
    if (config.VirtualAddress == 0) return true;
    if (tables.pe32plus) {
      const auto* loadConfig = AtRva<IMAGE_LOAD_CONFIG_DIRECTORY64>(config.VirtualAddress);
      if (!loadConfig) return Fail(error, "load configuration outside the image");
      tables.configSize = loadConfig->Size;
      tables.dependentLoadFlags = loadConfig->Reserved1;
      tables.seHandlerTable = loadConfig->SEHandlerTable;
      tables.seHandlerCount = loadConfig->SEHandlerCount;
    } else {
      const auto* loadConfig = AtRva<IMAGE_LOAD_CONFIG_DIRECTORY32>(config.VirtualAddress);
      if (!loadConfig) return Fail(error, "load configuration outside the image");
      tables.configSize = loadConfig->Size;
      tables.dependentLoadFlags = loadConfig->Reserved1;
      tables.seHandlerTable = loadConfig->SEHandlerTable;
      tables.seHandlerCount = loadConfig->SEHandlerCount;
    }
    return true;
  }

 private:
  static bool Fail(std::string& error, const char* why) {
    error = why;
    return false;
  }

  template <typename T>
  const T* At(size_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(bytes_.data() + offset);
  }

  size_t OffsetOf(DWORD rva) const {
    for (const IMAGE_SECTION_HEADER& section : sections_) {
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData) {
        return section.PointerToRawData + (rva - section.VirtualAddress);
      }
    }
    return bytes_.size();
  }

  template <typename T>
  const T* AtRva(DWORD rva) const {
    return At<T>(OffsetOf(rva));
  }

  std::string Text(DWORD rva) const {
    const size_t offset = OffsetOf(rva);
    if (offset >= bytes_.size()) return "<outside the image>";
    return std::string(bytes_.c_str() + offset);
  }

  std::string bytes_;
  std::vector<IMAGE_SECTION_HEADER> sections_;
};

std::wstring ProgramFile(const std::wstring& name) { return TestFolder() + L"\\programs\\" + name; }

// The shipped programs, with the DLLs each must still use, now delayed.
struct Program {
  const wchar_t* file;
  std::vector<std::string> delayed;
  // Held by the test, this makes a start of the program end at once: one
  // installer and one uninstaller at a time; it then ends with this code.
  const wchar_t* instanceMutex;
  int exitCodeWhenRunning = 0;
};

void PrintTo(const Program& program, std::ostream* out) { *out << Narrow(program.file); }

std::string NameOf(const testing::TestParamInfo<Program>& info) {
  std::string name = Narrow(info.param.file);
  return name.substr(0, name.find('.'));
}

const Program kPrograms[] = {
    {L"Norvale_Installer.exe",
     {"comctl32.dll", "mpr.dll", "version.dll", "wininet.dll"},
     L"Local\\Norvale_Installer.Running"},
    // 1618: another uninstaller runs.
    {L"Dekant00.exe", {"comctl32.dll", "mpr.dll"}, L"Norvale.Dekant00.SingleInstance", 1618},
};

class ProgramImageTables : public testing::TestWithParam<Program> {
 protected:
  void SetUp() override {
    const std::wstring path = ProgramFile(GetParam().file);
    ImageReader reader(ReadFileBytes(path));
    std::string error;
    ASSERT_TRUE(reader.Read(tables_, error)) << Narrow(path) << ": " << error;
  }
  ImageTables tables_;
};

TEST_P(ProgramImageTables, ImportOnlyKnownDllsStatically) {
  ASSERT_THAT(tables_.imports, testing::Not(IsEmpty()));
  for (const std::string& dll : tables_.imports) {
    EXPECT_TRUE(kKnownDlls.count(dll)) << dll << " is imported statically and is no Known DLL";
  }
}

TEST_P(ProgramImageTables, TakeTheOtherSystemDllsThroughDelayedImports) {
  const std::set<std::string> delayed(tables_.delayImports.begin(), tables_.delayImports.end());
  for (const std::string& dll : GetParam().delayed) EXPECT_TRUE(delayed.count(dll)) << dll;
  for (const std::string& dll : delayed) EXPECT_FALSE(kKnownDlls.count(dll)) << dll;
}

TEST_P(ProgramImageTables, AskForDependentLoadsFromTheSystemFolder) {
  ASSERT_NE(tables_.configRva, 0u) << "no Load Configuration directory";
  // The size of the structure this toolchain's winnt.h declares, for the
  // image's own bitness.
  const DWORD declared = tables_.pe32plus ? sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64)
                                          : sizeof(IMAGE_LOAD_CONFIG_DIRECTORY32);
  EXPECT_EQ(tables_.configSize, declared);
  EXPECT_EQ(tables_.configDirectorySize, declared);
  EXPECT_EQ(tables_.dependentLoadFlags, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // With a handler table (32-bit images), the loader would refuse every
  // exception handler the table does not list.
  EXPECT_EQ(tables_.seHandlerTable, 0u);
  EXPECT_EQ(tables_.seHandlerCount, 0u);
}

INSTANTIATE_TEST_SUITE_P(Shipped, ProgramImageTables, testing::ValuesIn(kPrograms), NameOf);

// Wine's load order "native, then built-in" for the planted names, in
// processes of one program file name, while the object lives. What a run
// that was cut short left of it is taken over.
class NativeFirst {
 public:
  NativeFirst(const std::wstring& program, const std::vector<std::wstring>& planted)
      : key_(L"Software\\Wine\\AppDefaults\\" + program) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    HKEY overrides = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &overrides, nullptr) != ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot create " << Narrow(key_);
      return;
    }
    created_ = true;
    const norvale::RegKey owned(overrides);
    const wchar_t order[] = L"native,builtin";
    for (std::wstring dll : planted) {
      dll.resize(dll.size() - 4);  // the name without ".dll"
      EXPECT_EQ(RegSetValueExW(overrides, dll.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(order), sizeof order),
                ERROR_SUCCESS);
    }
  }
  ~NativeFirst() {
    if (created_) RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
  }
  NativeFirst(const NativeFirst&) = delete;
  NativeFirst& operator=(const NativeFirst&) = delete;

 private:
  std::wstring key_;
  bool created_ = false;
};

// A folder in the prefix holding a copy of a program and, under each name
// given and as "planted.dll", the test's DLL that marks each load.
class PlantedFolder {
 public:
  PlantedFolder(const std::wstring& program, const std::vector<std::wstring>& names)
      : name_(program.substr(program.rfind(L'\\') + 1)),
        dir_(L"dllsearch"),
        order_(name_, names) {
    program_ = dir_ / name_;
    EXPECT_TRUE(CopyFileW(program.c_str(), program_.c_str(), FALSE)) << Narrow(program);
    const std::wstring planted = TestFolder() + L"\\planted.dll";
    for (const std::wstring& dll : names) {
      EXPECT_TRUE(CopyFileW(planted.c_str(), (dir_ / dll).c_str(), FALSE)) << Narrow(dll);
    }
    EXPECT_TRUE(CopyFileW(planted.c_str(), (dir_ / L"planted.dll").c_str(), FALSE));
  }

  std::wstring operator/(const std::wstring& name) const { return dir_ / name; }
  std::wstring Folder() const { return LowerW(dir_.Path()) + L"\\"; }

  // Runs the program copy with the arguments from its folder; its exit code,
  // -1 when it did not start or end.
  long Run(const std::wstring& arguments = L"") const {
    std::wstring line = L"\"" + program_ + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        dir_.Path().c_str(), &startup, &process)) {
      return -1;
    }
    const norvale::KernelHandle thread(process.hThread), running(process.hProcess);
    if (WaitForSingleObject(running.Get(), 60000) != WAIT_OBJECT_0) {
      TerminateProcess(running.Get(), 99);
      return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(running.Get(), &code);
    return static_cast<long>(code);
  }

  // The planted DLLs whose entry some process ran.
  std::vector<std::string> Marked() const {
    std::vector<std::string> marked;
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW((dir_ / L"*.loaded").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return marked;
    do {
      marked.push_back(Lower(Narrow(found.cFileName)));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return marked;
  }

  // What the probe wrote: each DLL's name and its module's file, lower case.
  std::vector<std::pair<std::wstring, std::wstring>> Report() const {
    std::vector<std::pair<std::wstring, std::wstring>> lines;
    const std::string bytes = ReadFileBytes(dir_ / L"report.txt");
    size_t at = 0;
    while (at < bytes.size()) {
      const size_t end = std::min(bytes.find('\n', at), bytes.size());
      const std::string line = bytes.substr(at, end - at);
      const size_t tab = line.find('\t');
      wchar_t wide[2 * MAX_PATH] = {};
      MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide, 2 * MAX_PATH);
      const std::wstring text = wide;
      if (tab != std::string::npos) {
        const size_t wideTab = text.find(L'\t');
        lines.emplace_back(LowerW(text.substr(0, wideTab)), LowerW(text.substr(wideTab + 1)));
      }
      at = end + 1;
    }
    return lines;
  }

 private:
  std::wstring name_;
  TempDir dir_;
  NativeFirst order_;
  std::wstring program_;
};

// The premise of the tests below: under this load order a program that
// imports MPR and WININET statically runs the copies planted beside it.
TEST(PlantedSystemDlls, RunInAProgramThatImportsThemStatically) {
  PlantedFolder folder(TestFolder() + L"\\static_import_control.exe", kProgramOnlyNames);
  EXPECT_EQ(folder.Run(), 0);
  EXPECT_THAT(folder.Marked(),
              testing::UnorderedElementsAre("mpr.dll.loaded", "wininet.dll.loaded"));
}

class PlantedBesideProgram : public testing::TestWithParam<Program> {};

TEST_P(PlantedBesideProgram, NeverRuns) {
  PlantedFolder folder(ProgramFile(GetParam().file), kProgramOnlyNames);
  const norvale::KernelHandle running(CreateMutexW(nullptr, FALSE, GetParam().instanceMutex));
  ASSERT_TRUE(running.Valid());
  EXPECT_EQ(folder.Run(), GetParam().exitCodeWhenRunning);
  EXPECT_THAT(folder.Marked(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Shipped, PlantedBesideProgram, testing::ValuesIn(kPrograms), NameOf);

// The folder a delayed import of this build must come from: System32 as
// GetSystemDirectoryW names it. A 32-bit program on 64-bit Windows is given
// SysWOW64 for it, which Windows reports as the module's folder and Wine
// reports under the System32 name it was asked for; either is the system's.
bool InSystemFolder(const std::wstring& file) {
  const std::wstring folder = file.substr(0, file.rfind(L'\\'));
  wchar_t system[MAX_PATH] = {};
  UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n && n < MAX_PATH && folder == LowerW(std::wstring(system, n))) return true;
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return false;
  n = GetSystemWow64DirectoryW(system, MAX_PATH);
  return n && n < MAX_PATH && folder == LowerW(std::wstring(system, n));
}

TEST(DelayLoadHook, TakesEachDllFromTheSystemFolder) {
  PlantedFolder folder(TestFolder() + L"\\dllsearch_probe.exe", kDelayedNames);
  ASSERT_EQ(folder.Run(L"\"" + folder / L"report.txt" + L"\" delayed"), 0);
  const auto report = folder.Report();
  ASSERT_EQ(report.size(), 4u);
  wchar_t windows[MAX_PATH] = {};
  const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring sideBySide = LowerW(std::wstring(windows, n)) + L"\\winsxs\\";
  for (const auto& [dll, file] : report) {
    EXPECT_FALSE(file.starts_with(folder.Folder())) << Narrow(dll) << ": " << Narrow(file);
    if (dll == L"comctl32.dll") {
      // Version 6, as the manifest asks, from the side-by-side store.
      EXPECT_TRUE(file.starts_with(sideBySide)) << Narrow(file);
    } else {
      EXPECT_TRUE(InSystemFolder(file)) << Narrow(dll) << ": " << Narrow(file);
    }
  }
  EXPECT_THAT(folder.Marked(), IsEmpty());
}

TEST(DefaultDllSearch, KeptToTheSystemFolderOnceNarrowed) {
  PlantedFolder folder(TestFolder() + L"\\dllsearch_probe.exe", kDelayedNames);
  // Before, a bare name is found beside the program.
  ASSERT_EQ(folder.Run(L"\"" + folder / L"report.txt" + L"\" bare"), 0);
  ASSERT_EQ(folder.Report().size(), 1u);
  EXPECT_EQ(folder.Report()[0].second, LowerW(folder / L"planted.dll"));
  ASSERT_TRUE(DeleteFileW((folder / L"planted.dll.loaded").c_str()));

  ASSERT_EQ(folder.Run(L"\"" + folder / L"report.txt" + L"\" narrowed"), 0);
  ASSERT_EQ(folder.Report().size(), 1u);
  EXPECT_EQ(folder.Report()[0].second, L"-");
  EXPECT_THAT(folder.Marked(), IsEmpty());
}

}  // namespace
