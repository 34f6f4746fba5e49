// One configuration per subsystem record, for example libraries.
//
// Several subsystems may name the same library file.  The system loads it
// once, so every call of every record reaches the same instance, without
// saying which record it is for.  The driver's order makes the calls
// attributable:
// - each record's setup starts with "SetLogCallBack" (Open) and its other
//   setters follow (Setting);
// - "AskQuestions" comes, in the same order, for exactly the records whose
//   setup the library accepted, and "Perform" for exactly those whose
//   questions it answered with 1;
// - a driver started inside a "Perform" (a library driving its children)
//   runs its own setups, questions and performs completely before that
//   "Perform" returns.
// So the records form a stack of runs: a setup that arrives after the current
// run has started asking opens a new run on top; questions and performs are
// taken from the top run, and a run with nothing left to perform is dropped
// when the next "Perform" arrives.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace instkit_examples {

template <typename Config>
class TRecordQueue {
 public:
  // Identifies a record between NextToAsk and Answered.
  struct TRef {
    size_t run = 0;
    size_t record = 0;
  };

  // A new record (from "SetLogCallBack").
  Config& Open() {
    if (runs_.empty() || runs_.back().asking_started) runs_.emplace_back();
    runs_.back().records.emplace_back();
    return runs_.back().records.back().config;
  }
  // The record the setters fill.
  Config& Setting() {
    if (runs_.empty() || runs_.back().records.empty()) Open();
    return runs_.back().records.back().config;
  }
  // The library refused the setup of the record being set up.
  void RejectSetting() {
    Setting();
    runs_.back().records.back().setup_ok = false;
  }

  // The record an "AskQuestions" call is for; false when none is left.
  bool NextToAsk(TRef* ref) {
    if (runs_.empty()) return false;
    TRun& run = runs_.back();
    run.asking_started = true;
    while (run.ask_cursor < run.records.size()) {
      const size_t i = run.ask_cursor++;
      if (run.records[i].setup_ok) {
        *ref = {runs_.size() - 1, i};
        return true;
      }
    }
    return false;
  }
  void Answered(const TRef& ref, bool ok) { runs_[ref.run].records[ref.record].asked_ok = ok; }

  // The record a "Perform" call is for; false when none is left.
  bool NextToPerform(TRef* ref) {
    while (!runs_.empty()) {
      TRun& run = runs_.back();
      while (run.perform_cursor < run.records.size()) {
        const size_t i = run.perform_cursor++;
        if (run.records[i].asked_ok) {
          *ref = {runs_.size() - 1, i};
          return true;
        }
      }
      runs_.pop_back();  // a finished nested run
    }
    return false;
  }
  Config& At(const TRef& ref) { return runs_[ref.run].records[ref.record].config; }

  // Guards the queue: calls may come from the host's and the library's threads.
  std::mutex mutex;

 private:
  struct TEntry {
    Config config;
    bool setup_ok = true;
    bool asked_ok = false;
  };
  struct TRun {
    std::vector<TEntry> records;
    size_t ask_cursor = 0;
    size_t perform_cursor = 0;
    bool asking_started = false;
  };
  std::vector<TRun> runs_;
};

}  // namespace instkit_examples
