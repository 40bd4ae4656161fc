#pragma once
// Unpacking a downloaded zip archive into its destination (through the
// archive DLL when it is there, else through the shell's zip folder) and
// copying files and folder trees.
#include <cstdint>
#include <string>

#include "EngineContext.h"

namespace norvale {

// Unpacks into "pp1_temp" beside the archive and copies the contents of the
// archive's first top-level folder to dest. Progress texts go to label when
// one is given; on failure errText names the reason.
bool ExtractZipFolder(EngineContext& engine, const std::wstring& zip, const std::wstring& dest,
                      std::wstring& errText, ICaption* label);
bool ExtractArchive(EngineContext& engine, const std::wstring& archive, std::wstring dest);
bool UnzipByShell(EngineContext& engine, const std::wstring& zip, std::wstring dest);
bool ExtractZip(EngineContext& engine, const std::wstring& zip, const std::wstring& dest,
                std::wstring& errText, ICaption* label);
bool CopyFolderContents(const std::wstring& source, const std::wstring& dest);
bool vbCopyFile(const std::wstring& source, const std::wstring& destination, bool overwrite,
                bool destinationIsFile, std::wstring& errText);
bool vbCopyFolder(const std::wstring& source, const std::wstring& destination, bool overwrite,
                  std::wstring& errText);
// 0 nothing, 1 an existing file, 2 an existing folder.
int32_t GetPathKind(const std::wstring& path);

}  // namespace norvale
