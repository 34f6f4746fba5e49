// The fixed texts of the drivers: operator messages and captions (Russian,
// converted once to Windows-1251) shared by the loader core and both drivers.
#pragma once

#include <string>

namespace instkit::driver_texts {

const std::string& CaptionError();      // "Ошибка"
const std::string& CaptionAttention();  // "Внимание"
const std::string& AbortInstallQuestion();    // "Прервать инсталляцию?"
const std::string& AbortUninstallQuestion();  // "Прервать деинсталляцию?"
const std::string& SystemPrefix();            // "Система "
const std::string& TreeTransferError();       // "Ошибка при передаче дерева подсистем"

}  // namespace instkit::driver_texts
