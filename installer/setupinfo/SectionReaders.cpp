#include "SectionReaders.h"

#include <array>
#include <functional>
#include <map>
#include <optional>

#include "Handles.h"
#include "SetupText.h"
#include "Text.h"

namespace norvale {

const wchar_t kSetupInfoOpenFailed[] =
    L"セットアップの為の情報ファイルをOpenできません！\r\n\r\n（セットアップを続行することはできません）";
const wchar_t kSetupInfoReadFailed[] =
    L"セットアップの為の情報ファイル読込みに失敗しました！\r\n\r\n（セットアップを続行することはできません）";

namespace {

// Files larger than this are no setup information; reading stops there as
// a failed read rather than holding it all.
constexpr uint64_t kMaxFileBytes = 32ull * 1024 * 1024;

enum class Scan { Read, OpenFailed, ReadFailed };

// Hands every examined line of the section to `examine`: after the header
// line, up to the next line starting with "[", without ";" comments.
// `opened` runs once the file is open, so a list is only cleared when its
// file can be read.
Scan ScanSection(const std::wstring& path, const std::wstring& section,
                 const std::function<void()>& opened,
                 const std::function<void(const std::wstring&)>& examine) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Scan::OpenFailed;
  opened();
  const std::wstring header = FoldCase(L"[" + section + L"]");
  bool inSection = false, finished = false;
  auto take = [&](const std::string& bytes) {
    if (finished) return;
    const std::wstring line = FromAnsi(bytes);
    if (!inSection) {
      inSection = FoldCase(line.substr(0, header.size())) == header;
    } else if (!line.empty() && line[0] == L'[') {
      finished = true;
    } else if (line.empty() || line[0] != L';') {
      examine(line);
    }
  };
  std::string pending;
  bool lastWasCr = false;
  uint64_t total = 0;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) return Scan::ReadFailed;
    if (got == 0) break;
    total += got;
    if (total > kMaxFileBytes) return Scan::ReadFailed;
    for (DWORD i = 0; i < got && !finished; ++i) {
      const char c = buffer[i];
      if (c == '\n' && lastWasCr) {
        lastWasCr = false;
        continue;
      }
      lastWasCr = c == '\r';
      if (c == '\r' || c == '\n') {
        take(pending);
        pending.clear();
      } else {
        pending.push_back(c);
      }
    }
    if (finished) return Scan::Read;
  }
  if (!pending.empty()) take(pending);
  return Scan::Read;
}

// Runs a scan and words its failure; true when the section was read.
bool ScanWithText(const std::wstring& path, const std::wstring& section, std::wstring& errText,
                  const std::function<void()>& opened,
                  const std::function<void(const std::wstring&)>& examine) {
  const Scan scan = ScanSection(path, section, opened, examine);
  if (scan == Scan::OpenFailed) {
    errText = kSetupInfoOpenFailed;
    return false;
  }
  if (scan == Scan::ReadFailed) {
    errText = kSetupInfoReadFailed;
    return false;
  }
  return true;
}

std::wstring TooManyText(const std::wstring& section) {
  return L"セットアップの為の情報ファイルの[" + section + L"]セクションの項目が多すぎます！（" +
         std::to_wstring(kMaxListEntries) + L"件まで）";
}

// The value of a line: the trimmed text after its first "=".
std::optional<std::wstring> ValueOf(const std::wstring& line) {
  const size_t eq = line.find(L'=');
  if (eq == std::wstring::npos) return std::nullopt;
  return Trim(std::wstring_view(line).substr(eq + 1));
}

// A value cut at ",Windows": the value before it and the Windows name after
// the comma.
struct SuffixedValue {
  std::wstring value;
  std::wstring windows;
};
SuffixedValue SplitWindowsSuffix(const std::wstring& value) {
  const size_t at = value.find(L",Windows");
  if (at == std::wstring::npos) return {value, L""};
  return {Trim(std::wstring_view(value).substr(0, at)),
          Trim(std::wstring_view(value).substr(at + 1))};
}

std::wstring Nth(const std::vector<std::wstring>& values, size_t n) {
  return n < values.size() ? Trim(values[n]) : std::wstring();
}

// Stores gathered records; false (with the text) when the list is full.
template <class Entry>
bool StoreAll(const std::vector<Entry>& gathered, int16_t& count, std::vector<Entry>& list,
              const std::wstring& section, std::wstring& errText) {
  for (const Entry& entry : gathered) {
    if (!AddToList(count, list, entry)) {
      errText = TooManyText(section);
      return false;
    }
  }
  return true;
}

}  // namespace

