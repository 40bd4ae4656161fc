#include "EngineSupport.h"

#include <oleauto.h>

#include <vector>

#include "DeleteGuard.h"
#include "Text.h"

namespace norvale::engine {

bool DeleteFileGuarded(const std::wstring& path, std::wstring* why) {
  if (why) why->clear();
  const std::wstring refusal = DeleteRefusal(path);
  if (!refusal.empty()) {
    if (why) *why = L"削除できません（" + refusal + L"）: " + path;
    return false;
  }
  const StepDone deleted = DeleteGuardedFile(path);
  if (deleted) return true;
  if (why) *why = SystemErrorText(deleted.Error().code);
  return false;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool EndsWithIgnoreCase(std::wstring_view text, std::wstring_view tail) {
  return text.size() >= tail.size() && EqualsIgnoreCase(text.substr(text.size() - tail.size()), tail);
}

size_t FindIgnoreCase(std::wstring_view text, std::wstring_view part) {
  if (part.size() > text.size()) return std::wstring_view::npos;
  for (size_t at = 0; at + part.size() <= text.size(); ++at) {
    if (EqualsIgnoreCase(text.substr(at, part.size()), part)) return at;
  }
  return std::wstring_view::npos;
}

Variant::Variant(const std::wstring& text) {
  VariantInit(&v_);
  v_.vt = VT_BSTR;
  v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

Variant::Variant(long number) {
  VariantInit(&v_);
  v_.vt = VT_I4;
  v_.lVal = number;
}

}  // namespace norvale::engine
