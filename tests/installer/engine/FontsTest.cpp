#include <shlobj.h>

#include <functional>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "FontTableProbes.h"
#include "Fonts.h"
#include "SavedRegValue.h"
#include "SetupLog.h"
#include "Text.h"

using namespace engine_testing;
using namespace norvale;
using testing_support::FontFamilyKnown;
using testing_support::WriteFileBytes;

namespace {

// HKLM's Fonts key in the program's own view: 64-bit Windows shares it
// between the views (in the prefix Wow6432Node's Fonts is a link to it), so
// the stand-in's 64-bit writes meet the 32-bit build's reads.
const wchar_t kFontsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

void SetFontValue(const std::wstring& name, const std::wstring& data) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kFontsKey, name.c_str(), REG_SZ, data.c_str(),
                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

bool HasFontValue(const std::wstring& name) {
  return RegGetValueW(HKEY_LOCAL_MACHINE, kFontsKey, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

// What the PowerShell stand-in noted of its runs (UTF-8).
std::wstring ReadUtf8(const std::wstring& path) {
  const std::string bytes = testing_support::ReadFileBytes(path);
  std::wstring text(bytes.size(), L'\0');
  text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(),
                                                      static_cast<int>(bytes.size()), text.data(),
                                                      static_cast<int>(text.size()))));
  return text;
}

// The shipped script, which the build puts beside the test program.
std::wstring ShippedScript(const std::wstring& name) {
  return TestProgramFolder() + L"\\scripts\\" + name;
}

// The prefix's powershell.exe (the stand-in) where the program starts it:
// system32 as this process sees it, SysWOW64 for the 32-bit build on 64-bit
// Windows, where tools/place-standins.sh puts the same stand-in. Empty when
// the prefix has none.
std::wstring PowerShellOf(EngineUnderTest& engine) {
  const std::wstring powershell =
      engine.state->objWinCommon.GetSpecialFolderPath(CSIDL_WINDOWS) +
      L"\\system32\\WindowsPowershell\\v1.0\\powershell.exe";
  return Exists(powershell) ? powershell : L"";
}

// A profile of the prefix's account for the console host, in its Documents
// folder, removed again at the end.
class PlantedProfile {
 public:
  PlantedProfile() {
    wchar_t documents[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents))) return;
    folder_ = std::wstring(documents) + L"\\WindowsPowerShell";
    madeFolder_ = CreateDirectoryW(folder_.c_str(), nullptr) != FALSE;
    path_ = folder_ + L"\\Microsoft.PowerShell_profile.ps1";
    WriteFileBytes(path_, "Write-Host 'a profile ran'\r\n");
  }
  ~PlantedProfile() {
    DeleteFileW(path_.c_str());
    if (madeFolder_) RemoveDirectoryW(folder_.c_str());
  }
  PlantedProfile(const PlantedProfile&) = delete;
  PlantedProfile& operator=(const PlantedProfile&) = delete;
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring folder_, path_;
  bool madeFolder_ = false;
};

// Does what the Fonts folder's "Install" verb promises, or nothing, as
// Wine's verb does.
class FakeFontsShell final : public IFontsFolderShell {
 public:
  bool InvokeInstall(const std::wstring& folder, const std::wstring& name,
                     std::wstring*) override {
    calls.push_back(folder + L"|" + name);
    if (!installs) return true;
    CopyFileW((folder + L"\\" + name).c_str(), (fonts + L"\\" + name).c_str(), FALSE);
    SetFontValue(valueName, name);
    return true;
  }
  bool CopyToFonts(const std::wstring& path, std::wstring*) override {
    calls.push_back(L"copy|" + path);
    return true;
  }
  bool AddToFontTable(const std::wstring& path) override {
    calls.push_back(L"add|" + path);
    return inTable;
  }
  bool RemoveFromFontTable(const std::wstring& path) override {
    calls.push_back(L"remove|" + path);
    return inTable;
  }
  void BroadcastFontChange() override { calls.push_back(L"broadcast"); }
  std::vector<std::wstring> calls;
  bool installs = true;
  bool inTable = true;  // what the font table answers
  std::wstring fonts, valueName;
};

// The machine's Fonts values through the WMI layer, only the test's own
// listed: the test programs that run beside this one change values of that
// key, and a value gone between the listing and its reading would fail a
// removal that never meant it.
class OwnFontValues final : public IFontRegistry {
 public:
  explicit OwnFontValues(std::wstring tag) : tag_(std::move(tag)) {}
  bool EnumValues(std::vector<ValueName>* values) override {
    if (!machine_.EnumValues(values)) return false;
    std::erase_if(*values, [&](const ValueName& value) { return value.name.rfind(tag_, 0) != 0; });
    return true;
  }
  bool GetStringValue(const std::wstring& name, std::wstring* data) override {
    return machine_.GetStringValue(name, data);
  }
  bool DeleteValue(const std::wstring& name) override { return machine_.DeleteValue(name); }