int16_t ReadSectionValues(const std::wstring& iniPath, const std::wstring& sectionName,
                          int16_t& count, std::vector<std::wstring>& keys,
                          std::vector<std::wstring>& values, std::wstring& errText) {
  count = 0;
  keys.assign(1, std::wstring());
  values.assign(1, std::wstring());
  if (IsBlank(sectionName)) return 0;
  bool full = false;
  bool read = ScanWithText(iniPath, sectionName, errText, [] {}, [&](const std::wstring& line) {
    const size_t eq = line.find(L'=');
    if (eq == std::wstring::npos || full) return;
    if (count >= kMaxListEntries) {
      full = true;
      return;
    }
    keys.push_back(line.substr(0, eq));
    values.push_back(Trim(std::wstring_view(line).substr(eq + 1)));
    ++count;
  });
  if (full) {
    errText = TooManyText(sectionName);
    return 0;
  }
  return read ? -1 : 0;
}

int16_t ReadDownloadSection(InstallerState& state, std::wstring& detail) {
  detail.clear();
  std::wstring srcCondition, dstCondition, currentSrc, currentDst;
  bool waiting = false;
  std::vector<DownloadEntry> pairs;
  auto examine = [&](const std::wstring& line) {
    if (line.find(L'=') == std::wstring::npos) return;
    const std::wstring key = FoldCase(line.substr(0, 3));
    const std::wstring value = *ValueOf(line);
    if (key == L"SRC" && !waiting) {
      srcCondition.clear();
      dstCondition.clear();
      SuffixedValue v = SplitWindowsSuffix(value);
      srcCondition = v.windows;
      if (!v.value.empty() && currentSrc.empty() && IsWindowsCondition(state, srcCondition)) {
        currentSrc = v.value;
        currentDst.clear();
      }
    } else if (key == L"DST" && !waiting) {
      SuffixedValue v = SplitWindowsSuffix(value);
      dstCondition = v.windows;
      if (!v.value.empty() && !currentSrc.empty() && currentDst.empty() &&
          IsWindowsCondition(state, dstCondition) && dstCondition == srcCondition) {
        currentDst = v.value;
        pairs.push_back(DownloadEntry{currentSrc, currentDst, L"", 0, 0});
        waiting = true;
      } else {
        srcCondition.clear();
        dstCondition.clear();
        currentSrc.clear();
        currentDst.clear();
      }
    } else if (key == L"CHK") {
      if (waiting) pairs.back().chk = value;
      srcCondition.clear();
      dstCondition.clear();
      currentSrc.clear();
      currentDst.clear();
      waiting = false;
    }
  };
  bool ok = ScanWithText(state.objSetupIni.IniFilePath(), L"Download", state.ErrText,
                         [&] { ClearList(state.DownloadCount, state.DownloadList); }, examine);
  std::vector<DownloadEntry> entries;
  for (const DownloadEntry& pair : pairs) {
    DownloadEntry entry{Trim(pair.src), Trim(pair.dst), Trim(pair.chk), 0, 0};
    if (entry.src.empty() || entry.dst.empty()) continue;
    entry.IsFolder = (entry.src.back() == L'/' || entry.src.back() == L'\\') ? -1 : 0;
    entry.IsTemp = ContainsNoCase(entry.dst, L"{tmp}") ? -1 : 0;
    entries.push_back(std::move(entry));
  }
  if (!StoreAll(entries, state.DownloadCount, state.DownloadList, L"Download", state.ErrText)) {
    return 0;
  }
  return ok ? -1 : 0;
}

int16_t ReadShortCutSection(InstallerState& state) {
  static const wchar_t* const kKeys[] = {L"DIR", L"EXE", L"NAM", L"ICO", L"ARG", L"WRK", L"CHK"};
  std::vector<std::wstring> lists[7];
  for (auto& list : lists) list.assign(1, std::wstring());
  auto examine = [&](const std::wstring& line) {
    if (line.find(L'=') == std::wstring::npos) return;
    const std::wstring key = FoldCase(line.substr(0, 3));
    for (int k = 0; k < 7; ++k) {
      if (key == kKeys[k]) {
        lists[k].push_back(*ValueOf(line));
        return;
      }
    }
  };
  bool ok = ScanWithText(state.objSetupIni.IniFilePath(), L"ショートカット", state.ErrText,
                         [&] { ClearList(state.ShortCutCount, state.ShortCutList); }, examine);
  const auto& [dirs, exes, nams, icos, args, wrks, chks] = lists;
  std::vector<ShortCutEntry> entries;
  for (size_t n = 1; n < dirs.size(); ++n) {
    if (Nth(dirs, n).empty() || Nth(exes, n).empty()) continue;
    entries.push_back(ShortCutEntry{Nth(dirs, n), Nth(nams, n), Nth(exes, n), Nth(icos, n),
                                    Nth(args, n), Nth(wrks, n), Nth(chks, n), 0});
  }
  if (!StoreAll(entries, state.ShortCutCount, state.ShortCutList, L"ショートカット",
                state.ErrText)) {
    return 0;
  }
  return ok ? -1 : 0;
}

