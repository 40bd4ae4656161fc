// The delete guard against other accounts' profiles. Wine runs every program
// as its one user and never as LocalSystem, so these tests answer for the
// profile list (the registry's ProfileList and the running account's own
// profile) as Windows does for an administrator who runs the installer with
// his own credentials while a clerk is logged on, and for a deployment tool
// that runs it as LocalSystem. Everything else is asked of the system.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeleteGuard.h"
#include "TempDir.h"
#include "Handles.h"

using norvale::DeleteKind;
using norvale::ProfileListing;

using testing_support::Narrow;

namespace {

std::wstring Folder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}

class ListedProfiles final : public norvale::IProfileList {
 public:
  explicit ListedProfiles(ProfileListing listing) : listing_(std::move(listing)) {}
  ProfileListing List() const override { return listing_; }

 private:
  ProfileListing listing_;
};

class DeleteGuardProfilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    own_ = Folder(CSIDL_PROFILE);
    ASSERT_FALSE(own_.empty());
    users_ = own_.substr(0, own_.rfind(L'\\'));
    // The prefix spells the folder of profiles "C:\users"; Windows stores it
    // with the variable.
    drive_ = users_.substr(0, 2);
    ASSERT_EQ(drive_ + L"\\users", users_);
  }

  // The list as Windows keeps it on a machine with a clerk's account beside
  // the one this test runs as.
  ProfileListing Machine() const {
    ProfileListing listing;
    listing.ownProfile = own_;
    listing.profiles = {L"%systemroot%\\system32\\config\\systemprofile",
                        L"%systemroot%\\ServiceProfiles\\LocalService", own_,
                        L"%SystemDrive%\\users\\clerk"};
    listing.profilesDirectory = L"%SystemDrive%\\users";
    listing.defaultProfile = L"%SystemDrive%\\users\\Default";
    listing.publicProfile = L"%SystemDrive%\\users\\Public";
    return listing;
  }

  bool May(const std::wstring& path, const ProfileListing& listing,
           DeleteKind kind = DeleteKind::SinglePath) const {
    return norvale::MayDelete(path, kind, norvale::SystemFinalPaths(), ListedProfiles(listing));
  }

  // What the product installs for all users and for the account that runs
  // the installer stays deletable whatever the list says.
  void ExpectTheProductsOwnPlacesPass(const ProfileListing& listing) const {
    for (const std::wstring& path :
         {Folder(CSIDL_PROGRAM_FILESX86) + L"\\Norvale\\POS", drive_ + L"\\Norvale",
          Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Norvale POS.lnk",
          Folder(CSIDL_COMMON_PROGRAMS) + L"\\Norvale POS",
          users_ + L"\\Public\\Desktop\\Norvale POS.lnk", Folder(CSIDL_APPDATA) + L"\\Norvale",
          own_ + L"\\Norvale"}) {
      EXPECT_TRUE(May(path, listing)) << "refused: [" << Narrow(path) << "]";
    }
  }

  std::wstring own_, users_, drive_;
};

TEST_F(DeleteGuardProfilesTest, AnotherAccountsProfileIsProtectedWhole) {
  const ProfileListing listing = Machine();
  const std::wstring clerk = users_ + L"\\clerk";
  for (const std::wstring& path :
       {clerk, clerk + L"\\Documents", clerk + L"\\Desktop\\Norvale POS.lnk",
        clerk + L"\\AppData\\Roaming\\Norvale", clerk + L"\\AppData\\Local\\Norvale\\a.log",
        users_ + L"\\Default\\AppData\\Roaming\\Norvale", users_ + L"\\CLERK\\documents\\x",
        users_ + L"\\Public", users_ + L"\\Public\\Desktop", users_}) {
    EXPECT_FALSE(May(path, listing)) << "allowed: [" << Narrow(path) << "]";
  }
  EXPECT_FALSE(May(clerk + L"\\Documents\\*.txt", listing, DeleteKind::PatternInFolder));
  ExpectTheProductsOwnPlacesPass(listing);
}

// A profile moved to another folder is found by its listed path, and the
// folders holding it go no more than it does.
TEST_F(DeleteGuardProfilesTest, AProfileOutsideTheFolderOfProfilesIsProtectedWithItsAncestors) {
  ProfileListing listing = Machine();
  listing.profiles.push_back(L"%SystemDrive%\\Staff\\Profiles\\manager");
  for (const std::wstring& path :
       {drive_ + L"\\Staff", drive_ + L"\\Staff\\Profiles", drive_ + L"\\Staff\\Profiles\\manager",
        drive_ + L"\\Staff\\Profiles\\manager\\Documents\\Norvale"}) {
    EXPECT_FALSE(May(path, listing)) << "allowed: [" << Narrow(path) << "]";
  }
  EXPECT_TRUE(May(drive_ + L"\\Staff\\Norvale", listing));
}

