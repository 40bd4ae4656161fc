#include "TreeRemoval.h"

#include <vector>

#include "Paths.h"

namespace norvale {
namespace {

class Walk {
 public:
  explicit Walk(ITreeRemovalEvents& events) : events_(events) {}

  TreeRemovalResult Run(HANDLE root, const std::wstring& path) {
    name_ = FinalPathOfHandle(root);
    if (name_.empty()) {
      TreeRemovalResult result;
      result.Note(StepError::Last(path));
      return result;
    }
    volume_ = VolumeOf(root, name_);
    path_ = path;
    // What running programs have mapped is asked once for the whole walk.
    disposals_.images = RunningImages(name_);
    Frame top;
    top.folder = root;
    top.choice = EntryChoice::EmptyOnly;
    frames_.push_back(std::move(top));
    Fill(frames_.back());
    for (;;) {
      Frame& current = frames_.back();
      if (current.next < current.entries.size()) {
        // Someone is changing the tree right now: whatever is done while
        // they do may be done to what they put in its place. The rest waits
        // for the next try.
        if (changed_) {
          current.below.retryable = true;
          current.next = current.entries.size();
          continue;
        }
        const ListedEntry listed = current.entries[current.next++];
        Step(listed);
        continue;
      }
      if (frames_.size() == 1) return current.below;
      Leave();
    }
  }

 private:
  // A folder being emptied: its listing handle, what it listed, and how far
  // the walk has come.
  struct Frame {
    FileHandle owned;  // empty for the root, which the caller holds
    HANDLE folder = nullptr;
    std::wstring listedName;  // in the folder above
    std::optional<ULONGLONG> index;
    EntryChoice choice = EntryChoice::Remove;
    std::vector<ListedEntry> entries;
    size_t next = 0;
    TreeRemovalResult below;
    // How long the texts of the folder above were.
    size_t pathAbove = 0, nameAbove = 0;
  };

  void Fill(Frame& frame) {
    const StepDone listed = ListIn(frame.folder, frame.entries, buffer_);
    if (!listed) frame.below.Note(listed.Error().At(path_));
  }

  void Step(const ListedEntry& listed) {
    const std::wstring child = path_ + L"\\" + listed.name;
    const EntryChoice choice = events_.Choose(child);
    if (choice != EntryChoice::Keep) {
      events_.BeforeOpening(child);
      // A folder entered is told of once everything below it is done.
      if (Entry(listed, child, choice)) return;
    }
    events_.Done(child);
  }

  // True when the entry is a folder now entered.
  bool Entry(const ListedEntry& listed, const std::wstring& path, EntryChoice choice) {
    Frame& current = frames_.back();
    const std::wstring& name = listed.name;
    if (!IsSinglePart(name)) {
      current.below.Note(StepError::Refusal(ERROR_INVALID_NAME, path));
      return false;
    }
    // Most entries are files, which need neither a listing right nor a
    // question about their type: opened as a file, an entry is one (a link
    // to a file included, which a delete then removes as itself). A folder
    // refuses that open, and so may one held or closed to deleting, which
    // is then opened again for what listing needs.
    StepResult<std::optional<FileHandle>> entry =
        OpenIfStillIn(current.folder, name, kDeletingAccess, kRemovalSharing, EntryType::File);
    if (!entry) {
      StepResult<std::optional<FileHandle>> folder =
          OpenIfStillIn(current.folder, name, kListingAccess, kRemovalSharing, EntryType::Folder);
      if (folder && *folder) return Folder(listed, path, choice, std::move(**folder));
      if (folder) return false;
      // A file refuses the folder's open as well: its own refusal is the
      // one that says why it stays.
      const StepError& why =
          folder.Error().code == ERROR_DIRECTORY ? entry.Error() : folder.Error();
      current.below.Note(StepError::Of(why.code, path));
      return false;
    }
    if (!*entry) return false;
    // A file is judged by where it lies: opened as itself in the folder the
    // walk holds, whatever took its name since the listing is an entry of
    // that folder. Its number is not asked again (under Wine a round trip
    // for every file); the listing's serves the running program's check.
    const OpenedEntry opened{listed.attributes, 0, WhereItLies((*entry)->Get(), volume_),
                             EntryPath(name_, name)};
    switch (Judge(opened, path)) {
      case EntryVerdict::Remove:
      case EntryVerdict::RemoveAsLink:
      case EntryVerdict::Enter:
        break;
      case EntryVerdict::LeaveForGood:
      case EntryVerdict::LeaveForNow:
        return false;
    }
    if (choice != EntryChoice::EmptyOnly) {
      Delete((*entry)->Get(), path, current.below,
             {listed.index ? std::optional<ULONGLONG>(listed.index) : std::nullopt,
              opened.openedPath});
    }
    return false;
  }