 private:
  WmiFontRegistry machine_;
  std::wstring tag_;
};

// PowerShell as the scripts' callers see it: records each start and does
// what the test says the script does; the run has ended at once.
class ScriptStarts final : public IProgramStarts {
 public:
  bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
             HANDLE* process) override {
    starts.push_back(commandLine + L"|" + std::to_wstring(showState));
    if (refusal != ERROR_SUCCESS) {
      SetLastError(refusal);
      return false;
    }
    if (script) script();
    *processId = 1;
    *process = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return true;
  }
  std::vector<std::wstring> starts;
  std::function<void()> script;
  DWORD refusal = ERROR_SUCCESS;  // a start the system refuses
};

// Fonts of the test's own in the prefix's Fonts folder and registry, their
// names made unique; everything is removed again at the end.
class FontsTest : public ::testing::Test {
 protected:
  FontsTest() {
    fonts_ = engine_.state->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
    shell_->fonts = fonts_;
    shell_->valueName = tag_ + L" Sans (TrueType)";
    engine_.context->seams.fontsShell = shell_;
    engine_.context->seams.fontRegistry = std::make_shared<OwnFontValues>(tag_);
    engine_.context->seams.programFolder = dir_.Path();
  }
  ~FontsTest() override {
    for (const std::wstring& name : {tag_ + L".ttf", tag_ + L"Bold.ttf"}) {
      DeleteFileW((fonts_ + L"\\" + name).c_str());
    }
    for (const wchar_t* suffix :
         {L" Sans (TrueType)", L" Sans Bold (TrueType)", L" Upper", L" Path", L" Inside"}) {
      RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kFontsKey, (tag_ + suffix).c_str());
    }
  }
  FontServices Services() { return FontServicesOf(*engine_.context); }
  std::wstring InFonts(const std::wstring& name) { return fonts_ + L"\\" + name; }
  // The system's powershell.exe, with both scripts put beside the program;
  // empty when the prefix has no powershell.exe.
  std::wstring PowerShellWithScripts() {
    const std::wstring powershell = PowerShellOf(engine_);
    if (powershell.empty()) return {};
    WriteFileBytes(dir_ / L"Add-Font.ps1", "");
    WriteFileBytes(dir_ / L"Remove-Font.ps1", "");
    return powershell;
  }

  testing_support::TempDir dir_{L"font"};
  const std::wstring tag_ = L"nvfont" + std::to_wstring(GetCurrentProcessId());
  std::shared_ptr<ScriptStarts> starts_ = std::make_shared<ScriptStarts>();
  EngineUnderTest engine_{dir_ / L"app", starts_};
  std::shared_ptr<FakeFontsShell> shell_ = std::make_shared<FakeFontsShell>();
  std::wstring fonts_;
};

TEST_F(FontsTest, RemovalTakesOnlyTheExactFileAndItsValues) {
  ASSERT_FALSE(fonts_.empty());
  WriteFileBytes(InFonts(tag_ + L".ttf"), "font");
  WriteFileBytes(InFonts(tag_ + L"Bold.ttf"), "bold");
  SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf");
  SetFontValue(tag_ + L" Upper", L"  " + tag_ + L".TTF");
  SetFontValue(tag_ + L" Sans Bold (TrueType)", tag_ + L"Bold.ttf");
  SetFontValue(tag_ + L" Path", L"C:\\other\\" + tag_ + L".ttf");
  SetFontValue(tag_ + L" Inside", L"x" + tag_ + L".ttf");
  // The cache by the name the removal uses: a 32-bit test on 64-bit Windows
  // reaches SysWOW64 through it, exactly as the 32-bit product does.
  const std::wstring cache = L"C:\\Windows\\system32\\FNTCACHE.DAT";
  WriteFileBytes(cache, "cache");

  FontServices fonts = Services();
  int16_t deleted = -1;
  EXPECT_TRUE(vbRemoveFont(fonts, tag_ + L".ttf", L"", &deleted));
  EXPECT_EQ(2, deleted);
  EXPECT_FALSE(Exists(InFonts(tag_ + L".ttf")));
  EXPECT_TRUE(Exists(InFonts(tag_ + L"Bold.ttf")));
  EXPECT_FALSE(HasFontValue(tag_ + L" Sans (TrueType)"));
  EXPECT_FALSE(HasFontValue(tag_ + L" Upper"));
  EXPECT_TRUE(HasFontValue(tag_ + L" Sans Bold (TrueType)"));
  EXPECT_TRUE(HasFontValue(tag_ + L" Path"));
  EXPECT_TRUE(HasFontValue(tag_ + L" Inside"));
  EXPECT_FALSE(Exists(cache));

  // Nothing left to remove: no cache deletion, nothing counted.
  WriteFileBytes(cache, "cache");
  EXPECT_TRUE(vbRemoveFont(fonts, tag_ + L".ttf", L"", &deleted));
  EXPECT_EQ(0, deleted);
  EXPECT_TRUE(Exists(cache));
  DeleteFileW(cache.c_str());
  // A name that reaches out of the Fonts folder removes nothing.
  WriteFileBytes(dir_ / L"victim.ttf", "x");
  EXPECT_FALSE(vbRemoveFont(fonts, L"..\\..\\" + (dir_ / L"victim.ttf").substr(3)));
  EXPECT_TRUE(Exists(dir_ / L"victim.ttf"));
  EXPECT_FALSE(vbRemoveFont(fonts, L" "));
}

