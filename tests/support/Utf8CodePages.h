#pragma once
// A Windows that uses UTF-8 for every language ("Use Unicode UTF-8 for
// worldwide language support"): its ANSI, OEM, Mac and thread code pages
// are all 65001. As that Windows does, and Wine does not, it refuses on
// UTF-8 every flag but WC_ERR_INVALID_CHARS, on UTF-7 every flag, and on
// both the default-character question; a symbolic code page handed to it
// is resolved as it resolves one. Wine cannot run a prefix so.
#include <windows.h>

#include "Text.h"

namespace testing_support {

class Utf8CodePages final : public norvale::ICodePages {
 public:
  unsigned int Resolved(unsigned int codePage) const override {
    return codePage <= CP_THREAD_ACP ? CP_UTF8 : codePage;
  }
  int ToBytes(unsigned int codePage, unsigned long flags, const wchar_t* text, int length,
              char* bytes, int size, int* usedDefault) const override {
    const unsigned int page = Resolved(codePage);
    if (page == CP_UTF8 || page == CP_UTF7) {
      const unsigned long allowed = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
      if ((flags & ~allowed) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
      }
      if (usedDefault) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
    }
    return WideCharToMultiByte(page, flags, text, length, bytes, size, nullptr, usedDefault);
  }
};

}  // namespace testing_support
