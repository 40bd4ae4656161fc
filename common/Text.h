#pragma once
// Text helpers shared by every class: the system's texts are UTF-16 in
// memory and ANSI (code page 932 on the target systems) in files and in the
// byte counts that the fixed-width layouts rely on.
#include <optional>
#include <string>
#include <string_view>

namespace norvale {

// Converts with the system ANSI code page, or with the code page given
// (0 is CP_ACP, the system's).
std::string ToAnsi(std::wstring_view text, unsigned int codePage = 0);
std::wstring FromAnsi(std::string_view bytes, unsigned int codePage = 0);

// How a machine turns text into a code page's bytes: which code page each
// symbolic one stands for (CP_ACP 0, CP_OEMCP 1, CP_MACCP 2, CP_THREAD_ACP
// 3), and WideCharToMultiByte. Where Windows uses UTF-8 for every language,
// ANSI and OEM are 65001, and Windows refuses there the no-best-fit flag
// and the default-character question that other code pages take. Wine
// neither runs a prefix so nor refuses them, so tests put in a machine that
// answers as that Windows does.
class ICodePages {
 public:
  virtual ~ICodePages() = default;
  // The code page a symbolic one stands for; any other is itself.
  virtual unsigned int Resolved(unsigned int codePage) const = 0;
  // WideCharToMultiByte with no default character of the caller's; asks
  // whether the default one was used when usedDefault is given.
  virtual int ToBytes(unsigned int codePage, unsigned long flags, const wchar_t* text, int length,
                      char* bytes, int size, int* usedDefault) const = 0;
};
// This machine's, as Windows answers.
const ICodePages& SystemCodePages();

// The bytes of a text that the code page holds exactly, character for
// character; nothing when it lacks one of them. WideCharToMultiByte's
// default best fit turns such a character into a look-alike ("é" into "e",
// "Ｐ" into "P"): a name written that way names another file, key or value.
// A symbolic code page is resolved first; the code pages that refuse the
// no-best-fit flag (UTF-8, UTF-7 and a few others) are judged by the round
// trip alone.
std::optional<std::string> ToAnsiExact(std::wstring_view text, unsigned int codePage = 0,
                                       const ICodePages& pages = SystemCodePages());
// The text with every character the code page lacks as "?", never a
// look-alike: for what is only read by people (comments, titles).
std::string ToAnsiNoBestFit(std::wstring_view text, unsigned int codePage = 0,
                            const ICodePages& pages = SystemCodePages());
// Bytes the text takes in the ANSI code page.
int AnsiByteLength(std::wstring_view text);

// Trimming removes half-width blanks (U+0020) only; a blank text is one that
// is empty after trimming.
std::wstring Trim(std::wstring_view text);
bool IsBlank(std::wstring_view text);

// The text before the first NUL, as Windows buffers come back.
std::wstring CutAtNull(std::wstring_view text);

// The locale's case-insensitive comparison (also folds width and kana type,
// as a Japanese user expects "ＳＥＴＵＰ" and "setup" to name one thing), for
// texts people read. The file system tells such names apart: paths compare
// with SamePath (Paths.h).
bool TextEqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

bool StartsWith(std::wstring_view text, std::wstring_view prefix);

// The part before the last separator, "" when there is none.
std::wstring BeforeLast(std::wstring_view text, wchar_t separator);
// The part after the last separator, the whole text when there is none.
std::wstring AfterLast(std::wstring_view text, wchar_t separator);

// Every occurrence of `what` replaced by `with`, scanning left to right; an
// empty `what` leaves the text as it is.
std::wstring ReplaceAll(std::wstring_view text, std::wstring_view what, std::wstring_view with);
// The text in upper case as the system maps letters (same length).
std::wstring UpperCased(std::wstring text);

}  // namespace norvale

namespace norvale {

// The arguments of a command line: the text after the program's own path
// (quoted or not) and the blanks that follow it.
std::wstring ArgumentsOfCommandLine(std::wstring_view commandLine);

// One argument written so that a program splitting its command line by the
// Windows rules (CommandLineToArgvW, the C runtime) reads back exactly this
// text as one argument, whatever blanks, quotes, backslashes or characters
// that a shell would act on it holds; always quoted, so an empty text stays
// one argument. Nothing for a text holding a NUL, which no command line can
// carry.
std::optional<std::wstring> QuotedArgument(std::wstring_view argument);

}  // namespace norvale

namespace norvale {

// The value of a hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(wchar_t c);
// Two upper-case hexadecimal digits, high half first.
std::wstring HexOfByte(unsigned char byte);

}  // namespace norvale
