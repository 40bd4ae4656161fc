// Where a removal starts and where a single delete lands, judged by the
// handle that does the work. Wine 8 makes no junctions and cannot show a
// folder swapped for one between two calls, so the IFinalPaths seam answers
// for a stand-in folder of the test as Windows answers for the junction;
// every other path and handle is asked of the system.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeleteGuard.h"
#include "GuardedRemovals.h"
#include "StepWhy.h"
#include "TempDir.h"

using testing_support::Narrow;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::wstring Folder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Answers for the stand-in `folder` as Windows does in one of two cases:
// - Junction: the folder is a junction to `target`. By name everything in
//   it lies there; a handle opened on the folder without following it is
//   the link itself.
// - SwappedOnceOpened: the folder above it was swapped for a junction into
//   `target`'s folder after the folder was judged by its name and before it
//   was opened. Until a handle on it was asked about, names answer as the
//   system does; from then on the handle and every name through that folder
//   lie at `target`.
// - LinkSwappedOnceOpened: the same, where what the handle opened there is
//   itself a link.
class AsWindowsOpensIt final : public norvale::IFinalPaths {
 public:
  enum class Case { Junction, SwappedOnceOpened, LinkSwappedOnceOpened };
  AsWindowsOpensIt(Case what, std::wstring folder, std::wstring target)
      : case_(what), folder_(std::move(folder)), target_(std::move(target)) {}

  std::wstring FinalPathOf(const std::wstring& path, bool followLast) const override {
    if (case_ == Case::Junction) {
      if (norvale::SamePath(path, folder_)) return followLast ? target_ : folder_;
      if (norvale::PathIsBelow(path, folder_)) return target_ + path.substr(folder_.size());
    } else if (opened_) {
      const std::wstring above = folder_.substr(0, folder_.rfind(L'\\'));
      const std::wstring there = target_.substr(0, target_.rfind(L'\\'));
      if (norvale::SamePath(path, above)) return there;
      if (norvale::PathIsBelow(path, above)) return there + path.substr(above.size());
    }
    return norvale::SystemFinalPaths().FinalPathOf(path, followLast);
  }

  bool FactsOf(HANDLE handle, norvale::HandleFacts& facts) const override {
    if (!IFinalPaths::FactsOf(handle, facts)) return false;
    const bool here = norvale::SamePath(facts.lies, folder_);
    if (!here && !norvale::PathIsBelow(facts.lies, folder_)) return true;
    if (case_ == Case::Junction) {
      if (here) facts.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      else facts.lies = target_ + facts.lies.substr(folder_.size());
      return true;
    }
    opened_ = true;
    if (here && case_ == Case::LinkSwappedOnceOpened) {
      facts.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    facts.lies = target_ + facts.lies.substr(folder_.size());
    return true;
  }

 private:
  Case case_;
  std::wstring folder_, target_;
  mutable bool opened_ = false;
};

class ListedProfiles final : public norvale::IProfileList {
 public:
  explicit ListedProfiles(norvale::ProfileListing listing) : listing_(std::move(listing)) {}
  norvale::ProfileListing List() const override { return listing_; }

