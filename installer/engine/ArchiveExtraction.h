#pragma once
// Unpacking a downloaded zip archive into its destination (through the
// archive DLL when it is there, else through the shell's zip folder) and
// copying files and folder trees.
#include <cstdint>
#include <optional>
#include <string>

#include "EngineContext.h"
#include "FolderAccess.h"
#include "InstallTree.h"

namespace norvale {

// Unpacks into a folder of its own below TEMP (the Windows folder's when
// elevated; made new, closed to everyone but this run's side) and copies the
// contents of the archive's first top-level folder to dest. The archive DLL and the shell
// write by name, so they never write into a folder that other users may
// swap for a link. An archive that has anything for the install folder's
// "Uninst" (or "Uninst" itself) is copied nowhere. Progress texts go to
// label when one is given; on failure errText names the reason.
bool ExtractZipFolder(EngineContext& engine, const std::wstring& zip, const std::wstring& dest,
                      std::wstring& errText, ICaption* label);
bool ExtractArchive(EngineContext& engine, const std::wstring& archive, std::wstring dest);
bool UnzipByShell(EngineContext& engine, const std::wstring& zip, std::wstring dest);
bool ExtractZip(EngineContext& engine, const std::wstring& zip, const std::wstring& dest,
                std::wstring& errText, ICaption* label);
// The copies write into a destination that tree holds through it: each
// folder opened from the install folder without following a link, each file
// made beside its target and put in place through its folder's handle.
bool CopyFolderContents(const std::wstring& source, const std::wstring& dest,
                        ITreeWrites* tree = nullptr);
bool vbCopyFile(const std::wstring& source, const std::wstring& destination, bool overwrite,
                bool destinationIsFile, std::wstring& errText, ITreeWrites* tree = nullptr);
bool vbCopyFolder(const std::wstring& source, const std::wstring& destination, bool overwrite,
                  std::wstring& errText, ITreeWrites* tree = nullptr);
// A new folder of this run's own below TEMP (the Windows folder's when
// elevated), made with a list that keeps every other program out, held from
// then on; the unpacking's folder. Nothing when it cannot be made so.
std::optional<HeldEntry> MakePrivateWorkFolder(IFolderAccess& access);
// 0 nothing, 1 an existing file, 2 an existing folder.
int32_t GetPathKind(const std::wstring& path);

}  // namespace norvale
