#pragma once
// What Windows lists a font file under: the full name in the file's "name"
// table and the kind that follows it in the Fonts registry value's name.
#include <string>

namespace standins {

class FontFile {
 public:
  // Reads the font's names; false when the file is no TrueType/OpenType font.
  bool Load(const std::wstring& path);
  // "Full Name (TrueType)" or "Full Name (OpenType)".
  std::wstring RegistryValueName() const;

 private:
  std::wstring fullName_;
  bool postscriptOutlines_ = false;
};

}  // namespace standins
