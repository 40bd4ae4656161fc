#pragma once
// The FTP client's record of one listed, local or downloaded file.
#include <cstdint>
#include <string>

#include "OleDate.h"

struct DirInfo {
  bool IsFolder = false;
  std::wstring FileId;    // name without any path
  std::wstring Dir;       // server folder ending "/", or the local folder
  std::wstring Reserve;   // always empty
  std::wstring FilePath;  // full local path; empty for server entries
  int32_t FileSize = 0;   // low 32 bits of the size
  norvale::OleDate UpDate;  // last write as local time; date 0 when unknown
};
