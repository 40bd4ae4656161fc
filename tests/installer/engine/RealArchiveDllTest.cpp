// clsLZH against our own 7-zip32.dll: the commands the installer builds must
// be understood by the DLL it ships, not only by the recording fake.
#include <gtest/gtest.h>

#include "EngineBinding.h"
#include "EngineTestSupport.h"
#include "clsLZH.h"

using namespace engine_testing;

namespace {

class RealArchiveDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Exists(dll_)) << "7-zip32.dll is copied beside the test program";
    CreateDirectoryW(source_.c_str(), nullptr);
    CreateDirectoryW((source_ + L"\\データ").c_str(), nullptr);
    CreateDirectoryW((source_ + L"\\空").c_str(), nullptr);
    WriteUtf8(source_ + L"\\データ\\売上 一覧.csv", L"伝票,金額\r\n1,100\r\n");
    WriteUtf8(source_ + L"\\readme.txt", std::wstring(5000, L'x'));
  }

  // The add command passes its files unquoted, as backups of plain data
  // folders do; only the output folder of the extraction holds blanks.
  testing_support::TempDir dir_{L"reallzh"};
  const std::wstring dll_ = TestProgramFolder() + L"\\7-zip32.dll";
  const std::wstring source_ = dir_ / L"元フォルダ";
  const std::wstring zip_ = dir_ / L"パッケージ1.zip";
  const std::wstring out_ = dir_ / L"展開 先";
  clsLZH lzh_{dll_};
};

TEST_F(RealArchiveDllTest, AddedTreeUnpacksByteForByteIntoAFolderWithBlanks) {
  ASSERT_TRUE(lzh_.LHA_LzhAddFiles(L"", L"\"" + zip_ + L"\"", L"\"" + source_ + L"\"", false, 1));
  EXPECT_TRUE(lzh_.IsLzhFileOK(zip_));

  ASSERT_TRUE(lzh_.LHA_UnLha(L"x \"" + zip_ + L"\" \"" + out_ + L"\\\""));
  const std::wstring top = out_ + L"\\元フォルダ";
  EXPECT_EQ(ReadBytes(source_ + L"\\データ\\売上 一覧.csv"),
            ReadBytes(top + L"\\データ\\売上 一覧.csv"));
  EXPECT_EQ(ReadBytes(source_ + L"\\readme.txt"), ReadBytes(top + L"\\readme.txt"));
  EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY,
            GetFileAttributesW((top + L"\\空").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(RealArchiveDllTest, ADamagedArchiveFailsTheCheckAndTheExtraction) {
  ASSERT_TRUE(lzh_.LHA_LzhAddFiles(L"", L"\"" + zip_ + L"\"", L"\"" + source_ + L"\"", false, 1));
  std::string bytes = ReadBytes(zip_);
  ASSERT_GT(bytes.size(), 200u);
  bytes.resize(bytes.size() / 2);
  const std::wstring cut = dir_ / L"cut.zip";
  HANDLE file = CreateFileW(cut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);

  EXPECT_FALSE(lzh_.IsLzhFileOK(cut));
  EXPECT_FALSE(lzh_.LHA_UnLha(L"x \"" + cut + L"\" \"" + out_ + L"\\\""));
  EXPECT_FALSE(Exists(out_ + L"\\元フォルダ\\readme.txt"));
}

// The installer binds its archive DLLs by full path: the programs keep the
// search for a bare name to the system folder, which would miss the copy
// beside the installer. Where none lies there, the system folder's file
// (System32 as GetSystemDirectoryW names it; the system gives a 32-bit
// build on 64-bit Windows SysWOW64 for it).
TEST(ArchiveLibraryPath, IsTheCopyBesideTheInstallerElseTheSystemFolders) {
  EXPECT_EQ(norvale::ArchiveLibraryPath(TestProgramFolder(), L"7-zip32.dll"),
            TestProgramFolder() + L"\\7-zip32.dll");
  testing_support::TempDir empty{L"noarc"};
  wchar_t system[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  EXPECT_EQ(norvale::ArchiveLibraryPath(empty.Path(), L"7-zip32.dll"),
            std::wstring(system, n) + L"\\7-zip32.dll");
  EXPECT_EQ(norvale::ArchiveLibraryPath(empty.Path(), L"Unlha32.dll"),
            std::wstring(system, n) + L"\\Unlha32.dll");
}

}  // namespace
