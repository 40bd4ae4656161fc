// Server listings into the listing table, against the test server.
#include <set>
#include <utility>

#include "FileSystem.h"
#include "FtpClientFixture.h"

namespace testing_support {
namespace {

using Names = std::vector<std::wstring>;

class ListingTest : public FtpClientTest {
 protected:
  static void SetUpTestSuite() {
    StartServer([](const std::wstring& root) {
      PutFile(root, L"Setup.ini", "[Setup]\r\n");
      for (const wchar_t* name : {L"b.TXT", L"A.txt", L"a2.txt", L"C.dat"}) {
        PutFile(root, std::wstring(L"sort\\") + name, "s");
      }
      for (const wchar_t* name : {L"zdir", L"Adir", L"bdir", L"Cdir"}) {
        PutFolder(root, std::wstring(L"sort\\") + name);
      }
      PutFile(root, L"pub\\x\\top.txt", "top");
      PutFolder(root, L"pub\\x\\empty");
      PutFile(root, L"pub\\x\\sub\\deep.txt", "deep");
      PutFile(root, L"pub\\x\\sub\\more\\m.txt", "m");
      PutFile(root, L"日本語フォルダ\\ファイル.txt", "jp");
      PutFolder(root, L"日本語フォルダ\\サブ");
      PutFile(root, L"update\\Setup.exe.old", "old");
      PutFolder(root, L"empty");
      PutFolder(root, L"loop");
      PutFile(root, L"times\\old.txt", std::string(1234, 't'));
      SetLocalTime(root + L"\\times\\old.txt", ListedFixtureTime());
    });
  }

  // (Dir, FileId) of every entry of the table.
  std::vector<std::pair<std::wstring, std::wstring>> Table() const {
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    for (int32_t i = 1; i <= ftp_->GetDirInfo_Count(); ++i) {
      rows.emplace_back(ftp_->GetDirInfo_Dir(i), ftp_->GetDirInfo_FileId(i));
    }
    return rows;
  }

  int32_t List(const std::wstring& folder, const std::wstring& pattern, int32_t mode,
               bool recursive = false) {
    code_ = -5;
    return ftp_->FtpGetFileList(folder, pattern, mode, names_, code_, L"", L"", L"", recursive);
  }

