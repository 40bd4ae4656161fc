#include "ZipCommand.h"

#include <windows.h>

#include "ZipFormat.h"

namespace sevenzip {

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> tokens;
  std::wstring token;
  bool inToken = false, quoted = false;
  for (wchar_t c : line) {
    if (c == L'"') {
      quoted = !quoted;
      inToken = true;
    } else if ((c == L' ' || c == L'\t') && !quoted) {
      if (inToken) tokens.push_back(token);
      token.clear();
      inToken = false;
    } else {
      token.push_back(c);
      inToken = true;
    }
  }
  if (inToken) tokens.push_back(token);
  return tokens;
}

bool ZipCommand::Parse(const std::wstring& line) {
  problem_.clear();
  for (const std::wstring& token : SplitCommandLine(line)) {
    if (token.size() > 1 && token[0] == L'-') {
      std::wstring name = token.substr(1);
      if (CompareStringOrdinal(name.c_str(), -1, L"hide", -1, TRUE) == CSTR_EQUAL) {
        hide = true;
      } else if (name == L"y" || name == L"Y") {
        assumeYes = true;
      } else if (CompareStringOrdinal(name.c_str(), -1, L"tzip", -1, TRUE) == CSTR_EQUAL) {
        // zip is the only kind we write
      } else if ((name[0] == L'o' || name[0] == L'O') && name.size() > 1) {
        outputFolder = name.substr(1);
      } else {
        problem_ = "unknown switch " + Narrow(token, CP_ACP);
        return false;
      }
    } else if (verb == 0) {
      if (token == L"x" || token == L"X") {
        verb = L'x';
      } else if (token == L"a" || token == L"A") {
        verb = L'a';
      } else {
        problem_ = "unknown command " + Narrow(token, CP_ACP);
        return false;
      }
    } else if (archive.empty()) {
      archive = token;
    } else {
      files.push_back(token);
    }
  }
  if (verb == 0 || archive.empty()) {
    problem_ = "usage: x <archive> -o<folder> | a -tzip <archive> <files>";
    return false;
  }
  if (verb == L'x' && !files.empty()) {
    problem_ = "extraction takes one archive and no file names";
    return false;
  }
  if (verb == L'a' && (files.empty() || !outputFolder.empty())) {
    problem_ = "nothing to add";
    return false;
  }
  return true;
}

}  // namespace sevenzip
