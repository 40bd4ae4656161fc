#pragma once
// The shortcut step of the installation: one ".lnk" per complete entry of
// the shortcut list whose condition holds, each journalled in "Setup.log";
// on Windows 10 and later a Startup-folder program starts through a logon
// command file in the install folder.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "EngineContext.h"
#include "Text.h"

namespace norvale {

bool CreateShortCuts(EngineContext& engine);
int32_t CountShortCuts(const SetupRecord& record);
bool MakeShortCut(InstallerState& state, const std::wstring& folder, const std::wstring& name,
                  const std::wstring& target, const std::wstring& icon,
                  const std::wstring& description, const std::wstring& workDir,
                  const std::wstring& arguments, int32_t style);
// A command file is written in the ANSI code page and read by the command
// interpreter in the OEM one: true when both hold the text exactly as the
// same bytes. 0 and CP_OEMCP (1) are the machine's, as pages tells them.
bool CommandInterpreterReadsExactly(const std::wstring& text, unsigned int ansiCodePage = 0,
                                    unsigned int oemCodePage = 1,
                                    const ICodePages& pages = SystemCodePages());
// The program's path as a logon command file may name it: the command
// interpreter reads the file in the OEM code page, and a look-alike there
// starts another program. The path itself when both code pages hold it as
// the same bytes, else its 8.3 short form when that reads alike, else
// nothing (no command file is made). 0 and CP_OEMCP are the machine's.
std::optional<std::wstring> CommandFileProgramPath(const std::wstring& exePath,
                                                   unsigned int ansiCodePage = 0,
                                                   unsigned int oemCodePage = 1,
                                                   const ICodePages& pages = SystemCodePages());
// The code pages the run's command files are judged by: the Windows facts'
// when the run has them, else the system's.
const ICodePages& CodePagesOf(InstallerState& state);
// Written in the machine's ANSI code page, as pages tells it. A logon
// command file runs at every user's logon: below the install folder of the
// run in state it is made anew through the run's install tree, with a list
// that lets only administrators change it, in place of whatever had the
// name, and the record says what it got (through record when given, else
// at once); elsewhere, or without a run, it is written by name.
bool MakeStartupCmdFile(const std::wstring& folder, const std::wstring& fileName,
                        const std::wstring& exePath,
                        const ICodePages& pages = SystemCodePages(),
                        InstallerState* state = nullptr,
                        std::function<void(const std::wstring&)> record = nullptr);
// The simple condition test: "task" with a check item's number, or a group
// number and an option number; anything else holds.
bool IsTaskOrOptionChosen(const SetupRecord& record, const std::wstring& chk);

}  // namespace norvale
