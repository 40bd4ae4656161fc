#include "RegVariant.h"

#include <windows.h>
#include <oleauto.h>

namespace norvale {

namespace {

// Lets oleaut32 turn a number or date into text, as the user's locale writes
// it.
std::wstring AutomationText(VARIANT& source, USHORT flags) {
  VARIANT text;
  VariantInit(&text);
  std::wstring result;
  if (SUCCEEDED(VariantChangeTypeEx(&text, &source, LOCALE_USER_DEFAULT, flags, VT_BSTR)) &&
      text.bstrVal) {
    result.assign(text.bstrVal, SysStringLen(text.bstrVal));
  }
  VariantClear(&text);
  return result;
}

struct TextOf {
  std::wstring operator()(std::monostate) const { return L""; }
  std::wstring operator()(const std::wstring& text) const { return text; }
  std::wstring operator()(const RegBytes& bytes) const {
    // A byte array read as text holds two bytes per character.
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return text;
  }
  std::wstring operator()(bool value) const {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return AutomationText(v, VARIANT_ALPHABOOL);
  }
  std::wstring operator()(uint8_t value) const { return std::to_wstring(value); }
  std::wstring operator()(int16_t value) const { return std::to_wstring(value); }
  std::wstring operator()(int32_t value) const { return std::to_wstring(value); }
  std::wstring operator()(RegCurrency value) const {
    VARIANT v;
    v.vt = VT_CY;
    v.cyVal.int64 = value.scaled;
    return AutomationText(v, 0);
  }
  std::wstring operator()(double value) const {
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = value;
    return AutomationText(v, 0);
  }
  std::wstring operator()(OleDate value) const {
    VARIANT v;
    v.vt = VT_DATE;
    v.date = value.Value();
    return AutomationText(v, 0);
  }
};

}  // namespace

std::wstring RegVariantText(const RegVariant& value) { return std::visit(TextOf{}, value); }

}  // namespace norvale
