#include "SampleRecords.h"

namespace wizard_testing {

using namespace norvale;

void AddGroup(InstallerState& s, const std::wstring& heading,
              const std::vector<std::wstring>& captions) {
  SelectGroupEntry group;
  group.name = L"group" + std::to_wstring(s.SelectGroupCount + 1);
  group.heading = heading;
  for (const std::wstring& caption : captions) {
    SelectOptionEntry option;
    option.name = L"opt" + std::to_wstring(group.optionCount + 1);
    option.caption = caption;
    AddToList(group.optionCount, group.options, option);
  }
  AddToList(s.SelectGroupCount, s.SelectGroups, group);
}

void AddTask(InstallerState& s, const std::wstring& heading, const std::wstring& name,
             int16_t checked) {
  CheckItemEntry task;
  task.heading = heading;
  task.name = name;
  task.checked = checked;
  task.initial = checked;
  AddToList(s.CheckItemCount, s.CheckItems, task);
}

void FillPlain(InstallerState& s) {
  s.AppName = L"Norvale POS";
  s.AppVerName = L"Ver 2.4";
  s.DefaultDirName = L"Norvale";
  s.DefaultGroupName = L"Norvale POS";
  s.WindowsName = L"Windows 10";
  s.OsVersion.dwMajorVersion = 10;
  InputItemEntry folder;
  folder.heading = L"インストール先の指定";
  folder.description1 = L"Norvale POS をどこにインストールしますか？";
  folder.description2 = L"Norvale POS をインストールするフォルダを指定して、「次へ」をクリックして下さい。";
  folder.hint = L"別のフォルダを選択するには「参照」をクリックして下さい。";
  folder.freeSpaceText = L"Cドライブには[12.5GB]の空き容量があります。";
  folder.picture = 101;
  folder.kind = 0;
  folder.value = L"C:\\Program Files\\Norvale";
  AddToList(s.InputItemCount, s.InputItems, folder);
  InputItemEntry group;
  group.heading = L"プログラムグループの指定";
  group.description1 = L"プログラムアイコンを作成する場所を指定して下さい。";
  group.description2 = L"スタートメニューに作成するプログラムグループを指定して、「次へ」をクリックして下さい。";
  group.hint = L"別のグループを選択するには「参照」をクリックして下さい。";
  group.picture = 102;
  group.kind = 1;
  group.value = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Norvale POS";
  AddToList(s.InputItemCount, s.InputItems, group);
}

void FillTypical(InstallerState& s) {
  FillPlain(s);
  AddGroup(s, L"基本モジュール", {L"標準インストール", L"最小インストール", L"カスタム"});
  AddGroup(s, L"売上集計", {L"売上集計を使う", L"売上集計なし"});
  AddGroup(s, L"在庫管理", {L"在庫管理を使う", L"使わない"});
  s.CheckTitle = L"追加タスクの選択";
  s.CheckText = L"実行する追加タスクを選択して下さい。";
  s.CheckInputText = L"セットアップ時に実行する追加タスクを選択して、「次へ」をクリックして下さい。";
  s.CheckFooterText = L"選択が終わったら「次へ」をクリックして下さい。";
  AddTask(s, L"アイコンの追加:", L"デスクトップにアイコンを作成する", 1);
  AddTask(s, L"自動起動:", L"Windows の起動時に受注モニタを起動する", 0);
  AddTask(s, L"関連付け:", L".nvp ファイルを Norvale POS で開く", 1);
  s.ExecuteCmd = L"{app}\\NorvalePOS.exe";
  s.ExecuteDsp = L"Norvale POS を起動する";
}

void FillCrowded(InstallerState& s) {
  FillPlain(s);
  s.AppName = L"ノーヴェイル販売管理システム・エンタープライズ版";
  s.AppVerName = L"バージョン 12.34 (2026年度 消費税改正対応 累積修正版)";
  AddGroup(s, L"基本モジュール（必ずいずれかを選択して下さい）",
           {L"標準インストール（推奨：通常はこちらを選択して下さい）", L"最小インストール",
            L"全機能インストール", L"ネットワーク クライアントのみ", L"なし"});
  AddGroup(s, L"売上集計", {L"日次集計", L"月次集計", L"年次集計", L"集計なし"});
  AddGroup(s, L"在庫管理", {L"在庫管理を使う", L"使わない"});
  AddGroup(s, L"顧客管理", {L"顧客管理を使う", L"ポイントカード連携", L"なし"});
  AddGroup(s, L"帳票", {L"標準帳票", L"インボイス対応帳票", L"帳票なし"});
  s.CheckTitle = L"追加タスクの選択";
  s.CheckText = L"実行する追加タスクを選択して下さい。";
  s.CheckInputText = L"セットアップ時に実行する追加タスクを選択して、「次へ」をクリックして下さい。";
  s.CheckFooterText = L"選択が終わったら「次へ」をクリックして下さい。";
  for (int i = 1; i <= 8; ++i) {
    AddTask(s, L"追加タスク " + std::to_wstring(i) + L":",
            L"長い名前の追加タスクの例：デスクトップとスタートメニューにショートカットを作成する (" +
                std::to_wstring(i) + L")",
            static_cast<int16_t>(i % 3 == 0 ? 2 : i % 2));
  }
}

}  // namespace wizard_testing
