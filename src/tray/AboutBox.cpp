#include "tray/AboutBox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "tray/StatusIcons.h"

namespace telvane::tray {

QString AboutBox::description() {
    return QStringLiteral("Прием и отправка SMS сообщений С сотовых телефонов стандарта GSM");
}

QString AboutBox::authorLine() { return QStringLiteral("Автор: разработчики Telvane"); }

QString AboutBox::rightsLine() { return QStringLiteral("Все права защищены."); }

AboutBox::AboutBox(const QString& version, const QIcon& windowIcon, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowIcon(windowIcon);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgIcon"));
    picture->setPixmap(applicationIcon().pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);

    auto* title = new QLabel(QStringLiteral("<b>Telvane</b>"), this);
    title->setObjectName(QStringLiteral("lblTitle"));
    auto* versionLabel = new QLabel(QStringLiteral("Версия ") + version, this);
    versionLabel->setObjectName(QStringLiteral("lblVersion"));
    auto* descriptionLabel = new QLabel(description(), this);
    descriptionLabel->setObjectName(QStringLiteral("lblDescription"));
    descriptionLabel->setWordWrap(true);
    auto* author = new QLabel(authorLine(), this);
    author->setObjectName(QStringLiteral("lblAuthor"));
    auto* rights = new QLabel(rightsLine(), this);
    rights->setObjectName(QStringLiteral("lblRights"));

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(versionLabel);
    text->addWidget(descriptionLabel);
    text->addSpacing(8);
    text->addWidget(author);
    text->addWidget(rights);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("cmdOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

}  // namespace telvane::tray
