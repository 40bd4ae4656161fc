#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Text.h"
#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;
using norvale::RegBytes;
using norvale::RegCurrency;
using norvale::RegVariant;

namespace {

const RegVariant kNoValue = std::wstring(L"<none>");

std::vector<std::wstring> Sorted(std::vector<std::wstring> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The current user's hive is the same in both views: the place for the
// tests of types, listings and deletion.
class RegistryTest : public ::testing::Test {
 protected:
  HKEY Root() const { return key_.Root(); }
  std::wstring Path(const std::wstring& below = L"") const {
    return below.empty() ? key_.Path() : key_.Path() + L"\\" + below;
  }

  ScopedRegKey key_{HKEY_CURRENT_USER, L"Software\\" + UniqueName(L"reg")};
  clsWinCommon win_;
};

TEST_F(RegistryTest, ValuesAreStoredByTheTypeTheyHold) {
  // Missing levels are created on the way.
  ASSERT_TRUE(win_.SetRegValue(Root(), Path(L"a\\b"), L"Text", std::wstring(L"販売 ＰＯＳ")));
  auto text = ReadRaw(Root(), Path(L"a\\b"), L"Text", 0);
  ASSERT_TRUE(text);
  EXPECT_EQ(DWORD(REG_SZ), text->type);
  EXPECT_EQ(L"販売 ＰＯＳ", text->Text());
  // Through the ANSI function the text is Shift-JIS with one NUL after it.
  EXPECT_EQ(norvale::ToAnsi(L"販売 ＰＯＳ") + std::string(1, '\0'),
            ReadAnsiBytes(Root(), Path(L"a\\b"), L"Text", 0));
  EXPECT_EQ(RegVariant(std::wstring(L"販売 ＰＯＳ")),
            win_.GetRegValue(Root(), Path(L"a\\b"), L"Text", kNoValue));

  ASSERT_TRUE(win_.SetRegValue(Root(), Path(), L"True", true));
  ASSERT_TRUE(win_.SetRegValue(Root(), Path(), L"Short", int16_t{-2}));
  ASSERT_TRUE(win_.SetRegValue(Root(), Path(), L"Long", int32_t{70000}));
  EXPECT_EQ(DWORD(REG_DWORD), ReadRaw(Root(), Path(), L"True", 0)->type);
  EXPECT_EQ(0xFFFFFFFFu, ReadRaw(Root(), Path(), L"True", 0)->Dword());
  EXPECT_EQ(0xFFFFFFFEu, ReadRaw(Root(), Path(), L"Short", 0)->Dword());
  EXPECT_EQ(70000u, ReadRaw(Root(), Path(), L"Long", 0)->Dword());
  // A DWORD reads as an unsigned number, never as -1.
  const RegVariant dword = win_.GetRegValue(Root(), Path(), L"True", kNoValue);
  EXPECT_EQ(RegVariant(RegCurrency::FromWhole(4294967295LL)), dword);

  // That number is no DWORD type of its own: written back it becomes text.
  ASSERT_TRUE(win_.SetRegValue(Root(), Path(), L"Back", dword));
  EXPECT_EQ(DWORD(REG_SZ), ReadRaw(Root(), Path(), L"Back", 0)->type);
  EXPECT_EQ(L"4294967295", ReadRaw(Root(), Path(), L"Back", 0)->Text());

  ASSERT_TRUE(win_.SetRegValue(Root(), Path(), L"Bytes", RegBytes{1, 0, 3}));
  EXPECT_EQ(DWORD(REG_BINARY), ReadRaw(Root(), Path(), L"Bytes", 0)->type);
  EXPECT_EQ((std::vector<BYTE>{1, 0, 3}), ReadRaw(Root(), Path(), L"Bytes", 0)->bytes);
  EXPECT_EQ(RegVariant(RegBytes{1, 0, 3}), win_.GetRegValue(Root(), Path(), L"Bytes", kNoValue));

  ASSERT_TRUE(win_.SetRegValue(Root(), Path(), L"Double", 1.5));
  EXPECT_EQ(L"1.5", ReadRaw(Root(), Path(), L"Double", 0)->Text());
  ASSERT_TRUE(win_.SetRegValue(Root(), Path(), L"Empty", RegVariant()));
  EXPECT_EQ(DWORD(REG_SZ), ReadRaw(Root(), Path(), L"Empty", 0)->type);
  EXPECT_EQ((std::vector<BYTE>{0, 0}), ReadRaw(Root(), Path(), L"Empty", 0)->bytes);
}

TEST_F(RegistryTest, ReadsFallBackToTheDefaultAndCutTextsAtNul) {
  EXPECT_EQ(kNoValue, win_.GetRegValue(Root(), Path(L"missing"), L"x", kNoValue));
  WriteText(Root(), Path(), L"Present", L"v", 0);
  EXPECT_EQ(kNoValue, win_.GetRegValue(Root(), Path(), L"Absent", kNoValue));

  const wchar_t expand[] = L"%TEMP%";
  WriteRaw(Root(), Path(), L"Expand", REG_EXPAND_SZ, expand, sizeof(expand), 0);
  const wchar_t multi[] = L"a\0b\0";
  WriteRaw(Root(), Path(), L"Multi", REG_MULTI_SZ, multi, sizeof(multi), 0);
  EXPECT_EQ(kNoValue, win_.GetRegValue(Root(), Path(), L"Expand", kNoValue));
  EXPECT_EQ(kNoValue, win_.GetRegValue(Root(), Path(), L"Multi", kNoValue));

  // Stored without a terminating NUL: read whole.
  WriteRaw(Root(), Path(), L"NoNul", REG_SZ, L"abc", 6, 0);
  EXPECT_EQ(RegVariant(std::wstring(L"abc")), win_.GetRegValue(Root(), Path(), L"NoNul", kNoValue));
  const wchar_t inner[] = L"ab\0cd";
  WriteRaw(Root(), Path(), L"Inner", REG_SZ, inner, sizeof(inner), 0);
  EXPECT_EQ(RegVariant(std::wstring(L"ab")), win_.GetRegValue(Root(), Path(), L"Inner", kNoValue));
  WriteRaw(Root(), Path(), L"Nothing", REG_SZ, nullptr, 0, 0);
  EXPECT_EQ(RegVariant(std::wstring()), win_.GetRegValue(Root(), Path(), L"Nothing", kNoValue));
  WriteRaw(Root(), Path(), L"NoBytes", REG_BINARY, nullptr, 0, 0);
  EXPECT_EQ(RegVariant(RegBytes{}), win_.GetRegValue(Root(), Path(), L"NoBytes", kNoValue));
  // The default value of a key has the empty name.
  WriteText(Root(), Path(), L"", L"default", 0);
  EXPECT_EQ(RegVariant(std::wstring(L"default")), win_.GetRegValue(Root(), Path(), L"", kNoValue));
}

TEST_F(RegistryTest, ValueListingGivesOneLinePerValue) {
  WriteText(Root(), Path(), L"AppPath", L"C:\\App", 0);
  const DWORD all = 0xFFFFFFFF;
  WriteRaw(Root(), Path(), L"Size", REG_DWORD, &all, sizeof(all), 0);
  const std::string ansi = norvale::ToAnsi(L"日本");
  WriteRaw(Root(), Path(), L"Bin", REG_BINARY, ansi.data(), static_cast<DWORD>(ansi.size()), 0);
  const wchar_t expand[] = L"%windir%";
  WriteRaw(Root(), Path(), L"Exp", REG_EXPAND_SZ, expand, sizeof(expand), 0);
  // Neither an empty binary value nor a long name ends the listing early.
  WriteRaw(Root(), Path(), L"Void", REG_BINARY, nullptr, 0, 0);
  const std::wstring longName(120, L'N');
  WriteText(Root(), Path(), longName, L"long", 0);

  ASSERT_EQ(5, win_.GetRegEnum(Root(), Path()));
  EXPECT_EQ(Sorted({L"AppPath = C:\\App", L"Size = 4294967295", L"Bin = 日本", L"Exp = ",
                    L"Void = ", longName + L" = long"}),
            Sorted(clsWinCommonTestAccess::Values(win_)));

  // A key without values, or none at all, leaves the last lines as they were.
  WriteText(Root(), Path(L"empty"), L"x", L"", 0);
  HKEY empty = nullptr;
  RegOpenKeyExW(Root(), Path(L"empty").c_str(), 0, KEY_SET_VALUE, &empty);
  RegDeleteValueW(empty, L"x");
  RegCloseKey(empty);
  EXPECT_EQ(-1, win_.GetRegEnum(Root(), Path(L"empty")));
  EXPECT_EQ(-1, win_.GetRegEnum(Root(), Path(L"missing")));
  EXPECT_EQ(6u, clsWinCommonTestAccess::Values(win_).size());

  // A shorter listing replaces the longer one entirely.
  WriteText(Root(), Path(L"one"), L"Only", L"1", 0);
  ASSERT_EQ(0, win_.GetRegEnum(Root(), Path(L"one")));
  EXPECT_EQ(std::vector<std::wstring>{L"Only = 1"}, clsWinCommonTestAccess::Values(win_));
}

TEST_F(RegistryTest, SubkeyListingNamesEverySubkey) {
  const std::wstring longName(200, L'k');
  for (const std::wstring& name : {std::wstring(L"One"), std::wstring(L"二"), longName}) {
    WriteText(Root(), Path(name), L"", L"", 0);
  }
  ASSERT_EQ(2, win_.GetRegEnumSubKey(Root(), Path()));
  EXPECT_EQ(Sorted({L"One", L"二", longName}), Sorted(clsWinCommonTestAccess::SubKeys(win_)));
  EXPECT_EQ(-1, win_.GetRegEnumSubKey(Root(), Path(L"One")));
  EXPECT_EQ(-1, win_.GetRegEnumSubKey(Root(), Path(L"missing")));
  EXPECT_EQ(3u, clsWinCommonTestAccess::SubKeys(win_).size());
}

TEST_F(RegistryTest, DeletionRemovesOnlyWhatIsNamed) {
  WriteText(Root(), Path(), L"Keep", L"1", 0);
  WriteText(Root(), Path(), L"Drop", L"2", 0);
  EXPECT_TRUE(win_.DelRegValue(Root(), Path(), L"Drop"));
  EXPECT_FALSE(ReadRaw(Root(), Path(), L"Drop", 0));
  EXPECT_TRUE(ReadRaw(Root(), Path(), L"Keep", 0));
  EXPECT_FALSE(win_.DelRegValue(Root(), Path(), L"Drop"));
  EXPECT_FALSE(win_.DelRegValue(Root(), Path(L"missing"), L"Keep"));

  WriteText(Root(), Path(L"Leaf"), L"v", L"1", 0);
  WriteText(Root(), Path(L"Branch\\Child"), L"v", L"1", 0);
  EXPECT_TRUE(win_.DelRegSubKey(Root(), Path(), L"Leaf"));
  EXPECT_FALSE(KeyExists(Root(), Path(L"Leaf"), 0));
  // A key with subkeys of its own stays.
  EXPECT_FALSE(win_.DelRegSubKey(Root(), Path(), L"Branch"));
  EXPECT_TRUE(KeyExists(Root(), Path(L"Branch\\Child"), 0));
  EXPECT_FALSE(win_.DelRegSubKey(Root(), Path(), L"Leaf"));
  EXPECT_FALSE(win_.DelRegSubKey(Root(), Path(L"missing"), L"Leaf"));
  // An empty name must not take the parent with it.
  EXPECT_FALSE(win_.DelRegSubKey(Root(), Path(L"Branch\\Child"), L""));
  EXPECT_TRUE(KeyExists(Root(), Path(L"Branch\\Child"), 0));
}

TEST(RegistryViewsTest, EachViewHoldsItsOwnValues) {
  SKIP_UNLESS_32BIT_PROGRAM();
  const std::wstring name = UniqueName(L"view");
  ScopedRegKey key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\" + name);
  clsWinCommon win;
  ASSERT_TRUE(win.IsWow64());

  // The program's own view of a 64-bit Windows is the 32-bit one.
  ASSERT_TRUE(win.SetRegValue(HKEY_LOCAL_MACHINE, key.Path(), L"Where", std::wstring(L"in-32")));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key.Path(), kView32));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key.Path(), kView64));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\" + name, kView64));
  EXPECT_EQ(kNoValue, win.GetReg64Value(HKEY_LOCAL_MACHINE, key.Path(), L"Where", kNoValue));

  WriteText(HKEY_LOCAL_MACHINE, key.Path(), L"Where", L"in-64", kView64);
  WriteText(HKEY_LOCAL_MACHINE, key.Path() + L"\\Sub64", L"", L"", kView64);
  EXPECT_EQ(RegVariant(std::wstring(L"in-64")),
            win.GetReg64Value(HKEY_LOCAL_MACHINE, key.Path(), L"Where", kNoValue));
  EXPECT_EQ(RegVariant(std::wstring(L"in-32")),
            win.GetRegValue(HKEY_LOCAL_MACHINE, key.Path(), L"Where", kNoValue));

  ASSERT_EQ(0, win.GetReg64Enum(HKEY_LOCAL_MACHINE, key.Path()));
  EXPECT_EQ(std::vector<std::wstring>{L"Where = in-64"}, clsWinCommonTestAccess::Values(win));
  ASSERT_EQ(0, win.GetRegEnum(HKEY_LOCAL_MACHINE, key.Path()));
  EXPECT_EQ(std::vector<std::wstring>{L"Where = in-32"}, clsWinCommonTestAccess::Values(win));
  ASSERT_EQ(0, win.GetReg64EnumSubKey(HKEY_LOCAL_MACHINE, key.Path()));
  EXPECT_EQ(std::vector<std::wstring>{L"Sub64"}, clsWinCommonTestAccess::SubKeys(win));
  EXPECT_EQ(-1, win.GetRegEnumSubKey(HKEY_LOCAL_MACHINE, key.Path()));

  // The same from outside the program.
  const RegExeResult seen64 = RegExeQuery(key.Path(), L"Where", 64);
  EXPECT_EQ(0u, seen64.exitCode);
  EXPECT_NE(std::wstring::npos, seen64.output.find(L"in-64")) << seen64.output;
  const RegExeResult seen32 = RegExeQuery(key.Path(), L"Where", 32);
  EXPECT_EQ(0u, seen32.exitCode);
  EXPECT_NE(std::wstring::npos, seen32.output.find(L"in-32")) << seen32.output;
}

