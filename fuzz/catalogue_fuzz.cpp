// Catalogue reading from fuzzed IDF text: the indexed reader must neither
// crash nor differ from a plain reader that follows the reading rules
// literally; the check and the writer run on whatever was read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Syslist/catalogue_check.h"
#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "fuzz_support.h"
#include "host/base/exception.h"

using namespace instkit;

namespace {

void PlainChildren(TSysNode& parent, const TIDFSection* catalogue, const TIDFTextFile& file, int depth) {
  if (depth > 2000) throw Exception("ECatalogueError", "too deep");
  for (int32_t i = 0; i < catalogue->GetFieldCount(); ++i) {
    const TIDFSection* section = file.GetSectionByName(catalogue->GetFields(i)->Name());
    if (section == nullptr) continue;
    const int32_t p = TCustomSysNode::GetParamAsInteger(section, "Parent");
    if (p == 0 || p != parent.Info->SysIndex) continue;
    auto node = std::make_unique<TSysNode>();
    node->Info->SysIndex = TCustomSysNode::GetSysIndex(catalogue, section->SectionName);
    node->GetData(section);
    node->Info->BackRef = TCustomSysNode::GetBackRef(node->Info->SysIndex, catalogue, &file);
    PlainChildren(*parent.AddNode(std::move(node)), catalogue, file, depth + 1);
  }
}

bool PlainLoad(TSysTree& tree, const TIDFTextFile& file) {
  const TIDFSection* catalogue = file.GetSectionByName("SubSystems");
  if (catalogue == nullptr) return true;
  const int32_t n = catalogue->GetFieldCount();
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = i + 1; j < n; ++j)
      if (catalogue->GetFields(i)->GetAsInteger() == catalogue->GetFields(j)->GetAsInteger()) return false;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t number = catalogue->GetFields(i)->GetAsInteger();
    const TIDFSection* section = file.GetSectionByName(catalogue->GetFields(i)->Name());
    if (number == 0 || section == nullptr) continue;
    try {
      if (TCustomSysNode::GetParamAsInteger(section, "Parent") != 0) continue;
      auto node = std::make_unique<TSysNode>();
      node->Info->SysIndex = number;
      node->GetData(section);
      node->Info->BackRef = TCustomSysNode::GetBackRef(number, catalogue, &file);
      PlainChildren(*tree.AddNode(std::move(node)), catalogue, file, 0);
    } catch (...) {
    }
  }
  return true;
}

int64_t CountNodes(const TCustomSysNode& node) {
  int64_t n = node.Count;
  for (const auto& child : node.Nodes) n += CountNodes(*child);
  return n;
}

void Same(const TCustomSysNode& a, const TCustomSysNode& b) {
  if (a.Count != b.Count) std::abort();
  for (int32_t i = 0; i < a.Count; ++i) {
    const TSubsystemInfo& x = *a.Nodes[static_cast<size_t>(i)]->Info;
    const TSubsystemInfo& y = *b.Nodes[static_cast<size_t>(i)]->Info;
    if (x.SysIndex != y.SysIndex || x.BackRef != y.BackRef || x.SaveName != y.SaveName || x.Links != y.Links ||
        x.Depend != y.Depend || x.Parent != y.Parent || x.ShortName != y.ShortName)
      std::abort();
    Same(*a.Nodes[static_cast<size_t>(i)], *b.Nodes[static_cast<size_t>(i)]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = (fuzz::QuietMessageBoxes(), fuzz::ScratchPath(".catalogue.idf"));
  if (size > 20000) return 0;
  std::string text = "IDF-CPS-text\r\n\r\n";
  text.append(reinterpret_cast<const char*>(data), size);
  if (!fuzz::WriteScratch(path, text)) return 0;
  TIDFTextFile file;
  const bool loaded = file.LoadFromFile(path);
  std::remove(path.c_str());
  if (!loaded) return 0;

  TSysTree fast;
  bool fast_ok = false, fast_raised = false;
  try {
    fast_ok = fast.LoadFromIDFFile(&file);
  } catch (const EConvertError&) {
    fast_raised = true;
  }
  // The indexed reader stops a catalogue that expands past 8 nodes per entry
  // + 1024 (repeated names); each top-level step drops at most one node, so
  // below this bound the limit was not reached and the plain reader, which
  // has no limit, must build the same tree.
  const TIDFSection* catalogue = file.GetSectionByName("SubSystems");
  const int64_t entries = catalogue == nullptr ? 0 : catalogue->GetFieldCount();
  if (CountNodes(fast) + entries < 1024) {
    TSysTree plain;
    bool plain_ok = false, plain_raised = false;
    try {
      plain_ok = PlainLoad(plain, file);
    } catch (const EConvertError&) {
      plain_raised = true;
    }
    if (fast_ok != plain_ok || fast_raised != plain_raised) std::abort();
    Same(fast, plain);
  }
  (void)CheckCatalogue(file);
  TIDFTextFile out;
  fast.SaveToIDFFile(&out);
  return 0;
}