TEST_F(FontsTest, TheRegistryLayerListsReadsAndDeletes) {
  SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf");
  WmiFontRegistry registry;
  std::vector<IFontRegistry::ValueName> values;
  ASSERT_TRUE(registry.EnumValues(&values));
  bool listed = false;
  for (const auto& value : values) {
    if (value.name == tag_ + L" Sans (TrueType)") listed = value.type == REG_SZ;
  }
  EXPECT_TRUE(listed);
  std::wstring data;
  EXPECT_TRUE(registry.GetStringValue(tag_ + L" Sans (TrueType)", &data));
  EXPECT_EQ(tag_ + L".ttf", data);
  EXPECT_TRUE(registry.DeleteValue(tag_ + L" Sans (TrueType)"));
  EXPECT_FALSE(HasFontValue(tag_ + L" Sans (TrueType)"));
  EXPECT_FALSE(registry.DeleteValue(tag_ + L" Sans (TrueType)"));
  EXPECT_FALSE(registry.GetStringValue(tag_ + L" Sans (TrueType)", &data));
}

TEST_F(FontsTest, TheInstallVerbRouteIsVerified) {
  const std::wstring source = dir_ / (tag_ + L".ttf");
  WriteFileBytes(source, "new font");
  // An earlier registration of the same file goes first.
  SetFontValue(tag_ + L" Upper", tag_ + L".ttf");
  std::wstring message = L"stale";
  EXPECT_TRUE(vbInstallFont(*engine_.context, source, message)) << message;
  EXPECT_EQ(L"", message);
  EXPECT_EQ(-1, engine_.state->RestartNeeded);
  EXPECT_EQ("new font", testing_support::ReadFileBytes(InFonts(tag_ + L".ttf")));
  EXPECT_FALSE(HasFontValue(tag_ + L" Upper"));
  EXPECT_EQ(std::vector<std::wstring>{dir_.Path() + L"|" + tag_ + L".ttf"}, shell_->calls);

  // A verb that reports success and does nothing is a failure.
  DeleteFileW(InFonts(tag_ + L".ttf").c_str());
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kFontsKey, (tag_ + L" Sans (TrueType)").c_str());
  engine_.state->RestartNeeded = 0;
  shell_->installs = false;
  EXPECT_FALSE(vbInstallFont(*engine_.context, source, message));
  EXPECT_NE(std::wstring::npos, message.find(L"レジストリにフォントを登録できませんでした！"));
  EXPECT_EQ(0, engine_.state->RestartNeeded);
  EXPECT_FALSE(vbInstallFont(*engine_.context, L" ", message));
  EXPECT_EQ(L"ファイルを指定して下さい！", message);
}

