// A main for fuzz targets in an ordinary build (gcc, no libFuzzer): every file
// named on the command line, and every file inside each folder named there,
// is handed once to the target's LLVMFuzzerTestOneInput.  A target reports a
// fault by aborting or crashing, so replaying a target's seeds and corpus as a
// test catches a regression in any build, with the sanitizers when the build
// has them.  Files are replayed in name order, so a failure repeats exactly.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The files of a path: itself when it is a file, its files (recursively)
// when it is a folder.  False when the path does not exist.
bool CollectInputs(const std::filesystem::path& path, std::vector<std::filesystem::path>& inputs) {
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) {
    inputs.push_back(path);
    return true;
  }
  if (!std::filesystem::is_directory(path, error)) return false;
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error)) {
    if (entry.is_regular_file(error)) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  inputs.insert(inputs.end(), found.begin(), found.end());
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!CollectInputs(argv[i], inputs)) {
      std::fprintf(stderr, "%s: %s: no such file or folder\n", argv[0], argv[i]);
      return 2;
    }
  }
  for (const auto& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "%s: %s: cannot be read\n", argv[0], input.string().c_str());
      return 2;
    }
    // Printed before the run, so that the input that crashes is the last named.
    std::printf("%s (%zu bytes)\n", input.string().c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu input(s) replayed\n", inputs.size());
  return 0;
}
