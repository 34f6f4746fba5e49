#include "host/platform/message_box.h"

namespace instkit {

// POSIX has no system message box; the installed handler stays.
bool UseSystemMessageBoxes() { return false; }

}  // namespace instkit
