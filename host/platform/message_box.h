// Operator message boxes.  The library shows every operator message through
// MessageBox(); the host decides how it appears by installing a process-wide
// handler.  Without a handler the default writes the caption and the text
// (converted from Windows-1251 to UTF-8) to stderr and answers at once: OK,
// or No to a Yes/No question.  It never blocks.
#pragma once

#include <cstdint>
#include <string>

#include "host/base/export.h"
#include "host/base/settings.h"

namespace instkit {

// Style bits, with their Windows values.
constexpr uint32_t kMbOk = 0x0000;
constexpr uint32_t kMbYesNo = 0x0004;
constexpr uint32_t kMbIconError = 0x0010;
constexpr uint32_t kMbIconQuestion = 0x0020;
constexpr uint32_t kMbIconWarning = 0x0030;
constexpr uint32_t kMbTaskModal = 0x2000;
constexpr uint32_t kMbButtonMask = 0x000F;

// The styles the library uses.
constexpr uint32_t kStylePlain = kMbTaskModal | kMbOk;                          // 0x2000
constexpr uint32_t kStyleError = kMbTaskModal | kMbIconError | kMbOk;           // 0x2010
constexpr uint32_t kStyleQuestion = kMbTaskModal | kMbIconQuestion | kMbYesNo;  // 0x2024
constexpr uint32_t kStyleWarning = kMbTaskModal | kMbIconWarning | kMbOk;       // 0x2030

// Answers, with their Windows values.
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

INSTKIT_API int MessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style);

// Texts and captions are Windows-1251 bytes.  The handler that answers is
// Settings().MessageBoxHandler() (host/base/settings.h); an empty one, the
// default, gives DefaultMessageBox.
// The default behaviour described above.
INSTKIT_API int DefaultMessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t style);

// For a host that wants the operating system's own message boxes: installs
// them as the process-wide handler and returns true.  On Windows this is
// MessageBoxA (owner is the owner window's HWND, style and answer are the
// Windows values).  Where the system has none (POSIX) nothing changes and
// the result is false.  Tests never call this: a real box would wait for a
// click.
INSTKIT_API bool UseSystemMessageBoxes();

}  // namespace instkit
