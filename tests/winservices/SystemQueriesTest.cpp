#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ServicesTestSupport.h"
#include "TempDir.h"
#include "Text.h"
#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

class SystemQueriesTest : public ::testing::Test {
 protected:
  ServicesUnderTest services;
  clsWinCommon win{services.Seams(), services.Windows()};
};

TEST_F(SystemQueriesTest, Utf8RoundTripsEveryCharacter) {
  EXPECT_EQ(win.FromUTF8(Bytes{0xE3, 0x81, 0x82}), L"あ");
  EXPECT_EQ(win.ToUTF8(L"あ"), (Bytes{0xE3, 0x81, 0x82}));
  // Outside the Basic Multilingual Plane, and without a Shift-JIS form.
  EXPECT_EQ(win.ToUTF8(L"\U00020BB7"), (Bytes{0xF0, 0xA0, 0xAE, 0xB7}));
  const std::wstring text = L"A\u00e9\u20ac\ud55c\U0001F600\U00020BB7\u3042z";
  EXPECT_EQ(win.FromUTF8(win.ToUTF8(text)), text);
  EXPECT_EQ(win.FromUTF8(Bytes{'a', 0x00, 'b'}), std::wstring(L"a\0b", 3));
  EXPECT_TRUE(win.ToUTF8(L"").empty());
  EXPECT_EQ(win.FromUTF8(Bytes{}), L"");
}

TEST_F(SystemQueriesTest, InvalidUtf8AndLoneSurrogatesGiveTheFailureValue) {
  EXPECT_EQ(win.FromUTF8(Bytes{'o', 'k', 0xE3, 0x81}), L"") << "cut short";
  EXPECT_EQ(win.FromUTF8(Bytes{0xC0, 0xAF}), L"") << "overlong";
  EXPECT_EQ(win.FromUTF8(Bytes{0xED, 0xA0, 0x80}), L"") << "an encoded surrogate";
  EXPECT_EQ(win.FromUTF8(Bytes{0xFF, 'a'}), L"");
  EXPECT_TRUE(win.ToUTF8(std::wstring(L"a\xD800" L"b")).empty());
  EXPECT_TRUE(win.ToUTF8(std::wstring(1, L'\xDC00')).empty());
}

TEST_F(SystemQueriesTest, ReverseConversionWithoutAReadingIsEmpty) {
  EXPECT_EQ(win.IME_ReverseConversion(L""), L"");
  // Wine has no Japanese IME, so no reading comes back.
  EXPECT_EQ(win.IME_ReverseConversion(L"漢字", true, false), L"");
}

TEST_F(SystemQueriesTest, NamesOfThisMachineAndUserAreThoseOfTheEnvironment) {
  const std::wstring computer = win.GetNameOfComputer();
  ASSERT_FALSE(computer.empty());
  if (const wchar_t* env = _wgetenv(L"COMPUTERNAME")) {
    EXPECT_TRUE(norvale::TextEqualsIgnoreCase(computer, env)) << computer;
  }
  const std::wstring user = win.GetLogonUserName();
  ASSERT_FALSE(user.empty());
  if (const wchar_t* env = _wgetenv(L"USERNAME")) {
    EXPECT_EQ(user, env);
  }
  EXPECT_EQ(user.find(L'\0'), std::wstring::npos);
}

TEST_F(SystemQueriesTest, ProcessorAndKeyboardAnswersArePlausible) {
  const std::wstring cpu = win.GetCPUInfo();
  if (sizeof(void*) == 4) {
    EXPECT_EQ(cpu, L"Pentium") << "a 32-bit process sees a Pentium";
  } else {
    EXPECT_TRUE(cpu.empty()) << "an x64 processor type has no name of its own";
  }
  EXPECT_GT(win.GetTypeOfKeyboard(0), 0);
  EXPECT_GT(win.GetTypeOfKeyboard(2), 0);
}

