// The condition language and the path placeholders against machine
// profiles.
#include <gtest/gtest.h>

#include "Conditions.h"
#include "SetupInfoTestSupport.h"

using namespace norvale;
using namespace setupinfo_testing;

namespace {

struct Parsed {
  int16_t result, group, option, include, task;
  std::wstring groupName, optionName;
};

class ConditionsTest : public ::testing::Test {
 protected:
  void SetUp() override { Build(Machine::Windows10x64, L"Windows 10"); }
  void Build(Machine m, const std::wstring& windowsName) {
    machine.Become(m);
    state = std::make_unique<InstallerState>(machine.Seams());
    state->WindowsName = windowsName;
    SelectGroupEntry base{L"Base", L"基本", 0, {SelectOptionEntry{}}};
    AddToList(base.optionCount, base.options, SelectOptionEntry{L"Std", L"標準"});
    AddToList(base.optionCount, base.options, SelectOptionEntry{L"Pro", L"プロ"});
    AddToList(state->SelectGroupCount, state->SelectGroups, base);
  }
  Parsed Parse(const std::wstring& condition) {
    Parsed p{};
    p.result = ParseCondition(*state, condition, p.group, p.option, p.include, p.task,
                              p.groupName, p.optionName);
    return p;
  }
  TestMachine machine;
  std::unique_ptr<InstallerState> state;
};

}  // namespace

TEST_F(ConditionsTest, TheExampleConditionsOnSixtyFourBitWindows10) {
  struct Row {
    std::wstring condition;
    int16_t include, task, group, option, result;
  };
  const Row rows[] = {
      {L"", -1, 0, 0, 0, -1},
      {L"32bit", 0, 0, 0, 0, -1},
      {L"64bit,task2", -1, 2, 0, 0, -1},
      {L"<Windows>Windows 7;Windows 10</Windows>", -1, 0, 0, 0, -1},
      {L"<Windows>Windows 7</Windows>,task1", 0, 0, 0, 0, 0},
      {L"1,2", -1, 0, 1, 2, -1},
      {L"base,pro", -1, 0, 1, 2, -1},
      {L"task3,Base,Std", -1, 3, 1, 1, -1},
      {L"1,task3,2", -1, 3, 1, 2, -1},
      {L"Other,Std", -1, 0, 0, 0, -1},
      {L"64BIT,<windows>Windows 10</WINDOWS>,TASK12", -1, 12, 0, 0, -1},
      {L"64bit,32bit", -1, 0, 0, 0, -1},
      {L"task", -1, 0, 0, 0, -1},
      {L"<Windows></Windows>", -1, 0, 0, 0, -1},
      {L"<Windows>Windows 7;;Windows XP</Windows>", -1, 0, 0, 0, -1},
      {L"<Windows>Windows 8</Windows>,1,1", 0, 0, 0, 0, 0},
      {L"32bit,1,2", 0, 0, 1, 2, -1},
  };
  for (const Row& row : rows) {
    const Parsed p = Parse(row.condition);
    EXPECT_EQ(p.include, row.include) << row.condition;
    EXPECT_EQ(p.task, row.task) << row.condition;
    EXPECT_EQ(p.group, row.group) << row.condition;
    EXPECT_EQ(p.option, row.option) << row.condition;
    EXPECT_EQ(p.result, row.result) << row.condition;
  }
}

TEST_F(ConditionsTest, NamesAreLookedUpBothWays) {
  Parsed p = Parse(L"1,2");
  EXPECT_EQ(p.groupName, L"Base");
  EXPECT_EQ(p.optionName, L"Pro");
  p = Parse(L"base, pro ");
  EXPECT_EQ(p.group, 1);
  EXPECT_EQ(p.option, 2);
  p = Parse(L"Base,Missing");
  EXPECT_EQ(p.option, 0);
  EXPECT_EQ(p.optionName, L"Missing");
  p = Parse(L"5,1");  // a group outside the list is not resolved
  EXPECT_EQ(p.group, 5);
  EXPECT_EQ(p.groupName, L"");
}

