// An installation run from C++, through the engine that `instkit install`
// uses (Engine/run_engine.h): the same options, the same outcome.
//   instkit_embed_install FILE PATH [LIBRARY_DIR [REGISTRY [LINKS_ROOT [ANSWERS]]]]
#include <cstdio>
#include <string>

#include "Engine/answer_book.h"
#include "Engine/run_engine.h"
#include "host/base/codepage.h"

using namespace instkit;

// Answers from an answers file, else No; prints what the run says.
class TPrintingHost : public TRunHost {
 public:
  TAnswerBook answers;
  TAnswer OnQuestion(const TOperatorBox& question) override {
    TAnswer answer = answers.Find(question.kind).value_or(TAnswer{false, "default"});
    std::printf("%s -> %s\n", Cp1251ToUtf8(question.text).c_str(), answer.yes ? "Yes" : "No");
    return answer;
  }
  void OnNotice(const TNotice& notice) override { std::printf("%s\n", notice.text.c_str()); }
};

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FILE PATH [LIBRARY_DIR [REGISTRY [LINKS_ROOT [ANSWERS]]]]\n", argv[0]);
    return 2;
  }
  TRunOptions options;
  options.description_file = argv[1];
  options.path = argv[2];
  if (argc > 3) options.library_paths.push_back(argv[3]);
  if (argc > 4) options.registry = argv[4];
  if (argc > 5) options.links_root = argv[5];
  TPrintingHost host;
  std::string error;
  if (argc > 6 && !host.answers.LoadFile(argv[6], error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  TRunEngine engine(options);
  const TRunReport& report = engine.Run(host);
  for (const TSubsystemReport& s : report.subsystems) {
    std::printf("%s: %s\n", Cp1251ToUtf8(s.short_name).c_str(), s.done ? "done" : "not done");
  }
  if (!report.failure.empty()) std::fprintf(stderr, "%s\n", report.failure.c_str());
  return report.ExitStatus();
}
