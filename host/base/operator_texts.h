// The Russian texts the library shows the operator in message boxes (and the
// drivers also write to their log), each written once.  Every function gives
// the text in Windows-1251 bytes, converted from this module's UTF-8 source
// on first use; the results live for the whole program and may be used from
// any thread.
//
// Texts that begin or end with a blank or a full stop are pieces that the
// callers join with names: "Не удалось загрузить " + library + ". Инсталляция
// будет прервана.".  The bytes, odd spellings included, are what existing
// hosts and their operators know; they do not change.
#pragma once

#include <string>

namespace instkit::operator_texts {

// Captions: errors, and questions or warnings.
const std::string& CaptionError();      // "Ошибка"
const std::string& CaptionAttention();  // "Внимание"

// The catalogue.
const std::string& DuplicateNumbers();  // "Найдены системы с одинаковыми номерами"
const std::string& PointerError();      // "Ошибка получения указателя"

// The drivers.
const std::string& AbortInstallQuestion();     // "Прервать инсталляцию?"
const std::string& AbortUninstallQuestion();   // "Прервать деинсталляцию?"
const std::string& SystemPrefix();             // "Система "
const std::string& TreeTransferError();        // "Ошибка при передаче дерева подсистем"
const std::string& LoadFailed();               // "Не удалось загрузить "
const std::string& InstallWillBeAborted();     // ". Инсталляция будет прервана."
const std::string& UninstallWillBeAborted();   // ". Денсталляция будет прервана."
const std::string& GenerationWillBeAborted();  // ". Генерация будет прервана."
// " не была установлена. Прервать инсталляцию? "
const std::string& NotInstalledAbortQuestion();
// " не была деинсталирована. Прервать деинсталляцию? "
const std::string& NotUninstalledAbortQuestion();
const std::string& InvalidParameter();    // "Неверный параметр. Система "
const std::string& WillNotBeInstalled();  // "не будет установлена"
const std::string& WillNotBeRemoved();    // "не будет удалена"
const std::string& LibraryPrefix();       // "Библиотека "
const std::string& NoInstallMode();       // " не поддерживает режим инсталляции."
const std::string& NoUninstallMode();     // " не поддерживает режим деинсталляции."
const std::string& UnloadFailed();        // "Не удалось выгрузить библиотеку"

}  // namespace instkit::operator_texts
