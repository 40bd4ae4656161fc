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

// UTF-7, UTF-8 and the stateful code pages refuse both the flag and the
// default-character question; UTF-8 holds every character anyway, and the
// round trip below still judges the others.
bool TakesNoBestFitFlag(unsigned int codePage) {
  const UINT cp = codePage == 0 ? GetACP() : codePage;
  return !(cp == CP_UTF7 || cp == CP_UTF8 || (cp >= 50220 && cp <= 50229) || cp == 52936 ||
           cp == 54936 || (cp >= 57002 && cp <= 57011) || cp == 42);
}

std::string NoBestFitBytes(std::wstring_view text, unsigned int codePage, bool* usedDefault) {
  if (text.empty()) return {};
  const bool flagged = TakesNoBestFitFlag(codePage);
  const DWORD flags = flagged ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL defaulted = FALSE;
  BOOL* ask = flagged ? &defaulted : nullptr;
  const int n = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, ask);
  if (n <= 0) {
    if (usedDefault) *usedDefault = true;
    return {};
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, ask);
  if (usedDefault) *usedDefault = defaulted != FALSE;
  return out;
}

}  // namespace

std::optional<std::string> ToAnsiExact(std::wstring_view text, unsigned int codePage) {
  bool defaulted = false;
  std::string bytes = NoBestFitBytes(text, codePage, &defaulted);
  // The round trip catches what the flag lets through where a system maps a
  // character to bytes that read back as another one.
  if (defaulted || FromAnsi(bytes, codePage) != text) return std::nullopt;
  return bytes;
}

std::string ToAnsiNoBestFit(std::wstring_view text, unsigned int codePage) {
  return NoBestFitBytes(text, codePage, nullptr);
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