TEST_F(FontsTest, ThePowerShellRoutesCheckTheirScriptsFirst) {
  FontServices fonts = Services();
  std::wstring message;
  EXPECT_FALSE(CheckAddFontScript(fonts, message));
  EXPECT_EQ(L"PowerShellコマンドファイル(Add-Font.ps1）が存在しません！", message);
  EXPECT_FALSE(CheckRemoveFontScript(fonts, message));
  EXPECT_EQ(L"PowerShellコマンドファイル(Remove-Font.ps1）が存在しません！", message);
  EXPECT_FALSE(vbAddFontByPowerShell(fonts, dir_ / L"a.ttf", message));
  EXPECT_EQ(L"PowerShellコマンドファイル(Add-Font.ps1）が存在しません！", message);
  EXPECT_FALSE(vbAddFontByPowerShell(fonts, L"", message));
  EXPECT_EQ(L"ファイルを指定して下さい！", message);
  EXPECT_FALSE(vbRemoveFontByPowerShell(fonts, L" ", message));
  EXPECT_EQ(L"フォント名を指定して下さい！", message);
  EXPECT_FALSE(vbRemoveFontByPowerShell(fonts, L"..\\x.ttf", message));

  // An installed font needs no run at all.
  WriteFileBytes(dir_ / L"Add-Font.ps1", "");
  WriteFileBytes(InFonts(tag_ + L".ttf"), "font");
  SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf");
  EXPECT_TRUE(vbAddFontByPowerShell(fonts, dir_ / (tag_ + L".ttf"), message));
  EXPECT_EQ(L"フォントは既にインストールされています。", message);
}

