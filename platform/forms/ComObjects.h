#pragma once
// Owners for COM: the apartment of the calling thread and interface
// pointers that release themselves. The toolkit decodes pictures through
// COM, and the layers above reach the shell and WMI through it.
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace norvale::forms {

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

}  // namespace norvale::forms
