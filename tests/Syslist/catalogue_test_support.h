// Helpers shared by the catalogue tests: building IDF files in memory,
// recording message boxes, and comparing trees.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Syslist/syslist.h"
#include "Tidf/idf_text_file.h"
#include "host/base/codepage.h"
#include "host/base/settings.h"
#include "host/platform/message_box.h"

namespace instkit::testing {

struct TShownBox {
  std::string text;
  std::string caption;
  uint32_t style;
  bool operator==(const TShownBox&) const = default;
};

// Installs a handler that records every message box and answers OK; the
// previous handler comes back when the recorder goes.
class TMessageBoxRecorder {
 public:
  TMessageBoxRecorder() {
    previous_ = Settings().SetMessageBoxHandler(
        [this](uintptr_t, const std::string& text, const std::string& caption, uint32_t style) {
          shown.push_back({text, caption, style});
          return kIdOk;
        });
  }
  ~TMessageBoxRecorder() { Settings().SetMessageBoxHandler(previous_); }
  std::vector<TShownBox> shown;

 private:
  TMessageBoxHandler previous_;
};

using TParams = std::vector<std::pair<std::string, std::string>>;

// Adds a section of text parameters, as the file reader creates them.
inline TIDFSection* AddTextSection(TIDFTextFile& file, const std::string& name, const TParams& params) {
  TIDFSection* section = file.AddSection(name);
  for (const auto& [key, value] : params) section->AddParam(key, ftString)->SetAsString(value);
  return section;
}

inline TSysNode* AddSys(TCustomSysNode& parent, int32_t number, const std::string& short_name = {}) {
  auto node = std::make_unique<TSysNode>();
  node->Info->SysIndex = number;
  node->Info->ShortName = short_name.empty() ? "S" + std::to_string(number) : short_name;
  node->Info->SaveName = "Sec" + std::to_string(number);
  return parent.AddNode(std::move(node));
}

// Every field of two records, for comparisons that must be exact.
inline auto AllFields(const TSubsystemInfo& i) {
  return std::tie(i.AllCheck, i.Archive, i.BackRef, i.Checked, i.Depend, i.FullName, i.IsInst, i.Library, i.Links,
                  i.Parameter, i.Parent, i.SaveName, i.ShortName, i.SysIndex);
}
inline void ExpectSameInfo(const TSubsystemInfo& a, const TSubsystemInfo& b, const std::string& where) {
  EXPECT_EQ(AllFields(a), AllFields(b)) << where;
}

// Same shape and same records; ParentNode links checked on the way.
inline void ExpectSameTree(const TCustomSysNode& a, const TCustomSysNode& b, const std::string& path = "root") {
  ASSERT_EQ(a.Count, b.Count) << path;
  ASSERT_EQ(a.Count, static_cast<int32_t>(a.Nodes.size())) << path;
  for (int32_t i = 0; i < a.Count; ++i) {
    const TSysNode& x = *a.Nodes[static_cast<size_t>(i)];
    const TSysNode& y = *b.Nodes[static_cast<size_t>(i)];
    const std::string where = path + "/" + std::to_string(i);
    EXPECT_EQ(x.ParentNode, &a) << where;
    ExpectSameInfo(*x.Info, *y.Info, where);
    ExpectSameTree(x, y, where);
  }
}

// Shape of a tree as text: "1(2(3),4) 5" with "-" before an unchecked node.
inline std::string Shape(const TCustomSysNode& node, char separator = ' ') {
  std::string out;
  for (const auto& child : node.Nodes) {
    if (!out.empty()) out += separator;
    if (!child->Info->Checked) out += '-';
    out += std::to_string(child->Info->SysIndex);
    if (child->Count > 0) out += "(" + Shape(*child, ',') + ")";
  }
  return out;
}

// "1 2 3" of the AllCheck flags, pre-order, "+" for set.
inline std::string AllChecks(const TCustomSysNode& node) {
  std::string out;
  for (const auto& child : node.Nodes) {
    out += std::to_string(child->Info->SysIndex) + (child->Info->AllCheck ? "+ " : "- ");
    out += AllChecks(*child);
  }
  return out;
}

// Number of subsystems in a tree.
inline int32_t CountNodes(const TCustomSysNode& node) {
  int32_t n = node.Count;
  for (const auto& child : node.Nodes) n += CountNodes(*child);
  return n;
}

}  // namespace instkit::testing
