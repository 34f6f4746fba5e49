// The reasons the selection keeps, checked on generated catalogues against
// what the flags did: after every step, each subsystem whose Checked
// changed says so, names a cause that really is its parent, child,
// dependency or dependent and went the same way in the same step, and the
// causes lead back to the subsystem the step named.  Then the recorded
// request, replayed, selects the same subsystems for the same reasons.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "Engine/selection.h"
#include "Syslist/syslist.h"
#include "host/base/text.h"

namespace instkit {
namespace {

// n subsystems numbered 1..n, each below a random earlier one (or at the
// top), each needing up to two random others.
void Generate(std::mt19937& rng, int n, TSysTree& tree) {
  std::vector<TCustomSysNode*> nodes{&tree};
  for (int i = 1; i <= n; ++i) {
    auto node = std::make_unique<TSysNode>();
    node->Info->SysIndex = i;
    node->Info->ShortName = "S" + std::to_string(i);
    const int parent = static_cast<int>(rng() % static_cast<unsigned>(i));  // 0: top level
    node->Info->Parent = parent;
    std::string depend;
    for (unsigned k = rng() % 3; k > 0; --k) {
      depend += (depend.empty() ? "" : ",") + std::to_string(1 + rng() % static_cast<unsigned>(n));
    }
    node->Info->Depend = depend;
    nodes.push_back(nodes[static_cast<size_t>(parent)]->AddNode(std::move(node)));
  }
  for (int i = 1; i <= n; ++i) {
    const std::string& depend = static_cast<TSysNode*>(nodes[static_cast<size_t>(i)])->Info->Depend;
    for (int32_t k = 1, d; (d = GetNextRef(depend, k)) > 0; ++k) {
      std::string& back = static_cast<TSysNode*>(nodes[static_cast<size_t>(d)])->Info->BackRef;
      back += (back.empty() ? "" : ",") + std::to_string(i);
    }
  }
}

bool Lists(const std::string& refs, int32_t number) {
  for (int32_t k = 1, d; (d = GetNextRef(refs, k)) != -1; ++k) {
    if (d == number) return true;
  }
  return false;
}

const TSubsystemInfo* Rec(const TTreeNode* item) { return static_cast<const TSubsystemInfo*>(item->Data); }

TEST(SelectionReasonsTest, EveryChangeNamesARealCauseThatLeadsBackToTheStep) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TSysTree catalogue;
    const int n = 5 + static_cast<int>(rng() % 60);
    Generate(rng, n, catalogue);
    TSelection selection;
    ASSERT_TRUE(selection.Start(catalogue, rng() % 2 == 0));
    TTreeNodes& items = selection.Items();
    for (int step = 0; step < 12; ++step) {
      std::vector<char> before;
      std::vector<TTickReason> reasons;
      for (int32_t i = 0; i < items.GetCount(); ++i) {
        before.push_back(static_cast<char>(Rec(items.Item(i))->Checked));
        reasons.push_back(selection.Reason(items.Item(i)));
      }
      TTreeNode* named = items.Item(static_cast<int32_t>(rng() % static_cast<unsigned>(n)));
      const bool select = rng() % 2 == 0;
      ASSERT_TRUE(select ? selection.Tick(named) : selection.Untick(named));

      size_t count = 0;
      for (int32_t i = 0; i < items.GetCount(); ++i) {
        TTreeNode* item = items.Item(i);
        const TSubsystemInfo* r = Rec(item);
        count += r->Checked ? 1 : 0;
        const TTickReason& why = selection.Reason(item);
        if (item == named) {
          EXPECT_EQ(why.kind, select ? TTickKind::kRequested : TTickKind::kDeselected);
          EXPECT_EQ(r->Checked, select);
          continue;
        }
        const bool changed = r->Checked != static_cast<bool>(before[static_cast<size_t>(i)]);
        if (!changed) {
          const TTickReason& old = reasons[static_cast<size_t>(i)];
          EXPECT_TRUE(why.kind == old.kind && why.cause == old.cause && why.origin == old.origin) << r->SysIndex;
          continue;
        }
        EXPECT_EQ(why.origin, Rec(named)) << r->SysIndex;
        EXPECT_EQ(why.kind, select ? TTickKind::kPulledIn : TTickKind::kDropped) << r->SysIndex;
        ASSERT_NE(why.cause, nullptr) << r->SysIndex;
        EXPECT_EQ(why.cause->Checked, select) << r->SysIndex;
        const TTreeNode* cause = selection.ItemOf(why.cause->SysIndex);
        switch (why.via) {
          case TTickVia::kParent:
            EXPECT_EQ(item->Parent(), cause);
            break;
          case TTickVia::kChild:
            EXPECT_EQ(cause->Parent(), item);
            break;
          case TTickVia::kNeededBy:
            EXPECT_TRUE(select && Lists(why.cause->Depend, r->SysIndex));
            break;
          case TTickVia::kNeeds:
            EXPECT_TRUE(!select && Lists(r->Depend, why.cause->SysIndex));
            break;
          case TTickVia::kCall:
            ADD_FAILURE() << "no relation for " << r->SysIndex;
            break;
        }
        // The causes of this step lead back to the named subsystem.
        std::set<const TSubsystemInfo*> seen;
        const TSubsystemInfo* at = r;
        while (at != Rec(named) && seen.insert(at).second) at = selection.Reason(selection.ItemOf(at->SysIndex)).cause;
        EXPECT_EQ(at, Rec(named)) << r->SysIndex;
      }
      EXPECT_EQ(selection.SelectedCount(), count);
    }

    // The recorded steps, replayed on a fresh selection, give the same lines.
    const std::vector<TPlanChoice> live = selection.Choices();
    TSelection replay;
    ASSERT_TRUE(replay.Apply(catalogue, selection.Request())) << replay.error;
    ASSERT_EQ(replay.choices.size(), live.size());
    for (size_t i = 0; i < live.size(); ++i) {
      EXPECT_EQ(ReasonText(replay.choices[i], true), ReasonText(live[i], true)) << live[i].sys_index;
      EXPECT_EQ(replay.choices[i].selected, live[i].selected);
      EXPECT_EQ(replay.choices[i].depth, live[i].depth);
    }
  }
}

// Tick all and none start over: the reasons are the defaults again and the
// request carries no step.
TEST(SelectionReasonsTest, AllAndNoneStartOver) {
  std::mt19937 rng(5);
  TSysTree catalogue;
  Generate(rng, 30, catalogue);
  TSelection selection;
  ASSERT_TRUE(selection.Start(catalogue, false));
  ASSERT_TRUE(selection.Untick(selection.ItemOf(1)));
  for (bool all : {false, true}) {
    all ? selection.All() : selection.None();
    EXPECT_EQ(selection.SelectedCount(), all ? 30u : 0u);
    EXPECT_EQ(selection.Request().none, !all);
    EXPECT_TRUE(selection.Request().steps.empty());
    for (const TPlanChoice& c : selection.Choices()) {
      EXPECT_EQ(c.selected, all);
      EXPECT_STREQ(c.reason, "default");
    }
  }
}

}  // namespace
}  // namespace instkit