TEST_F(SystemQueriesTest, ExistDllFunctionFindsOnlyExportedNames) {
  EXPECT_TRUE(win.ExistDllFunction(L"GetTickCount", L"kernel32.dll"));
  EXPECT_FALSE(win.ExistDllFunction(L"NvwsNoSuchFunction", L"kernel32.dll"));
  EXPECT_FALSE(win.ExistDllFunction(L"", L"kernel32.dll"));
  EXPECT_FALSE(win.ExistDllFunction(L"GetTickCount", L"nvws-no-such-library.dll"));
}

TEST_F(SystemQueriesTest, IniValuesAreWrittenAndReadBack) {
  TempDir dir(L"ini");
  const std::wstring file = dir / L"設定.ini";
  EXPECT_EQ(win.SetINIValue(L"Setup", L"Path", L"C:\\ノルベール", file), L"1");
  EXPECT_EQ(win.GetINIValue(L"Setup", L"Path", 256, file), L"C:\\ノルベール");
  EXPECT_EQ(win.GetINIValue(L"Setup", L"Path", 4, file), L"C:\\") << "the caller's size limits";
  EXPECT_EQ(win.GetINIValue(L"Setup", L"Missing", 256, file), L"");
  EXPECT_EQ(win.GetINIValue(L"Setup", L"Path", -1, file), L"");
  EXPECT_EQ(win.SetINIValue(L"Setup", L"Path", L"x", dir / L"no such folder\\a.ini"), L"0");
}

TEST_F(SystemQueriesTest, SoundOfAMissingFileIsNotPlayed) {
  EXPECT_EQ(win.PlayWaveSound(L"C:\\nvws-no-such-sound.wav", 0), 0);
  // A caller's memory flag must not make the name be read as a sound.
  EXPECT_EQ(win.PlayWaveSound(L"not a sound image", SND_MEMORY), 0);
  win.StopWaveSound();
}

TEST_F(SystemQueriesTest, OsVersionRecordIsFilled) {
  OSVERSIONINFOW info{};
  info.dwMajorVersion = 99;
  ASSERT_TRUE(clsWinCommonTestAccess::OSVersionEx(info));
  EXPECT_EQ(info.dwOSVersionInfoSize, sizeof(info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(info.dwMajorVersion, 5u);
  EXPECT_LT(info.dwMajorVersion, 99u);
  const std::wstring servicePack = info.szCSDVersion;
  EXPECT_EQ(servicePack, norvale::Trim(servicePack));
}

// The keyboard's window, played by a window of the test's own.
class ScreenKeyboardTest : public SystemQueriesTest {
 protected:
  void SetUp() override {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"NvwsScreenKeyboard";
    RegisterClassW(&windowClass);
  }
  void TearDown() override {
    if (IsWindow(keyboard)) DestroyWindow(keyboard);
  }
  HWND OpenKeyboard() {
    keyboard = CreateWindowExW(0, L"NvwsScreenKeyboard", L"スクリーン キーボード",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 100, 50, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    return keyboard;
  }
  HWND keyboard = nullptr;
};

TEST_F(ScreenKeyboardTest, WithoutAKeyboardWindow) {
  EXPECT_TRUE(win.ScreenKbdOff());
  EXPECT_FALSE(win.ScreenKbdOn(false));
  const bool oskInstalled =
      GetFileAttributesW((win.GetSysDir() + L"\\osk.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
  if (oskInstalled) GTEST_SKIP() << "this Windows has a screen keyboard to start";
  EXPECT_FALSE(win.ScreenKbdOn(true));
  EXPECT_FALSE(win.ScreenKbdTop()) << "starting the missing keyboard fails";
}

TEST_F(ScreenKeyboardTest, AnOpenKeyboardIsBroughtOnTopAndClosed) {
  ASSERT_TRUE(OpenKeyboard());
  EXPECT_TRUE(win.ScreenKbdTop());
  EXPECT_TRUE(GetWindowLongW(keyboard, GWL_EXSTYLE) & WS_EX_TOPMOST);
  // The window answers its close with 0, so the usual answer is False.
  EXPECT_FALSE(win.ScreenKbdOn(false));
  EXPECT_FALSE(IsWindow(keyboard));
  ASSERT_TRUE(OpenKeyboard());
  EXPECT_TRUE(win.ScreenKbdOff());
  EXPECT_FALSE(IsWindow(keyboard));
}

}  // namespace
