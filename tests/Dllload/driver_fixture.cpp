#include "driver_fixture.h"

#include <cstdlib>
#include <map>
#include <sstream>

#include "Syslist/node_walk.h"

#include "host/base/format.h"
#include "host/base/settings.h"

namespace instkit::testing {

TRecorder& Recorder() {
  static TRecorder recorder;
  return recorder;
}

void INSTKIT_CALL RecordLog(const char* line) {
  std::lock_guard<std::mutex> lock(Recorder().mutex);
  Recorder().log.emplace_back(line);
}

// The first of `answers`, taken off; `otherwise` when there is none.
static int Next(std::deque<int>& answers, int otherwise) {
  if (answers.empty()) return otherwise;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

int32_t INSTKIT_CALL RecordProgress(int32_t percent, const char* text, int32_t extra) {
  std::lock_guard<std::mutex> lock(Recorder().mutex);
  Recorder().progress.push_back(Format("%d|%s|%d", percent, text, extra));
  return Next(Recorder().progress_answers, INSTKIT_TRUE);
}

Lines Logged(const Lines& texts) {
  Lines out;
  for (const std::string& text : texts) out.push_back(" " + Utf8ToCp1251(text));
  return out;
}

void DriverTest::SetUp() {
  temp_ = dir_.emplace().Root();
  calls_file_ = (temp_ / "calls.txt").string();
  TRecorder& r = Recorder();
  r.log.clear();
  r.boxes.clear();
  r.answers.clear();
  r.progress.clear();
  r.progress_answers.clear();
  previous_handler_ = Settings().SetMessageBoxHandler(
      [](uintptr_t, const std::string& text, const std::string& caption, uint32_t style) {
        std::lock_guard<std::mutex> lock(Recorder().mutex);
        TRecorder& rec = Recorder();
        rec.boxes.push_back(Cp1251ToUtf8(caption) + "|" + Cp1251ToUtf8(text) + "|" + Format("0x%04X", style));
        return (style & kMbButtonMask) != kMbYesNo ? kIdOk : Next(rec.answers, kIdNo);
      });
}

void DriverTest::TearDown() {
  loader_.reset();
  Settings().SetMessageBoxHandler(previous_handler_);
  dir_.reset();
}

std::string DriverTest::Library(const std::string& name, const char* built) {
  const std::filesystem::path copy = temp_ / (name + INSTKIT_TEST_LIBRARY_SUFFIX);
  // A new file each time: rewriting a loaded library in place would corrupt it.
  std::filesystem::remove(copy);
  std::filesystem::copy_file(built, copy);
  return copy.string();
}

TSysNode* DriverTest::Add(TCustomSysNode* parent, const std::string& short_name, const std::string& library,
                          const std::string& script) {
  auto node = std::make_unique<TSysNode>();
  node->Info->ShortName = short_name;
  node->Info->SaveName = "Sec" + short_name;
  node->Info->Library = library;
  node->Info->Parameter = Param(short_name, script);
  return parent->AddNode(std::move(node));
}

Lines DriverTest::Calls() const {
  Lines lines;
  std::ifstream in(calls_file_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void DriverTest::ExpectLog(const std::string& name) const {
  // The same file on every system: "$TMP/a.so" stands for <temp>\a.dll too.
  const std::pair<std::string, std::string> names[] = {
      {(temp_ / "x").string().substr(0, temp_.string().size() + 1), "$TMP/"}, {INSTKIT_TEST_LIBRARY_SUFFIX, ".so"}};
  std::string got;
  Lines lines;
  for (const std::string& line : Recorder().log) lines.push_back(Cp1251ToUtf8(line));
  if (!Recorder().boxes.empty()) lines = lines + Lines{"-- message boxes (caption|text|style):"} + Recorder().boxes;
  lines = lines + Lines{"-- calls:"} + Calls();
  if (!Recorder().progress.empty()) lines = lines + Lines{"-- progress (percent|text|extra):"} + Recorder().progress;
  for (std::string line : lines) {
    for (const auto& [from, to] : names) {
      for (size_t at = line.find(from); at != std::string::npos; at = line.find(from, at + to.size()))
        line.replace(at, from.size(), to);
    }
    got += line + "\n";
  }
  const std::string golden = std::string(INSTKIT_TEST_DATA_DIR) + "/drivers/" + name + ".log";
  if (const char* update = std::getenv("INSTKIT_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
    std::ofstream(golden, std::ios::binary) << got;
  }
  EXPECT_EQ(got, TempDir::Read(golden)) << golden;
}

void DriverTest::Configure(TCustomDLLLoader& loader, uint8_t mode) {
  loader.LogCallBack = RecordLog;
  loader.ProgressCallBack = RecordProgress;
  loader.ClientNumber = 42;
  loader.QuestionsLevel = 3;
  loader.Path = (temp_ / "target").string();
  loader.SessionName = "S1";
  loader.SetRegim(mode);
}

void DriverTest::Prepare(TDllLoader& loader, uint8_t mode) {
  Configure(loader, mode);
  loader.SysTree = &tree_;
  ASSERT_TRUE(loader.LoadDLLs());
  ASSERT_EQ(loader.SetAll(), 1);
}

std::string DriverTest::Run(bool flat, uint8_t mode) {
  TDllsLoader dlls;
  loader_ = std::make_unique<TDllLoader>();
  TCustomDLLLoader& loader = flat ? static_cast<TCustomDLLLoader&>(dlls) : *loader_;
  Configure(loader, mode);
  if (flat) {
    image_ = ImageOf(root_);
    EXPECT_TRUE(dlls.SetPointer(image_.data(), image_.size()));
  }
  loader_->SysTree = &tree_;
  const bool load = loader.LoadDLLs();
  const uint8_t set = loader.SetAll();
  loader.AskAll();
  const uint8_t perform = loader.PerformAll();
  if (!flat) loader_->SetInstalled();
  loader.UnLoadDLLs();
  return Format("%d %d %d %d", load ? 1 : 0, set, loader.AskState, perform);
}

std::vector<DriverTest::TItem> DriverTest::Parse(const std::string& subsystems) {
  std::vector<TItem> items;
  std::istringstream in(subsystems);
  for (std::string text; in >> text;) {
    const size_t colon = text.find(':'), lib_end = text.find(':', colon + 1);
    TItem item{text.substr(0, colon), "", text.substr(colon + 1, lib_end - colon - 1),
               lib_end == std::string::npos ? "" : text.substr(lib_end + 1)};
    if (const size_t below = item.name.find('<'); below != std::string::npos) {
      item.parent = item.name.substr(below + 1);
      item.name.resize(below);
    }
    std::string& lib = item.library;
    if (const size_t at = lib.find('@'); at != std::string::npos) {
      lib = Library(lib.substr(0, at), lib.substr(at + 1) == "empty" ? INSTKIT_TEST_EMPTY : INSTKIT_TEST_NOPERFORM);
    } else if (!lib.empty()) {
      lib = lib[0] == '!' ? (temp_ / lib.substr(1)).string() : Library(lib);
    }
    items.push_back(std::move(item));
  }
  return items;
}

void DriverTest::Build(bool flat, const std::string& subsystems) {
  std::map<std::string, TCustomSysNode*> added;
  for (const TItem& item : Parse(subsystems))
    added[item.name] =
        Add(item.parent.empty() ? Top(flat) : added.at(item.parent), item.name, item.library, item.script);
}

std::string DriverTest::Describe(const std::string& subsystems) {
  const std::vector<TItem> items = Parse(subsystems);
  std::string text = "IDF-FPS-text\r\n\r\n[SubSystems]\r\n";
  std::map<std::string, size_t> numbers;
  for (size_t i = 0; i < items.size(); ++i) {
    numbers[items[i].name] = i + 1;
    text += items[i].name + "=" + std::to_string(i + 1) + "\r\n";
  }
  for (const TItem& s : items) {
    text += "[" + s.name + "]\r\nParent=" + std::to_string(s.parent.empty() ? 0 : numbers.at(s.parent)) +
            "\r\nLibrary=" + s.library + "\r\nParameter=" + Param(s.name, s.script) + "\r\nShort name=" + s.name +
            "\r\nMenuLink1=" + s.name + "\r\n";
  }
  std::string path = (temp_ / "setup.idf").string();
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string DriverTest::Flags(bool flat) const {
  TSysNode flat_root;
  if (flat) {
    EXPECT_GT(flat_root.LoadFromPointer(image_.data(), image_.size()), 0);
  }
  std::string flags;
  WalkNodesBelow(flat ? static_cast<const TCustomSysNode*>(&flat_root) : &tree_, [&](TSysNode* node) {
    flags += (flags.empty() ? "" : " ") + node->Info->ShortName + (node->Info->Checked ? "+" : "-") +
             (!flat && node->Count > 0 && node->Info->AllCheck ? "*" : "");
    return true;
  });
  return flags;
}

std::vector<uint8_t> DriverTest::ImageOf(const TSysNode& root) const {
  std::vector<uint8_t> image(static_cast<size_t>(root.GetSize()));
  EXPECT_EQ(root.SaveToPointer(image.data(), image.size()), static_cast<int32_t>(image.size()));
  return image;
}

}  // namespace instkit::testing
