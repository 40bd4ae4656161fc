// The file acts every elevated step goes through, under the rules Windows
// keeps where Wine keeps none (the table of file calls keeps them in Wine's
// place, for the release chosen at start or the one a case puts in).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "DeleteGuard.h"
#include "FileActs.h"
#include "Handles.h"
#include "InstallTree.h"
#include "Paths.h"
#include "System.h"
#include "TempDir.h"
#include "Text.h"
#include "TreeRemoval.h"
#include "WindowsRules.h"

namespace {

using norvale::EntryType;
using norvale::FileHandle;
using norvale::StepError;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

// The Windows release whose rules the acts keep, for one scope.
class ModelledRelease {
 public:
  explicit ModelledRelease(const wchar_t* release)
      : rules_(norvale::SystemFileCalls(), std::wstring(release) == L"11-24H2"
                            ? norvale::WindowsRelease::Windows11_24H2
                            : norvale::WindowsRelease::Windows10),
        used_(rules_) {}

 private:
  norvale::WindowsRules rules_;
  norvale::ScopedFileCalls used_;
};

FileHandle OpenFolder(const std::wstring& path, DWORD access, DWORD share) {
  return FileHandle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A new file to be renamed, opened as the programs open what they move.
FileHandle MovableFile(const std::wstring& path) {
  WriteFileBytes(path, "x");
  return FileHandle(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
}

// Windows opens the folder a rename goes into once more, asking to add a
// file and sharing reading and writing only (later builds of Windows 11
// share deletes too): whatever handle we hold there must admit that open.
TEST(FileActsTest, ARenameIntoAHeldFolderMeetsWindowsOwnOpenOfIt) {
  ASSERT_TRUE(norvale::RunsUnderWine()) << "these cases model what Windows does itself";
  struct Case {
    const char* what;
    DWORD access, share;
    bool onWindows10, onWindows11_24H2;
  };
  const Case cases[] = {
      {"held for listing and deleting, sharing reading and writing",
       norvale::kListingAccess | DELETE, norvale::kRemovalSharing, false, true},
      {"held for listing, sharing reading and writing", norvale::kListingAccess,
       norvale::kRemovalSharing, true, true},
      {"held for listing, sharing reading only", norvale::kListingAccess, FILE_SHARE_READ, false,
       false},
      {"held to add files, sharing everything",
       FILE_LIST_DIRECTORY | FILE_ADD_FILE | SYNCHRONIZE,
       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true, true},
  };
  for (const wchar_t* release : {L"10", L"11-24H2"}) {
    const ModelledRelease modelled(release);
    for (const Case& c : cases) {
      TempDir dir(L"rename target");
      const std::wstring target = dir / L"target";
      CreateDirectoryW(target.c_str(), nullptr);
      const bool admitted = std::wstring(release) == L"10" ? c.onWindows10 : c.onWindows11_24H2;
      const FileHandle held = OpenFolder(target, c.access, c.share);
      ASSERT_TRUE(held) << c.what;
      // Into the held folder by its handle, and by its path.
      const FileHandle first = MovableFile(dir / L"first.txt");
      const norvale::StepDone byHandle = norvale::RenameInto(first.Get(), held.Get(), L"a.txt", false);
      const FileHandle second = MovableFile(dir / L"second.txt");
      const norvale::StepDone byPath =
          norvale::RenameTo(second.Get(), target + L"\\b.txt", false);
      EXPECT_EQ(static_cast<bool>(byHandle), admitted) << c.what << ", " << norvale::ToAnsi(release);
      EXPECT_EQ(static_cast<bool>(byPath), admitted) << c.what << ", " << norvale::ToAnsi(release);
      if (!admitted) {
        EXPECT_EQ(byHandle.Error().code, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << c.what;
        EXPECT_EQ(byHandle.Error().kind, StepError::Kind::Transient) << c.what;
        EXPECT_EQ(byPath.Error().code, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << c.what;
      }
      EXPECT_EQ(GetFileAttributesW((target + L"\\a.txt").c_str()) != INVALID_FILE_ATTRIBUTES,
                admitted)
          << c.what;
    }
  }
}

// A file a running program was started from or has loaded may be renamed
// within its volume but not deleted; the acts refuse its delete under Wine
// as Windows does (the system's ERROR_ACCESS_DENIED, a refusal for now),
// and know it by what it is, not by its name. Once let go it goes.
TEST(FileActsTest, AFileARunningProgramHasMappedIsNeverDeleted) {
  const FileHandle own(CreateFileW(norvale::ProgramPath().c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(own);
  const norvale::StepDone refused = norvale::DisposeOf(own.Get(), true);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.Error().code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(refused.Error().kind, norvale::StepError::Kind::Transient);
  EXPECT_EQ(refused.Error().reason, norvale::Reason::InUseByRunningProgram);
  EXPECT_NE(GetFileAttributesW(norvale::ProgramPath().c_str()), INVALID_FILE_ATTRIBUTES);

  TempDir dir(L"own copy");
  const std::wstring copy = dir / L"copy.exe";
  ASSERT_TRUE(CopyFileW(norvale::ProgramPath().c_str(), copy.c_str(), FALSE));
  // Loaded as a module, as Explorer loads a shell extension.
  HMODULE loaded = LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(loaded, nullptr);
  const FileHandle other(CreateFileW(copy.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  EXPECT_FALSE(norvale::DisposeOf(other.Get(), true));
  FreeLibrary(loaded);
  EXPECT_TRUE(norvale::DisposeOf(other.Get(), true));
}

// A step's reason reaches Japanese boxes and a Japanese record: every one
// is said in Japanese, the delete guard's verdicts among them, and the
// system's error stands where no reason of our own is given.
TEST(FileActsTest, EveryReasonIsSaidInTheLanguageOfTheBoxes) {
  auto japanese = [](const std::wstring& text) {
    return std::any_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x3000; });
  };
  for (int r = static_cast<int>(norvale::Reason::FolderIsLink);
       r < static_cast<int>(norvale::Reason::Described); ++r) {
    EXPECT_TRUE(japanese(norvale::ReasonText(static_cast<norvale::Reason>(r), L"C:\\x"))) << r;
  }
  EXPECT_TRUE(japanese(norvale::DeleteRefusal(L"C:\\")));
  EXPECT_TRUE(japanese(norvale::DeleteRefusal(L"relative")));
  const norvale::StepError link =
      norvale::StepError::Refusal(norvale::kErrorLinkOnTheWay, L"C:\\Pos\\data");
  EXPECT_TRUE(japanese(link.Why()));
  EXPECT_EQ(link.Text(), L"[C:\\Pos\\data] (4395: " + link.Why() + L")");
  EXPECT_EQ(norvale::StepError::Of(ERROR_SHARING_VIOLATION, L"a").Why(),
            norvale::SystemErrorText(ERROR_SHARING_VIOLATION));
}

// What opens relative to a held folder is what the folder lists, as
// itself; what cannot be had says why, and owns no handle.
TEST(FileActsTest, OpensInAHeldFolderSayWhyTheyFail) {
  TempDir dir(L"opens");
  const FileHandle folder = OpenFolder(dir.Path(), norvale::kListingAccess,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(folder);
  EXPECT_FALSE(FileHandle(nullptr)) << "a failed native open leaves null behind";

  const auto missing =
      norvale::OpenIn(folder.Get(), L"missing.txt", GENERIC_READ, FILE_SHARE_READ, EntryType::Any);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.Error().Missing());
  for (const wchar_t* name : {L"..", L"a\\b", L"c:d", L"*"}) {
    const auto refused = norvale::OpenIn(folder.Get(), name, GENERIC_READ, 0, EntryType::Any);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().kind, StepError::Kind::Refused) << norvale::ToAnsi(name);
  }

  WriteFileBytes(dir / L"a.txt", "a");
  const auto made = norvale::CreateIn(folder.Get(), L"a.txt", GENERIC_WRITE, 0, EntryType::File);
  ASSERT_FALSE(made);
  EXPECT_EQ(made.Error().code, static_cast<DWORD>(ERROR_FILE_EXISTS));
  const auto asFolder = norvale::OpenListedIn(folder.Get(), norvale::FinalPathOfHandle(folder.Get()),
                                              L"a.txt", FILE_TRAVERSE, 0, EntryType::Folder);
  ASSERT_FALSE(asFolder);
  EXPECT_EQ(asFolder.Error().path, norvale::FinalPathOfHandle(folder.Get()) + L"\\a.txt");

  // A file held without delete sharing is there, but not to be had now.
  const FileHandle holder(CreateFileW((dir / L"a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  const auto held =
      norvale::OpenIn(folder.Get(), L"a.txt", DELETE, norvale::kRemovalSharing, EntryType::File);
  ASSERT_FALSE(held);
  EXPECT_EQ(held.Error().kind, StepError::Kind::Transient);
}

// A removal that leaves something says what stayed first and why, so that
// the user and the record can be told.
TEST(FileActsTest, ARemovalTellsTheFirstThingThatStayed) {
  TempDir dir(L"first stayed");
  const std::wstring root = dir / L"Pos";
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW((root + L"\\data").c_str(), nullptr);
  WriteFileBytes(root + L"\\data\\pos.dat", "held");
  WriteFileBytes(root + L"\\other.txt", "goes");
  const FileHandle holder(CreateFileW((root + L"\\data\\pos.dat").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  norvale::ITreeRemovalEvents events;
  const norvale::TreeRemovalResult left = norvale::EmptyGuardedFolder(root, events);
  EXPECT_TRUE(left.retryable);
  EXPECT_FALSE(left.refused);
  ASSERT_TRUE(left.first);
  EXPECT_EQ(left.first->path, root + L"\\data\\pos.dat");
  EXPECT_EQ(left.first->kind, StepError::Kind::Transient);
  EXPECT_EQ(GetFileAttributesW((root + L"\\other.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace

namespace {

// A file the installer generates takes its name whatever a user left under
// it: a read-only file, one a scanner holds (sharing deletes), an empty
// folder. Windows' older rename replaces neither of the first two and no
// folder; the newer one with POSIX semantics (10 1809 on) replaces both
// files, which Wine lacks and the acts do in its place (WindowsRules.h). A
// folder that holds something stays, and the file is not made.
TEST(FileActsTest, AGeneratedFileTakesItsNameWhateverHasIt) {
  ASSERT_TRUE(norvale::RunsUnderWine()) << "these cases model what Windows does itself";
  TempDir dir(L"generated name");
  const std::wstring root = dir / L"Norvale POS";
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
  auto held = norvale::OpenFolderFromRoot(
      root, FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
  ASSERT_TRUE(held);
  norvale::InstallTree tree(std::move(held->handle), held->path, true);
  struct Case {
    const char* what;
    std::function<void(const std::wstring&)> leave;
    bool taken;
  };
  FileHandle scanner;
  const Case cases[] = {
      {"a read-only file",
       [](const std::wstring& path) {
         WriteFileBytes(path, "theirs");
         SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
       },
       true},
      {"a file a scanner holds",
       [&scanner](const std::wstring& path) {
         WriteFileBytes(path, "theirs");
         scanner = FileHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
       },
       true},
      {"an empty folder", [](const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); },
       true},
      {"a folder that holds something",
       [](const std::wstring& path) {
         CreateDirectoryW(path.c_str(), nullptr);
         WriteFileBytes(path + L"\\keep.txt", "theirs");
       },
       false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::wstring path = root + L"\\Setup_Start" + std::to_wstring(++n) + L".txt";
    c.leave(path);
    EXPECT_EQ(static_cast<bool>(norvale::WriteGeneratedFile(tree, path, "the run's own\r\n", nullptr)), c.taken)
        << c.what;
    EXPECT_EQ(testing_support::ReadFileBytes(path) == "the run's own\r\n", c.taken) << c.what;
    scanner.Reset();
  }
  EXPECT_EQ(testing_support::ReadFileBytes(root + L"\\Setup_Start4.txt\\keep.txt"), "theirs");
}

}  // namespace

namespace {

// A file is known by the 128-bit number its volume gives it: ReFS keeps the
// older 64-bit one unique no longer. Wine answers both alike, so the
// identity is checked against what the newer question answers; another
// name of the same file is that file, another file is not.
TEST(FileActsTest, AFileIsKnownByTheNumberItsVolumeGivesItWhole) {
  TempDir dir(L"identity");
  WriteFileBytes(dir / L"a.txt", "a");
  WriteFileBytes(dir / L"b.txt", "b");
  ASSERT_TRUE(CreateHardLinkW((dir / L"a2.txt").c_str(), (dir / L"a.txt").c_str(), nullptr));
  auto open = [](const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  };
  const FileHandle a = open(dir / L"a.txt"), a2 = open(dir / L"a2.txt"), b = open(dir / L"b.txt");
  FILE_ID_INFO wide{};
  ASSERT_TRUE(GetFileInformationByHandleEx(a.Get(), FileIdInfo, &wide, sizeof wide));
  const auto identity = norvale::IdentityOf(a.Get());
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->volume, wide.VolumeSerialNumber);
  EXPECT_TRUE(std::equal(identity->id.begin(), identity->id.end(), wide.FileId.Identifier));
  EXPECT_EQ(norvale::IdentityOf(a2.Get()), identity);
  EXPECT_NE(norvale::IdentityOf(b.Get()), identity);
}

}  // namespace
