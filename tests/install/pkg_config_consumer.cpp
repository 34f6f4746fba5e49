// A program built against an installed instkit with pkg-config
// (scripts/install-check.sh): loads a description and prints how it was read
// and its top-level subsystems, "<encoding>: N subsystem(s): <number> <name>...".
#include <cstdio>
#include <string>

#include "Syslist/syslist.h"
#include "Tidf/description_encoding.h"
#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  instkit::TIDFTextFile file;
  instkit::TDescriptionFormat format;
  if (!instkit::LoadDescription(file, argv[1], &format)) {
    std::fprintf(stderr, "%s\n", instkit::Cp1251ToUtf8(file.LastError).c_str());
    return 1;
  }
  instkit::TSysTree tree;
  if (!tree.LoadFromIDFFile(&file)) return 1;
  std::string line = std::string(instkit::TextEncodingName(format.encoding)) + ": " +
                     std::to_string(tree.Nodes.size()) + " subsystem(s):";
  for (const auto& node : tree.Nodes) {
    line += " " + std::to_string(node->Info->SysIndex) + " " + instkit::Cp1251ToUtf8(node->Info->ShortName);
  }
  std::printf("%s\n", line.c_str());
  return 0;
}