  // What opened under the listed name is another folder than the listing
  // named (swapped between the two; Wine also opens a host's link as what it
  // leads to): the tree is changing, and the next try decides.
  bool ChangedHands(const ListedEntry& listed, HANDLE opened, const std::wstring& path) {
    if (listed.index == 0) return false;
    if (IndexOf(opened) == listed.index) return false;
    changed_ = true;
    frames_.back().below.Note(StepError::Of(ERROR_RETRY, path));
    return true;
  }

  bool Folder(const ListedEntry& listed, const std::wstring& path, EntryChoice choice,
              FileHandle folder) {
    Frame& current = frames_.back();
    const std::optional<DWORD> attributes = AttributesOf(folder.Get());
    if (!attributes) {
      current.below.Note(StepError::Last(path));
      return false;
    }
    OpenedEntry opened{listed.attributes, *attributes, L"", EntryPath(name_, listed.name)};
    // A link's own path needs no asking: it is removed as itself.
    if (!IsLinkAttributes(*attributes)) opened.openedPath = WhereItLies(folder.Get(), volume_);
    switch (Judge(opened, path)) {
      case EntryVerdict::RemoveAsLink: {
        if (choice == EntryChoice::EmptyOnly) return false;
        const std::optional<ULONGLONG> index = IndexOf(folder.Get());
        FileHandle link = Reopened(folder, current, listed.name, path, index, EntryType::Any);
        if (link) Delete(link.Get(), path, current.below, {index, opened.expectedPath});
        return false;
      }
      case EntryVerdict::Enter:
        if (ChangedHands(listed, folder.Get(), path)) return false;
        break;
      default:
        return false;
    }
    Frame frame;
    frame.index = IndexOf(folder.Get());
    frame.owned = std::move(folder);
    frame.folder = frame.owned.Get();
    frame.listedName = listed.name;
    frame.choice = choice;
    frame.pathAbove = path_.size();
    frame.nameAbove = name_.size();
    path_ = path;
    name_ = opened.expectedPath;
    frames_.push_back(std::move(frame));
    Fill(frames_.back());
    return true;
  }

  // Done with the folder on top: it goes when everything below it went,
  // and the folder above hears of it.
  void Leave() {
    Frame done = std::move(frames_.back());
    frames_.pop_back();
    Frame& above = frames_.back();
    above.below.Add(done.below);
    const std::wstring path = path_;
    // What stays below keeps the folder.
    if (done.choice == EntryChoice::Remove && done.below.Complete() && !changed_) {
      // The listing handle shares no deletes, not even with this walk: it
      // goes first, and what opens under the name must be the folder that
      // was emptied.
      FileHandle folder =
          Reopened(done.owned, above, done.listedName, path, done.index, EntryType::Folder);
      if (folder) Delete(folder.Get(), path, above.below, {done.index, name_});
    }
    path_.resize(done.pathAbove);
    name_.resize(done.nameAbove);
    events_.Done(path);
  }

