// Installation descriptions of any size and shape, for the tests that run
// the library and the commands on catalogues far deeper or wider than any
// written by hand: "SubSystems" lists S1 .. Sn with the numbers 1 .. n, and
// section Si describes subsystem i:
//
//   kChain    S1 is top level, every other Si has Parent i - 1: n levels.
//   kWideNode S1 is top level with S2 .. Sn as its children.
//   kWideTop  S1 .. Sn are all top level.
//
// Each Si except the last has Depend i + 1, so the back references and the
// selection view's dependency chain are n long too, and the short name Ni.
// `extra` is appended to every section (lines ending in "\r\n", such as
// "Library=x.so\r\n"), for commands that need more keys.
#pragma once

#include <cstdint>
#include <string>

namespace instkit::testing {

// How many subsystems the deep and wide tests generate: 200,000, or 50,000
// in builds with AddressSanitizer, where the same walks run ten times slower
// (and still need far more stack per level than a release build, so a
// recursive walk fails there too).
#if defined(__SANITIZE_ADDRESS__)
constexpr int32_t kLargeCatalogue = 50000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int32_t kLargeCatalogue = 50000;
#else
constexpr int32_t kLargeCatalogue = 200000;
#endif
#else
constexpr int32_t kLargeCatalogue = 200000;
#endif

enum class TCatalogueShape { kChain, kWideNode, kWideTop };

inline std::string GenerateCatalogue(TCatalogueShape shape, int32_t count, const std::string& extra = {}) {
  std::string text = "IDF-CPS-text\r\n\r\n[SubSystems]\r\n";
  text.reserve(static_cast<size_t>(count) * 64);
  for (int32_t i = 1; i <= count; ++i) text += "S" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  for (int32_t i = 1; i <= count; ++i) {
    int32_t parent = 0;
    if (i > 1 && shape == TCatalogueShape::kChain) parent = i - 1;
    if (i > 1 && shape == TCatalogueShape::kWideNode) parent = 1;
    text += "[S" + std::to_string(i) + "]\r\nParent=" + std::to_string(parent) + "\r\n";
    if (i < count) text += "Depend=" + std::to_string(i + 1) + "\r\n";
    text += "Short name=N" + std::to_string(i) + "\r\n" + extra;
  }
  return text;
}

inline const char* ShapeName(TCatalogueShape shape) {
  switch (shape) {
    case TCatalogueShape::kChain:
      return "chain";
    case TCatalogueShape::kWideNode:
      return "wide-node";
    case TCatalogueShape::kWideTop:
      return "wide-top";
  }
  return "?";
}

}  // namespace instkit::testing
