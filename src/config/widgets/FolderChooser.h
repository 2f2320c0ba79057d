#pragma once
// The folder chooser behind the "..." buttons of the options dialog.

#include <QString>
#include <functional>

class QWidget;

namespace telvane::config {

/// How absolute paths are written: a drive or network path on Windows, a path from "/"
/// elsewhere.
enum class PathStyle { Windows, Posix };

PathStyle nativePathStyle();

/// Whether a chosen folder can be stored as a folder setting. Windows: "X:..." (a drive; not
/// "::...", which names a shell object) or "\\..." (a network share). Posix: "/...". Every other
/// path, the empty one included, is refused: the gateway could not find it again from another
/// working folder.
bool isUsableFolder(const QString& path, PathStyle style);

/// Asks the operator for a folder: the chosen path in native form, or an empty text when the
/// choice was cancelled. Whether the path is usable is the caller's to judge (isUsableFolder).
using ChooseFolder = std::function<QString(QWidget* parent)>;

/// The platform's folder dialog, titled folderDialogTitle().
QString chooseFolderWithDialog(QWidget* parent);

QString folderDialogTitle();

}  // namespace telvane::config