  Names names_;
  int32_t code_ = 0;
};

TEST_F(ListingTest, AllEntriesComeInTheServersOrderWithFoldersMarked) {
  ASSERT_EQ(List(L"/sort", L"", 0), 8) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(names_, (Names{L"", L"A.txt", L"Adir/", L"C.dat", L"Cdir/", L"a2.txt", L"b.TXT",
                           L"bdir/", L"zdir/"}));
  EXPECT_EQ(ftp_->GetDirInfo_Dir(1), L"/sort/");
  EXPECT_TRUE(ftp_->GetDirInfo_IsFolder(2));
  EXPECT_FALSE(ftp_->GetDirInfo_IsFolder(1));
}

TEST_F(ListingTest, FoldersOnlyAndFilesOnlyAreSortedByUpperCasedName) {
  ASSERT_EQ(List(L"/sort", L"", 1), 4) << code_;
  EXPECT_EQ(names_, (Names{L"", L"Adir", L"bdir", L"Cdir", L"zdir"}));
  // A walk keeps the server's order.
  ASSERT_EQ(List(L"/sort", L"", 1, true), 4) << code_;
  EXPECT_EQ(names_, (Names{L"", L"Adir", L"Cdir", L"bdir", L"zdir"}));

  // The server lists A.txt, C.dat, a2.txt, b.TXT.
  ASSERT_EQ(List(L"/sort", L"", 2), 4) << code_;
  EXPECT_EQ(names_, (Names{L"", L"A.txt", L"a2.txt", L"b.TXT", L"C.dat"}));
  EXPECT_EQ(ftp_->GetDirInfo_FileId(4), L"C.dat");
}

TEST_F(ListingTest, RootEntriesHaveTheRootAsFolder) {
  ASSERT_EQ(List(L"", L"Setup.ini", 2), 1) << code_;
  EXPECT_EQ(ftp_->GetDirInfo_Dir(1), L"/");
  EXPECT_EQ(ftp_->GetDirInfo_FileSize(1), 9);
}

TEST_F(ListingTest, RecursiveWalkListsEachSubTreeAfterItsParentsEntries) {
  ASSERT_EQ(List(L"/pub", L"", 0, true), 7) << code_;
  EXPECT_EQ(code_, 0);
  using Row = std::pair<std::wstring, std::wstring>;
  EXPECT_EQ(Table(), (std::vector<Row>{{L"/pub/", L"x"},
                                       {L"/pub/x/", L"empty"},
                                       {L"/pub/x/", L"sub"},
                                       {L"/pub/x/", L"top.txt"},
                                       {L"/pub/x/sub/", L"deep.txt"},
                                       {L"/pub/x/sub/", L"more"},
                                       {L"/pub/x/sub/more/", L"m.txt"}}));
  // The progress text names the folder and is cleared at the end.
  ASSERT_FALSE(display_->texts.empty());
  EXPECT_EQ(display_->texts.front(), L"[/pub]のデレクトリ情報を読込んでいます...");
  EXPECT_EQ(display_->Count(L"[/pub/x/sub/]のデレクトリ情報を読込んでいます..."), 1);
  EXPECT_EQ(display_->texts.back(), L"");

  // Files only: folders are never taken, so the walk does not go down.
  EXPECT_EQ(List(L"/pub", L"", 2, true), 0);
  EXPECT_EQ(code_, 0);
}

TEST_F(ListingTest, JapaneseNamesTravelBothWays) {
  ASSERT_EQ(List(L"/日本語フォルダ", L"", 0), 2) << code_;
  EXPECT_EQ(names_, (Names{L"", L"サブ/", L"ファイル.txt"}));
  EXPECT_EQ(ftp_->GetDirInfo_Dir(2), L"/日本語フォルダ/");
  ASSERT_EQ(List(L"/日本語フォルダ", L"ファイル.txt", 2), 1) << code_;
}

TEST_F(ListingTest, AMissingSingleFileIsNotFoundEvenWhenALongerNameStartsWithIt) {
  // Only Setup.exe.old is there; the retry with "*" must not take it.
  EXPECT_EQ(List(L"/update", L"Setup.exe", 2), 0);
  EXPECT_EQ(code_, kFtpFileNotFound);
  EXPECT_EQ(ftp_->GetDirInfo_Count(), 0);

  // Asked for with a wildcard, the longer name is what the caller wants.
  ASSERT_EQ(List(L"/update", L"Setup.exe*", 2), 1) << code_;
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(names_[1], L"Setup.exe.old");
  // Letter case does not matter for a name.
  EXPECT_EQ(List(L"/update", L"SETUP.EXE.OLD", 2), 1);
}

TEST_F(ListingTest, EmptyFoldersAndUnmatchedWildcardsAreEmptyResults) {
  EXPECT_EQ(List(L"/empty", L"", 0), 0);
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(List(L"/empty", L"", 2), 0);
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(List(L"/sort", L"*.none*", 2), 0);
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(List(L"/sort", L"*.none", 1), 0);
  EXPECT_EQ(code_, 0);
}

TEST_F(ListingTest, SelfAndParentEntriesDoNotTrapTheWalk) {
  FtpFaults faults;
  faults.oddNames = {{L".", true, 0, L""}, {L"..", true, 0, L""}};
  Server().SetFaults(faults);
  // A walk that went round in circles is stopped instead of hanging the run.
  ClsWinFTP* client = ftp_.get();
  pump_->hook = [client](int call) {
    if (call > 200) client->StopFlag(kFtpStopped);
  };
  const int32_t n = List(L"/pub", L"", 0, true);
  EXPECT_EQ(ftp_->StopFlag(), 0);
  EXPECT_EQ(code_, 0);
  std::set<std::wstring> files;
  for (const auto& row : Table()) files.insert(row.first + row.second);
  for (const wchar_t* expected : {L"/pub/x", L"/pub/x/top.txt", L"/pub/x/sub/more/m.txt"}) {
    EXPECT_EQ(files.count(expected), 1u) << expected;
  }
  EXPECT_LE(n, 7 + 2 * 5);
}

// A server whose every folder holds a sub-folder: the walk ends at the depth
// bound, and a tree too big ends at the entry bound, each with its own code
// and the entries listed so far. Lowered bounds keep the run short; a walk
// that ignored them is stopped by the pump instead of hanging the run.
TEST_F(ListingTest, AnEndlessOrHugeTreeEndsAtItsBound) {
  FtpFaults faults;
  faults.endlessTree = L"loop";
  Server().SetFaults(faults);
  ClsWinFTP* client = ftp_.get();
  pump_->hook = [client](int call) {
    if (call > 400) client->StopFlag(kFtpStopped);
  };
  ftp_->ListingBounds({5, 100000});
  const int32_t n = List(L"/loop", L"", 0, true);
  EXPECT_EQ(ftp_->StopFlag(), 0);
  EXPECT_EQ(code_, kFtpListingTooDeep);
  EXPECT_EQ(n, 6);
  EXPECT_EQ(ftp_->GetDirInfo_Dir(6), L"/loop/loop/loop/loop/loop/loop/");
  EXPECT_EQ(ftp_->GetErrMsg(code_),
            L"サーバーのフォルダ階層が深すぎる為、一覧の取得を中止しました！");

  // The bound counts the whole table, across folders, and ends a folder
  // download before anything is written.
  ftp_->ListingBounds({64, 4});
  EXPECT_EQ(List(L"/pub", L"", 0, true), 4);
  EXPECT_EQ(code_, kFtpListingTooLarge);
  ftp_->ListingBounds({64, 7});
  EXPECT_EQ(List(L"/pub", L"", 0, true), 7);
  EXPECT_EQ(code_, 0);
  ftp_->ListingBounds({64, 6});
  int32_t deleted = 0;
  std::wstring last;
  const std::wstring target = *local_ / L"pub";
  EXPECT_FALSE(ftp_->Ftp_GetFolder(L"/pub", L"", 0, target, code_, L"", L"", L"", true, true,
                                   false, true, false, deleted, last, true));
  EXPECT_EQ(code_, kFtpListingTooLarge);
  EXPECT_FALSE(norvale::FileExists(target + L"\\x\\top.txt"));
}

TEST_F(ListingTest, ListedTimeAndSizeAreKeptAsTheServerListsThem) {
  ASSERT_EQ(List(L"/times", L"old.txt", 2), 1) << code_;
  EXPECT_EQ(ftp_->GetDirInfo_UpDate(1), ListedFixtureDate());
  EXPECT_EQ(ftp_->GetDirInfo_FileSize(1), 1234);
  // Record numbers outside 1..count read as nothing.
  for (int32_t outside : {0, 2, -1}) {
    EXPECT_EQ(ftp_->GetDirInfo_FileId(outside), L"");
    EXPECT_EQ(ftp_->GetDirInfo_Dir(outside), L"");
    EXPECT_EQ(ftp_->GetDirInfo_FileSize(outside), 0);
    EXPECT_EQ(ftp_->GetDirInfo_UpDate(outside), norvale::OleDate());
    EXPECT_FALSE(ftp_->GetDirInfo_IsFolder(outside));
  }
}

TEST_F(ListingTest, FailuresLeaveAnEmptyTableWithTheirCode) {
  ASSERT_EQ(List(L"/sort", L"", 0), 8);
  // A listing while the stop flag is set does not reach the server.
  const int connections = Server().Stat("connections");
  ftp_->StopFlag(kFtpStopped);
  EXPECT_EQ(List(L"/sort", L"", 0), 0);
  EXPECT_EQ(code_, 0);
  EXPECT_EQ(ftp_->GetDirInfo_Count(), 0);
  EXPECT_EQ(Server().Stat("connections"), connections);
  ftp_->StopFlag(0);

  EXPECT_EQ(List(L"/no-such-folder", L"", 0), 0);
  EXPECT_EQ(code_, ERROR_INTERNET_EXTENDED_ERROR);

  ftp_->UserID(L" ");
  EXPECT_EQ(List(L"/sort", L"", 0), 0);
  EXPECT_EQ(code_, kFtpNoServerOrUser);
  // Given server data take the place of the object's.
  code_ = -5;
  EXPECT_EQ(ftp_->FtpGetFileList(L"/sort", L"", 1, names_, code_, Server().Host(),
                                 Server().User(), Server().Password(), false),
            4);
  EXPECT_EQ(code_, 0);
}

}  // namespace
}  // namespace testing_support
