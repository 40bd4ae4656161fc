// What an install's tree vouches for: a watched file is opened again exactly
// as it arrived (the same file, the same bytes), reached from the install
// folder without a link and held with every folder on its way; a file that
// was rewritten or replaced since, or that the run never wrote, is not.
#include <windows.h>

#include <gtest/gtest.h>

#include "FileActs.h"
#include "FileSystem.h"
#include "InstallTree.h"
#include "TempDir.h"
#include "Text.h"

using namespace norvale;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

class ArrivalsTest : public ::testing::Test {
 protected:
  ArrivalsTest() { Reopen(); }

  void Reopen() {
    auto held = OpenFolderFromRoot(
        root_, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
    if (held) tree_ = std::make_shared<InstallTree>(std::move(held->handle), held->path, true);
  }

  // Writes path through the tree as a download does: a part file of its own
  // in its folder, shared with nobody, put in place, and told of while the
  // writer still holds it.
  bool Arrive(const std::wstring& path, const std::string& bytes) {
    const auto folder = tree_->OpenFolder(BeforeLast(path, L'\\'), true);
    if (!folder) return false;
    const std::wstring name = AfterLast(path, L'\\');
    StepResult<FileHandle> made = CreatePartFileIn(**folder, name);
    if (!made) return false;
    const FileHandle part = std::move(*made);
    DWORD written = 0;
    if (!WriteFile(part.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr) ||
        !PlaceInFolder(part.Get(), **folder, name, true)) {
      return false;
    }
    tree_->Arrived(path, part.Get());
    return true;
  }

  static DWORD WriteError(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    return file ? ERROR_SUCCESS : GetLastError();
  }

  static constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  TempDir dir_{L"arrivals"};
  const std::wstring root_ = dir_ / L"Norvale POS";
  const bool made_ = CreateDirectoryW(root_.c_str(), nullptr) != FALSE;
  std::shared_ptr<InstallTree> tree_;
  const std::wstring program_ = root_ + L"\\bin\\NorvalePos.exe";
};

TEST_F(ArrivalsTest, AnUnchangedFileIsHeldAsItArrivedWithItsWay) {
  ASSERT_TRUE(made_ && tree_);
  tree_->Watch(program_);
  ASSERT_TRUE(Arrive(program_, "MZ the program"));
  const std::wstring copyPath = dir_ / L"copy.bin";
  std::optional<StepResult<HeldArrival>> held;
  {
    const FileHandle copy(CreateFileW(copyPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                      nullptr));
    held = tree_->OpenArrived(program_, copy.Get());
  }
  ASSERT_TRUE(held && *held);
  EXPECT_EQ(ReadFileBytes(copyPath), "MZ the program");
  EXPECT_EQ((*held)->folders.size(), 2u) << "the install folder and bin";
  // Others may read it (a process start does) but neither write, rename
  // nor delete it, nor rename a folder on its way.
  EXPECT_EQ(ReadFileBytes(program_), "MZ the program");
  EXPECT_EQ(WriteError(program_), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(program_.c_str(), (program_ + L".old").c_str()));
  EXPECT_FALSE(MoveFileW((root_ + L"\\bin").c_str(), (root_ + L"\\bin.old").c_str()));
  EXPECT_FALSE(DeleteFileW(program_.c_str()));
  // Files are still made and renamed into its folders meanwhile.
  EXPECT_TRUE(Arrive(root_ + L"\\bin\\other.dll", "other"));
  held.reset();
  EXPECT_EQ(WriteError(program_), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(tree_->OpenArrived(program_)) << "as often as it is asked";
}

TEST_F(ArrivalsTest, AFileChangedSinceItArrivedIsNotVouchedFor) {
  ASSERT_TRUE(made_ && tree_);
  tree_->Watch(program_);
  ASSERT_TRUE(Arrive(program_, "MZ the program"));
  // Rewritten in place: another digest.
  WriteFileBytes(program_, "MZ a user's own");
  EXPECT_FALSE(tree_->OpenArrived(program_));

  // Arrived again: what arrived last counts.
  ASSERT_TRUE(Arrive(program_, "MZ the program"));
  EXPECT_TRUE(tree_->OpenArrived(program_));
  // Replaced by another file with the very bytes: another file.
  ASSERT_TRUE(MoveFileW(program_.c_str(), (program_ + L".parked").c_str()));
  ASSERT_TRUE(CopyFileW((program_ + L".parked").c_str(), program_.c_str(), TRUE));
  EXPECT_EQ(ReadFileBytes(program_), "MZ the program");
  EXPECT_FALSE(tree_->OpenArrived(program_));
  // Gone.
  ASSERT_TRUE(DeleteFileW(program_.c_str()));
  EXPECT_FALSE(tree_->OpenArrived(program_));
}

TEST_F(ArrivalsTest, OnlyWatchedFilesThatArrivedThroughTheTreeAreVouchedFor) {
  ASSERT_TRUE(made_ && tree_);
  const std::wstring plain = root_ + L"\\readme.txt";
  ASSERT_TRUE(Arrive(plain, "read me"));
  EXPECT_FALSE(tree_->OpenArrived(plain)) << "not watched when it arrived";
  tree_->Watch(program_);
  CreateDirectoryW((root_ + L"\\bin").c_str(), nullptr);
  WriteFileBytes(program_, "MZ written by name");
  EXPECT_FALSE(tree_->OpenArrived(program_)) << "never arrived through the tree";
  // Another spelling of the same file is the same file.
  ASSERT_TRUE(Arrive(root_ + L"\\BIN\\norvalepos.EXE", "MZ the program"));
  EXPECT_TRUE(tree_->OpenArrived(program_));

  EXPECT_TRUE(tree_->Covers(program_));
  EXPECT_TRUE(tree_->Covers(root_));
  EXPECT_FALSE(tree_->Covers(dir_ / L"Norvale POS2\\NorvalePos.exe"));
  EXPECT_FALSE(tree_->Covers(dir_ / L"outside.exe"));
}

// A copy into the tree (what an archive holds, after its unpacking) arrives
// as a download does.
TEST_F(ArrivalsTest, ACopyIntoTheTreeArrivesToo) {
  ASSERT_TRUE(made_ && tree_);
  const std::wstring source = dir_ / L"unpacked.exe";
  WriteFileBytes(source, "MZ from the archive");
  tree_->Watch(program_);
  ASSERT_TRUE(CopyIntoTree(*tree_, source, program_, true));
  EXPECT_TRUE(tree_->OpenArrived(program_));
}

// Once the tree let its folders go the file is still vouched for, reached
// from the drive's root; a folder the run made that was swapped since is
// not the way.
TEST_F(ArrivalsTest, AfterReleaseTheWayStartsAtTheDrivesRoot) {
  ASSERT_TRUE(made_ && tree_);
  tree_->Watch(program_);
  ASSERT_TRUE(Arrive(program_, "MZ the program"));
  tree_->Release();
  std::optional<StepResult<HeldArrival>> held = tree_->OpenArrived(program_);
  ASSERT_TRUE(*held);
  EXPECT_EQ(WriteError(program_), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  held.reset();

  const std::wstring bin = root_ + L"\\bin";
  ASSERT_TRUE(MoveFileW(bin.c_str(), (bin + L".parked").c_str()));
  ASSERT_TRUE(CreateDirectoryW(bin.c_str(), nullptr));
  ASSERT_TRUE(MoveFileW((bin + L".parked\\NorvalePos.exe").c_str(), program_.c_str()));
  EXPECT_FALSE(tree_->OpenArrived(program_));
}

}  // namespace
