#include "host/platform/message_box.h"

#include <cstdio>
#include <mutex>

#include "host/base/codepage.h"

namespace instkit {

namespace {
std::mutex g_mutex;
TMessageBoxHandler g_handler;
}  // namespace

int DefaultMessageBox(uintptr_t, const std::string& text, const std::string& caption, uint32_t style) {
  const std::string shown = Cp1251ToUtf8(caption) + ": " + Cp1251ToUtf8(text) + "\n";
  std::fwrite(shown.data(), 1, shown.size(), stderr);
  return (style & kMbButtonMask) == kMbYesNo ? kIdNo : kIdOk;
}

int MessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style) {
  TMessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_handler;
  }
  return handler ? handler(owner, text, caption, style) : DefaultMessageBox(owner, text, caption, style);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  TMessageBoxHandler previous = std::move(g_handler);
  g_handler = std::move(handler);
  return previous;
}

}  // namespace instkit