TEST_F(FontsTest, ThePowerShellScriptsAreRunAndTheirWorkVerified) {
  FontServices fonts = Services();
  const std::wstring powershell = PowerShellWithScripts();
  if (powershell.empty()) GTEST_SKIP() << "this prefix has no powershell.exe";
  const std::wstring source = dir_ / (tag_ + L".ttf");
  WriteFileBytes(source, "font");
  std::wstring message;
  ASSERT_TRUE(CheckAddFontScript(fonts, message)) << message;

  // A script that copies but does not register has not installed the font.
  starts_->script = [&] { CopyFileW(source.c_str(), InFonts(tag_ + L".ttf").c_str(), FALSE); };
  EXPECT_FALSE(vbAddFontByPowerShell(fonts, source, message));
  EXPECT_EQ(L"レジストリにフォントを登録できませんでした！", message);
  EXPECT_EQ((std::vector<std::wstring>{L"\"" + powershell + L"\" -ExecutionPolicy unrestricted " +
                                       L"-NoProfile -NonInteractive -File \"" +
                                       (dir_ / L"Add-Font.ps1") + L"\" \"" + source + L"\"|6"}),
            starts_->starts);
  starts_->script = [&] { SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf"); };
  EXPECT_TRUE(vbAddFontByPowerShell(fonts, source, message));
  EXPECT_EQ(L"", message);

  // A removal script that leaves the font behind is finished by the routine.
  starts_->starts.clear();
  starts_->script = nullptr;
  EXPECT_TRUE(vbRemoveFontByPowerShell(fonts, tag_ + L".ttf", message)) << message;
  EXPECT_EQ((std::vector<std::wstring>{L"\"" + powershell + L"\" -ExecutionPolicy unrestricted " +
                                       L"-NoProfile -NonInteractive -File \"" +
                                       (dir_ / L"Remove-Font.ps1") + L"\" \"" + tag_ +
                                       L".ttf\"|6"}),
            starts_->starts);
  EXPECT_FALSE(Exists(InFonts(tag_ + L".ttf")));
  EXPECT_FALSE(HasFontValue(tag_ + L" Sans (TrueType)"));
}

// The scripts leave the font table to the program: a font the script put in
// place and registered is loaded and the running programs are told; a font
// to remove is unloaded before the script starts, as a loaded font holds
// its file, which the script deletes, and the programs are told after it.
TEST_F(FontsTest, TheProgramChangesTheFontTableAroundTheScripts) {
  FontServices fonts = Services();
  const std::wstring powershell = PowerShellWithScripts();
  if (powershell.empty()) GTEST_SKIP() << "this prefix has no powershell.exe";
  const std::wstring source = dir_ / (tag_ + L".ttf");
  const std::wstring installed = InFonts(tag_ + L".ttf");
  WriteFileBytes(source, "font");
  std::wstring message;

  // Not registered, so not installed: nothing loaded.
  starts_->script = [&] { CopyFileW(source.c_str(), installed.c_str(), FALSE); };
  EXPECT_FALSE(vbAddFontByPowerShell(fonts, source, message));
  EXPECT_TRUE(shell_->calls.empty());
  starts_->script = [&] { SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf"); };
  EXPECT_TRUE(vbAddFontByPowerShell(fonts, source, message)) << ToAnsi(message);
  EXPECT_EQ((std::vector<std::wstring>{L"add|" + installed, L"broadcast"}), shell_->calls);
  // Installed already: nothing runs, nothing is loaded twice.
  shell_->calls.clear();
  EXPECT_TRUE(vbAddFontByPowerShell(fonts, source, message));
  EXPECT_TRUE(shell_->calls.empty());

  std::vector<std::wstring> atStart;
  starts_->script = [&] { atStart = shell_->calls; };
  EXPECT_TRUE(vbRemoveFontByPowerShell(fonts, tag_ + L".ttf", message)) << ToAnsi(message);
  EXPECT_EQ(std::vector<std::wstring>{L"remove|" + installed}, atStart);
  EXPECT_EQ((std::vector<std::wstring>{L"remove|" + installed, L"broadcast"}), shell_->calls);
  EXPECT_FALSE(Exists(installed));

  // A table that held nothing, or took nothing: no one is told, and the
  // routes answer as before.
  shell_->calls.clear();
  shell_->inTable = false;
  starts_->script = [&] {
    CopyFileW(source.c_str(), installed.c_str(), FALSE);
    SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf");
  };
  EXPECT_TRUE(vbAddFontByPowerShell(fonts, source, message)) << ToAnsi(message);
  starts_->script = nullptr;
  EXPECT_TRUE(vbRemoveFontByPowerShell(fonts, tag_ + L".ttf", message)) << ToAnsi(message);
  EXPECT_EQ((std::vector<std::wstring>{L"add|" + installed, L"remove|" + installed}),
            shell_->calls);

  // A removal whose script cannot start leaves the font installed, and the
  // running programs get it back.
  shell_->inTable = true;
  starts_->script = [&] {
    CopyFileW(source.c_str(), installed.c_str(), FALSE);
    SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf");
  };
  ASSERT_TRUE(vbAddFontByPowerShell(fonts, source, message)) << ToAnsi(message);
  shell_->calls.clear();
  starts_->refusal = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(vbRemoveFontByPowerShell(fonts, tag_ + L".ttf", message));
  starts_->refusal = ERROR_SUCCESS;
  EXPECT_EQ((std::vector<std::wstring>{L"remove|" + installed, L"add|" + installed,
                                       L"broadcast"}),
            shell_->calls);
  EXPECT_TRUE(Exists(installed));
}

// Windows PowerShell 5.1 compiles the C# of an Add-Type in TEMP, and an
// elevated run's TEMP is the account's own, where its unelevated programs
// may rewrite the code before it is loaded; the stand-in compiles there as
// 5.1 does. With the shipped scripts nothing arrives there, and the font
// still reaches GDI and leaves it again through the program's own calls.
// Wine's font table is the process's, so this process sees what the
// routines loaded. The Fonts value lies in the key both registry views share.
TEST(FontScriptsTest, TheShippedScriptsCompileNothingAndTheProgramLoadsTheFont) {
  testing_support::TempDir dir(L"fontgdi");
  EngineUnderTest engine(dir / L"app");
  if (PowerShellOf(engine).empty()) GTEST_SKIP() << "this prefix has no powershell.exe";
  engine.context->seams.programFolder = dir.Path();
  for (const std::wstring script : {L"Add-Font.ps1", L"Remove-Font.ps1"}) {
    ASSERT_TRUE(CopyFileW(ShippedScript(script).c_str(), (dir / script).c_str(), FALSE));
  }
  const std::wstring family = L"Norvale Engine Face";
  const std::wstring name = L"nvface" + std::to_wstring(GetCurrentProcessId()) + L".ttf";
  const std::wstring installed =
      engine.state->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS) + L"\\" + name;
  ASSERT_TRUE(CopyFileW((TestProgramFolder() + L"\\NvEngineFace.ttf").c_str(),
                        (dir / name).c_str(), FALSE));
  struct Cleanup {
    ~Cleanup() {
      for (int i = 0; i < 8 && RemoveFontResourceW(file.c_str()); ++i) {
      }
      DeleteFileW(file.c_str());
      RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kFontsKey, value.c_str());
    }
    std::wstring file, value;
  } cleanup{installed, family + L" (TrueType)"};
  ASSERT_FALSE(FontFamilyKnown(family));

  FontServices fonts = FontServicesOf(*engine.context);
  const testing_support::RedirectedTemp temp(dir / L"temp");
  std::wstring message;
  EXPECT_TRUE(vbAddFontByPowerShell(fonts, dir / name, message)) << ToAnsi(message);
  EXPECT_EQ(std::vector<std::wstring>{}, temp.Entries());
  EXPECT_TRUE(FontFamilyKnown(family));
  EXPECT_TRUE(HasFontValue(family + L" (TrueType)"));

  EXPECT_TRUE(vbRemoveFontByPowerShell(fonts, name, message)) << ToAnsi(message);
  EXPECT_EQ(std::vector<std::wstring>{}, temp.Entries());
  EXPECT_FALSE(FontFamilyKnown(family));
  EXPECT_FALSE(Exists(installed));
  EXPECT_FALSE(HasFontValue(family + L" (TrueType)"));
}

