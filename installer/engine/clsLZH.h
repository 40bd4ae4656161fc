#pragma once
// Drives the two command-line archive DLLs of one family: 7-zip32.dll for
// zip archives and Unlha32.dll for LHA archives. Callers write every command
// in the LHA DLL's style; a command that names a zip archive is translated
// for 7-zip32.dll. Each DLL is bound by name on its first use and stays
// bound while the object lives.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Seams.h"

class clsLZH {
 public:
  // The names the DLLs are loaded by (the system's search for libraries
  // applies to a bare name; a full path loads that file). The clock dates
  // the backup archives.
  explicit clsLZH(std::wstring sevenZipLibrary = L"7-zip32.dll",
                  std::wstring unlhaLibrary = L"Unlha32.dll",
                  std::shared_ptr<norvale::IClock> clock = std::make_shared<norvale::SystemClock>());
  ~clsLZH();
  clsLZH(const clsLZH&) = delete;
  clsLZH& operator=(const clsLZH&) = delete;

  std::wstring GetFileID(const std::wstring& File_Path);
  bool LHA_LzhAddFiles(const std::wstring& strSw, const std::wstring& strLzhName,
                       const std::wstring& strFiles, bool IsCursDisplayOn = false,
                       int32_t lngFileMode = 0);
  bool LHA_UnLha(const std::wstring& strCommanad, bool IsCursDisplayOn = false);
  bool IsLzhFileOK(const std::wstring& strLzhPathd);
  int32_t CompDelFiles(int32_t CompMode, const std::wstring& strFilePath,
                       const std::wstring& strCompFilePath, bool IsCompFileAdd = false,
                       bool IsCursDisplayOn = false);

  // The pieces of a command between blanks; a double-quoted stretch is part
  // of its piece whatever blanks it holds, and the quotes stay in it.
  static std::vector<std::wstring> SplitCommandTokens(const std::wstring& command);

 private:
  std::wstring GetParentPath(const std::wstring& path);
  bool IsZipFileOK(const std::wstring& path);
  bool ZipAddFiles(const std::wstring& switches, const std::wstring& archive,
                   const std::wstring& files, bool IsCursDisplayOn);
  bool ZipExtract(const std::wstring& command, bool IsCursDisplayOn);
  bool IsZipFile(const std::wstring& path);

  struct ArchiveDll;
  // Cursor mode 0 and background mode 1, then the command; false when the
  // DLL or its function is missing, the command cannot be given to it
  // unchanged, or the DLL answers non-zero.
  bool RunCommand(ArchiveDll& dll, const std::wstring& command, size_t bufferChars);
  bool CheckArchive(ArchiveDll& dll, const std::wstring& path);

  std::shared_ptr<norvale::IClock> clock_;
  std::unique_ptr<ArchiveDll> sevenZip_;
  std::unique_ptr<ArchiveDll> unlha_;
};