int16_t ReadApFileLinkSection(const std::wstring& iniPath, int16_t& count,
                              std::vector<ApFileLinkEntry>& list, std::wstring& errText) {
  static const wchar_t* const kKeys[] = {L"ext=", L"id=", L"name=", L"path=", L"chk="};
  std::vector<std::wstring> lists[5];
  for (auto& values : lists) values.assign(1, std::wstring());
  auto examine = [&](const std::wstring& line) {
    for (int k = 0; k < 5; ++k) {
      if (ContainsNoCase(line, kKeys[k])) {
        lists[k].push_back(*ValueOf(line));
        return;
      }
    }
  };
  bool ok = ScanWithText(iniPath, L"APファイルリンク", errText,
                         [&] { ClearList(count, list); }, examine);
  const auto& [exts, ids, names, paths, chks] = lists;
  std::vector<ApFileLinkEntry> entries;
  for (size_t n = 1; n < exts.size(); ++n) {
    ApFileLinkEntry entry{Nth(exts, n), Nth(ids, n), Nth(names, n), Nth(paths, n), Nth(chks, n)};
    if (entry.ext.empty() || entry.id.empty() || entry.name.empty() || entry.path.empty()) continue;
    entries.push_back(std::move(entry));
  }
  if (!StoreAll(entries, count, list, L"APファイルリンク", errText)) return 0;
  return ok ? -1 : 0;
}

int16_t ReadAutoRunSection(InstallerState& state) {
  const std::wstring kNullMarker = L"<NULL>";
  std::wstring entryCondition, currentExe, currentId, currentPrm;
  bool open = false;
  std::vector<AutoRunEntry> gathered;
  // id= and prm= lines fill one part of the open entry, once.
  auto fillPart = [&](const std::wstring& value, std::wstring& part) {
    SuffixedValue v = SplitWindowsSuffix(value);
    if (!part.empty() || !open || !IsWindowsCondition(state, v.windows) ||
        v.windows != entryCondition) {
      return;
    }
    part = v.value.empty() ? kNullMarker : v.value;
  };
  auto examine = [&](const std::wstring& line) {
    if (line.find(L'=') == std::wstring::npos) return;
    const std::wstring value = *ValueOf(line);
    if (ContainsNoCase(line, L"exe=")) {
      if (open) return;
      SuffixedValue v = SplitWindowsSuffix(value);
      entryCondition = v.windows;
      if (!v.value.empty() && IsWindowsCondition(state, entryCondition)) {
        currentExe = v.value;
        currentId.clear();
        currentPrm.clear();
        open = true;
      }
    } else if (ContainsNoCase(line, L"id=")) {
      fillPart(value, currentId);
    } else if (ContainsNoCase(line, L"prm=")) {
      fillPart(value, currentPrm);
    } else if (ContainsNoCase(line, L"chk=")) {
      if (open) {
        gathered.push_back(AutoRunEntry{currentId == kNullMarker ? L"" : currentId, currentExe,
                                        value, currentPrm == kNullMarker ? L"" : currentPrm});
      }
      entryCondition.clear();
      currentExe.clear();
      currentId.clear();
      currentPrm.clear();
      open = false;
    }
  };
  bool ok = ScanWithText(state.objSetupIni.IniFilePath(), L"自動実行", state.ErrText,
                         [&] { ClearList(state.AutoRunCount, state.AutoRunList); }, examine);
  std::vector<AutoRunEntry> entries;
  for (const AutoRunEntry& entry : gathered) {
    AutoRunEntry trimmed{Trim(entry.id), Trim(entry.exe), Trim(entry.chk), Trim(entry.prm)};
    if (!trimmed.exe.empty()) entries.push_back(std::move(trimmed));
  }
  if (!StoreAll(entries, state.AutoRunCount, state.AutoRunList, L"自動実行", state.ErrText)) {
    return 0;
  }
  return ok ? -1 : 0;
}

int16_t ReadAdminRightsSection(const std::wstring& iniPath, int16_t& count,
                               std::vector<AdminExeEntry>& list, std::wstring& errText) {
  std::vector<std::wstring> exes(1), chks(1);
  auto examine = [&](const std::wstring& line) {
    if (line.find(L'=') == std::wstring::npos) return;
    if (ContainsNoCase(line, L"exe")) {
      exes.push_back(*ValueOf(line));
    } else if (ContainsNoCase(line, L"chk")) {
      chks.push_back(*ValueOf(line));
    }
  };
  bool ok = ScanWithText(iniPath, L"管理者権限", errText, [&] { ClearList(count, list); }, examine);
  std::vector<AdminExeEntry> entries;
  for (size_t n = 1; n < exes.size(); ++n) {
    if (!Nth(exes, n).empty()) entries.push_back(AdminExeEntry{Nth(exes, n), Nth(chks, n)});
  }
  if (!StoreAll(entries, count, list, L"管理者権限", errText)) return 0;
  return ok ? -1 : 0;
}

