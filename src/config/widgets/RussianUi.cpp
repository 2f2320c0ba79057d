#include "config/widgets/RussianUi.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

namespace telvane::config {

bool installRussianQtTexts(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QMessageBox* newMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                           QWidget* parent) {
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("ОК"));
    return box;
}

}  // namespace telvane::config
