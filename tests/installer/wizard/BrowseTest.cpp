// The Browse buttons: what the folder dialog is opened on, what comes back
// into the text box, the free-space line, and a cancel.
#include <gtest/gtest.h>

#include "SampleRecords.h"
#include "WizardProbe.h"

using namespace norvale;
using namespace wizard_testing;

namespace {

TEST(FormatGigabytesTest, NoBareDecimalPointAndThousandsGrouped) {
  EXPECT_EQ(L"12", FormatGigabytes(120000));
  EXPECT_EQ(L"1,234.5", FormatGigabytes(12345000));
  EXPECT_EQ(L"0.05", FormatGigabytes(500));
  EXPECT_EQ(L"0.01", FormatGigabytes(50));  // half away from zero
  EXPECT_EQ(L"1,234,567.8", FormatGigabytes(12345678000));
  EXPECT_EQ(L"999", FormatGigabytes(9990000));
}

TEST(BrowseInstallFolderTest, OpensOnTheFolderAndPutsTheNameBehindTheChoice) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillPlain(s); });
  f.OpenPage(2, 1);
  w.setup.dialog->Answer(L"C:\\Shop");
  f.C_Input_Click(1);
  ASSERT_EQ(1u, w.setup.dialog->calls.size());
  const auto& call = w.setup.dialog->calls[0];
  EXPECT_EQ(L"C:\\Program Files", call.startPath);
  EXPECT_EQ(0, call.rootFolder);
  EXPECT_EQ(w.S().InputItems[1].description1, call.title);
  EXPECT_EQ(L"C:\\Shop\\Norvale", f.T_Input(1)->Text());
  // The free space of the prefix's C: drive, whatever it is.
  const std::wstring line = f.L_Input3(1)->Caption();
  EXPECT_EQ(0u, line.find(L"Cドライブには[")) << line;
  EXPECT_NE(std::wstring::npos, line.find(L"GB]の空き容量があります。")) << line;
  EXPECT_EQ(std::wstring::npos, line.find(L".GB")) << line;
  EXPECT_EQ(line, w.S().InputItems[1].freeSpaceText);

  // A drive root takes the name directly; a text without the name is used
  // whole, less its last "\".
  w.setup.dialog->Answer(L"C:\\");
  f.C_Input_Click(1);
  EXPECT_EQ(L"C:\\Norvale", f.T_Input(1)->Text());
  f.T_Input(1)->Text(L"C:\\Data\\");
  w.setup.dialog->Answer(L"C:\\Other");
  f.C_Input_Click(1);
  EXPECT_EQ(L"C:\\Data", w.setup.dialog->calls.back().startPath);
  EXPECT_EQ(L"C:\\Other\\Norvale", f.T_Input(1)->Text());
  // The name is found whatever its letter case.
  f.T_Input(1)->Text(L"C:\\Apps\\NORVALE\\bin");
  w.setup.dialog->Answer(std::nullopt);
  f.C_Input_Click(1);
  EXPECT_EQ(L"C:\\Apps", w.setup.dialog->calls.back().startPath);
}

TEST(BrowseInstallFolderTest, CancelLeavesTheTextBoxExactlyAsItWas) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillPlain(s); });
  f.OpenPage(2, 1);
  f.T_Input(1)->Text(L"D:\\Data\\");
  const std::wstring line = f.L_Input3(1)->Caption();
  w.setup.dialog->Answer(std::nullopt);
  f.C_Input_Click(1);
  EXPECT_EQ(1u, w.setup.dialog->calls.size());
  EXPECT_EQ(L"D:\\Data\\", f.T_Input(1)->Text());
  EXPECT_EQ(line, f.L_Input3(1)->Caption());
}

TEST(BrowseInstallFolderTest, AnUnreadableDriveKeepsTheFreeSpaceLine) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillPlain(s); });
  f.OpenPage(2, 1);
  const std::wstring line = w.S().InputItems[1].freeSpaceText;
  w.setup.dialog->Answer(L"Q:\\NoSuchDrive");
  f.C_Input_Click(1);
  EXPECT_EQ(L"Q:\\NoSuchDrive\\Norvale", f.T_Input(1)->Text());
  EXPECT_EQ(line, f.L_Input3(1)->Caption());
  EXPECT_EQ(line, w.S().InputItems[1].freeSpaceText);
}

TEST(BrowseProgramGroupTest, StartsAtTheCommonProgramsAndNeverTouchesFreeSpace) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillPlain(s); });
  f.OpenPage(2, 2);
  const std::wstring line = f.L_Input3(2)->Caption();
  w.setup.dialog->Answer(L"C:\\Menu\\");
  f.C_Input_Click(2);
  const auto& call = w.setup.dialog->calls.at(0);
  EXPECT_EQ(23, call.rootFolder);
  EXPECT_EQ(L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", call.startPath);
  EXPECT_EQ(L"C:\\Menu\\Norvale POS", f.T_Input(2)->Text());
  EXPECT_EQ(line, f.L_Input3(2)->Caption());
}

TEST(BrowseTest, OnlyThePage2ItemsOpenTheDialog) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    s.InputItems[2].kind = 7;
  });
  f.OpenPage(1, 1);
  f.C_Input_Click(1);
  f.OpenPage(2, 2);
  f.C_Input_Click(2);
  f.C_Input_Click(3);
  EXPECT_TRUE(w.setup.dialog->calls.empty());
}

}  // namespace