TEST(RegistryRightsTest, ReadsNeedNoAdministratorRights) {
  ScopedRegKey key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\" + UniqueName(L"rights"));
  WriteText(HKEY_LOCAL_MACHINE, key.Path(), L"AppPath", L"C:\\App", 0);
  WriteText(HKEY_LOCAL_MACHINE, key.Path() + L"\\Sub", L"", L"", 0);
  clsWinCommon user(norvale::Seams::System(), WithoutAdministratorRights());

  EXPECT_EQ(RegVariant(std::wstring(L"C:\\App")),
            user.GetRegValue(HKEY_LOCAL_MACHINE, key.Path(), L"AppPath", kNoValue));
  EXPECT_EQ(0, user.GetRegEnum(HKEY_LOCAL_MACHINE, key.Path()));
  EXPECT_EQ(0, user.GetRegEnumSubKey(HKEY_LOCAL_MACHINE, key.Path()));
  // Writes are refused, and say so.
  EXPECT_FALSE(user.SetRegValue(HKEY_LOCAL_MACHINE, key.Path(), L"AppPath", std::wstring(L"x")));
  EXPECT_FALSE(user.DelRegValue(HKEY_LOCAL_MACHINE, key.Path(), L"AppPath"));
  EXPECT_FALSE(user.DelRegSubKey(HKEY_LOCAL_MACHINE, key.Path(), L"Sub"));
  EXPECT_EQ(L"C:\\App", ReadRaw(HKEY_LOCAL_MACHINE, key.Path(), L"AppPath", 0)->Text());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key.Path() + L"\\Sub", 0));
}

