#pragma once
// "Start.ini" beside the installer: the server of the setup information,
// the update check's folder and address, read into the setup record; the
// settings codec its values may be stored in; and three small utilities
// both programs use.
#include <cstdint>
#include <string>
#include <vector>

#include "InstallerState.h"
#include "Text.h"

namespace norvale {

// Reads "Start.ini" into the record; always -1. Values that cannot be used
// leave their default and a line in ErrText.
int16_t LoadStartIni(InstallerState& state);

// The codec: one signed decimal number closed by ":" per character, the
// character's ANSI code XOR the key character at its position. A value that
// does not decode gives "" and sets *failed. Encoding gives "" for a text
// with a character the ANSI code page (as pages tells it) cannot hold in
// one or two bytes.
std::wstring DecodeIniValue(const std::wstring& text, const std::wstring& key,
                            bool* failed = nullptr);
std::wstring EncodeIniValue(const std::wstring& text, const std::wstring& key,
                            const ICodePages& pages = SystemCodePages());

// Splits a comma-separated line into fields (1-based, element 0 empty);
// double-quoted fields may hold commas. Returns the count, 0 on failure.
int16_t SplitCsvLine(std::vector<std::wstring>& fields, const std::wstring& line);
std::wstring TrimQuotes(const std::wstring& text);
std::wstring GetFirstDriveRoot(IDriveFacts& drives);
std::wstring GetFirstDriveRoot(InstallerState& state);

// The Windows facts and special folders both start-up readers fill.
void ReadWindowsFacts(InstallerState& state);
void ReadSpecialFolders(InstallerState& state);
// "ApName Installer Ver 1.2.03" for the caption.
std::wstring InstallerCaption(const InstallerState& state, const std::wstring& name);

}  // namespace norvale
