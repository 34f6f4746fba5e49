// Loading the installation description a command names.  Descriptions may be
// Windows-1251 or UTF-8 (Tidf/description_encoding.h); every command that
// reads one goes through LoadDescriptionOrReport.
#pragma once

#include <memory>
#include <string>

#include "Tidf/description_encoding.h"
#include "Tidf/idf_text_file.h"

namespace instkit::cli {

// The loaded file, and how it was read in *format (when not null).  On
// failure prints "instkit: " and the sentence of ReadDescription
// (Engine/run_input.h) to stderr, such as "instkit: cannot read PATH: no
// such file", and gives null.
std::unique_ptr<TIDFTextFile> LoadDescriptionOrReport(const std::string& path, TDescriptionFormat* format = nullptr);

}  // namespace instkit::cli
