#include "host/base/settings.h"

#include <algorithm>
#include <utility>

namespace instkit {

TSettings& Settings() {
  static TSettings settings;
  return settings;
}

TMessageBoxHandler TSettings::MessageBoxHandler() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return message_box_handler_;
}

TMessageBoxHandler TSettings::SetMessageBoxHandler(TMessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(message_box_handler_, std::move(handler));
}

std::vector<std::string> TSettings::LibrarySearchFolders() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return library_search_folders_;
}

void TSettings::SetLibrarySearchFolders(std::vector<std::string> folders) {
  std::lock_guard<std::mutex> lock(mutex_);
  library_search_folders_ = std::move(folders);
}

std::string TSettings::DefaultFormDatabase() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return default_form_database_;
}

void TSettings::SetDefaultFormDatabase(std::string path) {
  std::lock_guard<std::mutex> lock(mutex_);
  default_form_database_ = std::move(path);
}

std::optional<int32_t> TSettings::ArgumentCountOverride() const {
  const int32_t count = argument_count_override_.load();
  if (count == kNoOverride) return std::nullopt;
  return count;
}

void TSettings::SetArgumentCountOverride(std::optional<int32_t> count) {
  argument_count_override_.store(count ? std::max(*count, int32_t{0}) : kNoOverride);
}

}  // namespace instkit