// A name that is no plain font file name never reaches a script: it would
// be joined to the Fonts folder, and a record any user may edit would choose
// what the administrator's PowerShell is handed.
TEST_F(FontsTest, AHostileNameIsRefusedBeforeAnyStart) {
  FontServices fonts = Services();
  const std::wstring powershell = PowerShellWithScripts();
  if (powershell.empty()) GTEST_SKIP() << "this prefix has no powershell.exe";
  for (const std::wstring& name :
       {std::wstring(L"nvy.ttf;ri -r -fo (gi ~)"), std::wstring(L"CON.ttf"),
        std::wstring(L"a.ttf."), std::wstring(L"-File.ttf"), std::wstring(L"nv*.ttf"),
        std::wstring(L"nv.ps1")}) {
    const std::string shown = ToAnsi(name);
    std::wstring message;
    EXPECT_FALSE(vbRemoveFontByPowerShell(fonts, name, message)) << shown;
    EXPECT_EQ(L"フォント名を指定して下さい！", message) << shown;
    EXPECT_FALSE(vbAddFontByPowerShell(fonts, dir_ / name, message)) << shown;
    EXPECT_EQ(L"ファイルを指定して下さい！", message) << shown;
    EXPECT_FALSE(vbInstallFont(*engine_.context, dir_ / name, message)) << shown;
    EXPECT_EQ(L"ファイルを指定して下さい！", message) << shown;
    EXPECT_FALSE(vbRemoveFont(fonts, name)) << shown;
  }
  EXPECT_TRUE(starts_->starts.empty());
  EXPECT_TRUE(shell_->calls.empty());
}

// The scripts meet the stand-in for Windows PowerShell in the test prefix
// (Wine's own runs nothing), which splits its command line by the Windows
// rules as PowerShell does and notes what arrived. The program folder and
// the font name each hold blanks, and the name "$(...)" too: each arrives
// as one literal argument of the script.
TEST(FontScriptsTest, EachNameArrivesAsOneArgumentOfTheScript) {
  testing_support::TempDir dir(L"fontrun");
  EngineUnderTest engine(dir / L"app");
  if (PowerShellOf(engine).empty()) GTEST_SKIP() << "this prefix has no powershell.exe";
  const std::wstring program = dir / L"Program Files (x86)";
  CreateDirectoryW(program.c_str(), nullptr);
  CreateDirectoryW((program + L"\\Norvale").c_str(), nullptr);
  engine.context->seams.programFolder = program + L"\\Norvale";
  WriteFileBytes(program + L"\\Norvale\\Add-Font.ps1", "");
  WriteFileBytes(program + L"\\Norvale\\Remove-Font.ps1", "");
  const std::wstring log = dir / L"powershell.log";
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", log.c_str());

  const std::wstring name =
      L"nv" + std::to_wstring(GetCurrentProcessId()) + L" Mono $(ri -r -fo (gi ~)).ttf";
  const std::wstring source = program + L"\\" + name;
  WriteFileBytes(source, "not a font");
  FontServices fonts = FontServicesOf(*engine.context);
  std::wstring message;
  EXPECT_FALSE(vbAddFontByPowerShell(fonts, source, message));
  EXPECT_TRUE(vbRemoveFontByPowerShell(fonts, name, message)) << ToAnsi(message);
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", nullptr);

  const std::wstring lines = ReadUtf8(log);
  const std::wstring start = L"[-ExecutionPolicy] [unrestricted] [-NoProfile] [-NonInteractive] ";
  EXPECT_EQ(start + L"[-File] [" + program + L"\\Norvale\\Add-Font.ps1] [" + source + L"]\r\n" +
                start + L"[-File] [" + program + L"\\Norvale\\Remove-Font.ps1] [" + name + L"]\r\n",
            lines);
}

