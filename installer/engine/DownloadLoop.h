#pragma once
// The install run's download step: every entry of the download list whose
// condition holds comes from the FTP server (a folder tree, a zip archive
// unpacked into its folder, a font installed into Windows, or a plain file),
// with the retry and stop questions, the record's [Download] section, the
// gauge, and the check of what arrived.
#include <cstdint>
#include <string>
#include <vector>

#include "InstallRun.h"
#include "OleDate.h"

namespace norvale {

struct FileListEntry {
  int16_t flag = 0;
  std::wstring name;
  std::wstring folder;
  std::wstring path;
  int32_t size = 0;
  OleDate date;
};

// -1 when the final check ran and passed, else 0; InstallAborted tells the
// caller whether the run must stop.
int16_t DownloadFiles(InstallRun& run);
int32_t CountDownloadTargets(InstallRun& run);
int16_t IsAlreadyDone(const std::vector<std::wstring>& doneSources,
                      const std::vector<std::wstring>& doneDestinations,
                      const std::wstring& src, const std::wstring& dst);
int16_t ClearFolder(InstallRun& run, const std::wstring& folder);
int32_t AddFolderToCheckList(InstallRun& run, const std::wstring& folder);
int32_t GetFolderFileList(const std::wstring& folder, std::vector<FileListEntry>& list,
                          int16_t recurse);

}  // namespace norvale
