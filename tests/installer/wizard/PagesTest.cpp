// The pages built from setup records of several shapes: texts, the control
// arrays' run-time elements, their places, tags and states.
#include <gtest/gtest.h>

#include "SampleRecords.h"
#include "WizardProbe.h"

using namespace norvale;
using namespace wizard_testing;

namespace {

TEST(BuildPagesTest, WelcomeTextsWithAndWithoutAVersionName) {
  {
    Wizard w;
    WizardProbe& f = w.Load([](InstallerState& s) { FillPlain(s); });
    EXPECT_EQ(L"Norvale POS セットアップウイザードの開始", f.L_Start(0)->Caption());
    EXPECT_EQ(L"このプログラムはご使用のコンピュータへNorvale POS Ver 2.4をインストールします。",
              f.L_Start(1)->Caption());
    EXPECT_EQ(L"続行する前に他のアプリケーションを全て終了して下さい。", f.L_Start(2)->Caption());
    EXPECT_EQ(L"ご使用のコンピュータへNorvale POSをインストールする準備ができました。",
              f.L_END_H(1)->Caption());
  }
  Wizard blank;
  WizardProbe& g = blank.Load([](InstallerState& s) {
    FillPlain(s);
    s.AppName = L" 販売 ";
    s.AppVerName = L"   ";
  });
  EXPECT_EQ(L"このプログラムはご使用のコンピュータへ 販売 をインストールします。",
            g.L_Start(1)->Caption());
}

TEST(BuildPagesTest, GroupsOfThreeAndTwoOptionsGetKeysIndexesAndFirstSelections) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    AddGroup(s, L"基本", {L"標準", L"最小", L"全部"});
    AddGroup(s, L"集計", {L"使う", L"なし"});
  });
  InstallerState& s = w.S();
  EXPECT_EQ(5, s.SelectOptionSeq);
  const wchar_t* tags[] = {L"", L"1:1", L"1:2", L"1:3", L"2:1", L"2:2"};
  for (int16_t k = 1; k <= 5; ++k) {
    forms::OptionButton* option = f.Opt_SelItem(k);
    ASSERT_NE(nullptr, option) << k;
    EXPECT_EQ(tags[k], option->Tag());
    EXPECT_EQ(k == 1 || k == 4, option->Value()) << k;
    EXPECT_TRUE(option->Visible());
    EXPECT_TRUE(option->Enabled());
    EXPECT_EQ(&option->Container(), f.F_SelItem(k <= 3 ? 1 : 2));
  }
  EXPECT_EQ(nullptr, f.Opt_SelItem(6));
  EXPECT_EQ(1, s.SelectGroups[1].options[1].controlIndex);
  EXPECT_EQ(5, s.SelectGroups[2].options[2].controlIndex);
  // Rows every 298 twips from 330, columns at 150 and 4550.
  EXPECT_FLOAT_EQ(330, f.Opt_SelItem(1)->Top());
  EXPECT_FLOAT_EQ(926, f.Opt_SelItem(3)->Top());
  EXPECT_FLOAT_EQ(628, f.Opt_SelItem(5)->Top());
  EXPECT_FLOAT_EQ(150, f.F_SelItem(1)->Left());
  EXPECT_FLOAT_EQ(4550, f.F_SelItem(2)->Left());
  EXPECT_FLOAT_EQ(1400, f.F_SelItem(2)->Top());
  EXPECT_FALSE(f.F_SelItem(1)->Visible());
  EXPECT_FALSE(f.F_SelItem(1)->Enabled());
  EXPECT_EQ(L"集計", f.L_SelItem(2)->Caption());
  EXPECT_TRUE(f.L_SelItem(2)->Visible());
  EXPECT_FALSE(f.F_SelItem(0)->Visible());

  // Each group frame is a group of its own.
  f.Opt_SelItem(2)->Value(true);
  EXPECT_FALSE(f.Opt_SelItem(1)->Value());
  EXPECT_TRUE(f.Opt_SelItem(4)->Value());
}

TEST(BuildPagesTest, NoGroupsAndNoTasksLeaveOnlyTheTemplatesAndTheTexts) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    s.CheckTitle = L"追加タスク";
    s.CheckFooterText = L"下の文";
  });
  EXPECT_EQ(0, w.S().SelectOptionSeq);
  EXPECT_EQ(1, f.F_SelItem.Count());
  EXPECT_EQ(1, f.Opt_SelItem.Count());
  EXPECT_EQ(1, f.Chk_Check.Count());
  EXPECT_EQ(1, f.L_CheckTitle.Count());
  EXPECT_EQ(L"追加タスク", f.L_Check_H(0)->Caption());
  EXPECT_EQ(L"下の文", f.L_Check(1)->Caption());
}

