// Recording a run in the registry (Engine/run_record.h): 10,000 subsystems
// in one transaction, against a raw SQLite insert of the same rows in one
// transaction (the floor) and against one transaction per value (how the
// registry was written before, on 200 values).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "Dllload/subsystem_api.h"
#include "Engine/run_record.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "host/db/sqlite_db.h"
#include "host/platform/registry.h"

namespace fs = std::filesystem;
using namespace instkit;

namespace {

std::string FreshStore() {
  const fs::path path = fs::temp_directory_path() / "instkit-run-record-bench.db";
  std::error_code code;
  fs::remove(path, code);
  return path.string();
}

std::unique_ptr<TSysTree> Installed(int count) {
  auto tree = std::make_unique<TSysTree>();
  for (int i = 0; i < count; ++i) {
    auto node = std::make_unique<TSysNode>();
    node->Info->ShortName = "Subsystem " + std::to_string(i);
    node->Info->IsInst = true;
    tree->AddNode(std::move(node));
  }
  return tree;
}

void BM_RecordRun(benchmark::State& state) {
  const auto tree = Installed(static_cast<int>(state.range(0)));
  TProductRecord record;
  record.product = "bench";
  for (auto _ : state) {
    const std::string store = FreshStore();
    TRegistry registry(store);
    TRecordReport report;
    RecordRun(registry, INSTKIT_MODE_INSTALL, record, *tree, report);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RecordRun)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_RawInsertReference(benchmark::State& state) {
  for (auto _ : state) {
    TSqliteDb db(FreshStore(), true);
    db.Exec("PRAGMA synchronous = FULL");
    db.Exec(
        "CREATE TABLE v(key TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE, data TEXT NOT NULL,"
        " PRIMARY KEY(key, name))");
    db.Exec("BEGIN IMMEDIATE");
    auto insert = db.Prepare("INSERT INTO v VALUES(?1, ?2, ?3)");
    for (int64_t i = 0; i < state.range(0); ++i) {
      insert.Reset();
      insert.BindText(1, "Software\\instkit\\Installed\\bench");
      insert.BindText(2, "Subsystem " + std::to_string(i));
      insert.BindText(3, "Installed");
      insert.Step();
    }
    insert.Reset();
    db.Exec("COMMIT");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RawInsertReference)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_OneTransactionPerValue(benchmark::State& state) {
  const auto tree = Installed(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TRegistry registry(FreshStore());
    registry.OpenKey("Software\\instkit\\Installed\\bench", true);
    WalkNodesBelow(tree.get(), [&registry](TSysNode* node) {
      registry.WriteString(node->Info->ShortName, "Installed");
      return true;
    });
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OneTransactionPerValue)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
