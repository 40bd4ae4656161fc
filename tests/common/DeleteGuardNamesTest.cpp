// How the delete guard reads the names in a path: drive letters and the host
// of a share, each as Windows itself reads them.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "DeleteGuard.h"
#include "TempDir.h"

using norvale::DeleteKind;
using norvale::MayDelete;

using testing_support::Narrow;

namespace {

// Only "A" to "Z" name a drive: anything else before a colon is a relative
// name (of a stream of a file in the current folder, at that), which no
// rule about drives can judge.
TEST(DeleteGuardNamesTest, ALetterThatIsNoAsciiLetterNamesNoDrive) {
  for (const std::wstring& path :
       {std::wstring(L"é:\\Norvale"), std::wstring(L"Ｃ:\\Norvale\\POS"), std::wstring(L"ｃ:\\x"),
        std::wstring(L"Ä:\\Norvale\\a.txt"), std::wstring(L"я:\\Norvale"),
        std::wstring(L"ß:/Norvale")}) {
    // The log says why: no drive, not some later rule that happened to hold.
    EXPECT_EQ(norvale::ReasonText(norvale::Reason::RelativePath), norvale::DeleteRefusal(path)) << Narrow(path);
  }
  EXPECT_EQ(norvale::ReasonText(norvale::Reason::RelativePath),
            norvale::DeleteRefusal(L"é:\\Norvale\\*.log", DeleteKind::PatternInFolder));
}

// A share's host is this machine when its name is one of this machine's
// names with letter case ignored; a name differing in width or kana type is
// another host to the network, and its shares are judged as any other's.
TEST(DeleteGuardNamesTest, HostNamesCompareAsTheNetworkComparesThem) {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(name, &n));
  std::wstring lower(name, n), wide;
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  for (wchar_t c : std::wstring(name, n)) {
    wide += c >= L'!' && c <= L'~' ? static_cast<wchar_t>(c - L'!' + L'！') : c;
  }
  EXPECT_FALSE(MayDelete(L"\\\\" + lower + L"\\share\\Norvale"));
  EXPECT_FALSE(MayDelete(L"\\\\LocalHost\\share\\Norvale"));
  EXPECT_TRUE(MayDelete(L"\\\\" + wide + L"\\share\\Norvale")) << Narrow(wide);
  EXPECT_TRUE(MayDelete(L"\\\\ｌｏｃａｌｈｏｓｔ\\share\\Norvale"));
  EXPECT_TRUE(MayDelete(L"\\\\local\u00ADhost\\share\\Norvale"));
}

}  // namespace
