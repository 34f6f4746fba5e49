// What the run commands print at the end: the summary table, or with
// --json one object, whose keys docs/json.md lists (a test checks them).
// Texts are UTF-8; a short name is the catalogue's, converted.
#pragma once

#include <string>

#include "Engine/run_report.h"

namespace instkit::cli {

void PrintRunSummary(const TRunReport& report);
void PrintRunJson(const char* command, const TRunReport& report);

}  // namespace instkit::cli
