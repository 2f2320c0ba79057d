#pragma once
// Helpers for the widget tests: what a window shows, as text to compare with a stored expected
// file, and the message boxes on screen.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <vector>

namespace telvane::testing {

/// `root` and every named object under it, one a line, indented by depth: the name, the class,
/// and what the operator sees of it (caption, hint, list entries).
inline QStringList describe(const QObject* root, int depth = 0) {
    const auto quoted = [](const QString& text) { return QStringLiteral(" \"%1\"").arg(text); };
    QString line = QString(depth * 2, u' ') + root->objectName() + u' ' +
                   QString::fromLatin1(root->metaObject()->className());
    if (const auto* g = qobject_cast<const QGroupBox*>(root)) line += quoted(g->title());
    if (const auto* l = qobject_cast<const QLabel*>(root)) line += quoted(l->text());
    if (const auto* b = qobject_cast<const QAbstractButton*>(root)) line += quoted(b->text());
    if (const auto* a = qobject_cast<const QAction*>(root)) line += quoted(a->text());
    if (const auto* d = qobject_cast<const QDialog*>(root)) line += quoted(d->windowTitle());
    const auto* edit = qobject_cast<const QLineEdit*>(root);
    const auto* combo = qobject_cast<const QComboBox*>(root);
    if (combo && combo->lineEdit()) edit = combo->lineEdit();
    if (edit && !edit->placeholderText().isEmpty())
        line += QStringLiteral(" hint") + quoted(edit->placeholderText());
    QStringList lines{line};
    for (int i = 0; combo && i < combo->count(); ++i)
        lines << QString(depth * 2 + 2, u' ') + u'-' + quoted(combo->itemText(i));
    for (const QObject* child : root->children())
        if (!child->objectName().isEmpty() && !child->objectName().startsWith(u"qt_"))
            lines << describe(child, depth + 1);
    return lines;
}

/// Compares `lines` with the stored file; TELVANE_UPDATE_EXPECTED=1 writes the file instead.
inline void expectStored(const QStringList& lines, const QString& path) {
    QFile file(path);
    const QByteArray actual = lines.join(u'\n').toUtf8() + '\n';
    if (qEnvironmentVariableIntValue("TELVANE_UPDATE_EXPECTED") == 1) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(actual);
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    EXPECT_EQ(actual.toStdString(), file.readAll().toStdString()) << path.toStdString();
}

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
    QString ok;  // the caption of its OK button
    explicit SeenBox(const QMessageBox* box)
        : title(box->windowTitle()),
          text(box->text()),
          icon(box->icon()),
          modal(box->isModal()),
          ok(box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->text() : QString()) {}
};

/// The message boxes on screen, closed afterwards when `close` (closing one may show another).
inline std::vector<SeenBox> visibleMessageBoxes(bool close = false) {
    std::vector<SeenBox> seen;
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) boxes << box;
    for (QMessageBox* box : boxes) seen.emplace_back(box);
    for (QMessageBox* box : boxes)
        if (close) box->close();
    QApplication::processEvents();
    return seen;
}

}  // namespace telvane::testing