 private:
  norvale::ProfileListing listing_;
};

// The machine's profiles with a clerk's account beside the one the test
// runs as.
norvale::ProfileListing WithAClerk() {
  const std::wstring own = Folder(CSIDL_PROFILE);
  const std::wstring users = own.substr(0, own.rfind(L'\\'));
  norvale::ProfileListing listing;
  listing.ownProfile = own;
  listing.profiles = {own, users + L"\\clerk"};
  listing.profilesDirectory = users;
  listing.defaultProfile = users + L"\\Default";
  listing.publicProfile = users + L"\\Public";
  return listing;
}

std::wstring ClerksProfile() {
  const std::wstring own = Folder(CSIDL_PROFILE);
  return own.substr(0, own.rfind(L'\\')) + L"\\clerk";
}

class Counting final : public norvale::ITreeRemovalEvents {
 public:
  void Done(const std::wstring&) override { ++done; }
  int done = 0;
};

// A stand-in install folder holding a file and a folder of files.
std::wstring MakeStandIn(const TempDir& dir) {
  const std::wstring pos = dir / L"Pos";
  CreateDirectoryW(pos.c_str(), nullptr);
  CreateDirectoryW((pos + L"\\data").c_str(), nullptr);
  WriteFileBytes(pos + L"\\theirs.txt", "mine");
  WriteFileBytes(pos + L"\\data\\theirs.dat", "mine");
  return pos;
}

void ExpectUntouched(const std::wstring& pos, const std::string& what) {
  EXPECT_EQ("mine", ReadFileBytes(pos + L"\\theirs.txt")) << what;
  EXPECT_EQ("mine", ReadFileBytes(pos + L"\\data\\theirs.dat")) << what;
}

// The install folder renamed away by its user and replaced by a junction of
// the same name to the Windows folder, a drive root or another account's
// profile: a tree delete removes the link alone (Wine cannot remove the
// stand-in as a link, so there it reports the folder as left), emptying it
// is refused, and nothing is ever entered.
TEST(RemovalRootTest, ARootThatIsAJunctionIsNeverEntered) {
  for (const std::wstring& target :
       {Folder(CSIDL_WINDOWS), Folder(CSIDL_WINDOWS).substr(0, 3), ClerksProfile()}) {
    TempDir dir(L"junction root");
    const std::wstring pos = MakeStandIn(dir);
    const AsWindowsOpensIt junction(AsWindowsOpensIt::Case::Junction, pos, target);
    Counting events;
    const norvale::TreeRemovalResult emptied = norvale::EmptyGuardedFolder(pos, events, junction);
    EXPECT_TRUE(emptied.refused) << Narrow(target);
    ASSERT_TRUE(emptied.first);
    EXPECT_EQ(emptied.first->reason, norvale::Reason::FolderIsLink) << Narrow(target);
    EXPECT_FALSE(norvale::DeleteTree(pos, junction, events)) << Narrow(target);
    EXPECT_EQ(events.done, 0) << Narrow(target);
    ExpectUntouched(pos, Narrow(target));
  }
}

// The folder above the install folder swapped for a junction into the
// Windows folder or into another account's profile after the install
// folder was judged by its name: the handle opened lies there, and that is
// what the guard judges, a link found there too. Nothing is removed.
TEST(RemovalRootTest, ARootIsJudgedWhereItsHandleLies) {
  struct Case {
    std::wstring above;
    std::wstring why;
  };
  for (const Case& c : {Case{Folder(CSIDL_WINDOWS), norvale::ReasonText(norvale::Reason::InsideWindowsFolder)},
                        Case{ClerksProfile() + L"\\Documents",
                             norvale::ReasonText(norvale::Reason::OtherAccountsProfile, ClerksProfile())}}) {
    for (const auto kind : {norvale::RemovalRoot::Kind::Tree, norvale::RemovalRoot::Kind::Contents}) {
      for (const auto what : {AsWindowsOpensIt::Case::SwappedOnceOpened,
                              AsWindowsOpensIt::Case::LinkSwappedOnceOpened}) {
        if (kind == norvale::RemovalRoot::Kind::Contents &&
            what == AsWindowsOpensIt::Case::LinkSwappedOnceOpened) {
          continue;  // a link is never emptied, wherever it lies
        }
        TempDir dir(L"swapped root");
        const std::wstring pos = MakeStandIn(dir);
        const AsWindowsOpensIt swapped(what, pos, c.above + L"\\Pos");
        norvale::RemovalRoot root =
            norvale::RemovalRoot::Open(pos, kind, swapped, ListedProfiles(WithAClerk()));
        EXPECT_FALSE(root) << Narrow(c.above);
        ASSERT_TRUE(root.Refusal());
        EXPECT_EQ(root.Refusal()->Why(), c.why);
        Counting events;
        EXPECT_FALSE(root.RemoveContents(events).Complete());
        EXPECT_FALSE(root.Remove());
        EXPECT_EQ(events.done, 0);
        ExpectUntouched(pos, Narrow(c.above));
      }
    }
  }
}

// A recorded file judged by its name, whose folder another user swaps for
// a junction into the Windows folder before the delete opens it: the handle
// lies there, and the file is not deleted.
TEST(RemovalRootTest, AFileIsDeletedOnlyWhereItsHandleLies) {
  TempDir dir(L"swapped file");
  const std::wstring links = dir / L"Links";
  CreateDirectoryW(links.c_str(), nullptr);
  const std::wstring file = links + L"\\Pos.lnk";
  WriteFileBytes(file, "mine");
  // System32 only as a name the stand-in answers with: nothing is opened
  // there, so WOW64's redirection plays no part.
  const AsWindowsOpensIt swapped(AsWindowsOpensIt::Case::SwappedOnceOpened, links,
                                 Folder(CSIDL_SYSTEM) + L"\\Links");
  ASSERT_EQ(norvale::DeleteRefusal(file, norvale::DeleteKind::SinglePath, swapped), L"");
  const norvale::StepDone refused = norvale::DeleteGuardedFile(file, true, swapped);
  EXPECT_EQ(testing_support::WhyOf(refused),
            norvale::ReasonText(norvale::Reason::InsideWindowsFolder));
  if (!refused) EXPECT_EQ(refused.Error().code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ("mine", ReadFileBytes(file));
  // Where nothing was swapped, the same delete goes through.
  EXPECT_TRUE(norvale::DeleteGuardedFile(file, true));
  EXPECT_FALSE(Exists(file));
}

}  // namespace
