#include "config/widgets/FolderChooser.h"

#include <QDir>
#include <QFileDialog>

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
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(
        parent, folderDialogTitle(), QString(), QFileDialog::ShowDirsOnly));
}

}  // namespace telvane::config
