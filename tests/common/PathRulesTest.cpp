// The rules by which two path texts name one place, at their edges: a name
// that begins another name, closing separators, the raw and share forms,
// short names, drive letters that are no ASCII letters, and what letter case
// covers (neither kana type nor width).
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "Handles.h"
#include "Paths.h"
#include "TempDir.h"

using namespace testing_support;
using norvale::PathIsBelow;
using norvale::SamePath;

namespace {

// The 8.3 name of an existing path; the path itself where the file system
// makes none.
std::wstring ShortNameOf(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

TEST(PathRulesTest, SamePathIgnoresLetterCaseAndNothingElse) {
  EXPECT_TRUE(SamePath(L"C:\\Norvale\\POS", L"c:\\norvale\\pos"));
  EXPECT_TRUE(SamePath(L"C:\\Café", L"C:\\CAFÉ"));
  EXPECT_TRUE(SamePath(L"", L""));
  EXPECT_FALSE(SamePath(L"", L"C:\\"));
  EXPECT_FALSE(SamePath(L"C:\\a", L"C:\\ab"));
  EXPECT_FALSE(SamePath(L"C:\\a", L"C:\\a\\"));
  // The file system keeps these apart: each is a name of its own.
  EXPECT_FALSE(SamePath(L"C:\\ポス", L"C:\\ぽす"));   // katakana against hiragana
  EXPECT_FALSE(SamePath(L"C:\\ポス", L"C:\\ﾎﾟｽ"));   // full against half width
  EXPECT_FALSE(SamePath(L"C:\\Norvale", L"C:\\Ｎｏｒｖａｌｅ"));
  EXPECT_FALSE(SamePath(L"C:\\Straße", L"C:\\STRASSE"));
  EXPECT_FALSE(SamePath(L"C:\\a\u00ADb", L"C:\\ab"));  // a soft hyphen is a character
}

// A name of a listing or of a process: compared whole, letter case aside.
TEST(PathRulesTest, SameNameIsTheFileSystemsComparisonOfWholeNames) {
  using norvale::SameName;
  EXPECT_TRUE(SameName(L"Setup.INI", L"setup.ini"));
  EXPECT_TRUE(SameName(L"ÉTÉ.txt", L"été.TXT"));
  EXPECT_TRUE(SameName(L"", L""));
  EXPECT_FALSE(SameName(L"", L"a"));
  EXPECT_FALSE(SameName(L"a.txt ", L"a.txt"));  // nothing is trimmed
  EXPECT_FALSE(SameName(L"ｓｅｔｕｐ.ini", L"setup.ini"));
  EXPECT_FALSE(SameName(L"ポス.exe", L"ぽす.exe"));
  EXPECT_FALSE(SameName(L"ﾎﾟｽ.exe", L"ポス.exe"));
}

TEST(PathRulesTest, BelowMeansAFolderBoundaryNotAPrefix) {
  EXPECT_TRUE(PathIsBelow(L"C:\\a\\b", L"C:\\a"));
  EXPECT_TRUE(PathIsBelow(L"C:\\A\\b\\c.txt", L"c:\\a\\"));
  EXPECT_TRUE(PathIsBelow(L"C:\\a\\b", L"C:\\"));
  EXPECT_TRUE(PathIsBelow(L"\\\\srv\\share\\x", L"\\\\SRV\\share"));
  EXPECT_FALSE(PathIsBelow(L"C:\\ab", L"C:\\a"));
  EXPECT_FALSE(PathIsBelow(L"C:\\ab\\x", L"C:\\a"));
  EXPECT_FALSE(PathIsBelow(L"C:\\a", L"C:\\a"));
  EXPECT_FALSE(PathIsBelow(L"C:\\a\\", L"C:\\a"));
  EXPECT_FALSE(PathIsBelow(L"C:\\a\\b", L""));
  EXPECT_FALSE(PathIsBelow(L"C:\\a\\b", L"\\"));
  EXPECT_FALSE(PathIsBelow(L"C:\\ぽす\\x", L"C:\\ポス"));
  // Another form of the same place is not judged by these rules alone.
  EXPECT_FALSE(PathIsBelow(L"\\\\?\\C:\\a\\b", L"C:\\a"));
  EXPECT_FALSE(PathIsBelow(L"\\\\srv\\sharex\\y", L"\\\\srv\\share"));

  EXPECT_EQ(L"sub\\a.zip", norvale::PartBelow(L"C:\\Temp\\sub\\a.zip", L"c:\\temp\\"));
  EXPECT_EQ(L"a.zip", norvale::PartBelow(L"C:\\Temp\\a.zip", L"C:\\Temp"));
  EXPECT_EQ(L"", norvale::PartBelow(L"C:\\TempX\\a.zip", L"C:\\Temp"));
  EXPECT_EQ(L"", norvale::PartBelow(L"C:\\Temp", L"C:\\Temp"));
}

TEST(PathRulesTest, OnlyAnAsciiLetterNamesADrive) {
  for (const wchar_t* path : {L"C:\\x", L"z:\\", L"C:/x"}) {
    EXPECT_TRUE(norvale::IsDriveAbsolute(path)) << Narrow(path);
  }
  for (const wchar_t* path : {L"é:\\x", L"Ｃ:\\x", L"ｃ:\\x", L"1:\\x", L"@:\\x", L"[:\\x",
                              L"C:x", L"C:", L"\\\\?\\C:\\x", L"\\\\srv\\share", L""}) {
    EXPECT_FALSE(norvale::IsDriveAbsolute(path)) << Narrow(path);
  }
  EXPECT_FALSE(norvale::IsDriveLetter(L'\u0130'));  // "İ", a letter that upper-cases oddly
}

TEST(PathRulesTest, TheFullFormDropsClosingSeparatorsButARootKeepsIts) {
  EXPECT_EQ(L"C:\\a\\b", norvale::FullPath(L"C:\\a\\b\\"));
  EXPECT_EQ(L"C:\\a\\b", norvale::FullPath(L"  C:/a/b//  "));
  EXPECT_EQ(L"C:\\b", norvale::FullPath(L"C:\\a\\..\\b"));
  EXPECT_EQ(L"C:\\", norvale::FullPath(L"C:\\"));
  EXPECT_EQ(L"C:\\", norvale::FullPath(L"C:\\a\\..\\.."));
  EXPECT_EQ(L"\\\\srv\\share\\x", norvale::FullPath(L"\\\\srv\\share\\x\\"));
  EXPECT_EQ(L"", norvale::FullPath(L"   "));
}

// Plain file calls take MAX_PATH - 1 characters, a folder MAX_PATH - 12 and
// a name 255; closing separators do not count.
TEST(PathRulesTest, PlainFileCallLimitsAtTheirEdges) {
  const std::wstring root = L"C:\\";
  const std::wstring file259 = root + std::wstring(MAX_PATH - 1 - root.size(), L'a');
  EXPECT_FALSE(norvale::FitsPlainPathCalls(file259));  // a name past 255
  std::wstring deep = root;
  while (deep.size() + 101 <= MAX_PATH - 1) deep += std::wstring(100, L'a') + L"\\";
  deep += std::wstring(MAX_PATH - 1 - deep.size(), L'b');
  ASSERT_EQ(deep.size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_TRUE(norvale::FitsPlainPathCalls(deep));
  EXPECT_TRUE(norvale::FitsPlainPathCalls(deep + L"\\\\"));
  EXPECT_FALSE(norvale::FitsPlainPathCalls(deep + L"b"));
  EXPECT_FALSE(norvale::FitsPlainPathCalls(deep, true));
  EXPECT_TRUE(norvale::FitsPlainPathCalls(deep.substr(0, MAX_PATH - 12), true));
  EXPECT_FALSE(norvale::FitsPlainPathCalls(deep.substr(0, MAX_PATH - 11), true));
  EXPECT_TRUE(norvale::FitsPlainPathCalls(root + std::wstring(255, L'n')));
  EXPECT_FALSE(norvale::FitsPlainPathCalls(root + std::wstring(256, L'n')));
}

class PathRulesOnDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_ / L"Norvale Point of Sale";
    file_ = folder_ + L"\\Long Receipt Name.txt";
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    WriteFileBytes(file_, "x");
    shortFolder_ = ShortNameOf(folder_);
    shortFile_ = ShortNameOf(file_);
  }
  bool HasShortNames() const { return shortFolder_ != folder_; }

  TempDir dir_{L"rules"};
  std::wstring folder_, file_, shortFolder_, shortFile_;
};

TEST_F(PathRulesOnDiskTest, TheLongFormSpellsEachPartAsItsFolderListsIt) {
  if (!HasShortNames()) GTEST_SKIP() << "this file system has no short names";
  EXPECT_TRUE(SamePath(file_, norvale::LongPath(shortFile_)));
  EXPECT_TRUE(SamePath(folder_ + L"\\missing\\more", norvale::LongPath(shortFolder_ + L"\\missing\\more")));
  // A wildcard part is not asked, nor anything after it.
  EXPECT_TRUE(SamePath(folder_ + L"\\*.txt", norvale::LongPath(shortFolder_ + L"\\*.txt")));
  EXPECT_EQ(L"", norvale::LongPath(L"Norvale\\POS"));
  EXPECT_EQ(L"", norvale::LongPath(L"\\\\?\\" + file_));
  // A share is never asked: its text is its long form.
  EXPECT_EQ(L"\\\\nohost\\share\\PROGRA~1", norvale::LongPath(L"\\\\nohost\\share\\PROGRA~1\\"));
}

TEST_F(PathRulesOnDiskTest, SameAndBelowByAnyNameTakeShortNamesOnEitherSide) {
  if (!HasShortNames()) GTEST_SKIP() << "this file system has no short names";
  EXPECT_TRUE(norvale::PlaceIsBelow(shortFile_, folder_));
  EXPECT_TRUE(norvale::PlaceIsBelow(file_, shortFolder_ + L"\\"));
  EXPECT_TRUE(norvale::PlaceIsBelow(folder_ + L"\\sub\\..\\x", folder_));
  EXPECT_FALSE(norvale::PlaceIsBelow(folder_, shortFolder_));
  EXPECT_FALSE(norvale::PlaceIsBelow(folder_ + L"X\\a", folder_));
  EXPECT_FALSE(norvale::PlaceIsBelow(folder_ + L"\\..\\a", folder_));
  EXPECT_FALSE(norvale::PlaceIsBelow(L"relative\\a", L"relative"));

  EXPECT_TRUE(norvale::SamePlace(shortFile_, file_));
  EXPECT_TRUE(norvale::SamePlace(folder_ + L"\\", shortFolder_));
  EXPECT_TRUE(norvale::SamePlace(folder_ + L"\\sub\\..", folder_));
  EXPECT_FALSE(norvale::SamePlace(shortFolder_, file_));
  EXPECT_FALSE(norvale::SamePlace(L"relative", L"relative"));
}

// Windows drops trailing blanks and dots from the last part of a path only,
// so "App " beside "App" is a folder of its own, one that any user can make
// below C:\. A part in the middle stays as spelled, whether or not it exists;
// a closing separator keeps the last part as spelled too.
TEST_F(PathRulesOnDiskTest, APartEndingInABlankOrADotIsNoOtherFoldersName) {
  using norvale::PlaceIsBelow;
  using norvale::PathKey;
  using norvale::SamePlace;
  const std::wstring app = dir_ / L"App";
  const std::wstring blank = dir_ / L"App ";
  ASSERT_TRUE(CreateDirectoryW(app.c_str(), nullptr));
  WriteFileBytes(app + L"\\pos.exe", "x");
  auto expectApart = [&] {
    for (const std::wstring& spelled : {blank + L"\\pos.exe", dir_ / L"App..\\pos.exe"}) {
      EXPECT_EQ(norvale::FullPath(spelled), norvale::LongPath(spelled)) << Narrow(spelled);
      EXPECT_FALSE(SamePlace(spelled, app + L"\\pos.exe")) << Narrow(spelled);
      EXPECT_FALSE(PlaceIsBelow(spelled, app)) << Narrow(spelled);
      EXPECT_NE(PathKey(spelled), PathKey(app + L"\\pos.exe")) << Narrow(spelled);
    }
    EXPECT_FALSE(PlaceIsBelow(app + L"\\pos.exe", blank + L"\\"));
    EXPECT_FALSE(SamePlace(blank + L"\\", app));
    EXPECT_NE(PathKey(blank + L"\\"), PathKey(app));
    EXPECT_TRUE(PlaceIsBelow(blank + L"\\pos.exe", blank + L"\\"));
  };
  expectApart();
  ASSERT_TRUE(CreateDirectoryW((blank + L"\\").c_str(), nullptr));
  WriteFileBytes(blank + L"\\pos.exe", "y");
  ASSERT_EQ("y", ReadFileBytes(blank + L"\\pos.exe"));
  expectApart();
  EXPECT_EQ(blank + L"\\", norvale::FullPath(blank + L"\\\\"));
  EXPECT_EQ(blank + L"\\", norvale::LongPath(blank + L"\\"));
  EXPECT_TRUE(SamePath(blank + L"\\", norvale::ResolvedPath(blank + L"\\")));
  // "App.." with a separator is read as "App.", which no plain call reaches.
  EXPECT_EQ(L"", norvale::ResolvedPath(dir_ / L"App..\\"));

  // The last part is read trimmed wherever it is used, and so it is judged.
  EXPECT_TRUE(SamePlace(blank, app));
  EXPECT_TRUE(SamePlace(app + L"\\pos.exe. .", app + L"\\pos.exe"));
  EXPECT_EQ(PathKey(app + L"\\pos.exe."), PathKey(app + L"\\pos.exe"));
  // A middle part's one closing dot is dropped as well, wherever it is used.
  EXPECT_TRUE(SamePlace(dir_ / L"App.\\pos.exe", app + L"\\pos.exe"));

  // Our own clean-up would read the name trimmed too.
  DeleteFileW((blank + L"\\pos.exe").c_str());
  EXPECT_TRUE(RemoveDirectoryW((blank + L"\\").c_str()));
}

// Where an open handle lies: the spelling its folder lists, whatever name
// opened it, in the form the other path rules compare.
TEST_F(PathRulesOnDiskTest, WhereAnOpenHandleLies) {
  auto openedAt = [](const std::wstring& path) {
    const norvale::FileHandle handle(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? norvale::FinalPathOfHandle(handle.Get()) : L"<not opened>";
  };
  const std::wstring listed = openedAt(folder_ + L"\\sub\\..\\LONG RECEIPT NAME.TXT");
  EXPECT_TRUE(SamePath(file_, listed)) << Narrow(listed);
  EXPECT_EQ(L"Long Receipt Name.txt", listed.substr(listed.rfind(L'\\') + 1));
  EXPECT_EQ(listed, openedAt(shortFile_));
  EXPECT_EQ(listed.substr(0, listed.rfind(L'\\')), openedAt(folder_ + L"\\"));
  EXPECT_EQ(L"C:\\", openedAt(L"C:\\"));
  EXPECT_EQ(L"", norvale::FinalPathOfHandle(INVALID_HANDLE_VALUE));

  // Inside a folder whose name ends in a blank, the name stays whole.
  const std::wstring blank = folder_ + L"\\Blank ";
  ASSERT_TRUE(CreateDirectoryW((blank + L"\\").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((blank + L"\\in").c_str(), nullptr));
  EXPECT_TRUE(SamePath(blank + L"\\in", openedAt(blank + L"\\in")));
  RemoveDirectoryW((blank + L"\\in").c_str());
  RemoveDirectoryW((blank + L"\\").c_str());
  // For that folder's own handle Wine answers the name trimmed; Windows
  // answers it as the folder is named, and its form keeps the separator
  // that keeps it so, as FullPath's does.
  using norvale::DriveFormOfFinalPath;
  EXPECT_EQ(L"C:\\App \\", DriveFormOfFinalPath(L"\\\\?\\C:\\App "));
  EXPECT_EQ(L"C:\\App.\\", DriveFormOfFinalPath(L"\\\\?\\C:\\App."));
  EXPECT_EQ(L"C:\\App", DriveFormOfFinalPath(L"\\\\?\\C:\\App\\"));
  EXPECT_EQ(L"C:\\", DriveFormOfFinalPath(L"\\\\?\\C:\\"));
  EXPECT_EQ(L"\\\\host\\share\\pos", DriveFormOfFinalPath(L"\\\\?\\UNC\\host\\share\\pos"));
  // Where an entry of an open folder is expected to lie takes that form too,
  // or every entry so named would seem to open elsewhere than it is listed.
  using norvale::EntryPath;
  EXPECT_EQ(DriveFormOfFinalPath(L"\\\\?\\C:\\App\\x "), EntryPath(L"C:\\App", L"x "));
  EXPECT_EQ(DriveFormOfFinalPath(L"\\\\?\\C:\\App \\x."), EntryPath(L"C:\\App \\", L"x."));
  EXPECT_EQ(L"C:\\App \\x", EntryPath(DriveFormOfFinalPath(L"\\\\?\\C:\\App "), L"x"));
  EXPECT_EQ(L"C:\\x", EntryPath(L"C:\\", L"x"));
}

// Answers for folder links as Windows does for a junction, which Wine
// cannot make: the folder `link` leads to `target`; anything else lies where
// it is named.
class OneJunction final : public norvale::IFinalPaths {
 public:
  OneJunction(std::wstring link, std::wstring target)
      : link_(std::move(link)), target_(std::move(target)) {}
  std::wstring FinalPathOf(const std::wstring& path, bool followLast) const override {
    if (SamePath(path, link_)) return followLast ? target_ : path;
    if (PathIsBelow(path, link_)) return target_ + path.substr(link_.size());
    return path;
  }

 private:
  std::wstring link_, target_;
};

// A delete meets the file itself in the folder its links lead to: the folder
// is followed, the file's own name is the name its folder lists.
TEST_F(PathRulesOnDiskTest, WhereAnExistingPathLiesAsADeleteMeetsIt) {
  const OneJunction junction(folder_, L"D:\\Elsewhere");
  EXPECT_EQ(L"D:\\Elsewhere\\Long Receipt Name.txt",
            norvale::ResolvedPath(folder_ + L"\\LONG RECEIPT NAME.TXT", junction));
  EXPECT_EQ(L"D:\\Elsewhere", norvale::ResolvedFolder(folder_ + L"\\", junction));
  // The junction itself is met as the link it is.
  EXPECT_TRUE(SamePath(folder_, norvale::ResolvedPath(folder_, junction)));
  EXPECT_EQ(L"", norvale::ResolvedPath(folder_ + L"\\missing.txt", junction));
  EXPECT_EQ(L"", norvale::ResolvedPath(folder_ + L"\\*.txt", junction));
  EXPECT_EQ(L"C:\\", norvale::ResolvedPath(L"C:\\", junction));
}

// Sets of paths keyed this way hold one entry per place, however the place
// was spelled, and keep apart what the file system keeps apart.
TEST_F(PathRulesOnDiskTest, OneKeyPerPlace) {
  using norvale::PathKey;
  EXPECT_EQ(PathKey(file_), PathKey(L"  " + folder_ + L"\\sub\\..\\long receipt name.TXT "));
  EXPECT_EQ(PathKey(folder_), PathKey(folder_ + L"\\"));
  if (HasShortNames()) {
    EXPECT_EQ(PathKey(file_), PathKey(shortFile_));
    EXPECT_EQ(PathKey(folder_ + L"\\new.txt"), PathKey(shortFolder_ + L"\\NEW.txt"));
  }
  for (const auto& [a, b] : {std::pair{L"ポス", L"ぽす"}, {L"ポス", L"ﾎﾟｽ"}, {L"a", L"ａ"},
                             {L"ß", L"SS"}}) {
    EXPECT_NE(PathKey(dir_ / a), PathKey(dir_ / b)) << Narrow(b);
  }
  // Case folds for every letter the ordinal comparison folds, not only ASCII.
  for (const auto& [a, b] : {std::pair{L"é", L"É"}, {L"ａ", L"Ａ"}, {L"я", L"Я"}, {L"ω", L"Ω"}}) {
    EXPECT_TRUE(SamePath(a, b));
    EXPECT_EQ(PathKey(dir_ / a), PathKey(dir_ / b)) << Narrow(b);
  }
}

}  // namespace
