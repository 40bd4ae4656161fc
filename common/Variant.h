#pragma once
// The loosely typed value that the number, date and automation members take:
// an automation VARIANT owned by this object, copied and cleared with it.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>

namespace norvale {

class Variant {
 public:
  Variant() { VariantInit(&value_); }  // the empty value
  Variant(bool v);
  Variant(uint8_t v);
  Variant(int16_t v);
  Variant(int32_t v);
  Variant(double v);
  Variant(const wchar_t* v);
  Variant(const std::wstring& v);
  explicit Variant(const VARIANT& v);
  static Variant Null();
  // A currency held as the amount times 10,000.
  static Variant Currency(int64_t scaled);
  static Variant Date(double oleDate);

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant other) noexcept;
  ~Variant() { VariantClear(&value_); }

  VARTYPE Type() const { return value_.vt; }
  bool IsEmpty() const { return value_.vt == VT_EMPTY; }
  const VARIANT& Raw() const { return value_; }
  // Clears the value and hands out the place for a call to fill.
  VARIANT* Put();
  int64_t CurrencyScaled() const { return value_.cyVal.int64; }
  std::wstring Text() const;

 private:
  VARIANT value_;
};

}  // namespace norvale
