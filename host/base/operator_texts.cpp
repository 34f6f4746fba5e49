#include "host/base/operator_texts.h"

#include "host/base/codepage.h"

namespace instkit::operator_texts {

namespace {

// Every text, converted once.  Texts that repeat a shorter one are built from
// it, so that each wording exists once.
struct TTexts {
  std::string caption_error = Utf8ToCp1251("Ошибка");
  std::string caption_attention = Utf8ToCp1251("Внимание");
  std::string duplicate_numbers = Utf8ToCp1251("Найдены системы с одинаковыми номерами");
  std::string pointer_error = Utf8ToCp1251("Ошибка получения указателя");
  std::string abort_install = Utf8ToCp1251("Прервать инсталляцию?");
  std::string abort_uninstall = Utf8ToCp1251("Прервать деинсталляцию?");
  std::string system_prefix = Utf8ToCp1251("Система ");
  std::string tree_transfer_error = Utf8ToCp1251("Ошибка при передаче дерева подсистем");
  std::string load_failed = Utf8ToCp1251("Не удалось загрузить ");
  std::string install_aborted = Utf8ToCp1251(". Инсталляция будет прервана.");
  std::string uninstall_aborted = Utf8ToCp1251(". Денсталляция будет прервана.");
  std::string generation_aborted = Utf8ToCp1251(". Генерация будет прервана.");
  std::string not_installed_question = Utf8ToCp1251(" не была установлена. ") + abort_install + " ";
  std::string not_uninstalled_question = Utf8ToCp1251(" не была деинсталирована. ") + abort_uninstall + " ";
  std::string invalid_parameter = Utf8ToCp1251("Неверный параметр. ") + system_prefix;
  std::string will_not_install = Utf8ToCp1251("не будет установлена");
  std::string will_not_remove = Utf8ToCp1251("не будет удалена");
  std::string library_prefix = Utf8ToCp1251("Библиотека ");
  std::string no_install_mode = Utf8ToCp1251(" не поддерживает режим инсталляции.");
  std::string no_uninstall_mode = Utf8ToCp1251(" не поддерживает режим деинсталляции.");
  std::string unload_failed = Utf8ToCp1251("Не удалось выгрузить библиотеку");
};

const TTexts& Texts() {
  static const TTexts texts;
  return texts;
}

}  // namespace

const std::string& CaptionError() { return Texts().caption_error; }
const std::string& CaptionAttention() { return Texts().caption_attention; }
const std::string& DuplicateNumbers() { return Texts().duplicate_numbers; }
const std::string& PointerError() { return Texts().pointer_error; }
const std::string& AbortInstallQuestion() { return Texts().abort_install; }
const std::string& AbortUninstallQuestion() { return Texts().abort_uninstall; }
const std::string& SystemPrefix() { return Texts().system_prefix; }
const std::string& TreeTransferError() { return Texts().tree_transfer_error; }
const std::string& LoadFailed() { return Texts().load_failed; }
const std::string& InstallWillBeAborted() { return Texts().install_aborted; }
const std::string& UninstallWillBeAborted() { return Texts().uninstall_aborted; }
const std::string& GenerationWillBeAborted() { return Texts().generation_aborted; }
const std::string& NotInstalledAbortQuestion() { return Texts().not_installed_question; }
const std::string& NotUninstalledAbortQuestion() { return Texts().not_uninstalled_question; }
const std::string& InvalidParameter() { return Texts().invalid_parameter; }
const std::string& WillNotBeInstalled() { return Texts().will_not_install; }
const std::string& WillNotBeRemoved() { return Texts().will_not_remove; }
const std::string& LibraryPrefix() { return Texts().library_prefix; }
const std::string& NoInstallMode() { return Texts().no_install_mode; }
const std::string& NoUninstallMode() { return Texts().no_uninstall_mode; }
const std::string& UnloadFailed() { return Texts().unload_failed; }

}  // namespace instkit::operator_texts
