#pragma once
// The points where the engine's procedures meet the window's texts, the
// placeholder expansion of the setup information and the shell features
// that Wine lacks. Production uses the real shell; tests put in fakes that
// do what the shell promises.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace norvale {

// A text of the window that a step keeps up to date (a progress label).
class ICaption {
 public:
  virtual ~ICaption() = default;
  virtual void SetCaption(const std::wstring& text) = 0;
};

// Expands the path placeholders ("{app}", "{tmp}", ...) of the setup
// information.
class IPathMacros {
 public:
  virtual ~IPathMacros() = default;
  virtual std::wstring ExpandPathMacros(const std::wstring& text) = 0;
};

// The shell's zip folder: every item of the archive copied into an existing
// folder without dialogs, every question answered yes.
class IShellZipFolder {
 public:
  virtual ~IShellZipFolder() = default;
  // False with the reason in *error when the shell could not do it.
  virtual bool CopyItemsOut(const std::wstring& zip, const std::wstring& folder,
                            std::wstring* error) = 0;
};

// The Fonts folder's shell verbs, and the session's font table, which the
// running programs draw from.
class IFontsFolderShell {
 public:
  virtual ~IFontsFolderShell() = default;
  // The "Install" verb on the file name in its folder.
  virtual bool InvokeInstall(const std::wstring& folder, const std::wstring& name,
                             std::wstring* error) = 0;
  // The file copied into the Fonts folder, every confirmation answered yes.
  virtual bool CopyToFonts(const std::wstring& path, std::wstring* error) = 0;
  // AddFontResourceW of a font file: true when it added a font.
  virtual bool AddToFontTable(const std::wstring& path) = 0;
  // RemoveFontResourceW of a font file until the table holds it no more:
  // true when it took something out.
  virtual bool RemoveFromFontTable(const std::wstring& path) = 0;
  // WM_FONTCHANGE to every top-level window, none waited for long.
  virtual void BroadcastFontChange() = 0;
};

// The string values of the machine's Fonts registry key.
class IFontRegistry {
 public:
  struct ValueName {
    std::wstring name;
    DWORD type = 0;
  };
  virtual ~IFontRegistry() = default;
  virtual bool EnumValues(std::vector<ValueName>* values) = 0;
  virtual bool GetStringValue(const std::wstring& name, std::wstring* data) = 0;
  virtual bool DeleteValue(const std::wstring& name) = 0;
};

std::wstring DefaultProgramFolder();

class SystemShellZipFolder final : public IShellZipFolder {
 public:
  bool CopyItemsOut(const std::wstring& zip, const std::wstring& folder,
                    std::wstring* error) override;
};

class SystemFontsFolderShell final : public IFontsFolderShell {
 public:
  bool InvokeInstall(const std::wstring& folder, const std::wstring& name,
                     std::wstring* error) override;
  bool CopyToFonts(const std::wstring& path, std::wstring* error) override;
  bool AddToFontTable(const std::wstring& path) override;
  bool RemoveFromFontTable(const std::wstring& path) override;
  void BroadcastFontChange() override;
};

// The WMI registry provider StdRegProv; where it cannot do a call (Wine's
// provider has no DeleteValue) the registry API does it instead.
class WmiFontRegistry final : public IFontRegistry {
 public:
  bool EnumValues(std::vector<ValueName>* values) override;
  bool GetStringValue(const std::wstring& name, std::wstring* data) override;
  bool DeleteValue(const std::wstring& name) override;
};

struct EngineSeams {
  // The running program's folder: where the archive DLL and the font
  // scripts are looked for.
  std::wstring programFolder = DefaultProgramFolder();
  std::shared_ptr<IShellZipFolder> zipFolder = std::make_shared<SystemShellZipFolder>();
  std::shared_ptr<IFontsFolderShell> fontsShell = std::make_shared<SystemFontsFolderShell>();
  std::shared_ptr<IFontRegistry> fontRegistry = std::make_shared<WmiFontRegistry>();

  static EngineSeams System() { return EngineSeams{}; }
};

}  // namespace norvale
