// Generated catalogues for the benchmarks: three levels (about 1% top-level
// subsystems, 9% below them, 90% at the third level), each subsystem
// depending on up to three others, with texts of realistic length.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "host/base/field_types.h"

namespace instkit::bench {

inline int32_t GeneratedParent(int32_t i, int32_t n, std::mt19937& rng) {
  const int32_t tops = std::max(1, n / 100);
  const int32_t middles = std::max(tops + 1, n / 10);
  if (i < tops) return 0;
  if (i < middles) return 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(tops));
  return 1 + tops + static_cast<int32_t>(rng() % static_cast<uint32_t>(middles - tops));
}

// An IDF description of n subsystems, numbered 1 .. n, in memory.
inline void FillGeneratedCatalogue(TIDFTextFile& file, int32_t n, uint32_t seed = 1) {
  std::mt19937 rng(seed);
  TIDFSection* catalogue = file.AddSection("SubSystems");
  for (int32_t i = 0; i < n; ++i) {
    catalogue->AddParam("Sys" + std::to_string(i + 1), ftString)->SetAsString(std::to_string(i + 1));
  }
  for (int32_t i = 0; i < n; ++i) {
    const std::string number = std::to_string(i + 1);
    TIDFSection* s = file.AddSection("Sys" + number);
    auto add = [s](const char* key, const std::string& value) { s->AddParam(key, ftString)->SetAsString(value); };
    add("Parent", std::to_string(GeneratedParent(i, n, rng)));
    std::string depend;
    const int deps = static_cast<int>(rng() % 4);
    for (int d = 0; d < deps; ++d) {
      if (!depend.empty()) depend += ',';
      depend += std::to_string(1 + rng() % static_cast<uint32_t>(n));
    }
    add("Depend", depend);
    add("Library", i < n / 100 ? "sys" + number + ".dll" : "");
    add("Parameter", "param-" + number);
    add("Archive", "arc" + std::to_string(i % 17) + ".arj");
    add("Short name", "Subsystem " + number);
    add("Full name", "The subsystem number " + number + " of the generated catalogue");
    if (i % 3 == 0) add("MenuLink1", "Menu " + number);
    if (i % 5 == 0) add("DesktopLink2", "Desktop " + number);
  }
}

}  // namespace instkit::bench