namespace {

// The number a record key carries after its three letters, without leading
// zeros; "" when the rest is no plain decimal number. Kept as text: a record
// is outside input, and a number of any length must neither overflow nor
// stand for an index.
std::wstring KeyNumber(const std::wstring& key) {
  const std::wstring rest = Trim(std::wstring_view(key).substr(std::min<size_t>(3, key.size())));
  if (rest.empty()) return {};
  for (wchar_t c : rest) {
    if (c < L'0' || c > L'9') return {};
  }
  const size_t first = rest.find_first_not_of(L'0');
  return first == std::wstring::npos ? std::wstring(L"0") : rest.substr(first);
}

}  // namespace

std::vector<RecordedDownloadLines> PairDownloadRecordLines(const std::vector<std::wstring>& keys,
                                                           const std::vector<std::wstring>& values,
                                                           int16_t count) {
  std::vector<RecordedDownloadLines> entries;
  // How many lines of each key each number has had so far.
  std::map<std::wstring, std::array<size_t, 4>> seen;
  // The entry of the n-th lines of a number.
  std::map<std::pair<std::wstring, size_t>, size_t> entryOf;
  const size_t last = std::min({static_cast<size_t>(count < 0 ? 0 : count),
                                keys.empty() ? 0 : keys.size() - 1,
                                values.empty() ? 0 : values.size() - 1});
  for (size_t i = 1; i <= last; ++i) {
    const std::wstring kind = FoldCase(keys[i].substr(0, 3));
    const int slot = kind == L"SRC"   ? 0
                     : kind == L"DST" ? 1
                     : kind == L"CHK" ? 2
                     : kind == L"ERR" ? 3
                                      : -1;
    if (slot < 0) continue;
    const std::wstring number = KeyNumber(keys[i]);
    const size_t nth = seen[number][static_cast<size_t>(slot)]++;
    const auto [at, added] = entryOf.try_emplace({number, nth}, entries.size());
    if (added) entries.emplace_back();
    RecordedDownloadLines& entry = entries[at->second];
    std::wstring* const parts[] = {&entry.src, &entry.dst, &entry.chk, &entry.err};
    *parts[slot] = values[i];
  }
  return entries;
}

int16_t IsWindowsCondition(IWindowsFacts& windows, const std::wstring& name) {
  if (IsBlank(name)) return -1;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!ValueOrOnFailure(false, [&] { return windows.GetVersion(info); })) return 0;
  const DWORD major = info.dwMajorVersion, minor = info.dwMinorVersion, build = info.dwBuildNumber;
  const std::wstring wanted = FoldCase(Trim(name));
  bool holds = false;
  if (wanted == L"WINDOWS XP") {
    holds = major <= 5;
  } else if (wanted == L"WINDOWS 7") {
    holds = (major == 6 && minor <= 1) || major <= 5;
  } else if (wanted == L"WINDOWS 8.1") {
    holds = (major == 6 && minor <= 3) || major <= 5;
  } else if (wanted == L"WINDOWS 10") {
    holds = (major == 10 && build < 22000) || major <= 8;
  } else if (wanted == L"WINDOWS 11") {
    holds = (major >= 10 && build >= 22000) || major <= 10;
  }
  return holds ? -1 : 0;
}

int16_t ReadSectionValues(InstallerState& state, const std::wstring& sectionName, int16_t& count,
                          std::vector<std::wstring>& keys, std::vector<std::wstring>& values) {
  return ReadSectionValues(state.objSetupIni.IniFilePath(), sectionName, count, keys, values,
                           state.ErrText);
}

int16_t ReadApFileLinkSection(InstallerState& state) {
  return ReadApFileLinkSection(state.objSetupIni.IniFilePath(), state.ApFileLinkCount,
                               state.ApFileLinkList, state.ErrText);
}

int16_t ReadAdminRightsSection(InstallerState& state) {
  return ReadAdminRightsSection(state.objSetupIni.IniFilePath(), state.AdminExeCount,
                                state.AdminExeList, state.ErrText);
}

int16_t IsWindowsCondition(InstallerState& state, const std::wstring& name) {
  return IsWindowsCondition(*state.seams.windows.windows, name);
}

}  // namespace norvale
