#pragma once
// The folder an install run writes below, held open from the moment the run
// made it (or made sure of it) until the run ends. Other users may rename
// the folders inside it and put a link in their place while the run writes;
// whatever the run writes there is made through a handle of its folder,
// opened from this root one part at a time without following a link, and a
// folder this run made must still be the one it made.
#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Handles.h"
#include "StepError.h"

namespace norvale {

// What the FTP client and the copies below an install folder write through.
class ITreeWrites {
 public:
  virtual ~ITreeWrites() = default;
  // path (absolute) is the tree's root or lies below it: what is written
  // there goes through the tree.
  virtual bool Holds(const std::wstring& path) const = 0;
  // The folder at `folder`, opened from the root one part at a time, the
  // missing parts made (with what their folder passes down) when make. Why
  // not, when a part is a link, lies elsewhere than its folder lists it, or
  // is not the folder this run made there.
  virtual StepResult<std::shared_ptr<const HeldEntry>> OpenFolder(const std::wstring& folder,
                                                                   bool make) = 0;
  // The file at path (absolute, held by the tree) was just put in place
  // whole, and `file` still holds it as its writer made it: for reading and
  // writing, shared with nobody. The tree may read it through that handle.
  virtual void Arrived(const std::wstring& path, HANDLE file) = 0;
};

// A watched file as it arrived, held for reading and shared only for
// reading (nobody writes, renames or deletes it), with every folder from the
// install folder down to it held so that none of them is renamed or deleted.
struct HeldArrival {
  std::vector<FileHandle> folders;
  FileHandle file;
};

class InstallTree final : public ITreeWrites {
 public:
  // root: the install folder, held open by whoever made sure of it, lying at
  // rootPath; rootMade: this run made it; namedAs: the path the run names it
  // by where a link an administrator set lies on the way (empty: rootPath).
  InstallTree(FileHandle root, std::wstring rootPath, bool rootMade,
              std::wstring namedAs = L"");
  // The tree of an install folder the run could not make (a file has its
  // name, or one on the way to it): everything below namedAs is held and
  // refused (ERROR_CANNOT_MAKE), so that nothing of the run goes there by
  // name whatever takes that name meanwhile.
  static std::shared_ptr<InstallTree> Refusing(std::wstring namedAs);
  bool Refuses() const { return refusing_; }

  // Where the install folder lies.
  const std::wstring& RootPath() const { return root_->path; }
  HANDLE Root() const { return root_->handle.Get(); }
  bool RootMadeByThisRun() const { return rootMade_; }
  // This run made the folder held by `folder`, at path below the root.
  void NoteMade(const std::wstring& path, HANDLE folder);
  // The folder at path is still the one this run made there; for the root,
  // the one the run made or made its own.
  bool StillMadeHere(const std::wstring& path);
  // Lets go of the folders the tree holds open (a folder held open cannot
  // go, nor can what holds it): from then on a folder the run made is
  // reached from the drive's root for each write, and only while it is still
  // the one the run made there (nothing more is made), and StillMadeHere
  // still knows the folders.
  void Release();

  // A file the run uses after it arrived (unpacks, installs, starts it):
  // from now on what arrives at path is noted.
  void Watch(const std::wstring& path);
  // path lies in the install folder by any of its names (after Release too).
  bool Covers(const std::wstring& path) const;
  // The watched file at path exactly as it last arrived: reached from the
  // install folder (after Release from the drive's root, the install folder
  // still the run's), no link on the way, each folder the run made still
  // the one it made, the file the one that arrived with the bytes that
  // arrived (SHA-256). `copy`, when given, receives the bytes as they are
  // read. Why not otherwise.
  StepResult<HeldArrival> OpenArrived(const std::wstring& path, HANDLE copy = nullptr);

  bool Holds(const std::wstring& path) const override;
  StepResult<std::shared_ptr<const HeldEntry>> OpenFolder(const std::wstring& folder,
                                                           bool make) override;
  void Arrived(const std::wstring& path, HANDLE file) override;

 private:
  struct Arrival {
    FileIdentity identity;
    std::array<BYTE, 32> digest;
  };

  // The part of path below the root, as the key of made_; nothing when path
  // lies outside.
  std::optional<std::wstring> KeyOf(const std::wstring& path) const;

  // A folder the run made, reached from the drive's root after Release.
  StepResult<std::shared_ptr<const HeldEntry>> ReachReleased(const std::wstring& relative);

  std::shared_ptr<HeldEntry> root_;
  bool rootMade_;
  bool refusing_ = false;
  bool released_ = false;
  std::wstring namedAs_;
  std::optional<FileIdentity> rootIdentity_;
  std::map<std::wstring, FileIdentity> made_;
  // The folder last asked for: most files of a download go into the folder
  // of the one before.
  std::shared_ptr<HeldEntry> last_;
  std::wstring lastKey_;
  // The watched files (keys as made_'s) and what last arrived there.
  std::map<std::wstring, std::optional<Arrival>> watched_;
};

class IGeneratedFiles;

// A new file of its own in folder for the file to be called `name` there, to
// take that name once whole (PartFileNames). Opened with DELETE access and
// no sharing; made by files when given (with the list it gives), else with
// what the folder passes down.
StepResult<FileHandle> CreatePartFileIn(const HeldEntry& folder, const std::wstring& name,
                                        IGeneratedFiles* files = nullptr);

// Gives file (made in folder, opened with DELETE access) the name `name` in
// folder. A file already there is replaced only when replace is set and the
// delete guard agrees to its delete.
StepDone PlaceInFolder(HANDLE file, const HeldEntry& folder, const std::wstring& name,
                       bool replace);

// Copies the file source into the tree as target (absolute, held by the
// tree): into a new file beside target first, with source's times and
// attributes, which then takes target's place (an existing one only when
// overwrite).
StepDone CopyIntoTree(ITreeWrites& tree, const std::wstring& source, const std::wstring& target,
                      bool overwrite);

// Makes (when missing) the folder at `folder` through the tree.
StepDone MakeFolderInTree(ITreeWrites& tree, const std::wstring& folder);

// Where the files a run writes itself below its install folder (a command
// file that runs at logon, the marker of a started run, the list of what was
// installed) get the list that decides who may change them: in the call
// that makes each one. Wine keeps no list, so tests look here.
class IGeneratedFiles {
 public:
  virtual ~IGeneratedFiles() = default;
  // The new file at `path` (its last part a name CreatePartFileIn chose)
  // inside the open folder, never one that exists (ERROR_FILE_EXISTS),
  // opened with GENERIC_READ, GENERIC_WRITE and DELETE and shared with
  // nobody.
  virtual StepResult<FileHandle> CreateIn(HANDLE folder, const std::wstring& path) = 0;
  // The file made for `path` holds all it was to hold and has that name.
  virtual void Placed(const std::wstring& path) = 0;
};

// Writes `content` as the whole of the file at `path` (absolute, held by the
// tree; missing folders on the way made): into a new file of its own beside
// it first (made by files, or with what the folder passes down), which then
// takes the name through the folder's handle. Whatever had the name goes
// without ever being opened, through the delete guard: a file somebody made
// there first to be written into (read-only, or held by a scanner), a link
// of theirs or an empty folder is replaced, never written through.
StepDone WriteGeneratedFile(ITreeWrites& tree, const std::wstring& path, std::string_view content,
                            IGeneratedFiles* files);

// Adds content at the end of the file at path (absolute, held by the tree),
// opened as itself in its folder (a link there is never written through),
// made when missing with what the folder passes down.
StepDone AppendInTree(ITreeWrites& tree, const std::wstring& path, std::string_view content);

}  // namespace norvale
