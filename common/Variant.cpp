#include "Variant.h"

#include <utility>

namespace norvale {

Variant::Variant(bool v) : Variant() {
  value_.vt = VT_BOOL;
  value_.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
}
Variant::Variant(uint8_t v) : Variant() {
  value_.vt = VT_UI1;
  value_.bVal = v;
}
Variant::Variant(int16_t v) : Variant() {
  value_.vt = VT_I2;
  value_.iVal = v;
}
Variant::Variant(int32_t v) : Variant() {
  value_.vt = VT_I4;
  value_.lVal = v;
}
Variant::Variant(double v) : Variant() {
  value_.vt = VT_R8;
  value_.dblVal = v;
}
Variant::Variant(const wchar_t* v) : Variant(std::wstring(v ? v : L"")) {}
Variant::Variant(const std::wstring& v) : Variant() {
  value_.bstrVal = SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
  if (value_.bstrVal) value_.vt = VT_BSTR;
}
Variant::Variant(const VARIANT& v) : Variant() {
  if (FAILED(VariantCopy(&value_, const_cast<VARIANT*>(&v)))) VariantInit(&value_);
}
Variant Variant::Null() {
  Variant v;
  v.value_.vt = VT_NULL;
  return v;
}
Variant Variant::Currency(int64_t scaled) {
  Variant v;
  v.value_.vt = VT_CY;
  v.value_.cyVal.int64 = scaled;
  return v;
}
Variant Variant::Date(double oleDate) {
  Variant v;
  v.value_.vt = VT_DATE;
  v.value_.date = oleDate;
  return v;
}
Variant::Variant(const Variant& other) : Variant(other.value_) {}
Variant::Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
Variant& Variant::operator=(Variant other) noexcept {
  std::swap(value_, other.value_);
  return *this;
}
VARIANT* Variant::Put() {
  VariantClear(&value_);
  return &value_;
}

std::wstring Variant::Text() const {
  if (value_.vt == VT_EMPTY || value_.vt == VT_NULL) return L"";
  if (value_.vt == VT_BSTR) return value_.bstrVal ? std::wstring(value_.bstrVal) : L"";
  VARIANT text;
  VariantInit(&text);
  std::wstring out;
  if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value_), VARIANT_ALPHABOOL, VT_BSTR)) &&
      text.bstrVal) {
    out = text.bstrVal;
  }
  VariantClear(&text);
  return out;
}

}  // namespace norvale
