#pragma once
// A registry value a test changes in the test prefix, put back as it was
// when the test ends: its old type and bytes, or no value when there was
// none. It uses the view given (0: the test program's own, which for the
// shipped 32-bit build on 64-bit Windows is the 32-bit view).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class SavedRegValue {
 public:
  SavedRegValue(HKEY root, std::wstring path, std::wstring name, REGSAM view = 0)
      : root_(root), path_(std::move(path)), name_(std::move(name)), view_(view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_QUERY_VALUE | view_, &key) != ERROR_SUCCESS) {
      return;
    }
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name_.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::vector<BYTE> bytes(size);
      if (RegQueryValueExW(key, name_.c_str(), nullptr, &type, bytes.data(), &size) ==
          ERROR_SUCCESS) {
        bytes.resize(size);
        old_ = Old{type, std::move(bytes)};
      }
    }
    RegCloseKey(key);
  }
  ~SavedRegValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) {
      return;
    }
    if (old_) {
      RegSetValueExW(key, name_.c_str(), 0, old_->type, old_->bytes.data(),
                     static_cast<DWORD>(old_->bytes.size()));
    } else {
      RegDeleteValueW(key, name_.c_str());
    }
    RegCloseKey(key);
  }
  SavedRegValue(const SavedRegValue&) = delete;
  SavedRegValue& operator=(const SavedRegValue&) = delete;

  // Sets the value to a text (REG_SZ) for the test.
  void SetText(const std::wstring& text) const {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view_, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return;
    }
    RegSetValueExW(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  // The value's text now; nothing when it is missing.
  std::optional<std::wstring> Text() const {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    const DWORD flags = RRF_RT_REG_SZ | (view_ == KEY_WOW64_64KEY   ? RRF_SUBKEY_WOW6464KEY
                                         : view_ == KEY_WOW64_32KEY ? RRF_SUBKEY_WOW6432KEY
                                                                    : 0);
    if (RegGetValueW(root_, path_.c_str(), name_.c_str(), flags, nullptr, data, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::wstring(data);
  }

 private:
  struct Old {
    DWORD type;
    std::vector<BYTE> bytes;
  };
  HKEY root_;
  std::wstring path_, name_;
  REGSAM view_;
  std::optional<Old> old_;
};

}  // namespace testing_support
