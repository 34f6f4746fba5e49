#include "Dllload/driver_texts.h"

#include "host/base/codepage.h"

namespace instkit::driver_texts {

const std::string& CaptionError() {
  static const std::string text = Utf8ToCp1251("Ошибка");
  return text;
}
const std::string& CaptionAttention() {
  static const std::string text = Utf8ToCp1251("Внимание");
  return text;
}
const std::string& AbortInstallQuestion() {
  static const std::string text = Utf8ToCp1251("Прервать инсталляцию?");
  return text;
}
const std::string& AbortUninstallQuestion() {
  static const std::string text = Utf8ToCp1251("Прервать деинсталляцию?");
  return text;
}
const std::string& SystemPrefix() {
  static const std::string text = Utf8ToCp1251("Система ");
  return text;
}
const std::string& TreeTransferError() {
  static const std::string text = Utf8ToCp1251("Ошибка при передаче дерева подсистем");
  return text;
}

}  // namespace instkit::driver_texts
