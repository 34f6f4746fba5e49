// What an install run changes in its target folder while it unpacks, so
// that any part of it can be taken back: one archive that fails, the whole
// run when it fails or is aborted, or, after a kill, by the next run.
//
// Every change is written to the journal before it is made, and undone in
// reverse order:
//   a new file or link      is written under a temporary name in its own
//                           folder (".instkit-<run>-<n>.tmp") and renamed
//                           into place when complete; undone by removing it
//   a file, link or other   that was in the way is first renamed aside in
//   non-folder it replaces  its folder (".instkit-<run>-<n>.aside") and
//                           kept there until the run is over; undone by
//                           putting it back
//   a folder it makes       undone by removing it when it is empty
// Commit deletes the files kept aside and the journal; RollBack undoes
// everything and deletes the journal.
//
// Journal file: <target>/.instkit-journal, written line by line (each line
// flushed before its change, so a kill -9 loses nothing that was changed):
//
//   journal := "instkit-journal 1" TAB run-id TAB product NL change*
//   change  := "new" TAB path TAB temp NL
//            | "aside" TAB path TAB temp TAB aside NL
//            | "folder" TAB path NL
//
// paths relative to the target, "/"-separated, UTF-8; the product name in
// Windows-1251.  A torn last line is ignored (its change was not made).
//
// Recovery: a run that finds a journal in its target (RecoverJournal) asks
// the registry whether the journal's run got as far as recording its
// manifest (the manifest carries the run id, Media/manifest.h): if it did,
// the journal is committed, else rolled back.  The engine does this under
// the target's lock before it changes anything (Engine/run_media.h).
//
// Writing through links: every folder on the way to an entry must be a real
// folder below the target; a symbolic link there (planted by an earlier
// entry, or already in the target) stops the archive instead of being
// followed.  The target folder itself may be a link.
//
// Not thread-safe; one journal per target at a time (the run's lock).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace instkit {

class TNewFile;

class TUnpackJournal {
 public:
  // Nothing is written until the first change.  `root` is the target
  // folder, which exists.
  TUnpackJournal(std::string root, std::string product, std::string run_id);
  // Rolls back what is neither committed nor rolled back.
  ~TUnpackJournal();
  TUnpackJournal(const TUnpackJournal&) = delete;
  TUnpackJournal& operator=(const TUnpackJournal&) = delete;

  static std::string JournalPath(const std::string& root);
  // A new run id: 16 hex digits, different for every run.
  static std::string NewRunId();

  const std::string& Root() const { return root_; }
  const std::string& RunId() const { return run_id_; }

  // Makes the folders of `path` (a checked relative path) down to and, when
  // `self` is true, including its last component.  Raises EInOutError when
  // something that is not a real folder is in the way.  Folders it makes
  // are added to `made`.
  void EnsureFolders(const std::string& path, bool self, std::vector<std::string>& made);

  // A file being put at `path`: Begin creates it under a temporary name (the
  // folders must exist), Place renames it into place, setting aside what is
  // there.  A folder in the way raises EInOutError.
  std::unique_ptr<TNewFile> BeginFile(const std::string& path);
  void PlaceFile(TNewFile& file, uint32_t mode, int64_t mtime);
  // A symbolic link or a hard link (to `existing`, a path this run placed).
  void PlaceSymlink(const std::string& path, const std::string& target);
  void PlaceHardLink(const std::string& path, const std::string& existing);

  // Changes since the last Mark can be undone on their own.
  size_t Mark() const { return changes_.size(); }
  void UndoSince(size_t mark);

  // Settles the changes in [begin, end) (one archive's, between two Marks),
  // called for the archives from the last to the first: keeps them, or
  // undoes them except where a later kept archive changed the same path
  // (that one's change holds this one's result aside, and replaced it).
  // `kept_paths` carries the paths of the changes kept so far.
  void Settle(size_t begin, size_t end, bool keep, std::set<std::string>& kept_paths);

  // Ends the run's changes: keeps them (deletes what was set aside), or
  // undoes all.  Either deletes the journal.  Raise EInOutError when the
  // journal cannot be deleted; undo is best effort otherwise.
  void Commit();
  void RollBack();
  bool Open() const { return !closed_; }

 private:
  struct TChange {
    enum TKind { kNew, kAside, kFolder } kind = kNew;
    std::string path, temp, aside;
  };
  static void Undo(const std::string& root, const TChange& change);
  static void Keep(const std::string& root, const TChange& change);
  std::string Full(const std::string& path) const;
  std::string TempName(const std::string& path, const char* suffix);
  void Record(const TChange& change);
  // A new name beside `path` is about to replace it: what the journal says.
  TChange Replacing(const std::string& path, const char* what);
  void Finish(const TChange& change);
  void CloseFile();

  friend bool RecoverJournal(const std::string&, const std::function<bool(const std::string&, const std::string&)>&,
                             std::string&);

  std::string root_;
  std::string product_;
  std::string run_id_;
  std::FILE* file_ = nullptr;
  uint64_t counter_ = 0;
  std::vector<TChange> changes_;
  std::set<std::string> real_folders_;  // checked to be folders, not links
  TChange pending_;                     // the file between BeginFile and PlaceFile
  bool closed_ = false;
};

// When `root` holds a journal of an interrupted run: asks `committed`
// (product, run id) whether that run recorded its manifest, then commits or
// rolls back the journal accordingly.  Returns true when there was one;
// `what` then says what was done, one UTF-8 sentence.  Raises EInOutError
// when the journal cannot be read or removed.
bool RecoverJournal(const std::string& root,
                    const std::function<bool(const std::string& product, const std::string& run_id)>& committed,
                    std::string& what);

}  // namespace instkit
