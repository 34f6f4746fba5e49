// instkit plan FILE [--select ...] [--deselect ...] [--none] [--json]: what a
// run with that selection would do, without running anything.  The plan and
// its text are the engine's (Engine/plan.h), so an interactive installer
// shows the same.
#include <memory>
#include <string>

#include "Engine/run_engine.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/selection_options.h"
#include "cli/terminal.h"
#include "host/base/codepage.h"

namespace instkit::cli {

namespace {

void PrintJson(const TPlan& plan) {
  TJsonWriter json;
  json.BeginObject();
  json.Member("file", plan.file);
  json.Member("product", Cp1251ToUtf8(plan.product));
  json.Member("start", plan.request.none ? "none" : "all");
  json.Key("steps");
  json.BeginArray();
  for (const TSelectionStep& step : plan.request.steps) {
    json.BeginObject();
    json.Key(step.select ? "select" : "deselect");
    json.BeginArray();
    for (int32_t n : step.numbers) json.Int(n);
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.Key("subsystems");
  json.BeginArray();
  for (const TPlanChoice& c : plan.choices) {
    json.BeginObject();
    json.Member("number", c.sys_index);
    json.Member("short_name", Cp1251ToUtf8(c.short_name));
    json.Member("depth", c.depth);
    json.Member("selected", c.selected);
    json.Member("reason", c.reason);
    json.Member("why", ReasonText(c, true));
    if (c.cause != 0) {
      json.Member("cause", c.cause);
      json.Member("via", TickViaName(c.via));
    }
    if (c.origin != 0) json.Member("origin", c.origin);
    json.EndObject();
  }
  json.EndArray();
  json.Member("install_set", Utf8Texts(plan.install_set));
  json.Member("sections", Utf8Texts(plan.sections));
  json.Key("archives");
  json.BeginArray();
  for (const TPlanArchive& archive : plan.archives) {
    json.BeginObject();
    json.Member("name", Cp1251ToUtf8(archive.name));
    json.Key("subsystems");
    json.BeginArray();
    for (int32_t n : archive.numbers) json.Int(n);
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.Member("menu_links", Utf8Texts(plan.menu_links));
  json.Member("desktop_links", Utf8Texts(plan.desktop_links));
  json.Member("registry_key", Cp1251ToUtf8(plan.registry_key));
  json.EndObject();
  PrintUtf8(json.Text() + "\n");
}

int Plan(const std::string& path, const TSelectionOptions& selection, bool as_json) {
  if (!selection.error.empty()) {
    PrintError("instkit plan: " + selection.error);
    return 2;
  }
  TRunOptions options;
  options.description_file = path;  // opened as the file system spells it
  options.selection = selection.request;
  TRunEngine engine(options);
  if (!engine.Prepare()) {
    PrintError("instkit: " + engine.Report().failure);
    return engine.Report().ExitStatus();
  }
  if (as_json) {
    PrintJson(engine.Plan());
  } else {
    PlanText(engine.Plan(), [](std::string_view text) { PrintUtf8(text); });
  }
  return 0;
}

const TCommandRegistrar kRegistrar(40, [](CLI::App& app, int* status) {
  auto* plan = app.add_subcommand("plan", "Show what a run with a selection would do, without running anything");
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto selection = std::make_shared<TSelectionOptions>();
  plan->add_option("FILE", *file, "Installation description (IDF text file)")->required();
  AddSelectionOptions(*plan, selection);
  plan->add_flag("--json", *json, "Print one JSON object");
  plan->footer("Exit status: 0 planned, 2 a description or selection that cannot be used.");
  plan->callback([=] { *status = Plan(*file, *selection, *json); });
});

}  // namespace
}  // namespace instkit::cli
