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

// COM on the calling thread for as long as this object lives. A thread that
// already runs COM in another model keeps it.
class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  bool Usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { Reset(); }
  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

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
