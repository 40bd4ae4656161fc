#include <windows.h>

#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeleteGuard.h"
#include "FileCalls.h"
#include "NtFileCalls.h"
#include "StepWhy.h"
#include "OtherFileCalls.h"
#include "TempDir.h"

using namespace testing_support;
using norvale::EntryChoice;
using testing_support::Narrow;

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Records what the walk asks and tells, answers from a fixed list, and can
// act at the moment between a folder's listing and an entry's opening.
class Recorder final : public norvale::ITreeRemovalEvents {
 public:
  EntryChoice Choose(const std::wstring& path) override {
    if (keep.count(path)) return EntryChoice::Keep;
    if (emptyOnly.count(path)) return EntryChoice::EmptyOnly;
    return EntryChoice::Remove;
  }
  void BeforeOpening(const std::wstring& path) override {
    if (beforeOpening) beforeOpening(path);
  }
  void Done(const std::wstring& path) override { done.push_back(path); }

  std::set<std::wstring> keep, emptyOnly;
  std::function<void(const std::wstring&)> beforeOpening;
  std::vector<std::wstring> done;
};

// An install folder: the program in Uninst, data beside it, read-only marks
// on a file and on a folder.
std::wstring MakeProduct(const TempDir& dir) {
  const std::wstring pos = dir / L"Pos";
  for (const wchar_t* folder : {L"", L"\\Uninst", L"\\data", L"\\data\\sub", L"\\空"}) {
    CreateDirectoryW((pos + folder).c_str(), nullptr);
  }
  for (const wchar_t* file : {L"\\Uninst\\Dekant00.exe", L"\\Uninst\\Setup.log",
                              L"\\data\\pos.dat", L"\\data\\sub\\ro.dat", L"\\売上.dat"}) {
    WriteFileBytes(pos + file, "x");
  }
  SetFileAttributesW((pos + L"\\data\\sub\\ro.dat").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((pos + L"\\data\\sub").c_str(), FILE_ATTRIBUTE_READONLY);
  return pos;
}

TEST(TreeRemovalTest, EmptiesAroundWhatIsKeptAndTellsOfEveryEntry) {
  TempDir dir(L"walk");
  const std::wstring pos = MakeProduct(dir);
  Recorder events;
  events.keep.insert(pos + L"\\Uninst\\Dekant00.exe");
  events.emptyOnly.insert(pos + L"\\Uninst");

  const norvale::TreeRemovalResult result = norvale::EmptyGuardedFolder(pos, events);
  EXPECT_TRUE(result.Complete());
  EXPECT_TRUE(Exists(pos + L"\\Uninst\\Dekant00.exe"));
  for (const wchar_t* gone : {L"\\Uninst\\Setup.log", L"\\data", L"\\空", L"\\売上.dat"}) {
    EXPECT_FALSE(Exists(pos + gone));
  }
  // Every entry at every level, the kept one too, so a window answers
  // however deep the tree is.
  const std::set<std::wstring> told(events.done.begin(), events.done.end());
  for (const wchar_t* entry : {L"\\Uninst", L"\\Uninst\\Dekant00.exe", L"\\Uninst\\Setup.log",
                               L"\\data", L"\\data\\pos.dat", L"\\data\\sub",
                               L"\\data\\sub\\ro.dat", L"\\空", L"\\売上.dat"}) {
    EXPECT_EQ(1u, told.count(pos + entry)) << std::string(entry, entry + wcslen(entry));
  }
  EXPECT_EQ(9u, events.done.size());

  // The guard still judges the folder first.
  const norvale::TreeRemovalResult refused = norvale::EmptyGuardedFolder(L"C:\\", events);
  EXPECT_TRUE(refused.refused);
  ASSERT_TRUE(refused.first);
  EXPECT_EQ(norvale::ReasonText(norvale::Reason::DriveRoot), refused.first->Why());
}

// While a folder's content goes, the folder is held so that nobody can
// rename it away and put something else under its name.
TEST(TreeRemovalTest, AFolderBeingEmptiedCannotBeRenamedAway) {
  TempDir dir(L"held");
  const std::wstring pos = MakeProduct(dir);
  Recorder events;
  std::vector<DWORD> renames;
  events.beforeOpening = [&](const std::wstring& path) {
    if (path != pos + L"\\data\\pos.dat") return;
    for (const std::wstring& folder : {pos + L"\\data", pos}) {
      renames.push_back(MoveFileW(folder.c_str(), (dir / L"parked").c_str()) ? 0
                                                                               : GetLastError());
    }
  };
  EXPECT_TRUE(norvale::DeleteTree(pos, norvale::SystemFinalPaths(), events));
  ASSERT_EQ(2u, renames.size());
  EXPECT_NE(0u, renames[0]);
  EXPECT_NE(0u, renames[1]);
  EXPECT_FALSE(Exists(dir / L"parked"));
  EXPECT_FALSE(Exists(pos));
}

// A folder swapped for another one between the listing and the opening (a
// user's own, moved in under the name; Wine shows a host's junction so, as
// the folder it leads to) is not the one that was listed: it is not
// entered, and what it holds stays for the next try to judge.
TEST(TreeRemovalTest, WhatTakesAListedNameMeanwhileIsNeverEntered) {
  TempDir dir(L"changed hands");
  const std::wstring pos = MakeProduct(dir);
  const std::wstring theirs = dir / L"theirs";
  CreateDirectoryW(theirs.c_str(), nullptr);
  WriteFileBytes(theirs + L"\\precious.txt", "mine");
  Recorder events;
  events.beforeOpening = [&](const std::wstring& path) {
    if (path != pos + L"\\data") return;
    MoveFileW((pos + L"\\data").c_str(), (dir / L"parked").c_str());
    MoveFileW(theirs.c_str(), (pos + L"\\data").c_str());
  };
  EXPECT_FALSE(norvale::DeleteTree(pos, norvale::SystemFinalPaths(), events));
  EXPECT_EQ("mine", ReadFileBytes(pos + L"\\data\\precious.txt"));
}

// What was listed and is gone by the time it is opened was wanted gone;
// what cannot be opened yet (held by another program) is tried again later.
TEST(TreeRemovalTest, AnEntryGoneMeanwhileIsFineAndAHeldOneIsLeftForAnotherTry) {
  TempDir dir(L"held file");
  const std::wstring pos = MakeProduct(dir);
  const std::wstring held = pos + L"\\data\\pos.dat";
  const HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  Recorder events;
  events.beforeOpening = [&](const std::wstring& path) {
    if (path == pos + L"\\売上.dat") {
      DeleteFileW(path.c_str());
    }
  };
  norvale::TreeRemovalResult result = norvale::EmptyGuardedFolder(pos, events);
  EXPECT_TRUE(result.retryable);
  EXPECT_FALSE(result.refused);
  EXPECT_TRUE(Exists(held));
  EXPECT_FALSE(Exists(pos + L"\\data\\sub"));
  CloseHandle(holder);
  events.beforeOpening = nullptr;
  result = norvale::EmptyGuardedFolder(pos, events);
  EXPECT_TRUE(result.Complete());
  EXPECT_FALSE(Exists(pos + L"\\data"));
  EXPECT_TRUE(Exists(pos));
}

// A console whose current folder lies in the tree holds it as Windows holds
// every current folder: opened for passing through, deletes not shared.
// What that folder holds goes all the same; only the folder stays, and the
// folders above it, for another try.
TEST(TreeRemovalTest, AFolderSomeoneStandsInKeepsOnlyItself) {
  TempDir dir(L"standing");
  const std::wstring pos = MakeProduct(dir);
  const std::wstring sub = pos + L"\\data\\sub";
  norvale::FileHandle current(CreateFileW(sub.c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(current);
  // The walk says which folder stayed: the one someone stands in.
  const norvale::StepDone held = norvale::DeleteTree(pos);
  ASSERT_FALSE(held);
  EXPECT_EQ(held.Error().path, sub);
  EXPECT_TRUE(Exists(sub));
  for (const wchar_t* gone : {L"\\data\\sub\\ro.dat", L"\\data\\pos.dat", L"\\Uninst", L"\\空"}) {
    EXPECT_FALSE(Exists(pos + gone)) << Narrow(gone);
  }
  current.Reset();
  const norvale::StepDone deleted = norvale::DeleteTree(pos);
  EXPECT_TRUE(deleted) << Narrow(testing_support::WhyOf(deleted));
  EXPECT_FALSE(Exists(pos));
}

// Where the system deletes a read-only file only once its mark is cleared
// (Windows before 10 1809, Wine), a file that has another name elsewhere
// shares that mark with it: the other name keeps it, and the file stays.
// Where the system deletes a name without touching the mark, it goes.
TEST(TreeRemovalTest, AReadOnlyFileWithAnotherNameLeavesThatNamesMark) {
  TempDir dir(L"links");
  const std::wstring tree = dir / L"tree";
  CreateDirectoryW(tree.c_str(), nullptr);
  WriteFileBytes(tree + L"\\ro.dat", "theirs");
  const std::wstring other = dir / L"other.dat";
  ASSERT_TRUE(CreateHardLinkW(other.c_str(), (tree + L"\\ro.dat").c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_READONLY));
  const bool removed = static_cast<bool>(norvale::DeleteTree(tree));
  EXPECT_NE(0u, GetFileAttributesW(other.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ("theirs", ReadFileBytes(other));
  EXPECT_EQ(removed, !Exists(tree));
  EXPECT_EQ(removed, !Exists(tree + L"\\ro.dat"));
}

// Nests `depth` folders named "d" below `root` through handles, as any user
// can, however long their paths grow.
void NestFolders(const std::wstring& root, int depth) {
  const norvale::IFileCalls& calls = norvale::FileCalls();
  ASSERT_TRUE(calls.Available());
  norvale::FileHandle folder(CreateFileW(root.c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                         nullptr));
  ASSERT_TRUE(folder);
  for (int level = 0; level < depth; ++level) {
    HANDLE made = nullptr;
    const norvale::nt::Status status = calls.CreateIn(
        folder.Get(), L"d", FILE_TRAVERSE | SYNCHRONIZE, 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, norvale::nt::kFileCreate,
        norvale::nt::kFileDirectoryFile | norvale::nt::kFileSynchronousIoNonAlert, nullptr, &made);
    ASSERT_GE(status, 0) << "level " << level;
    folder.Reset(made);
  }
}

// A thread's start routine for `Work` (WINAPI: the 32-bit build's thread
// routines are stdcall, which no lambda converts to).
template <typename Work>
DWORD WINAPI RunWork(void* what) {
  (*static_cast<Work*>(what))();
  return 0;
}

// Runs `work` on a thread of its own with `stack` bytes of stack.
template <typename Work>
void OnAStackOf(SIZE_T stack, Work work) {
  const HANDLE thread = CreateThread(nullptr, stack, &RunWork<Work>, &work,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 300000), WAIT_OBJECT_0);
  CloseHandle(thread);
}

// A chain of folders whose paths run far past 260 characters goes whole,
// on a stack that a walk calling itself once per level would overflow long
// before the end (the process would die with it). Each level is told of.
// Wine names a file past 260 characters only slowly and deletes nothing
// whose Unix path passes 4,096 bytes, so the chain stays short of that.
TEST(TreeRemovalTest, AChainOfHundredsOfFoldersGoesOnASmallStack) {
  TempDir dir(L"deep");
  const std::wstring root = dir / L"Pos";
  CreateDirectoryW(root.c_str(), nullptr);
  WriteFileBytes(root + L"\\Start.ini", "x");
  constexpr int kDepth = 400;
  NestFolders(root, kDepth);
  bool removed = false;
  Recorder events;
  OnAStackOf(64 * 1024, [&] {
    removed = static_cast<bool>(norvale::DeleteTree(root, norvale::SystemFinalPaths(), events));
  });
  EXPECT_TRUE(removed);
  EXPECT_FALSE(Exists(root));
  EXPECT_EQ(events.done.size(), static_cast<size_t>(kDepth) + 1);
  EXPECT_EQ(std::count(events.done.begin(), events.done.end(), root + L"\\d"), 1);
}

}  // namespace

namespace {

constexpr bool FolderStayed = false;
constexpr bool FolderMovedAway = true;

// A caller that ends the walk from an answer (its window closed) hears
// that the walk ended and what it left may go another time: never that
// memory ran out.
TEST(TreeRemovalTest, AnAnswerThatEndsTheWalkSaysSo) {
  TempDir dir(L"ended");
  const std::wstring pos = MakeProduct(dir);
  Recorder events;
  events.beforeOpening = [](const std::wstring&) { throw std::runtime_error("closed"); };
  const norvale::TreeRemovalResult result =
      norvale::EmptyGuardedFolder(pos, events, norvale::SystemFinalPaths());
  EXPECT_TRUE(result.retryable);
  ASSERT_TRUE(result.first);
  EXPECT_EQ(result.first->reason, norvale::Reason::WalkEndedByCaller);
  EXPECT_TRUE(Exists(pos + L"\\Uninst\\Setup.log"));
}

// A system where a name opens elsewhere than where its folder lists it (a
// file link Windows shows as itself and the host's Wine follows): a table
// of file calls of the test's own answers so for one name, opening the file
// it leads to, and the system for every other call.
class OneNameOpensElsewhere final : public testing_support::OtherFileCalls {
 public:
  OneNameOpensElsewhere(std::wstring name, std::wstring leadsTo)
      : name_(std::move(name)), leadsTo_(L"\\??\\" + std::move(leadsTo)) {}
  norvale::nt::Status CreateIn(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                               ULONG attributes, ULONG share, ULONG disposition, ULONG options,
                               PVOID descriptor, HANDLE* opened) const override {
    if (root && name == name_) {
      ++opensOfIt;
      return system_.CreateIn(nullptr, leadsTo_, access, attributes, share, disposition,
                              options, descriptor, opened);
    }
    return system_.CreateIn(root, name, access, attributes, share, disposition, options,
                            descriptor, opened);
  }

  mutable int opensOfIt = 0;

 private:
  std::wstring name_, leadsTo_;
};

// What opens elsewhere than its folder lists it is never deleted there,
// and says it stays for good; everything else of the tree goes around it.
// Both files lie in the test's folder on the prefix's C: drive, which no
// build's file-system redirection touches; the native open by the system's
// own path form is not redirected in a 32-bit process either.
TEST(TreeRemovalTest, ANameThatOpensElsewhereLeavesWhatItLeadsTo) {
  TempDir dir(L"opens elsewhere");
  const std::wstring pos = MakeProduct(dir);
  WriteFileBytes(pos + L"\\data\\link.txt", "stand-in");
  const std::wstring theirs = dir / L"theirs.txt";
  WriteFileBytes(theirs, "mine");
  OneNameOpensElsewhere elsewhere(L"link.txt", theirs);
  norvale::TreeRemovalResult result;
  {
    const norvale::ScopedFileCalls used(elsewhere);
    Recorder events;
    result = norvale::EmptyGuardedFolder(pos, events, norvale::SystemFinalPaths());
  }
  EXPECT_GT(elsewhere.opensOfIt, 0);
  EXPECT_EQ("mine", ReadFileBytes(theirs));
  EXPECT_TRUE(result.refused);
  ASSERT_TRUE(result.first);
  EXPECT_EQ(result.first->path, pos + L"\\data\\link.txt");
  EXPECT_FALSE(Exists(pos + L"\\売上.dat"));
  EXPECT_FALSE(Exists(pos + L"\\Uninst"));
}

// What the walk makes of what a handle says. Wine cannot show Windows'
// answers here (it makes no junctions, and opens a link made on the host as
// its target, without a reparse tag), so the cases state what Windows
// answers for a handle opened without following a link, beside Wine's.
TEST(TreeRemovalTest, WhatAnOpenedEntryIsComesFromItsHandle) {
  using norvale::EntryVerdict;
  using norvale::JudgeOpenedEntry;
  using norvale::OpenedEntry;
  const std::wstring here = L"C:\\Pos\\data";
  const std::wstring there = L"C:\\Users\\someone\\Documents";
  constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;
  constexpr DWORD kLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  struct Case {
    const char* what;
    OpenedEntry entry;
    bool folderMoved;
    EntryVerdict verdict;
  };
  const Case cases[] = {
      {"our folder", {kFolder, kFolder, here, here}, FolderStayed, EntryVerdict::Enter},
      {"our file, names differing in case", {0, 0, L"C:\\POS\\Data", here}, FolderStayed,
       EntryVerdict::Remove},
      // Windows: a junction opens as itself, with its tag, wherever it leads.
      {"junction", {kLink, kLink, L"", here}, FolderStayed, EntryVerdict::RemoveAsLink},
      {"folder swapped for a junction after the listing", {kFolder, kLink, L"", here},
       FolderStayed, EntryVerdict::RemoveAsLink},
      // Wine: a link made on the host lists as one but opens as its target.
      {"host link", {kLink, kFolder, there, here}, FolderStayed, EntryVerdict::LeaveForGood},
      {"folder swapped for a host link after the listing", {kFolder, kFolder, there, here},
       FolderStayed, EntryVerdict::LeaveForNow},
      {"file link opening its target", {0, 0, there + L"\\a.txt", here}, FolderStayed,
       EntryVerdict::LeaveForGood},
      {"file whose folder was swapped meanwhile", {0, 0, there + L"\\a.txt", here},
       FolderMovedAway, EntryVerdict::LeaveForNow},
      {"file the system cannot place", {0, 0, L"", here}, FolderStayed,
       EntryVerdict::LeaveForGood},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<int>(c.verdict),
              static_cast<int>(JudgeOpenedEntry(c.entry, [&] { return c.folderMoved; })))
        << c.what;
  }
}

}  // namespace
