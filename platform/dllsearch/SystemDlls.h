#pragma once
// Keeps the DLLs the programs take from Windows to the system folder. Both
// programs run elevated, often from a folder that other programs of the
// account may write (Downloads, an "Uninst" an earlier version left open):
// a DLL that is no Known DLL would be looked for there first, and a planted
// copy would run elevated before the program's first line.
//
// A program that links this layer imports no such DLL statically: the
// linker resolves them to delayed imports, whose first call comes to the
// hook here, and the load configuration asks Windows 10 1607 and later to
// take whatever remains from the system folder.
#include <windows.h>

namespace norvale::dllsearch {

// Narrows the search of every later load by a bare name to the system
// folder, where the system can (Windows 8 on, Windows 7 with KB2533623).
// The first thing each program's entry does.
void KeepDllSearchToSystemFolder();

// The module the delayed imports bind for a DLL name: the assembly the
// active activation context redirects the name to (the manifest's common
// controls), else the file of that name in the system folder, with its own
// dependencies taken from there. nullptr when there is none or the name
// holds a path.
HMODULE LoadSystemDll(const char* name);

}  // namespace norvale::dllsearch
