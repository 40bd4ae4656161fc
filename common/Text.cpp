#include "Text.h"

#include <windows.h>

#include <vector>

namespace norvale {

std::string ToAnsi(std::wstring_view text, unsigned int codePage) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                              nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

namespace {

// The code page a locale names for what; the ANSI one where it names none
// (a locale with Unicode only).
unsigned int LocaleCodePage(LCID locale, LCTYPE what) {
  DWORD codePage = 0;
  if (GetLocaleInfoW(locale, what | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&codePage),
                     sizeof codePage / sizeof(wchar_t)) == 0 ||
      codePage <= CP_THREAD_ACP) {
    return GetACP();
  }
  return codePage;
}

class WindowsCodePages final : public ICodePages {
 public:
  unsigned int Resolved(unsigned int codePage) const override {
    switch (codePage) {
      case CP_ACP:
        return GetACP();
      case CP_OEMCP:
        return GetOEMCP();
      case CP_MACCP:
        return LocaleCodePage(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTMACCODEPAGE);
      case CP_THREAD_ACP:
        return LocaleCodePage(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE);
      default:
        return codePage;
    }
  }
  int ToBytes(unsigned int codePage, unsigned long flags, const wchar_t* text, int length,
              char* bytes, int size, int* usedDefault) const override {
    return WideCharToMultiByte(codePage, flags, text, length, bytes, size, nullptr, usedDefault);
  }
};

// UTF-7, UTF-8 and the stateful code pages (cp resolved) refuse both the
// flag and the default-character question; UTF-8 holds every character
// anyway, and the round trip still judges the others.
bool TakesNoBestFitFlag(unsigned int cp) {
  return !(cp == CP_UTF7 || cp == CP_UTF8 || (cp >= 50220 && cp <= 50229) || cp == 52936 ||
           cp == 54936 || (cp >= 57002 && cp <= 57011) || cp == 42);
}

// The bytes in the resolved code page, never with a flag or a question that
// code page refuses.
std::string NoBestFitBytes(std::wstring_view text, unsigned int codePage, const ICodePages& pages,
                           bool* usedDefault) {
  if (usedDefault) *usedDefault = false;
  if (text.empty()) return {};
  const bool flagged = TakesNoBestFitFlag(codePage);
  const unsigned long flags = flagged ? WC_NO_BEST_FIT_CHARS : 0;
  int defaulted = FALSE;
  int* ask = flagged ? &defaulted : nullptr;
  const int length = static_cast<int>(text.size());
  const int n = pages.ToBytes(codePage, flags, text.data(), length, nullptr, 0, ask);
  if (n <= 0) {
    if (usedDefault) *usedDefault = true;
    return {};
  }
  std::string out(static_cast<size_t>(n), '\0');
  if (pages.ToBytes(codePage, flags, text.data(), length, out.data(), n, ask) != n) {
    if (usedDefault) *usedDefault = true;
    return {};
  }
  if (usedDefault) *usedDefault = defaulted != FALSE;
  return out;
}

}  // namespace

const ICodePages& SystemCodePages() {
  static const WindowsCodePages pages;
  return pages;
}

std::optional<std::string> ToAnsiExact(std::wstring_view text, unsigned int codePage,
                                       const ICodePages& pages) {
  const unsigned int resolved = pages.Resolved(codePage);
  bool defaulted = false;
  std::string bytes = NoBestFitBytes(text, resolved, pages, &defaulted);
  // The round trip catches what the flag lets through where a system maps a
  // character to bytes that read back as another one, and judges alone
  // where the flag is refused.
  if (defaulted || FromAnsi(bytes, resolved) != text) return std::nullopt;
  return bytes;
}

std::string ToAnsiNoBestFit(std::wstring_view text, unsigned int codePage,
                            const ICodePages& pages) {
  return NoBestFitBytes(text, pages.Resolved(codePage), pages, nullptr);
}

std::wstring FromAnsi(std::string_view bytes, unsigned int codePage) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                              nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

int AnsiByteLength(std::wstring_view text) {
  if (text.empty()) return 0;
  return WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                             0, nullptr, nullptr);
}

std::wstring Trim(std::wstring_view text) {
  size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring_view::npos) return {};
  size_t last = text.find_last_not_of(L' ');
  return std::wstring(text.substr(first, last - first + 1));
}

bool IsBlank(std::wstring_view text) {
  return text.find_first_not_of(L' ') == std::wstring_view::npos;
}

std::wstring CutAtNull(std::wstring_view text) {
  size_t nul = text.find(L'\0');
  return std::wstring(nul == std::wstring_view::npos ? text : text.substr(0, nul));
}

bool TextEqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  return CompareStringW(LOCALE_USER_DEFAULT,
                        NORM_IGNORECASE | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH, a.data(),
                        static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::wstring BeforeLast(std::wstring_view text, wchar_t separator) {
  const size_t sep = text.rfind(separator);
  return std::wstring(sep == std::wstring_view::npos ? std::wstring_view() : text.substr(0, sep));
}

std::wstring AfterLast(std::wstring_view text, wchar_t separator) {
  const size_t sep = text.rfind(separator);
  return std::wstring(sep == std::wstring_view::npos ? text : text.substr(sep + 1));
}

std::wstring ReplaceAll(std::wstring_view text, std::wstring_view what, std::wstring_view with) {
  if (what.empty()) return std::wstring(text);
  std::wstring result;
  size_t at = 0;
  for (size_t hit; (hit = text.find(what, at)) != std::wstring_view::npos; at = hit + what.size()) {
    result.append(text.substr(at, hit - at)).append(with);
  }
  return result.append(text.substr(at));
}

std::wstring UpperCased(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace norvale

namespace norvale {

std::wstring ArgumentsOfCommandLine(std::wstring_view commandLine) {
  size_t i = 0;
  while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
  if (i < commandLine.size() && commandLine[i] == L'"') {
    const size_t close = commandLine.find(L'"', i + 1);
    i = close == std::wstring_view::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
  }
  while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
  return std::wstring(commandLine.substr(i));
}

std::optional<std::wstring> QuotedArgument(std::wstring_view argument) {
  if (argument.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  std::wstring quoted = L"\"";
  // Backslashes are literal unless a quote follows them: before an inner
  // quote and before the closing one, each is doubled.
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

}  // namespace norvale

namespace norvale {

int HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

std::wstring HexOfByte(unsigned char byte) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  return std::wstring{kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

}  // namespace norvale
