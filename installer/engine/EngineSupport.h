#pragma once
// Small tools the engine's procedures share: statements that may fail
// without stopping their procedure, deletes through the guard, COM objects
// that release themselves, and the text tests the procedures repeat.
#include <windows.h>
#include <objbase.h>

#include <string>
#include <string_view>
#include <utility>

#include "SetupText.h"
#include "System.h"
#include "forms/ComObjects.h"

namespace norvale::engine {

// The one helper for statements that may fail, shared with the setup
// information's procedures; OrFailure is its form for a whole procedure.
using norvale::SkipOnFailure;

template <class Result, class Body>
Result OrFailure(Result failure, Body&& body) noexcept {
  return ValueOrOnFailure(std::move(failure), std::forward<Body>(body));
}

// Deletes one file after the delete guard agreed. On failure *why says why
// (the guard's reason or the system's description).
bool DeleteFileGuarded(const std::wstring& path, std::wstring* why = nullptr);

// The running program's folder, from the common functions.
using norvale::ProgramFolder;

using norvale::SystemErrorText;

bool EndsWithIgnoreCase(std::wstring_view text, std::wstring_view tail);
// Position of the first occurrence of part in text, letter case of ASCII and
// other cased letters ignored; npos when absent.
size_t FindIgnoreCase(std::wstring_view text, std::wstring_view part);
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

// COM on the thread and COM objects that release themselves.
using forms::ComApartment;
using forms::ComPtr;

// A VARIANT that clears itself.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  explicit Variant(const std::wstring& text);
  explicit Variant(long number);
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* Out() {
    VariantClear(&v_);
    return &v_;
  }
  VARIANT& Get() { return v_; }

 private:
  VARIANT v_;
};

}  // namespace norvale::engine
