#pragma once
// The program speaks Russian only; these keep the parts that Qt draws (the folder chooser, the
// buttons of message boxes) in the same language.

#include <QMessageBox>
#include <QString>

class QCoreApplication;

namespace telvane::config {

/// Loads Qt's own Russian texts (qtbase_ru.qm from Qt's translation folder; on Debian the
/// package qt6-translations-l10n), whatever the system's language: a Russian program with
/// English buttons is what it prevents. False when they are not installed; the program's own
/// texts are Russian either way.
bool installRussianQtTexts(QCoreApplication& application);

/// A message box whose OK button reads "ОК" in Cyrillic letters, as the options dialog's does;
/// Qt's own Russian texts keep the Latin "OK".
QMessageBox* newMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                           QWidget* parent = nullptr);

}  // namespace telvane::config