// Keys open on the real registry; flushes are recorded, and the chosen root
// refuses its flush.
class RecordedFlushes final : public norvale::IRegistryKeys {
 public:
  LSTATUS Open(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override {
    return real_.Open(root, path, access, key);
  }
  LSTATUS Create(HKEY root, const std::wstring& path, REGSAM access, HKEY* key) override {
    return real_.Create(root, path, access, key);
  }
  LSTATUS Flush(HKEY root) override {
    flushed.push_back(root);
    return root == refused ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
  }

  std::vector<HKEY> flushed;
  HKEY refused = nullptr;

 private:
  norvale::SystemRegistryKeys real_;
};

TEST(RegistryFlushTest, EveryRootIsFlushedAndOneRefusalFailsTheWhole) {
  auto registry = std::make_shared<RecordedFlushes>();
  norvale::WinServicesSeams seams = norvale::WinServicesSeams::System();
  seams.registry = registry;
  clsWinCommon win(norvale::Seams::System(), seams);
  const std::vector<HKEY> roots = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                   HKEY_USERS, HKEY_CURRENT_CONFIG};

  // NT has no dynamic-data root to flush: the five it has make a success.
  EXPECT_TRUE(win.REG_RegFlush());
  EXPECT_EQ(roots, registry->flushed);

  // A refusal in the middle still lets the roots after it be flushed.
  registry->flushed.clear();
  registry->refused = HKEY_LOCAL_MACHINE;
  EXPECT_FALSE(win.REG_RegFlush());
  EXPECT_EQ(roots, registry->flushed);

  // The real registry of the prefix flushes as well.
  EXPECT_TRUE(clsWinCommon().REG_RegFlush());
}

TEST(Wow64Test, BitnessComesFromWindows) {
  EXPECT_TRUE(clsWinCommon().IsWow64());
  auto windows = std::make_shared<FakeWindows>();
  windows->wow64 = false;
  EXPECT_FALSE(clsWinCommon(norvale::Seams::System(), WithWindows(windows)).IsWow64());
  windows->wow64 = std::nullopt;
  EXPECT_FALSE(clsWinCommon(norvale::Seams::System(), WithWindows(windows)).IsWow64());
}

}  // namespace
