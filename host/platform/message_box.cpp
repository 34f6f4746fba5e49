#include "host/platform/message_box.h"

#include <cstdio>

#include "host/base/codepage.h"
#include "host/base/settings.h"

namespace instkit {

int DefaultMessageBox(uintptr_t, const std::string& text, const std::string& caption, uint32_t style) {
  const std::string shown = Cp1251ToUtf8(caption) + ": " + Cp1251ToUtf8(text) + "\n";
  std::fwrite(shown.data(), 1, shown.size(), stderr);
  return (style & kMbButtonMask) == kMbYesNo ? kIdNo : kIdOk;
}

int MessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style) {
  const TMessageBoxHandler handler = Settings().MessageBoxHandler();
  return handler ? handler(owner, text, caption, style) : DefaultMessageBox(owner, text, caption, style);
}

}  // namespace instkit
