#pragma once
// Helpers for the widget tests: what a window shows, as text for a stored expected file, and
// the message boxes on screen.

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
#include <QMenu>
#include <QMessageBox>

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
    if (const auto* m = qobject_cast<const QMenu*>(root)) line += quoted(m->title());
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

/// Compares `lines` with the stored file.
inline void expectStored(const QStringList& lines, const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    EXPECT_EQ((lines.join(u'\n') + u'\n').toStdString(), file.readAll().toStdString());
}

/// The message boxes on screen as "title|text|OK button's caption|icon", closed afterwards when
/// `close` (closing one may show another).
inline QStringList visibleMessageBoxes(bool close = false) {
    QList<QMessageBox*> boxes;
    QStringList seen;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) boxes << box;
    for (QMessageBox* box : boxes)
        seen << QStringLiteral("%1|%2|%3|%4")
                    .arg(box->windowTitle(), box->text(), box->button(QMessageBox::Ok)->text(),
                         QString::number(box->icon()));
    for (QMessageBox* box : boxes)
        if (close) box->close();
    QApplication::processEvents();
    return seen;
}

}  // namespace telvane::testing
