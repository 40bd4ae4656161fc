#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "Text.h"
#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"

namespace {

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         norvale::TextEqualsIgnoreCase(text.substr(text.size() - tail.size()), tail);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SpecialFolderTest, TheFoldersBehindThePlaceholders) {
  clsWinCommon win;
  const std::wstring windows = win.GetWinDir();
  ASSERT_FALSE(windows.empty());
  EXPECT_EQ(windows, win.GetSpecialFolderPath(CSIDL_WINDOWS));
  EXPECT_TRUE(norvale::TextEqualsIgnoreCase(windows + L"\\Fonts",
                                            win.GetSpecialFolderPath(CSIDL_FONTS)));
  EXPECT_TRUE(EndsWith(win.GetSpecialFolderPath(CSIDL_COMMON_DESKTOPDIRECTORY), L"\\Desktop"));
  EXPECT_TRUE(EndsWith(win.GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS),
                       L"\\Start Menu\\Programs"));
  EXPECT_TRUE(EndsWith(win.GetSpecialFolderPath(CSIDL_STARTUP), L"\\Programs\\Startup"));
  for (int folder : {CSIDL_WINDOWS, CSIDL_FONTS, CSIDL_COMMON_DESKTOPDIRECTORY,
                     CSIDL_COMMON_PROGRAMS, CSIDL_STARTUP}) {
    const std::wstring path = win.GetSpecialFolderPath(folder);
    EXPECT_NE(L'\\', path.back()) << folder;
    EXPECT_TRUE(IsFolder(path)) << folder << " " << path.size();
  }
  // A virtual folder has no path; a number the shell does not know gives
  // nothing either.
  EXPECT_EQ(L"", win.GetSpecialFolderPath(CSIDL_PRINTERS));
  EXPECT_EQ(L"", win.GetSpecialFolderPath(0x7F));
}

TEST(SpecialFolderTest, SystemAndTemporaryFolders) {
  clsWinCommon win;
  EXPECT_TRUE(norvale::TextEqualsIgnoreCase(win.GetWinDir() + L"\\system32", win.GetSysDir()));
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ(temp, win.GetTempFolder());
  EXPECT_EQ(L'\\', win.GetTempFolder().back());
}

// The temporary folder of the placeholder comes from TEMP and TMP as the
// process sees them; each case sets them and the fixture restores them.
class TempVariableTest : public ::testing::Test {
 protected:
  TempVariableTest() : temp_(Get(L"TEMP")), tmp_(Get(L"TMP")) {}
  ~TempVariableTest() override {
    Restore(L"TEMP", temp_);
    Restore(L"TMP", tmp_);
  }
  static std::optional<std::wstring> Get(const wchar_t* name) {
    wchar_t value[32767];
    DWORD got = GetEnvironmentVariableW(name, value, 32767);
    if (got == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::wstring(value, got);
  }
  static void Restore(const wchar_t* name, const std::optional<std::wstring>& value) {
    SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
  }
  static void Set(const wchar_t* name, const wchar_t* value) {
    SetEnvironmentVariableW(name, value);
  }

  std::optional<std::wstring> temp_, tmp_;
  clsWinCommon win_;
};

TEST_F(TempVariableTest, TempFirstThenTmpAsWritten) {
  Set(L"TEMP", L"  C:\\From Temp  ");
  Set(L"TMP", L"C:\\FromTmp");
  EXPECT_EQ(L"  C:\\From Temp  ", win_.GetSpecialFolderPath(255));
  Set(L"TEMP", L"   ");
  EXPECT_EQ(L"C:\\FromTmp", win_.GetSpecialFolderPath(255));
  Set(L"TEMP", nullptr);
  Set(L"TMP", L"C:\\FromTmp\\");
  EXPECT_EQ(L"C:\\FromTmp\\", win_.GetSpecialFolderPath(255));
}

TEST_F(TempVariableTest, WithoutEitherVariableWindowsNamesTheFolder) {
  Set(L"TEMP", nullptr);
  Set(L"TMP", nullptr);
  const std::wstring folder = win_.GetSpecialFolderPath(255);
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(L'\\', folder.back());
  EXPECT_EQ(win_.GetTempFolder(), folder + L"\\");
  EXPECT_TRUE(IsFolder(folder)) << folder.size();

  // Set but empty is the same as not set.
  Set(L"TEMP", L"");
  Set(L"TMP", L"");
  EXPECT_EQ(folder, win_.GetSpecialFolderPath(255));
}

}  // namespace
