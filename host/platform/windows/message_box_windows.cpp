// Operator message boxes through the system's MessageBoxA.
#include "host/platform/windows/win_error.h"

#include <string>

#include "host/base/settings.h"
#include "host/platform/message_box.h"

namespace instkit {

namespace {

constexpr UINT kCp1251 = 1251;

std::wstring Cp1251ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = ::MultiByteToWideChar(kCp1251, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    ::MultiByteToWideChar(kCp1251, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  }
  return wide;
}

// Texts are Windows-1251 bytes.  On a system whose ANSI code page is 1251
// (the installer's home) MessageBoxA shows them as they are; elsewhere they
// are converted explicitly so the Russian texts stay readable.
int SystemMessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style) {
  HWND window = reinterpret_cast<HWND>(owner);
  if (::GetACP() == kCp1251) return ::MessageBoxA(window, text.c_str(), caption.c_str(), style);
  return ::MessageBoxW(window, Cp1251ToWide(text).c_str(), Cp1251ToWide(caption).c_str(), style);
}

}  // namespace

bool UseSystemMessageBoxes() {
  Settings().SetMessageBoxHandler(&SystemMessageBox);
  return true;
}

}  // namespace instkit