// LocalSystem's own profile lies in the Windows folder; the folder of profiles
// is known from the list all the same, with every profile in it, and the
// account a person logs on with is another account then.
TEST_F(DeleteGuardProfilesTest, RunAsLocalSystemEveryUsersProfileIsProtected) {
  ProfileListing listing = Machine();
  listing.ownProfile = Folder(CSIDL_WINDOWS) + L"\\System32\\config\\systemprofile";
  for (const std::wstring& path :
       {users_ + L"\\clerk", users_ + L"\\clerk\\Documents", users_ + L"\\newcomer",
        own_ + L"\\Documents", own_ + L"\\Norvale", own_ + L"\\Desktop\\Norvale POS.lnk",
        users_ + L"\\Default\\Desktop", users_}) {
    EXPECT_FALSE(May(path, listing)) << "allowed: [" << Narrow(path) << "]";
  }
  for (const std::wstring& path :
       {Folder(CSIDL_PROGRAM_FILESX86) + L"\\Norvale\\POS", drive_ + L"\\Norvale",
        users_ + L"\\Public\\Desktop\\Norvale POS.lnk",
        Folder(CSIDL_COMMON_PROGRAMS) + L"\\Norvale POS"}) {
    EXPECT_TRUE(May(path, listing)) << "refused: [" << Narrow(path) << "]";
  }
}

// The list is the registry's, and anyone who can write there can write
// nonsense: no value may make the guard refuse everything or accept what it
// refuses without the list.
TEST_F(DeleteGuardProfilesTest, HostileListValuesNeitherRefuseEverythingNorAcceptAnything) {
  ProfileListing listing;
  listing.ownProfile = own_;
  listing.profiles = {L"", L"   ", L"relative\\clerk", L"\\\\?\\" + users_ + L"\\clerk",
                      L"\\\\?\\UNC\\host\\share\\clerk", L"\\\\.\\" + drive_ + L"\\",
                      drive_ + L"\\", L"%SystemDrive%\\", L"%SystemDrive%", drive_,
                      users_ + L"\\..", users_ + L"\\clerk\\..\\..", L"%NoSuchVariable%\\clerk",
                      users_, users_ + L"\\Public", users_ + L"\\" + std::wstring(300, L'x'),
                      drive_ + L"\\a*", drive_ + L"\\a:b", L"Q:\\..\\..\\",
                      std::wstring(L"C:\\x\0y", 6)};
  listing.profilesDirectory = drive_ + L"\\";
  listing.defaultProfile = L"relative";
  listing.publicProfile = L"\\\\?\\" + drive_ + L"\\";
  ExpectTheProductsOwnPlacesPass(listing);
  EXPECT_TRUE(May(drive_ + L"\\Norvale\\*.log", listing, DeleteKind::PatternInFolder));
  // Nothing listed loosens what the guard refuses without the list.
  for (const std::wstring& path :
       {users_, users_ + L"\\another", own_, Folder(CSIDL_WINDOWS), Folder(CSIDL_APPDATA),
        users_ + L"\\Public\\Desktop", drive_ + L"\\Documents and Settings\\another"}) {
    EXPECT_FALSE(May(path, listing)) << "allowed: [" << Narrow(path) << "]";
  }
}

class FailingProfiles final : public norvale::IProfileList {
 public:
  ProfileListing List() const override { throw std::runtime_error("no list"); }
};

// A list that cannot be had leaves nothing judged, and nothing deleted.
TEST_F(DeleteGuardProfilesTest, AListThatFailsRefusesWithoutLettingTheErrorOut) {
  std::wstring why;
  EXPECT_NO_THROW(why = norvale::DeleteRefusal(drive_ + L"\\Norvale", DeleteKind::SinglePath,
                                               norvale::SystemFinalPaths(), FailingProfiles()));
  EXPECT_FALSE(why.empty());
}

// The program's real list reader, against a scratch account written into
// the prefix's registry and taken out again. ProfileList is one key that both
// registry views share on 64-bit Windows; it is written through the 64-bit
// view, where Windows keeps it.
TEST(SystemProfileListTest, ReadsEachAccountsStoredPathAndTheFolderValues) {
  const std::wstring listKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  const std::wstring sid = L"S-1-5-21-1111-2222-3333-4104";
  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, (listKey + L"\\" + sid).c_str(), 0,
                                           nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                                           &raw, nullptr));
  norvale::RegKey account(raw);
  const std::wstring stored = L"%SystemDrive%\\users\\nvclerk";
  RegSetValueExW(account.Get(), L"ProfileImagePath", 0, REG_EXPAND_SZ,
                 reinterpret_cast<const BYTE*>(stored.c_str()),
                 static_cast<DWORD>((stored.size() + 1) * sizeof(wchar_t)));
  const ProfileListing listing = norvale::SystemProfileList().List();
  account.Reset();
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (listKey + L"\\" + sid).c_str(), KEY_WOW64_64KEY, 0);

  EXPECT_EQ(Folder(CSIDL_PROFILE), listing.ownProfile);
  EXPECT_NE(listing.profiles.end(),
            std::find(listing.profiles.begin(), listing.profiles.end(), stored));
  EXPECT_NE(listing.profiles.end(),
            std::find(listing.profiles.begin(), listing.profiles.end(), Folder(CSIDL_PROFILE)));
  EXPECT_FALSE(listing.profilesDirectory.empty());
  EXPECT_FALSE(listing.publicProfile.empty());
}

}  // namespace
