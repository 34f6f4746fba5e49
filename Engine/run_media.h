// The installation media of a run: the archives the catalogue names,
// unpacked between the questions and the perform phases of an install,
// kept or taken back with the results, recorded in the product's manifest,
// and removed again by an uninstall.  Internal to the engine
// (Engine/run_engine.cpp); the unpacking itself is Media/.
//
// Install (the unpack phase, TRunPhase::kUnpack):
// - The archives are those of the selected subsystems, grouped as the
//   catalogue groups them (TArchiveList::AddArc: a-z in any case), each
//   unpacked once however many subsystems share it.  They are looked for in
//   TRunOptions::media (default: the description's folder,
//   Media/media_folder.h).
// - Before the first byte, the free space of the target must hold the
//   archives' total size.  An archive may unpack to at most
//   TRunOptions::unpack_ratio (64) times its own size, and never more than
//   the free space when it starts.
// - An archive that is missing, damaged or refused (Media/unpacker.h) is
//   taken back at once, and the operator is asked kExtractFailed ("abort?").
//   Yes: everything unpacked is taken back and no library performs.  No:
//   the run goes on without the top-level subsystems whose subtree needs
//   that archive (the library of a top-level subsystem performs its whole
//   subtree, so that is the unit the run can leave out); they are not done.
// - Abort or Ctrl-C while unpacking: everything unpacked is taken back and
//   no library performs.
// - After the perform phase, an archive is kept when at least one
//   subsystem that needs it was done, else taken back.  The kept ones go
//   into the product's manifest (Media/manifest.h), which the registry
//   records in the same transaction as the subsystems; only then are the
//   files set aside deleted (Media/unpack_journal.h).  When recording
//   fails, everything is taken back.  Without recording (--no-record) the
//   kept files stay but are not tracked.
// - An install killed at any point is taken back by the next run in the
//   same target (or kept, when it had recorded its manifest): Recover, under
//   the target's lock, before anything else.
//
// Uninstall, after the libraries: the files and links of the archives that
// no installed subsystem needs any more (by the manifest's subsystems) are
// removed, unless they changed since they were unpacked (kept and listed),
// then the folders the unpacking made that are now empty.  The manifest
// left is recorded with the registry's change; an uninstall interrupted
// before that can simply be run again (what is gone is passed over).
// Without recording nothing is removed.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Engine/drive_loop.h"
#include "Engine/run_events.h"
#include "Engine/run_options.h"
#include "Engine/run_report.h"
#include "Media/manifest.h"

namespace instkit {

class TSysTree;
class TUnpackJournal;

class TRunMedia {
 public:
  TRunMedia(const TRunOptions& options, TRunReport& report);
  ~TRunMedia();

  // Finishes an interrupted earlier run in the target folder (see above);
  // `recorded_run` says whether the registry's manifest of a product names a
  // run id.  Notices the host; raises EInOutError when the journal cannot be
  // handled.
  void Recover(const std::string& registry_path, TRunHost& host);

  // Install: groups the archives of `tree` (the selected catalogue, flags
  // untouched) by top-level record.  Call before the libraries run.
  void Plan(TSysTree& tree);
  bool Any() const { return !archives_.empty(); }

  // The unpack phase (report, events, questions).  `stop` says whether the
  // operator aborted.
  TMediaDecision Unpack(TRunHost& host, const std::function<bool()>& stop);

  // After the results (Checked = done): keeps or takes back each archive and
  // fills the report.  The manifest for the record: `previous` with the kept
  // archives put in.
  void Settle(TSysTree& tree, TRunHost& host);
  std::string Manifest(const std::string& previous) const;
  // The record was written (true) or not (false): commit or roll back.
  void Finish(bool recorded);

  // Uninstall: removes the files no installed subsystem needs (see above),
  // returns the manifest left.  `installed_after`: short names still
  // installed after this run.
  std::string RemoveFiles(const std::string& previous, const std::set<std::string>& installed_after, TRunHost& host);

 private:
  struct TArchivePlan {
    std::string name;
    std::vector<TManifestSubsystem> subsystems;
    std::vector<int32_t> records;  // top-level records whose subtree needs it
    size_t report = 0;             // its TArchiveReport
    size_t begin = 0, end = 0;     // its changes in the journal
    std::vector<TManifestEntry> entries;
    bool ok = false;
  };
  bool Ask(TRunHost& host, const TArchivePlan& archive, const std::string& why);

  const TRunOptions& options_;
  TRunReport& report_;
  std::vector<TArchivePlan> archives_;
  std::vector<TSubsystemRef> records_;  // the top-level records, for questions
  std::unique_ptr<TUnpackJournal> journal_;
  std::vector<std::string> folders_;  // made by the kept archives
  std::string run_id_;
};

}  // namespace instkit
