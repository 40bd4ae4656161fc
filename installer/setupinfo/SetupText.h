#pragma once
// Small text rules the setup-information readers share: case-blind search
// and replace, the numbers the files may hold, and the checks that every
// name, port and address taken from a file passes before it is used.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvale {

// Upper-cases for comparison only (same length as the text).
std::wstring FoldCase(std::wstring_view text);
// Position of needle in text from `from` on, ignoring case; npos when absent.
size_t FindNoCase(std::wstring_view text, std::wstring_view needle, size_t from = 0);
bool ContainsNoCase(std::wstring_view text, std::wstring_view needle);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
// Every occurrence replaced, ignoring case, scanning left to right.
std::wstring ReplaceAllNoCase(std::wstring_view text, std::wstring_view what,
                              std::wstring_view with);

// A number as the files write it: blanks around, an optional sign, digits
// with at most one decimal point. Nothing for anything else.
std::optional<double> ParseNumber(std::wstring_view text);
// Half to even, as the system's integer conversions round.
std::optional<int16_t> ToInt16(double value);

// A port number: 1 to 65535. Nothing for anything else.
std::optional<uint16_t> ParsePort(std::wstring_view text);

// A bare file name that may be joined to a local folder: not blank, no
// folder separators, drive colons, "..", control characters, and no device
// name (CON, NUL, COM1 ...).
bool IsPlainFileName(std::wstring_view name);
// An address the installer may open: http:// or https:// and no control
// characters.
bool IsWebAddress(std::wstring_view address);
// A text free of control characters (NUL included).
bool HasNoControlCharacters(std::wstring_view text);

// A procedure that goes on when one of its statements fails runs each such
// statement through this: a failure ends only that statement. True when it
// completed.
template <class Statement>
bool SkipOnFailure(Statement&& statement) noexcept {
  try {
    statement();
    return true;
  } catch (...) {
    return false;
  }
}

// The statement's value, or the failure value when it fails.
template <class T, class Statement>
T ValueOrOnFailure(T failureValue, Statement&& statement) noexcept {
  try {
    return statement();
  } catch (...) {
    return failureValue;
  }
}

// Adds a line to the start-up error text, keeping what it already says.
void AppendErrText(std::wstring& errText, const std::wstring& line);

}  // namespace norvale
