// A file this program created itself is placed or taken away through its
// own handle: the guard judges only the name that placing would replace.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "DeleteGuard.h"
#include "Handles.h"
#include "StepWhy.h"
#include "TempDir.h"

using namespace testing_support;

namespace {

norvale::FileHandle CreateNew(const std::wstring& path, const std::string& bytes) {
  norvale::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return file;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(CreatedFileTest, TakesItsNameAndReplacesOnlyWhenAskedAndAllowed) {
  const TempDir dir(L"created");
  norvale::FileHandle file = CreateNew(dir / L"part", "new");
  ASSERT_TRUE(file);
  WriteFileBytes(dir / L"old.txt", "old");
  EXPECT_FALSE(norvale::PlaceCreatedFile(file.Get(), dir / L"old.txt", false));
  EXPECT_TRUE(GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadFileBytes(dir / L"old.txt"), "old");
  EXPECT_FALSE(norvale::PlaceCreatedFile(file.Get(), L"relative.txt", true));
  EXPECT_FALSE(Exists(L"relative.txt"));
  // Only an ASCII letter names a drive; the rest are names, relative ones.
  for (const wchar_t* name : {L"é:\\new.txt", L"Ｃ:\\new.txt"}) {
    EXPECT_EQ(testing_support::WhyOf(norvale::PlaceCreatedFile(file.Get(), name, false)),
              norvale::ReasonText(norvale::Reason::RelativePath));
  }
  ASSERT_TRUE(norvale::PlaceCreatedFile(file.Get(), dir / L"old.txt", true));
  file.Reset();
  EXPECT_EQ(ReadFileBytes(dir / L"old.txt"), "new");
  EXPECT_FALSE(Exists(dir / L"part"));
}

// Below the Windows folder no name may be deleted: a replacement there is
// refused, while the file the program created itself still goes.
TEST(CreatedFileTest, InAProtectedFolderOnlyTheCreatedFileGoes) {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring folder =
      std::wstring(windows) + L"\\NorvaleCreated" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring old = folder + L"\\old.txt";
  const std::wstring part = folder + L"\\part";
  WriteFileBytes(old, "old");
  norvale::FileHandle file = CreateNew(part, "new");
  ASSERT_TRUE(file);
  ASSERT_FALSE(norvale::MayDelete(part));

  const norvale::StepDone placed = norvale::PlaceCreatedFile(file.Get(), old, true);
  ASSERT_FALSE(placed);
  EXPECT_EQ(placed.Error().code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(placed.Error().Why().empty());
  EXPECT_EQ(ReadFileBytes(old), "old");
  EXPECT_TRUE(norvale::DiscardCreatedFile(file.Get()));
  file.Reset();
  EXPECT_FALSE(Exists(part));
  EXPECT_FALSE(norvale::DiscardCreatedFile(INVALID_HANDLE_VALUE));

  DeleteFileW(old.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