// The elevated call runs no profile of the account and asks nothing: the
// stand-in runs a profile as Windows PowerShell does unless told not to,
// and notes it.
TEST(FontScriptsTest, TheScriptsRunWithoutProfileOrQuestions) {
  testing_support::TempDir dir(L"fontprof");
  EngineUnderTest engine(dir / L"app");
  if (PowerShellOf(engine).empty()) GTEST_SKIP() << "this prefix has no powershell.exe";
  engine.context->seams.programFolder = dir.Path();
  ASSERT_TRUE(CopyFileW(ShippedScript(L"Remove-Font.ps1").c_str(),
                        (dir / L"Remove-Font.ps1").c_str(), FALSE));
  const PlantedProfile profile;
  const std::wstring log = dir / L"powershell.log";
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", log.c_str());
  const std::wstring name = L"nvprofile" + std::to_wstring(GetCurrentProcessId()) + L".ttf";
  FontServices fonts = FontServicesOf(*engine.context);
  std::wstring message;
  EXPECT_TRUE(vbRemoveFontByPowerShell(fonts, name, message)) << ToAnsi(message);
  SetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", nullptr);
  EXPECT_EQ(L"[-ExecutionPolicy] [unrestricted] [-NoProfile] [-NonInteractive] [-File] [" +
                (dir / L"Remove-Font.ps1") + L"] [" + name + L"]\r\n",
            ReadUtf8(log));
}

// Windows PowerShell 5.1 reads a value name handed to Remove-ItemProperty as
// a pattern, and so does the stand-in: the shipped script must take the
// Fonts value by its exact name. Both values lie in the program's own view
// of the Fonts key, which is shared, so the stand-in's delete in the 64-bit
// view reaches them in both builds; they are put back as they were.
TEST(FontScriptsTest, TheRemovalScriptTakesOnlyTheValueOfThatName) {
  testing_support::TempDir dir(L"fontpat");
  EngineUnderTest engine(dir / L"app");
  if (PowerShellOf(engine).empty()) GTEST_SKIP() << "this prefix has no powershell.exe";
  engine.context->seams.programFolder = dir.Path();
  ASSERT_TRUE(CopyFileW(ShippedScript(L"Remove-Font.ps1").c_str(),
                        (dir / L"Remove-Font.ps1").c_str(), FALSE));
  const std::wstring tag = L"NvFoo" + std::to_wstring(GetCurrentProcessId());
  const testing_support::SavedRegValue pattern(HKEY_LOCAL_MACHINE, kFontsKey,
                                               tag + L"* (TrueType)");
  const testing_support::SavedRegValue other(HKEY_LOCAL_MACHINE, kFontsKey,
                                             tag + L" Bar (TrueType)");
  pattern.SetText(tag + L"star.ttf");
  other.SetText(tag + L"bar.ttf");

  FontServices fonts = FontServicesOf(*engine.context);
  std::wstring message;
  EXPECT_TRUE(vbRemoveFontByPowerShell(fonts, tag + L"star.ttf", message)) << ToAnsi(message);
  EXPECT_FALSE(pattern.Text());
  EXPECT_EQ(other.Text(), tag + L"bar.ttf");
}

// A font that came with Windows is never removed, whatever spelling of its
// name reaches the removal. Windows protects such files; Wine protects
// nothing, so the test's seam answers for the font as Windows does.
TEST_F(FontsTest, WindowsOwnFontsAreNeverRemoved) {
  engine_.protectedFiles->Protect(InFonts(tag_ + L".ttf"));
  WriteFileBytes(InFonts(tag_ + L".ttf"), "windows");
  SetFontValue(tag_ + L" Sans (TrueType)", tag_ + L".ttf");
  WriteFileBytes(dir_ / L"Remove-Font.ps1", "");
  FontServices fonts = Services();

  for (const std::wstring& name : {tag_ + L".ttf", tag_ + L".TTF", tag_ + L".ttf."}) {
    EXPECT_FALSE(vbRemoveFont(fonts, name)) << name;
    std::wstring message;
    EXPECT_FALSE(vbRemoveFontByPowerShell(fonts, name, message)) << name;
  }
  EXPECT_TRUE(starts_->starts.empty());
  EXPECT_TRUE(shell_->calls.empty());
  EXPECT_EQ("windows", testing_support::ReadFileBytes(InFonts(tag_ + L".ttf")));
  EXPECT_TRUE(HasFontValue(tag_ + L" Sans (TrueType)"));

  // Nor does the removal before an installation take its registration,
  // even with the file gone.
  DeleteFileW(InFonts(tag_ + L".ttf").c_str());
  const std::wstring source = dir_ / (tag_ + L".ttf");
  WriteFileBytes(source, "new font");
  std::wstring message;
  vbInstallFont(*engine_.context, source, message);
  EXPECT_TRUE(HasFontValue(tag_ + L" Sans (TrueType)"));
}

