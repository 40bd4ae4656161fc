// The machine's Fonts registry values through the WMI registry provider,
// with the registry API standing in for a call the provider cannot do.
#include <windows.h>
#include <wbemidl.h>

#include <vector>

#include "EngineSeams.h"
#include "EngineSupport.h"
#include "Text.h"
#include "WinHandles.h"

namespace norvale {

using engine::ComApartment;
using engine::ComPtr;
using engine::Variant;

namespace {

const wchar_t kFontsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr long kHkeyLocalMachine = static_cast<long>(0x80000002u);

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : b_(SysAllocString(text)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  operator BSTR() const { return b_; }

 private:
  BSTR b_;
};

// One call of a StdRegProv method on the Fonts key; the output object when
// the provider ran it and answered 0.
class StdRegProvCall {
 public:
  bool Run(const wchar_t* method, const std::wstring* valueName, ComPtr<IWbemClassObject>& out) {
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWbemLocator, locator.OutVoid())) ||
        !locator) {
      return false;
    }
    ComPtr<IWbemServices> services;
    Bstr ns(L"root\\default");
    if (FAILED(locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.Out())) ||
        !services) {
      return false;
    }
    CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    Bstr className(L"StdRegProv"), methodName(method);
    ComPtr<IWbemClassObject> provider, signature, in;
    if (FAILED(services->GetObject(className, 0, nullptr, provider.Out(), nullptr)) || !provider) {
      return false;
    }
    if (FAILED(provider->GetMethod(method, 0, signature.Out(), nullptr)) || !signature ||
        FAILED(signature->SpawnInstance(0, in.Out())) || !in) {
      return false;
    }
    Variant root(kHkeyLocalMachine);
    Variant key{std::wstring(kFontsKey)};
    if (FAILED(in->Put(L"hDefKey", 0, &root.Get(), 0)) ||
        FAILED(in->Put(L"sSubKeyName", 0, &key.Get(), 0))) {
      return false;
    }
    if (valueName) {
      Variant name(*valueName);
      if (FAILED(in->Put(L"sValueName", 0, &name.Get(), 0))) return false;
    }
    if (FAILED(services->ExecMethod(className, methodName, 0, nullptr, in.Get(), out.Out(),
                                    nullptr)) ||
        !out) {
      return false;
    }
    Variant result;
    if (FAILED(out->Get(L"ReturnValue", 0, result.Out(), nullptr, nullptr))) return false;
    return SUCCEEDED(VariantChangeType(&result.Get(), &result.Get(), 0, VT_I4)) &&
           result.Get().lVal == 0;
  }

 private:
  ComApartment com_;
};

// The output array of a method: nothing when the provider gave none (an
// empty key), false when the output is not an array of that type.
bool ReadNames(IWbemClassObject* out, std::vector<std::wstring>* names) {
  Variant value;
  if (FAILED(out->Get(L"sNames", 0, value.Out(), nullptr, nullptr))) return false;
  if (value.Get().vt == VT_NULL || value.Get().vt == VT_EMPTY) return true;
  if (value.Get().vt != (VT_ARRAY | VT_BSTR)) return false;
  SAFEARRAY* array = value.Get().parray;
  LONG low = 0, high = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high))) {
    return false;
  }
  for (LONG i = low; i <= high; ++i) {
    BSTR element = nullptr;
    if (FAILED(SafeArrayGetElement(array, &i, &element))) return false;
    names->push_back(element ? std::wstring(element, SysStringLen(element)) : L"");
    SysFreeString(element);
  }
  return true;
}

bool ReadTypes(IWbemClassObject* out, std::vector<DWORD>* types) {
  Variant value;
  if (FAILED(out->Get(L"Types", 0, value.Out(), nullptr, nullptr))) return false;
  if (value.Get().vt == VT_NULL || value.Get().vt == VT_EMPTY) return true;
  if (value.Get().vt != (VT_ARRAY | VT_I4) && value.Get().vt != (VT_ARRAY | VT_UI4)) return false;
  SAFEARRAY* array = value.Get().parray;
  LONG low = 0, high = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high))) {
    return false;
  }
  for (LONG i = low; i <= high; ++i) {
    LONG element = 0;
    if (FAILED(SafeArrayGetElement(array, &i, &element))) return false;
    types->push_back(static_cast<DWORD>(element));
  }
  return true;
}

RegKey OpenFontsKey(REGSAM access) {
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontsKey, 0, access, key.Put()) != ERROR_SUCCESS) return {};
  return key;
}

}  // namespace

bool WmiFontRegistry::EnumValues(std::vector<ValueName>* values) {
  return engine::OrFailure(false, [&] {
    values->clear();
    {
      StdRegProvCall call;
      ComPtr<IWbemClassObject> out;
      std::vector<std::wstring> names;
      std::vector<DWORD> types;
      if (call.Run(L"EnumValues", nullptr, out) && ReadNames(out.Get(), &names) &&
          ReadTypes(out.Get(), &types) && names.size() == types.size()) {
        for (size_t i = 0; i < names.size(); ++i) values->push_back({names[i], types[i]});
        return true;
      }
    }
    RegKey fonts = OpenFontsKey(KEY_READ);
    if (!fonts) return false;
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0;; ++i) {
      DWORD chars = static_cast<DWORD>(name.size()), type = 0;
      const LSTATUS status =
          RegEnumValueW(fonts.Get(), i, name.data(), &chars, nullptr, &type, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) return true;
      if (status != ERROR_SUCCESS) return false;
      values->push_back({std::wstring(name.data(), chars), type});
    }
  });
}

bool WmiFontRegistry::GetStringValue(const std::wstring& name, std::wstring* data) {
  return engine::OrFailure(false, [&] {
    {
      StdRegProvCall call;
      ComPtr<IWbemClassObject> out;
      Variant value;
      if (call.Run(L"GetStringValue", &name, out) &&
          SUCCEEDED(out->Get(L"sValue", 0, value.Out(), nullptr, nullptr)) &&
          value.Get().vt == VT_BSTR) {
        *data = std::wstring(value.Get().bstrVal, SysStringLen(value.Get().bstrVal));
        return true;
      }
    }
    RegKey fonts = OpenFontsKey(KEY_READ);
    if (!fonts) return false;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(fonts.Get(), name.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
      return false;
    }
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(fonts.Get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS) {
      return false;
    }
    *data = CutAtNull(std::wstring_view(buffer.data(), buffer.size()));
    return true;
  });
}

bool WmiFontRegistry::DeleteValue(const std::wstring& name) {
  return engine::OrFailure(false, [&] {
    {
      StdRegProvCall call;
      ComPtr<IWbemClassObject> out;
      if (call.Run(L"DeleteValue", &name, out)) return true;
    }
    RegKey fonts = OpenFontsKey(KEY_SET_VALUE);
    return fonts && RegDeleteValueW(fonts.Get(), name.c_str()) == ERROR_SUCCESS;
  });
}

}  // namespace norvale