  // The entry `name` of the folder `in`, let go as `held` and opened again
  // for deleting, when it is still the file that was judged; nothing when it
  // is gone; otherwise the tree changed.
  FileHandle Reopened(FileHandle& held, Frame& in, const std::wstring& name,
                      const std::wstring& path, const std::optional<ULONGLONG>& index,
                      EntryType type) {
    StepResult<FileHandle> again = OpenAgain(held, in.folder, name, kDeletingAccess,
                                             kRemovalSharing, type, {std::nullopt, index});
    if (again) return std::move(*again);
    const StepError& error = again.Error();
    if (error.Missing()) return {};
    if (error.reason == Reason::FolderChanged) changed_ = true;
    in.below.Note(error.reason == Reason::FolderChanged ? StepError::Of(ERROR_RETRY, path)
                                                         : error.At(path));
    return {};
  }

  EntryVerdict Judge(const OpenedEntry& opened, const std::wstring& path) {
    Frame& current = frames_.back();
    const EntryVerdict verdict = JudgeOpenedEntry(opened, [&] {
      const std::wstring now = WhereItLies(current.folder, volume_);
      return now.empty() || !SamePath(now, name_);
    });
    if (verdict == EntryVerdict::LeaveForGood) {
      current.below.Note(StepError::Refusal(kErrorLinkOnTheWay, path));
    }
    if (verdict == EntryVerdict::LeaveForNow) {
      changed_ = true;
      current.below.Note(StepError::Of(ERROR_RETRY, path));
    }
    return verdict;
  }

  void Delete(HANDLE handle, const std::wstring& path, TreeRemovalResult& result,
              const KnownOfIt& known) {
    const StepDone deleted = DisposeOf(handle, true, &disposals_, known);
    if (!deleted) result.Note(deleted.Error().At(path));
  }

  ITreeRemovalEvents& events_;
  std::vector<LONGLONG> buffer_;
  std::vector<Frame> frames_;
  // The folder on top: its path as the caller named it, and where it lies
  // (WhereItLies); the part of that before a name on the volume.
  std::wstring path_, name_, volume_;
  Disposals disposals_;
  bool changed_ = false;
};

}  // namespace

void TreeRemovalResult::Note(StepError error) {
  if (error.kind == StepError::Kind::Refused) {
    refused = true;
  } else {
    retryable = true;
  }
  if (!first) first = std::move(error);
}

void TreeRemovalResult::Add(const TreeRemovalResult& below) {
  retryable = retryable || below.retryable;
  refused = refused || below.refused;
  if (!first && below.first) first = below.first;
}

EntryVerdict JudgeOpenedEntry(const OpenedEntry& entry, const std::function<bool()>& folderMoved) {
  if (entry.openedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryVerdict::RemoveAsLink;
  const bool isFolder = (entry.openedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // What opened must be what the folder lists under this name.
  if (entry.openedPath.empty() || !SamePath(entry.openedPath, entry.expectedPath)) {
    // A folder listed as a plain folder was swapped since the listing, and
    // a file opens elsewhere once its own folder was moved; a file or folder
    // listed as what it is and opening elsewhere is a link that stays.
    const bool swapped = isFolder ? !(entry.listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                  : folderMoved();
    return swapped ? EntryVerdict::LeaveForNow : EntryVerdict::LeaveForGood;
  }
  return isFolder ? EntryVerdict::Enter : EntryVerdict::Remove;
}

TreeRemovalResult RemoveContentsOf(HANDLE folder, const std::wstring& path,
                                   ITreeRemovalEvents& events) {
  try {
    return Walk(events).Run(folder, path);
  } catch (const std::bad_alloc&) {
    TreeRemovalResult failed;
    failed.Note(StepError::OutOfMemory(path));
    return failed;
  } catch (...) {
    // The caller's answer ended the walk: what is left stays for another
    // try.
    TreeRemovalResult failed;
    failed.Note(StepError::ForNow(ERROR_CANCELLED, path, Reason::WalkEndedByCaller));
    return failed;
  }
}

}  // namespace norvale
