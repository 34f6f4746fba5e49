// What the run commands print at the end: the summary table, or with
// --json one object:
//
//   {"command", "file", "product", "path", "driver": "node-tree"|"flat",
//    "isolated", "status": "done"|"not all done"|"failed"|"bad input"|
//    "busy"|"interrupted", "exit_status", "failure" (or null),
//    "phases": [{"phase", "ran", "outcome": "completed"|"aborted"|"failed"|null}],
//    "subsystems": [{"number", "short_name", "library", "depth", "loaded",
//                    "done", "was_installed"}],
//    "questions": [{"kind", "phase", "number", "short_name", "caption",
//                   "text", "answer": "yes"|"no", "source"}],
//    "load_failure" (or null),
//    "registry": {"attempted", "recorded", "store", "key", "written", "removed"},
//    "links": {"attempted", "made", "removed"}}
//
// Texts are UTF-8; a short name is the catalogue's, converted.
#pragma once

#include <string>

#include "Engine/run_report.h"

namespace instkit::cli {

void PrintRunSummary(const TRunReport& report);
void PrintRunJson(const char* command, const TRunReport& report);

}  // namespace instkit::cli
