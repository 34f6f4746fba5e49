// Shared fixture of the driver tests: a temporary folder with one copy of the
// scripted test library per subsystem, a catalogue built in code, and
// recorders for the log callback, the message boxes, the progress callback
// and the calls the libraries receive.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Dllload/dll_loader.h"
#include "Dllload/dlls_loader.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
#include "host/base/codepage.h"
#include "host/platform/message_box.h"
#include "support/temp_dir.h"

namespace instkit::testing {

using Lines = std::vector<std::string>;

// Log lines, message boxes and progress calls of the current test.  The
// callbacks are plain functions, so the recorders are process-wide.
struct TRecorder {
  std::mutex mutex;
  Lines log;
  Lines boxes;                       // "caption|text|style" in UTF-8
  std::deque<int> answers;           // answers to Yes/No questions; No when empty
  Lines progress;                    // "percent|text|extra"
  std::deque<int> progress_answers;  // TRUE when empty
};
TRecorder& Recorder();

void INSTKIT_CALL RecordLog(const char* line);
int32_t INSTKIT_CALL RecordProgress(int32_t percent, const char* text, int32_t extra);

// Splices line vectors.
inline Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// " " + text, the form every log line takes without a prefix; Russian texts
// are given in UTF-8 and compared as Windows-1251.
Lines Logged(const Lines& texts);

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A fresh start inside a table-driven test: new folder, recorders and trees.
  void Restart() {
    TearDown();
    SetUp();
    tree_.ClearNodes();
    root_.ClearNodes();
  }

  // Copies a test library to <temp>/<name>.so (.dll on Windows) and returns
  // the copy's path.
  std::string Library(const std::string& name, const char* built = INSTKIT_TEST_SUBSYSTEM);
  // Adds a subsystem below `parent`; its parameter gets id=<short name> and
  // record=<calls file> in front of `script`.
  TSysNode* Add(TCustomSysNode* parent, const std::string& short_name, const std::string& library,
                const std::string& script = "");
  // Whatever the libraries recorded, one call per line.
  Lines Calls() const;
  // Compares the whole log, then the message boxes shown, the calls the
  // libraries received and the progress calls, byte for byte with
  // tests/data/drivers/<name>.log (held in UTF-8, the test's folder written
  // as $TMP, libraries as .so).  With INSTKIT_UPDATE_GOLDEN=1 in the
  // environment the file is written instead.
  void ExpectLog(const std::string& name) const;
  // Adds the subsystems that `subsystems` lists below Top(flat): items separated by blanks,
  // each NAME[<PARENT]:LIB[:SCRIPT], parents before their children.  LIB is
  // empty (no library), the name of a copy of the scripted library,
  // NAME@noperform or NAME@empty (copies of the other test libraries), or
  // !FILE (a file in the folder that is not there).  SCRIPT runs to the next
  // blank.
  void Build(bool flat, const std::string& subsystems);
  // The same subsystems as <temp>/setup.idf, numbered from 1 in order, each
  // with one menu link named after it; returns its path.
  std::string Describe(const std::string& subsystems);
  // A subsystem's parameter: id=<name>, record=<calls file>, then `script`.
  std::string Param(const std::string& name, const std::string& script = "") const {
    return "id=" + name + ";record=" + calls_file_ + (script.empty() ? "" : ";" + script);
  }
  // Every subsystem after Run, in pre-order: its short name, + when done
  // (flat: its Checked byte in image_), - when not, and for the node-tree
  // driver * when it and all below it are done (AllCheck).
  std::string Flags(bool flat) const;

  // Fills the run fields every test uses.
  void Configure(TCustomDLLLoader& loader, uint8_t mode);
  // Fills the run fields, gives the node-tree driver tree_, loads and sets up.
  void Prepare(TDllLoader& loader, uint8_t mode);
  // The parent of the top-level subsystems of either driver.
  TCustomSysNode* Top(bool flat) { return flat ? static_cast<TCustomSysNode*>(&root_) : &tree_; }
  // Runs LoadDLLs, SetAll, AskAll, PerformAll (and SetInstalled for the
  // node-tree driver), UnLoadDLLs with either driver over the subsystems
  // below Top(flat); the flat driver gets a fresh image_ of root_.  Returns
  // "load set ask perform" outcomes.  The node-tree loader stays in loader_.
  std::string Run(bool flat, uint8_t mode);
  // The flat image of `root`'s record (root's children are the subsystems).
  std::vector<uint8_t> ImageOf(const TSysNode& root) const;

  struct TItem {
    std::string name, parent, library, script;
  };
  std::vector<TItem> Parse(const std::string& subsystems);

  std::optional<TempDir> dir_;
  std::filesystem::path temp_;
  std::string calls_file_;
  TSysTree tree_;
  TSysNode root_;  // the same subsystems for the flat-image driver are built below root_
  TMessageBoxHandler previous_handler_;
  std::vector<uint8_t> image_;
  std::unique_ptr<TDllLoader> loader_;
};

}  // namespace instkit::testing