// The Install verb route does not remove a font that is there before it
// installs: a verb that then fails would leave the user without it.
TEST_F(FontsTest, TheInstallVerbRouteKeepsAFontThatIsThere) {
  const std::wstring source = dir_ / (tag_ + L".ttf");
  WriteFileBytes(source, "new font");
  WriteFileBytes(InFonts(tag_ + L".ttf"), "the user's");
  SetFontValue(tag_ + L" Upper", tag_ + L".ttf");
  shell_->installs = false;

  // Installed (file and registration): answered as the PowerShell route does.
  std::wstring message;
  EXPECT_TRUE(vbInstallFont(*engine_.context, source, message));
  EXPECT_EQ(kFontAlreadyInstalledText, message);
  EXPECT_TRUE(shell_->calls.empty());
  EXPECT_EQ(0, engine_.state->RestartNeeded);

  // Only the file: it stays when the verb fails.
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kFontsKey, (tag_ + L" Upper").c_str());
  EXPECT_FALSE(vbInstallFont(*engine_.context, source, message));
  EXPECT_EQ("the user's", testing_support::ReadFileBytes(InFonts(tag_ + L".ttf")));
}

TEST(FontFilesTest, OneRuleJudgesEveryFontName) {
  for (const wchar_t* name :
       {L"nvpos.ttf", L"A.TTC", L"x.otf", L"x.woff", L"x.eot", L"Nv Test Mono.ttf",
        L"メイリオ.ttc", L"CONSOLE.ttf", L"nvz$(ri -r -fo (gi ~)).ttf", L"a;b.ttf"}) {
    EXPECT_TRUE(IsFontFileName(name)) << ToAnsi(name);
  }
  for (const std::wstring& name :
       {std::wstring(L""), std::wstring(L"nvy.ttf;ri -r -fo (gi ~)"), std::wstring(L"CON.ttf"),
        std::wstring(L"con"), std::wstring(L"nul.ttc"), std::wstring(L"Aux.otf"),
        std::wstring(L"PRN.ttf"), std::wstring(L"COM1.ttf"), std::wstring(L"lpt9.eot"),
        std::wstring(L"CON .ttf"), std::wstring(L"a*.ttf"), std::wstring(L"a?.ttf"),
        std::wstring(L"a\tb.ttf"), std::wstring(L"a\x7f.ttf"), std::wstring(L"."),
        std::wstring(L".."), std::wstring(L"a.ttf."), std::wstring(L"a.ttf "),
        std::wstring(L" a.ttf"), std::wstring(L".ttf"), std::wstring(L"a"),
        std::wstring(L"a.exe"), std::wstring(L"a.ps1"), std::wstring(L"..\\a.ttf"),
        std::wstring(L"f\\a.ttf"), std::wstring(L"f/a.ttf"), std::wstring(L"C:a.ttf"),
        std::wstring(L"a.ttf:s"), std::wstring(L"a\"b.ttf"), std::wstring(L"-File.ttf"),
        std::wstring(L"a.ｔｔｆ"), std::wstring(L"a.ttf\0.exe", 11)}) {
    EXPECT_FALSE(IsFontFileName(name)) << ToAnsi(name);
  }
}

// A left-out download keeps its err line under its own number: the next
// font, one the machine had before, is none of the product's.
TEST(FontFilesTest, TheRecordsFontsPairEachErrLineByItsNumber) {
  testing_support::TempDir dir(L"fr");
  const std::wstring fonts = L"C:\\Windows\\Fonts";
  std::wstring text;
  for (const std::wstring& line : std::vector<std::wstring>{
           L"[Download]", LeftOutNote(L"src001"), L"err001=", L"src002=/f/nvbefore.ttf",
           L"dst002=" + fonts + L"\\nvbefore.ttf", L"err002=" + FontWasThereNote(),
           L"src003=/f/nvours.ttf", L"dst003=" + fonts + L"\\nvours.ttf", L"err003="}) {
    text += line + L"\r\n";
  }
  WriteFileBytes(dir / L"Setup.log", ToAnsi(text));
  EXPECT_EQ(std::vector<std::wstring>{L"nvours.ttf"},
            ProductFontsOfRecord(dir / L"Setup.log", fonts));
}

TEST(FontFilesTest, ExistenceNeedsAPath) {
  std::wstring message = L"stale";
  EXPECT_FALSE(vbFileExists(L" ", message));
  EXPECT_EQ(L"ファイルパスが指定されていません！", message);
  testing_support::TempDir dir(L"fe");
  WriteFileBytes(dir / L"a.ttf", "");
  EXPECT_TRUE(vbFileExists(dir / L"a.ttf", message));
  EXPECT_EQ(L"", message);
  EXPECT_FALSE(vbFileExists(dir / L"b.ttf", message));
}

}  // namespace
