#include "Engine/run_media.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "Media/installed_files.h"
#include "Media/media_folder.h"
#include "Media/unpack_journal.h"
#include "Media/unpacker.h"
#include "Engine/run_record.h"
#include "Syslist/archives.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "host/base/codepage.h"
#include "host/base/exception.h"
#include "host/base/format.h"
#include "host/platform/message_box.h"
#include "host/platform/user_dirs.h"

namespace instkit {

namespace fs = std::filesystem;

namespace {

uint64_t FreeSpace(const std::string& folder) {
  std::error_code code;
  const fs::space_info space = fs::space(folder, code);
  return code ? UINT64_MAX : space.available;
}

std::string Bytes(uint64_t n) {
  if (n < 10ull * 1024) return std::to_string(n) + " bytes";
  if (n < 10ull * 1024 * 1024) return std::to_string(n / 1024) + " KiB";
  return std::to_string(n / (1024ull * 1024)) + " MiB";
}

}  // namespace

TRunMedia::TRunMedia(const TRunOptions& options, TRunReport& report) : options_(options), report_(report) {}

TRunMedia::~TRunMedia() = default;

void TRunMedia::Recover(const std::string& registry_path, TRunHost& host) {
  std::string what;
  const bool found = RecoverJournal(
      options_.path,
      [&registry_path](const std::string& product, const std::string& id) {
        TProductRecord record;
        TManifest manifest;
        std::string error;
        return !registry_path.empty() && ReadProduct(registry_path, product, record) &&
               ParseManifest(record.manifest, manifest, error) && manifest.run_id == id;
      },
      what);
  if (!found) return;
  report_.media.recovered = what;
  host.OnNotice({TNoticeKind::kMedia, 0, "", what});
}

void TRunMedia::Plan(TSysTree& tree) {
  // The catalogue's archive query lists unchecked subsystems: one top-level
  // subtree at a time, so each archive knows the records that need it.
  TArchiveList list;
  std::map<const TSubsystemInfo*, int32_t> record_of;
  for (int32_t i = 0; i < tree.Count; ++i) {
    TSysNode* top = tree.GetNode(i);
    records_.push_back({i, top->Info->SysIndex, top->Info->ShortName, top->Info->Library});
    WalkNodes(top, [&](TSysNode* node) {
      node->Info->Checked = false;
      record_of[node->Info.get()] = i;
      return true;
    });
    top->GetArhiveName(&list);
    WalkNodes(top, [](TSysNode* node) {
      node->Info->Checked = true;
      return true;
    });
  }
  for (int32_t a = 0; a < list.Count(); ++a) {
    const TArchive* archive = list.GetArcItem(a);
    TArchivePlan plan;
    plan.name = archive->Name;
    for (int32_t j = 0; j < archive->Count(); ++j) {
      const TSubsystemInfo* info = archive->GetSysItem(j);
      bool listed = false;
      for (const TManifestSubsystem& s : plan.subsystems) listed = listed || s.number == info->SysIndex;
      if (!listed) plan.subsystems.push_back({info->SysIndex, info->ShortName});
      const int32_t record = record_of[info];
      if (plan.records.empty() || plan.records.back() != record) plan.records.push_back(record);
    }
    archives_.push_back(std::move(plan));
  }
}

bool TRunMedia::Ask(TRunHost& host, const TArchivePlan& archive, const std::string& why) {
  TOperatorBox box;
  box.kind = TQuestionKind::kExtractFailed;
  box.phase = TRunPhase::kUnpack;
  if (!archive.records.empty()) box.subsystem = records_[static_cast<size_t>(archive.records.front())];
  box.text = Utf8ToCp1251("Не удалось распаковать архив ") + archive.name + ": " + Utf8ToCp1251(why + ". ") +
             Utf8ToCp1251("Прервать инсталляцию?");
  box.caption = Utf8ToCp1251("Внимание");
  box.style = kStyleQuestion;
  TAnswer answer = host.OnQuestion(box);
  const bool yes = answer.yes;
  report_.questions.push_back({std::move(box), std::move(answer)});
  return yes;
}

TMediaDecision TRunMedia::Unpack(TRunHost& host, const std::function<bool()>& stop) {
  TMediaDecision decision;
  decision.skip.assign(records_.size(), 0);
  if (archives_.empty()) return decision;
  TPhaseReport& phase = report_.Phase(TRunPhase::kUnpack);
  phase.ran = true;
  host.OnPhaseStarted(TRunPhase::kUnpack);
  report_.media.folder = options_.media;
  try {
    EnsureDirectory(options_.path);  // the libraries would make it; the archives come first now
  } catch (...) {
  }
  run_id_ = TUnpackJournal::NewRunId();
  journal_ = std::make_unique<TUnpackJournal>(options_.path, report_.product, run_id_);

  TUnpackProgressEvent event;
  event.archive_count = static_cast<int32_t>(archives_.size());
  for (TArchivePlan& archive : archives_) {
    archive.report = report_.media.archives.size();
    TArchiveReport entry;
    entry.name = archive.name;
    entry.file = FindArchiveFile(options_.media, archive.name);
    std::error_code code;
    if (!entry.file.empty()) entry.size = fs::file_size(entry.file, code);
    event.total += entry.size;
    report_.media.archives.push_back(std::move(entry));
  }
  std::string space_problem;
  const uint64_t free_before = FreeSpace(options_.path);
  if (event.total > free_before) {
    space_problem =
        "the target folder has " + Bytes(free_before) + " free, the archives alone take " + Bytes(event.total);
  }

  // Fails an archive: the records that need it are left out, the operator
  // asked.  True when the run is to stop.
  auto fail = [&](TArchivePlan& archive, const std::string& why) {
    report_.media.archives[archive.report].error = why;
    for (int32_t record : archive.records) decision.skip[static_cast<size_t>(record)] = 1;
    host.OnNotice({TNoticeKind::kMedia, 0, "", "archive " + Cp1251ToUtf8(archive.name) + ": " + why});
    return Ask(host, archive, why);
  };
  uint64_t done_before = 0;
  for (size_t i = 0; i < archives_.size() && decision.go; ++i) {
    TArchivePlan& archive = archives_[i];
    TArchiveReport& entry = report_.media.archives[archive.report];
    event.archive = archive.name;
    event.archive_number = static_cast<int32_t>(i + 1);
    event.done = done_before;
    event.entry.clear();
    host.OnUnpackProgress(event);
    if (stop()) {
      decision.go = false;
      break;
    }
    if (!space_problem.empty()) {
      decision.go = !fail(archive, space_problem);
      continue;
    }
    if (entry.file.empty()) {
      decision.go = !fail(archive, archive.name.empty() ? "the catalogue names an archive with an empty name"
                                                        : "not found in " + options_.media);
      continue;
    }
    TUnpackLimits limits;
    limits.ratio = options_.unpack_ratio;
    const uint64_t by_ratio = entry.size > UINT64_MAX / std::max<uint64_t>(limits.ratio, 1) ? UINT64_MAX
                                                                                            : entry.size * limits.ratio;
    const uint64_t free_now = FreeSpace(options_.path);
    limits.max_bytes = std::min(by_ratio, free_now);
    limits.free_space = free_now < by_ratio;
    const uint64_t unpacked_before = event.unpacked;
    archive.begin = journal_->Mark();
    const TUnpackResult result = UnpackArchive(entry.file, *journal_, limits, [&](const TUnpackStatus& status) {
      event.done = done_before + status.read;
      event.unpacked = unpacked_before + status.written;
      event.entry = status.entry;
      host.OnUnpackProgress(event);
      return !stop();
    });
    archive.end = journal_->Mark();
    done_before += entry.size;
    if (result.stopped) {
      decision.go = false;
      break;
    }
    if (!result.ok) {
      decision.go = !fail(archive, result.error);
      continue;
    }
    archive.ok = true;
    archive.entries = result.entries;
    folders_.insert(folders_.end(), result.folders.begin(), result.folders.end());
    entry.unpacked = true;
    entry.files = result.entries.size();
    entry.bytes = result.bytes;
  }
  event.done = event.total;
  event.entry.clear();
  host.OnUnpackProgress(event);
  if (!decision.go) {
    journal_->RollBack();
    for (TArchivePlan& archive : archives_) archive.ok = false;
  }
  phase.outcome = decision.go ? INSTKIT_OUTCOME_COMPLETED : INSTKIT_OUTCOME_ABORTED;
  host.OnPhaseEnded(TRunPhase::kUnpack, phase.outcome);
  return decision;
}

void TRunMedia::Settle(TSysTree& tree, TRunHost& host) {
  if (journal_ == nullptr || !journal_->Open()) return;
  std::set<int32_t> done;
  WalkNodesBelow(&tree, [&done](TSysNode* node) {
    if (node->Info->Checked) done.insert(node->Info->SysIndex);
    return true;
  });
  std::set<std::string> kept_paths;
  size_t taken_back = 0;
  for (size_t i = archives_.size(); i-- > 0;) {
    TArchivePlan& archive = archives_[i];
    if (!archive.ok) continue;
    bool keep = false;
    for (const TManifestSubsystem& s : archive.subsystems) keep = keep || done.count(s.number) > 0;
    journal_->Settle(archive.begin, archive.end, keep, kept_paths);
    archive.ok = keep;
    report_.media.archives[archive.report].kept = keep;
    taken_back += keep ? 0 : 1;
  }
  if (taken_back > 0) {
    host.OnNotice({TNoticeKind::kMedia, 0, "",
                   Format("%llu archive(s) taken back: no subsystem that needs them was done",
                          static_cast<unsigned long long>(taken_back))});
  }
}

std::string TRunMedia::Manifest(const std::string& previous) const {
  TManifest manifest;
  std::string error;
  if (!ParseManifest(previous, manifest, error)) manifest = TManifest();
  manifest.run_id = run_id_;
  for (const TArchivePlan& archive : archives_) {
    if (!archive.ok) continue;
    TManifestArchive entry;
    entry.name = archive.name;
    entry.subsystems = archive.subsystems;
    entry.entries = archive.entries;
    manifest.Put(std::move(entry));
  }
  for (const std::string& folder : folders_) {
    std::error_code code;
    if (fs::is_directory(fs::symlink_status(fs::path(options_.path) / folder, code))) manifest.AddFolder(folder);
  }
  return manifest.Empty() ? std::string() : ManifestText(manifest);
}

void TRunMedia::Finish(bool recorded) {
  if (journal_ == nullptr || !journal_->Open()) return;
  if (recorded) {
    journal_->Commit();
  } else {
    journal_->RollBack();
    for (TArchiveReport& archive : report_.media.archives) archive.kept = false;
  }
}

std::string TRunMedia::RemoveFiles(const std::string& previous, const std::set<std::string>& installed_after,
                                   TRunHost& host) {
  TManifest manifest;
  std::string error;
  if (previous.empty() || !ParseManifest(previous, manifest, error)) return previous;
  std::vector<std::string> gone;
  for (const TManifestArchive& archive : manifest.archives) {
    bool needed = false;
    for (const TManifestSubsystem& s : archive.subsystems) needed = needed || installed_after.count(s.short_name) > 0;
    if (!needed) gone.push_back(archive.name);
  }
  if (gone.empty()) return previous;
  const TRemoveResult result = RemoveArchiveFiles(options_.path, manifest, gone);
  report_.media.removed_archives = gone;
  report_.media.removed = result.removed;
  report_.media.removed_folders = result.folders;
  for (const TDifference& kept : result.kept) {
    report_.media.kept_changed.push_back(kept.path + ": " + kept.what);
    host.OnNotice(
        {TNoticeKind::kMedia, 0, "", "kept " + kept.path + " (" + kept.what + ", changed since it was unpacked)"});
  }
  return manifest.Empty() ? std::string() : ManifestText(manifest);
}

}  // namespace instkit
