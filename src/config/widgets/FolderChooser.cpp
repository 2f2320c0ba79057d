#include "config/widgets/FolderChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>

namespace telvane::config {

PathStyle nativePathStyle() {
#ifdef Q_OS_WIN
    return PathStyle::Windows;
#else
    return PathStyle::Posix;
#endif
}

bool isUsableFolder(const QString& path, PathStyle style) {
    if (style == PathStyle::Posix) return path.startsWith(u'/');
    if (path.size() < 2) return false;
    if (path.at(1) == u':') return path.at(0) != u':';
    if (path.at(1) == u'\\') return path.at(0) == u'\\';
    return false;
}

QString folderDialogTitle() { return QStringLiteral("Выберите папку"); }

QString chooseFolderWithDialog(QWidget* parent) {
    QFileDialog dialog(parent, folderDialogTitle());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own chooser (where the desktop offers none) cuts its date column and the names of
    // its side bar at the size it opens with.
    dialog.resize(760, 440);
    if (auto* details = dialog.findChild<QTreeView*>())
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    if (auto* sides = dialog.findChild<QSplitter*>()) sides->setSizes({170, 590});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

}  // namespace telvane::config
