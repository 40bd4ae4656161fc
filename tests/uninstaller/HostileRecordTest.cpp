// A record written to bring the uninstaller down: paths far longer than the
// file calls take. The removal refuses them and carries on with the rest.
#include <gtest/gtest.h>

#include "InstallRecord.h"
#include "RemovalSteps.h"
#include "UninstallerTestSupport.h"

namespace {

using namespace uninstaller_test;

class StepsSeen final : public norvale::IUninstallerWindow {
 public:
  void SetStepText(int16_t index, const std::wstring& text) override {
    if (index == 0 && !text.empty()) steps.push_back(text);
  }
  void Dispゲージ(int16_t) override {}
  void DisableCancel() override {}
  void DoEvents() override {}
  std::vector<std::wstring> steps;
};

// The shortcut lines name, before the product's own desktop link: a
// 3,039-character link on the common desktop, a 1,100-character name in the
// install folder, and a 1,028-character link below folders that exist, so
// that a path call would walk the whole length.
TEST(HostileRecord, OverlongShortcutsAreSkippedAndTheRemovalGoesOn) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring desktop = probe->objWinCommon.GetSpecialFolderPath(25);
  MakeFolder(desktop);
  const std::wstring ownLink = desktop + L"\\NvHostile Pos.lnk";
  Touch(ownLink);
  std::wstring deep = product.appDir;
  for (wchar_t letter : {L'A', L'B', L'C', L'D'}) {
    deep += L"\\" + std::wstring(200, letter);
    CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr);
  }
  const std::wstring hostile[] = {
      desktop + L"\\" + std::wstring(3039 - desktop.size() - 5, L'A') + L".lnk",
      product.appDir + L"\\" + std::wstring(1100, L'B') + L".lnk",
      deep + L"\\" + std::wstring(1028 - deep.size() - 5, L'C') + L".lnk",
  };
  ASSERT_EQ(hostile[0].size(), 3039u);
  ASSERT_EQ(hostile[2].size(), 1028u);
  std::vector<std::wstring> record = {L"[Setup]", L"AppId={NvTest-Hostile}", L"AppName=NvTest",
                                      L"AppDir=" + product.appDir, L"[ショートカット]",
                                      L"Group="};
  int n = 0;
  for (const std::wstring& path : hostile) {
    record.push_back(L"ShortCut0" + std::to_wstring(++n) + L"=" + path);
  }
  record.push_back(L"ShortCut04=" + ownLink);
  record.insert(record.end(), {L"[管理者権限]", L"exe01=" + product.appDir + L"\\pos.exe"});
  product.WriteRecord(record);
  SetLayer(product.appDir + L"\\pos.exe");
  SetLayer(product.program);

  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  StepsSeen window;
  state->window = &window;
  norvale::ExecuteUninstall(*state);
  EXPECT_FALSE(Exists(ownLink));
  EXPECT_FALSE(LayerExists(product.appDir + L"\\pos.exe"));
  EXPECT_FALSE(LayerExists(product.program));
  EXPECT_EQ(window.steps.back(), L"管理者権限情報Eをレジストリから削除しています...");

  // The same paths handed to the step directly, as a reader that kept them
  // would.
  Touch(ownLink);
  state->ShortCutLogList.resize(1);
  for (const std::wstring& path : {hostile[0], hostile[1], hostile[2], ownLink}) {
    state->ShortCutLogList.emplace_back();
    state->ShortCutLogList.back().dir = path;
  }
  state->ShortCutLogCount = static_cast<int16_t>(state->ShortCutLogList.size() - 1);
  EXPECT_EQ(norvale::DeleteShortCuts(*state), -1);
  EXPECT_FALSE(Exists(ownLink));
  EXPECT_TRUE(Exists(deep));

  ClearLayer(product.appDir + L"\\pos.exe");
  ClearLayer(product.program);
}

}  // namespace
