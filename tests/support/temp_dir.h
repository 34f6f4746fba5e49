// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <random>

namespace instkit::testing {

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "instkit-";
    if (info != nullptr) name += std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    // A random suffix keeps parallel test processes apart; create_directory
    // fails on a name that is taken, so the folder is ours alone.
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
      path_ = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(random()));
      if (std::filesystem::create_directory(path_) || attempt >= 100) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Root() const { return path_; }

  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string file = Path(name);
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
};

}  // namespace instkit::testing
