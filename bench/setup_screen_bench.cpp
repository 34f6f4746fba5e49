// A key press on the setup wizard's selection screen, from the key to the
// finished frame, on a 100,000-subsystem catalogue: the screen is an
// 80x24 ncurses terminal writing to /dev/null, so the whole cost of a
// frame (drawing the visible rows, ncurses working out and writing the
// changes) is measured, without a terminal to wait for.
//
//   Move       Down or Up: the cursor moves, one frame
//   Tick       Space on the first row with nothing ticked: its parents,
//              subtree and dependencies, transitively, most of the catalogue
//   TickAll    "a": every subsystem ticked again
//   Reference  the same first tick through the bare selection view, no
//              reasons and no screen: what the propagation alone costs
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "Engine/selection.h"
#include "Syslist/subsystem_info.h"
#include "Viewlist/system_view.h"
#include "bench/catalogue_support.h"
#include "cli/setup/screen.h"
#include "cli/setup/selection_screen.h"

namespace instkit {
namespace {

constexpr int32_t kSubsystems = 100000;

struct TFixture {
  TIDFTextFile file;
  TSysTree catalogue;
  TSelection selection;
  std::FILE* out = std::fopen("/dev/null", "w");
  std::FILE* in = std::fopen("/dev/null", "r");
  std::unique_ptr<cli::setup::TScreen> screen;
  std::unique_ptr<cli::setup::TSelectionScreen> view;

  TFixture() {
    bench::FillGeneratedCatalogue(file, kSubsystems);
    catalogue.LoadFromIDFFile(&file);
    selection.Start(catalogue, false);
    screen = std::make_unique<cli::setup::TScreen>("xterm-256color", out, in, 24, 80);
    view = std::make_unique<cli::setup::TSelectionScreen>(selection, "instkit setup: bench", "Step 2 of 6: Selection");
    Frame();
  }
  ~TFixture() {
    view.reset();
    screen.reset();
    std::fclose(out);
    std::fclose(in);
  }
  void Frame() {
    view->Draw(*screen);
    screen->Show();
  }
  void Press(int key) {
    view->Key(key, *screen);
    Frame();
  }
};

TFixture& Fixture() {
  static TFixture* fixture = new TFixture();
  return *fixture;
}

void BM_Move(benchmark::State& state) {
  TFixture& f = Fixture();
  f.Press('a');
  bool down = true;
  for (auto _ : state) {
    f.Press(down ? cli::setup::kKeyDown : cli::setup::kKeyUp);
    down = !down;
  }
}
BENCHMARK(BM_Move)->Unit(benchmark::kMicrosecond);

void BM_Tick(benchmark::State& state) {
  TFixture& f = Fixture();
  f.Press(cli::setup::kKeyHome);
  for (auto _ : state) {
    state.PauseTiming();
    f.selection.None();
    state.ResumeTiming();
    f.Press(' ');
  }
  state.counters["ticked"] = static_cast<double>(f.selection.SelectedCount());
}
BENCHMARK(BM_Tick)->Unit(benchmark::kMillisecond);

void BM_TickAll(benchmark::State& state) {
  TFixture& f = Fixture();
  for (auto _ : state) {
    state.PauseTiming();
    f.selection.None();
    state.ResumeTiming();
    f.Press('a');
  }
}
BENCHMARK(BM_TickAll)->Unit(benchmark::kMillisecond);

void BM_Reference(benchmark::State& state) {
  TFixture& f = Fixture();
  TSystemView view(&f.selection.Items());
  TTreeNode* first = f.selection.Items().GetFirstNode();
  for (auto _ : state) {
    state.PauseTiming();
    f.selection.None();
    state.ResumeTiming();
    view.SelectNode(first);
  }
}
BENCHMARK(BM_Reference)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace instkit

BENCHMARK_MAIN();
