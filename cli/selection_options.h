// The selection options shared by `instkit plan` and the run commands:
// --select N[,N...] and --deselect N[,N...] (repeatable, kept in
// command-line order) and --none, filling a TSelectionRequest
// (Engine/run_options.h).
#pragma once

#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "Engine/run_options.h"

namespace instkit::cli {

struct TSelectionOptions {
  TSelectionRequest request;
  std::string error;  // the first malformed number list (UTF-8), reported after parsing
};

void AddSelectionOptions(CLI::App& sub, const std::shared_ptr<TSelectionOptions>& options);

// The options that give `request` back: " --none --select 12 --deselect 11",
// with a leading blank; "" for the empty request.
std::string SelectionArguments(const TSelectionRequest& request);

}  // namespace instkit::cli
