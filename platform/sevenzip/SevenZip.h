#pragma once
// The entry points of our "7-zip32.dll", with the ANSI arguments and the
// calling convention its callers bind them with.
#include <windows.h>

extern "C" {
// Runs one command line; writes a short ANSI message into output (at most
// outputSize bytes, NUL included). 0 means success.
int WINAPI SevenZip(HWND window, LPCSTR commandLine, LPSTR output, DWORD outputSize);
// Non-zero when the archive is sound. Mode 2 and above also unpacks every
// entry into nothing and compares sizes and CRCs; lower modes check the
// layout and the names only.
BOOL WINAPI SevenZipCheckArchive(LPCSTR archivePath, int mode);
// We never show a window or a cursor, so both only answer TRUE.
BOOL WINAPI SevenZipSetCursorMode(BOOL cursorMode);
BOOL WINAPI SevenZipSetBackGroundMode(BOOL backgroundMode);
}
