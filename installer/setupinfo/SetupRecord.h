#pragma once
// What the installer knows about the PC and the product: filled from
// "Start.ini" and the setup information file, then changed by the wizard
// (the user's choices) and the install run (expanded paths).
//
// Lists are arrays used from index 1 with a 16-bit count beside them;
// element 0 exists and stays empty, so index n is the n-th entry.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>


namespace norvale {

// Files from outside can hold any number of lines; a list longer than this
// is refused by its reader rather than filling memory.
constexpr int16_t kMaxListEntries = 10000;

// Starts a list afresh: count 0, only the empty element 0.
template <class Entry>
void ClearList(int16_t& count, std::vector<Entry>& list) {
  count = 0;
  list.assign(1, Entry{});
}

// Appends one entry; false (nothing added) once the list holds
// kMaxListEntries.
template <class Entry>
bool AddToList(int16_t& count, std::vector<Entry>& list, Entry entry) {
  if (count >= kMaxListEntries) return false;
  if (list.empty()) list.emplace_back();
  list.resize(static_cast<size_t>(count) + 1);
  list.push_back(std::move(entry));
  ++count;
  return true;
}

struct ServerSettings {
  std::wstring ip;
  int32_t port = 0;
  std::wstring user;
  std::wstring pw;
  std::wstring path;  // server folder
};

struct SelectOptionEntry {
  std::wstring name;     // key in the group's section
  std::wstring caption;  // the option button's caption
  int16_t reserved1 = 0;
  int16_t reserved2 = 0;
  int16_t chosen = 0;        // -1 chosen
  int16_t controlIndex = 0;  // running number over all groups, from 1
};

struct SelectGroupEntry {
  std::wstring name;     // key in [条件], also the group's section name
  std::wstring heading;  // the group's title
  int16_t optionCount = 0;
  std::vector<SelectOptionEntry> options{SelectOptionEntry{}};  // from index 1
};

struct InputItemEntry {
  std::wstring heading;
  std::wstring description1;
  std::wstring description2;
  std::wstring hint;
  std::wstring freeSpaceText;
  int16_t picture = 0;  // 101 folder, 102 program group
  int16_t kind = 0;     // 0 install folder, 1 program group
  std::wstring value;   // proposed, then chosen; item 1 is "{app}"
};

struct CheckItemEntry {
  std::wstring heading;  // 見出し
  std::wstring name;     // 名称: the check box caption
  int16_t checked = 0;
  int16_t initial = 0;   // 初期値
};

struct DownloadEntry {
  std::wstring src;  // server file, or folder when it ends in "/" or "\"
  std::wstring dst;  // local target folder, may hold placeholders
  std::wstring chk;  // condition, empty = always
  int16_t IsFolder = 0;
  int16_t IsTemp = 0;  // dst holds "{tmp}"
};

struct ShortCutEntry {
  std::wstring dir;
  std::wstring nam;
  std::wstring exe;
  std::wstring ico;
  std::wstring arg;
  std::wstring wrk;
  std::wstring chk;
  int32_t style = 0;  // window style
};

struct ApFileLinkEntry {
  std::wstring ext;
  std::wstring id;
  std::wstring name;
  std::wstring path;
  std::wstring chk;
};

struct AutoRunEntry {
  std::wstring id;  // product code or runtime alias; may be empty
  std::wstring exe;
  std::wstring chk;
  std::wstring prm;
};

struct AdminExeEntry {
  std::wstring exe;
  std::wstring chk;
};

// Field order and names as the rest of the installer uses them.
struct SetupRecord {
  std::wstring InstallerVersion;
  int16_t Is64BitWindows = 0;
  OSVERSIONINFOEXW OsVersion{};
  std::wstring WindowsName;
  std::wstring DefaultDrive;
  std::wstring WinDir;
  std::wstring TmpDir;
  std::wstring CommonDesktopDir;
  std::wstring CommonProgramsDir;
  std::wstring StartupDir;
  std::wstring FontsDir;
  int64_t AlertSpaceOnDisk = 0;  // fixed point, four decimals (x 10,000)
  std::wstring InstallFilesList;
  std::wstring UpdatePath;
  std::wstring ExeName;
  int16_t ReplaceCunt = 0;
  ServerSettings StartServer;
  ServerSettings DownloadServer;
  std::wstring UpdateURL;
  std::wstring AppId;
  std::wstring AppName;
  std::wstring AppVerName;
  std::wstring AppPublisher;
  std::wstring DefaultDriveRoot;
  std::wstring DefaultDirName;
  std::wstring DefaultGroupName;
  int16_t SelectGroupCount = 0;
  std::vector<SelectGroupEntry> SelectGroups{SelectGroupEntry{}};
  int16_t SelectOptionSeq = 0;
  int16_t InputItemCount = 0;
  std::vector<InputItemEntry> InputItems{InputItemEntry{}};
  int16_t CheckItemCount = 0;
  std::wstring CheckTitle;
  std::wstring CheckText;
  std::wstring CheckInputText;
  std::wstring CheckFooterText;
  std::vector<CheckItemEntry> CheckItems{CheckItemEntry{}};
  int16_t DownloadCount = 0;
  std::vector<DownloadEntry> DownloadList{DownloadEntry{}};
  std::wstring ProgramGroupDir;
  int16_t ShortCutCount = 0;
  std::vector<ShortCutEntry> ShortCutList{ShortCutEntry{}};
  int16_t ApFileLinkCount = 0;
  std::vector<ApFileLinkEntry> ApFileLinkList{ApFileLinkEntry{}};
  int16_t AutoRunCount = 0;
  std::vector<AutoRunEntry> AutoRunList{AutoRunEntry{}};
  int16_t AdminExeCount = 0;
  std::vector<AdminExeEntry> AdminExeList{AdminExeEntry{}};
  std::wstring ExecuteCmd;
  std::wstring ExecutePrm;
  std::wstring ExecuteDsp;
};

}  // namespace norvale
