#pragma once
// "О программе": the application icon, what the program does, its version, who wrote it.

#include <QDialog>
#include <QIcon>
#include <QString>

namespace telvane::tray {

class AboutBox final : public QDialog {
    Q_OBJECT
public:
    /// @param version    major.minor.revision of the build.
    /// @param windowIcon the icon of the title bar: the tray's icon at the moment of opening.
    AboutBox(const QString& version, const QIcon& windowIcon, QWidget* parent = nullptr);

    static QString description();
    static QString authorLine();
    static QString rightsLine();
};

}  // namespace telvane::tray