TEST_F(ConditionsTest, BitnessAndWindowsListsFollowTheMachine) {
  Build(Machine::Windows7x86, L"Windows 7 SP1");
  EXPECT_EQ(Parse(L"32bit").include, -1);
  EXPECT_EQ(Parse(L"64bit").include, 0);
  EXPECT_EQ(Parse(L"<Windows>Windows 7</Windows>").include, -1);
  EXPECT_EQ(Parse(L"<Windows>Windows 10;Windows 11</Windows>").result, 0);

  Build(Machine::Windows11x64, L"Windows 11");
  EXPECT_EQ(Parse(L"64bit,<Windows>windows 11</Windows>").include, -1);
  // "Windows 1" is part of "Windows 11".
  EXPECT_EQ(Parse(L"<Windows>Windows 1</Windows>").include, -1);
  EXPECT_EQ(Parse(L"<Windows>Windows 10</Windows>").include, 0);
}

TEST_F(ConditionsTest, BrokenListsDoNotCrash) {
  for (const wchar_t* condition :
       {L"<Windows>Windows 10", L"</Windows>,1,1", L"<Windows>", L",", L",,,,", L"task,task,",
        L"1,", L",1", L"<Windows>;</Windows>", L"task99999999,1,99999"}) {
    Parse(condition);
  }
  EXPECT_EQ(Parse(L"</Windows>,1,2").group, 1);
  EXPECT_EQ(Parse(L"<Windows>Windows 10").include, -1);
}

TEST(ExpandPathMacros, ReplacesEveryPlaceholderAndCollapsesBackslashes) {
  SetupRecord r;
  AddToList(r.InputItemCount, r.InputItems, InputItemEntry{});
  r.InputItems[1].value = L"D:\\Shop";
  r.TmpDir = L"C:\\Temp\\";
  r.WinDir = L"C:\\Windows";
  r.CommonDesktopDir = L"C:\\Users\\Public\\Desktop";
  r.CommonProgramsDir = L"C:\\ProgramData\\Start Menu\\Programs";
  r.StartupDir = L"C:\\Users\\u\\Startup";
  EXPECT_EQ(ExpandPathMacros(r, L"{APP}\\bin"), L"D:\\Shop\\bin");
  EXPECT_EQ(ExpandPathMacros(r, L"{app}\\\\data"), L"D:\\Shop\\data");
  EXPECT_EQ(ExpandPathMacros(r, L"\\\\server\\\\share\\x"), L"\\\\server\\share\\x");
  EXPECT_EQ(ExpandPathMacros(r, L"{tmp}\\x"), L"C:\\Temp\\x");
  EXPECT_EQ(ExpandPathMacros(r, L"{windir}\\Fonts\\\\\\a.ttf"), L"C:\\Windows\\Fonts\\a.ttf");
  EXPECT_EQ(ExpandPathMacros(r, L"{CommonDesktop}\\s.lnk"), L"C:\\Users\\Public\\Desktop\\s.lnk");
  EXPECT_EQ(ExpandPathMacros(r, L"{group}\\POS"), L"C:\\ProgramData\\Start Menu\\Programs\\POS");
  EXPECT_EQ(ExpandPathMacros(r, L"{commonstartup}\\a"), L"C:\\Users\\u\\Startup\\a");
  // An earlier replacement's value is subject to the later ones.
  r.InputItems[1].value = L"{windir}\\App";
  EXPECT_EQ(ExpandPathMacros(r, L"{app}"), L"C:\\Windows\\App");
  // An empty folder replaces with nothing.
  r.WinDir.clear();
  EXPECT_EQ(ExpandPathMacros(r, L"{windir}\\x"), L"\\x");
}

TEST(ExpandPathMacros, AppStaysWithoutAnInputItem) {
  SetupRecord r;
  EXPECT_EQ(ExpandPathMacros(r, L"{app}\\x"), L"{app}\\x");
}