TEST(BuildPagesTest, AGroupWithoutOptionsShowsOnlyItsHeading) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    AddGroup(s, L"空のグループ", {});
    AddGroup(s, L"次", {L"一つ"});
  });
  EXPECT_EQ(1, w.S().SelectOptionSeq);
  EXPECT_EQ(L"空のグループ", f.L_SelItem(1)->Caption());
  EXPECT_EQ(f.F_SelItem(2), &f.Opt_SelItem(1)->Container());
  EXPECT_EQ(L"2:1", f.Opt_SelItem(1)->Tag());
}

TEST(BuildPagesTest, CrowdedRecordPlacesEveryElementWithoutOverlap) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) { FillCrowded(s); });
  InstallerState& s = w.S();
  ASSERT_EQ(5, s.SelectGroupCount);
  EXPECT_EQ(17, s.SelectOptionSeq);
  for (int16_t g = 1; g <= 5; ++g) {
    forms::Frame* frame = f.F_SelItem(g);
    ASSERT_NE(nullptr, frame);
    EXPECT_FLOAT_EQ(g % 2 ? 150 : 4550, frame->Left()) << g;
    EXPECT_FLOAT_EQ(4200, frame->Width());
    if (g % 2 == 0) {
      EXPECT_FALSE(Overlap(*f.F_SelItem(g - 1), *frame)) << g;
    }
    // The options of one group stack without touching one another.
    std::vector<forms::OptionButton*> inGroup;
    for (forms::OptionButton* option : f.Opt_SelItem.Elements()) {
      if (option->Index() > 0 && &option->Container() == frame) inGroup.push_back(option);
    }
    EXPECT_EQ(s.SelectGroups[g].optionCount, static_cast<int16_t>(inGroup.size()));
    for (size_t i = 1; i < inGroup.size(); ++i) {
      EXPECT_FALSE(Overlap(*inGroup[i - 1], *inGroup[i]));
      EXPECT_FALSE(Overlap(*f.L_SelItem(g), *inGroup[i]));
    }
  }
  ASSERT_EQ(9, f.Chk_Check.Count());
  for (int16_t i = 1; i <= 8; ++i) {
    forms::CheckBox* check = f.Chk_Check(i);
    forms::Label* title = f.L_CheckTitle(i);
    EXPECT_FLOAT_EQ(1890 + (i - 1) * 600, title->Top());
    EXPECT_FLOAT_EQ(2100 + (i - 1) * 600, check->Top());
    EXPECT_EQ(s.CheckItems[i].checked, check->Value());
    EXPECT_TRUE(check->Visible() && check->Enabled() && title->Visible());
    if (i > 1) {
      EXPECT_FALSE(Overlap(*f.Chk_Check(i - 1), *title));
      EXPECT_FALSE(Overlap(*f.Chk_Check(i - 1), *check));
    }
  }
  EXPECT_FALSE(f.Chk_Check(0)->Visible());
  EXPECT_FALSE(f.L_CheckTitle(0)->Visible());
}

TEST(BuildPagesTest, InputItemsCarryTheirTextsPicturesAndValues) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    s.InputItems[2].picture = 999;  // no such icon
  });
  const InputItemEntry& folder = w.S().InputItems[1];
  ASSERT_EQ(3, f.F_InputItem.Count());
  EXPECT_EQ(folder.description2, f.L_Input1(1)->Caption());
  EXPECT_EQ(folder.hint, f.L_Input2(1)->Caption());
  EXPECT_EQ(folder.freeSpaceText, f.L_Input3(1)->Caption());
  EXPECT_EQ(folder.value, f.T_Input(1)->Text());
  EXPECT_EQ(L"参照(R)", f.C_Input(2)->Caption());
  EXPECT_TRUE(f.Image_Input(1)->HasPicture());
  EXPECT_FALSE(f.Image_Input(2)->HasPicture());
  for (int16_t i = 1; i <= 2; ++i) {
    EXPECT_FALSE(f.F_InputItem(i)->Visible());
    EXPECT_FALSE(f.F_InputItem(i)->Enabled());
    EXPECT_EQ(f.F_InputItem(i), &f.T_Input(i)->Container());
    EXPECT_TRUE(f.T_Input(i)->Visible());
    EXPECT_FLOAT_EQ(2085, f.T_Input(i)->Top());
    EXPECT_FALSE(Overlap(*f.T_Input(i), *f.C_Input(i)));
    EXPECT_FALSE(Overlap(*f.L_Input1(i), *f.L_Input2(i)));
  }
}

TEST(BuildPagesTest, ATaskValueTheCheckBoxRefusesStaysUnticked) {
  Wizard w;
  WizardProbe& f = w.Load([](InstallerState& s) {
    FillPlain(s);
    AddTask(s, L"見出し", L"名前", 5);
  });
  EXPECT_EQ(0, f.Chk_Check(1)->Value());
  EXPECT_EQ(L"名前", f.Chk_Check(1)->Caption());
}

}  // namespace
