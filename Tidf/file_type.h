// The three kinds of IDF file: the two text kinds ("IDF-CPS-text",
// "IDF-FPS-text") and the compressed data file ("IDF-DS").
#pragma once

#include <cstdint>

namespace instkit {

enum TFileType : uint8_t { idtCPS = 0, idtFPS = 1, idtDS = 2 };

}  // namespace instkit
