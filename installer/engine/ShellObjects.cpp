// The shell's automation object "Shell.Application": its zip folders and
// the Fonts folder's verbs.
#include <windows.h>
#include <shldisp.h>
#include <shlobj.h>

#include "EngineSeams.h"
#include "EngineSupport.h"

namespace norvale {

using engine::ComApartment;
using engine::ComPtr;
using engine::Variant;

namespace {

// Copy options of the shell: 4 no progress dialog, 16 yes to all.
constexpr long kSilentYesToAll = 4 | 16;
constexpr long kYesToAll = 16;

bool Fail(std::wstring* error, const std::wstring& text) {
  if (error) *error = text;
  return false;
}

bool OpenShell(ComPtr<IShellDispatch>& shell, std::wstring* error) {
  const HRESULT hr = CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IShellDispatch, shell.OutVoid());
  if (FAILED(hr) || !shell) return Fail(error, engine::SystemErrorText(static_cast<DWORD>(hr)));
  return true;
}

bool OpenFolder(IShellDispatch* shell, Variant& where, ComPtr<Folder>& folder,
                std::wstring* error) {
  const HRESULT hr = shell->NameSpace(where.Get(), folder.Out());
  if (FAILED(hr) || !folder) {
    return Fail(error, L"フォルダを開けませんでした: " + engine::SystemErrorText(static_cast<DWORD>(hr)));
  }
  return true;
}

}  // namespace

std::wstring DefaultProgramFolder() { return engine::ProgramFolder(); }

bool SystemShellZipFolder::CopyItemsOut(const std::wstring& zip, const std::wstring& folder,
                                        std::wstring* error) {
  return engine::OrFailure(false, [&] {
    ComApartment com;
    ComPtr<IShellDispatch> shell;
    if (!OpenShell(shell, error)) return false;
    Variant zipPath(zip), folderPath(folder);
    ComPtr<Folder> source, target;
    if (!OpenFolder(shell.Get(), zipPath, source, error)) return false;
    if (!OpenFolder(shell.Get(), folderPath, target, error)) return false;
    ComPtr<FolderItems> items;
    if (FAILED(source->Items(items.Out())) || !items) return Fail(error, L"Items");
    Variant what, options(kSilentYesToAll);
    what.Get().vt = VT_DISPATCH;
    what.Get().pdispVal = items.Get();
    items->AddRef();
    const HRESULT hr = target->CopyHere(what.Get(), options.Get());
    if (FAILED(hr)) return Fail(error, engine::SystemErrorText(static_cast<DWORD>(hr)));
    return true;
  });
}

bool SystemFontsFolderShell::InvokeInstall(const std::wstring& folder, const std::wstring& name,
                                           std::wstring* error) {
  return engine::OrFailure(false, [&] {
    ComApartment com;
    ComPtr<IShellDispatch> shell;
    if (!OpenShell(shell, error)) return false;
    Variant folderPath(folder);
    ComPtr<Folder> source;
    if (!OpenFolder(shell.Get(), folderPath, source, error)) return false;
    BSTR fileName = SysAllocString(name.c_str());
    ComPtr<FolderItem> item;
    const HRESULT parsed = source->ParseName(fileName, item.Out());
    SysFreeString(fileName);
    if (FAILED(parsed) || !item) return Fail(error, L"ファイルが見つかりません: " + name);
    Variant verb{std::wstring(L"Install")};
    const HRESULT hr = item->InvokeVerb(verb.Get());
    if (FAILED(hr)) return Fail(error, engine::SystemErrorText(static_cast<DWORD>(hr)));
    return true;
  });
}

bool SystemFontsFolderShell::CopyToFonts(const std::wstring& path, std::wstring* error) {
  return engine::OrFailure(false, [&] {
    ComApartment com;
    ComPtr<IShellDispatch> shell;
    if (!OpenShell(shell, error)) return false;
    Variant fonts(static_cast<long>(CSIDL_FONTS));
    ComPtr<Folder> target;
    if (!OpenFolder(shell.Get(), fonts, target, error)) return false;
    Variant file(path), options(kYesToAll);
    const HRESULT hr = target->CopyHere(file.Get(), options.Get());
    if (FAILED(hr)) return Fail(error, engine::SystemErrorText(static_cast<DWORD>(hr)));
    return true;
  });
}

}  // namespace norvale
