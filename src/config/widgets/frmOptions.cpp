#include "config/widgets/frmOptions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>
#include <optional>

#include "config/NumberText.h"
#include "config/SettingsKeys.h"
#include "config/widgets/RussianUi.h"

namespace telvane::config {

namespace {

QString indexed(const char* name, int index) {
    return QString::fromLatin1(name) + QString::number(index);
}

QLineEdit* lineEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QLabel* label(const QString& name, const QString& caption, QWidget* parent) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    return l;
}

QCheckBox* checkBox(const QString& name, const QString& caption, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

// The stored value of a check-box key: 0 clear, 1 checked, 2 greyed. Anything else cannot be
// shown by a check box and shows the key's default.
Qt::CheckState checkStateOf(const Settings& settings, const Setting& key) {
    const auto read = [](const std::string& text) -> std::optional<std::int64_t> {
        const IntegerResult r = strictInteger(text, std::numeric_limits<qint16>::min(),
                                              std::numeric_limits<qint16>::max());
        if (!r.ok() || r.value < 0 || r.value > 2) return std::nullopt;
        return r.value;
    };
    const std::int64_t value =
        read(settings.text(key).toStdString()).value_or(read(key.defaultValue).value_or(0));
    switch (value) {
        case 1:
            return Qt::Checked;
        case 2:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
    }
}

void setCheckState(QCheckBox* box, Qt::CheckState state) {
    // A greyed state can be stored and shown, but the operator only ever switches between
    // clear and checked.
    box->setCheckState(state);
    if (state == Qt::PartiallyChecked) {
        QObject::connect(
            box, &QCheckBox::clicked, box, [box] { box->setTristate(false); },
            Qt::SingleShotConnection);
    }
}

QString storedCheckState(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return QStringLiteral("1");
        case Qt::PartiallyChecked:
            return QStringLiteral("2");
        case Qt::Unchecked:
            break;
    }
    return QStringLiteral("0");
}

}  // namespace

QString frmOptions::errorTitle() { return QStringLiteral("Ошибка"); }

QString frmOptions::wrongFolderText() { return QStringLiteral("Вы выбрали неправильную папку!"); }

QString frmOptions::saveFailedText(const QString& iniFilePath) {
    return QStringLiteral(
               "Настройки не сохранены: файл %1 не удалось записать. Проверьте, есть "
               "ли место на диске и можно ли писать в этот файл.")
        .arg(QDir::toNativeSeparators(iniFilePath));
}

frmOptions::frmOptions(Settings settings, const QIcon& windowIcon, ChooseFolder chooseFolder,
                       FindPorts findPorts, QWidget* parent)
    : QDialog(parent),
      m_settings(std::move(settings)),
      m_chooseFolder(std::move(chooseFolder)),
      m_findPorts(std::move(findPorts)) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Настройки"));
    setWindowIcon(windowIcon);
    buildControls();
    load();
}

void frmOptions::buildControls() {
    // Sending messages.
    auto* fraSend = new QGroupBox(QStringLiteral("Отправка сообщений"), this);
    fraSend->setObjectName(QStringLiteral("fraSend"));
    m_chkReport = checkBox(QStringLiteral("chkReport"),
                           QStringLiteral("Запрашивать отчет о доставке"), fraSend);
    auto* label1 = label(QStringLiteral("Label1"), QStringLiteral("Номер SMS центра:"), fraSend);
    m_txtSMSC = lineEdit(QStringLiteral("txtSMSC"), fraSend);
    label1->setBuddy(m_txtSMSC);
    m_chkLatin = checkBox(QStringLiteral("chkLatin"),
                          QStringLiteral("Перекодировать русские SMS в латиницу"), fraSend);
    auto* sendLayout = new QVBoxLayout(fraSend);
    sendLayout->addWidget(m_chkReport);
    auto* smscRow = new QHBoxLayout;
    smscRow->addWidget(label1);
    smscRow->addWidget(m_txtSMSC, 1);
    sendLayout->addLayout(smscRow);
    sendLayout->addWidget(m_chkLatin);

    // Receiving messages.
    auto* fraFileType = new QGroupBox(QStringLiteral("Прием сообщений"), this);
    fraFileType->setObjectName(QStringLiteral("fraFileType"));
    auto* label2 =
        label(QStringLiteral("Label2"), QStringLiteral("Сохранять принятые SMS в:"), fraFileType);
    m_fileTypeGroup = new QButtonGroup(this);
    m_fileTypeGroup->setObjectName(QStringLiteral("optFileType"));
    auto* fileTypeLayout = new QVBoxLayout(fraFileType);
    fileTypeLayout->addWidget(label2);
    const std::array<QString, 3> fileTypes{QStringLiteral("Text file"),
                                           QStringLiteral("Word document"),
                                           QStringLiteral("Excel document")};
    for (int i = 0; i < 3; ++i) {
        m_optFileType[i] = new QRadioButton(fileTypes[i], fraFileType);
        m_optFileType[i]->setObjectName(indexed("optFileType", i));
        m_fileTypeGroup->addButton(m_optFileType[i], i);
        fileTypeLayout->addWidget(m_optFileType[i]);
    }
    m_chkAutoScroll = checkBox(QStringLiteral("chkAutoScroll"),
                               QStringLiteral("Автопрокрутка страницы"), fraFileType);
    fileTypeLayout->addWidget(m_chkAutoScroll);

    // Not in any group: it is about both directions and the tray, not about a file.
    m_chkNotify = checkBox(QStringLiteral("chkNotify"),
                           QStringLiteral("Уведомлять о принятых и отправленных сообщениях"), this);

    // Port and phone.
    auto* fraPort = new QGroupBox(QStringLiteral("Порт / Телефон"), this);
    fraPort->setObjectName(QStringLiteral("fraPort"));
    auto* portLayout = new QGridLayout(fraPort);
    const std::array<QString, 3> portCaptions{QStringLiteral("Порт:"), QStringLiteral("Скорость:"),
                                              QStringLiteral("Период опроса (сек):")};
    for (int i = 0; i < 3; ++i) {
        QLabel* caption = label(indexed("lblPort", i), portCaptions[i], fraPort);
        QWidget* box = nullptr;
        if (i < 2) {
            // The port and the speed are chosen from a list or typed.
            auto* list = new QComboBox(fraPort);
            list->setObjectName(indexed("txtPort", i));
            list->setEditable(true);
            list->setInsertPolicy(QComboBox::NoInsert);
            list->setCompleter(nullptr);  // it would complete a path with a list entry's text
            // A by-id name is long: the list may be wider than the box, the dialog is not.
            list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            list->setMinimumContentsLength(12);
            connect(list, &QComboBox::activated, list, [list](int entry) {
                const QVariant port = list->itemData(entry);
                if (port.isValid()) list->setEditText(port.toString());
            });
            m_portLists[i] = list;
            m_txtPort[i] = list->lineEdit();
            box = list;
        } else {
            m_txtPort[i] = lineEdit(indexed("txtPort", i), fraPort);
            box = m_txtPort[i];
        }
        caption->setBuddy(box);
        portLayout->addWidget(caption, i, 0);
        portLayout->addWidget(box, i, 1);
    }
    m_portLayout = portLayout;

    // Working folders.
    auto* fraFolders = new QGroupBox(QStringLiteral("Рабочие папки"), this);
    fraFolders->setObjectName(QStringLiteral("fraFolders"));
    auto* foldersLayout = new QGridLayout(fraFolders);
    const std::array<QString, 3> folderCaptions{
        QStringLiteral("Принятые:"), QStringLiteral("На отправку:"), QStringLiteral("Логи:")};
    for (int i = 0; i < 3; ++i) {
        QLabel* caption = label(indexed("lblFolders", i), folderCaptions[i], fraFolders);
        m_txtFolders[i] = lineEdit(indexed("txtFolders", i), fraFolders);
        m_txtFolders[i]->setMinimumWidth(220);
        caption->setBuddy(m_txtFolders[i]);
        m_cmdFolders[i] = new QPushButton(QStringLiteral("..."), fraFolders);
        m_cmdFolders[i]->setObjectName(indexed("cmdFolders", i));
        m_cmdFolders[i]->setAutoDefault(false);
        m_cmdFolders[i]->setMaximumWidth(32);
        connect(m_cmdFolders[i], &QPushButton::clicked, this, [this, i] { cmdFolders_Click(i); });
        foldersLayout->addWidget(caption, i, 0);
        foldersLayout->addWidget(m_txtFolders[i], i, 1);
        foldersLayout->addWidget(m_cmdFolders[i], i, 2);
    }

    // "ОК" is written with the Cyrillic letters О and К.
    m_cmdOK = new QPushButton(QStringLiteral("ОК"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("Отмена"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setAutoDefault(false);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);

    auto* left = new QVBoxLayout;
    left->addWidget(fraSend);
    left->addWidget(fraFileType);
    left->addWidget(m_chkNotify);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(fraPort);
    right->addWidget(fraFolders);
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);
}

// The boxes are the first modem's; the others are kept in the file's own sections and only
// listed here, where there are any.
void frmOptions::showOtherModems() {
    const std::vector<ModemPlace> modems = modemPlaces(m_settings);
    if (modems.size() < 2) return;
    if (!m_lstModems) {
        auto* caption =
            label(QStringLiteral("lblModems"),
                  QStringLiteral("Другие модемы (настраиваются в файле Telvane.ini):"), this);
        m_lstModems = new QTreeWidget(this);
        m_lstModems->setObjectName(QStringLiteral("lstModems"));
        m_lstModems->setHeaderLabels(
            {QStringLiteral("Модем"), QStringLiteral("Порт"), QStringLiteral("Состояние")});
        m_lstModems->setRootIsDecorated(false);
        m_lstModems->setSelectionMode(QAbstractItemView::NoSelection);
        m_lstModems->setMaximumHeight(96);
        m_portLayout->addWidget(caption, 3, 0, 1, 2);
        m_portLayout->addWidget(m_lstModems, 4, 0, 1, 2);
    }
    m_lstModems->clear();
    for (std::size_t i = 1; i < modems.size(); ++i) {
        const QString named = modems[i].settings.text(setting::ModemName).trimmed();
        const QString name = named.isEmpty() ? modems[i].id : named;
        new QTreeWidgetItem(m_lstModems, {name, modems[i].settings.text(setting::ComPort),
                                          m_modemState ? m_modemState(name) : QString()});
    }
}

void frmOptions::showModemStates(std::function<QString(const QString&)> stateOf) {
    m_modemState = std::move(stateOf);
    showOtherModems();
}

void frmOptions::load() {
    m_hinted.clear();
    // A key the file does not have shows its default as a hint in the empty box, and stays out
    // of the file unless the operator types a value: written, a default that is only an example
    // would change what the gateway does (an SMS centre "79xxxxxxxxx" refuses every message).
    const auto showHinted = [this](QLineEdit* box, const Setting& key) {
        const std::optional<QString> value = m_settings.stored(key);
        box->setPlaceholderText(QString::fromUtf8(key.defaultValue));
        box->setText(value.value_or(QString()));
        m_hinted.push_back({box, value.has_value()});
    };
    for (const PortChoice& choice : portChoices(m_findPorts(), m_settings.stored(setting::ComPort)))
        m_portLists[0]->addItem(choice.text, choice.port);
    m_portLists[1]->addItems(usualSpeeds());
    for (QComboBox* list : m_portLists) list->setCurrentIndex(-1);
    m_txtPort[0]->setText(m_settings.text(setting::ComPort));
    showOtherModems();
    showHinted(m_txtPort[1], setting::ComPortSpeedInOptions);
    showHinted(m_txtPort[2], setting::PeriodInOptions);

    // The folder boxes show the stored text as it stands; only a missing key shows the folder
    // under the home folder, with its trailing separator.
    const auto folderText = [this](const Setting& key) {
        return m_settings.stored(key).value_or(m_settings.homeFolder() +
                                               QString::fromUtf8(key.key) + QDir::separator());
    };
    m_txtFolders[1]->setText(folderText(setting::Send));
    m_txtFolders[0]->setText(folderText(setting::Receive));
    m_txtFolders[2]->setText(folderText(setting::Logs));

    showHinted(m_txtSMSC, setting::SMSCInOptions);

    setCheckState(m_chkLatin, checkStateOf(m_settings, setting::ToLatin));
    setCheckState(m_chkAutoScroll, checkStateOf(m_settings, setting::AutoScroll));
    setCheckState(m_chkReport, checkStateOf(m_settings, setting::Report));
    setCheckState(m_chkNotify, checkStateOf(m_settings, setting::Notify));

    qint16 fileType = m_settings.leadingNumber16(setting::FileType);
    if (fileType < 0 || fileType > 2) fileType = 0;
    m_optFileType[static_cast<size_t>(fileType)]->setChecked(true);
}

void frmOptions::cmdOK_Click() {
    // No value is checked: the boxes are written as they stand, an empty box as an empty value,
    // but for an empty box that only showed its default as a hint.
    bool saved = true;
    const auto write = [&](const Setting& key, const QString& value) {
        saved = m_settings.write(key, value) && saved;
    };
    const auto writeBox = [&](const Setting& key, const QLineEdit* box) {
        for (const Hinted& hinted : m_hinted)
            if (hinted.box == box && !hinted.stored && box->text().isEmpty()) return;
        write(key, box->text());
    };
    // An entry of the port list stands for its port, however it got into the box.
    const int entry = m_portLists[0]->findText(m_txtPort[0]->text());
    if (entry >= 0) m_portLists[0]->setEditText(m_portLists[0]->itemData(entry).toString());
    writeBox(setting::ComPort, m_txtPort[0]);
    writeBox(setting::ComPortSpeedInOptions, m_txtPort[1]);
    writeBox(setting::PeriodInOptions, m_txtPort[2]);
    writeBox(setting::Send, m_txtFolders[1]);
    writeBox(setting::Receive, m_txtFolders[0]);
    writeBox(setting::Logs, m_txtFolders[2]);
    writeBox(setting::SMSCInOptions, m_txtSMSC);
    write(setting::ToLatin, storedCheckState(m_chkLatin));
    write(setting::AutoScroll, storedCheckState(m_chkAutoScroll));
    write(setting::Report, storedCheckState(m_chkReport));
    for (int i = 0; i < 3; ++i) {
        if (m_optFileType[i]->isChecked()) {
            write(setting::FileType, QString::number(i));
            break;
        }
    }
    write(setting::Notify, storedCheckState(m_chkNotify));
    if (!saved) {
        // The dialog stays open with what was typed, so that nothing is lost.
        showErrorBox(QMessageBox::Critical, saveFailedText(m_settings.iniFilePath()));
        return;
    }
    accept();
}

void frmOptions::cmdCancel_Click() { reject(); }

void frmOptions::cmdFolders_Click(int index) {
    if (index < 0 || index > 2) return;
    const QString folder = m_chooseFolder(this);
    if (folder.isEmpty()) return;  // cancelled: the box keeps its value, nothing to say
    if (isUsableFolder(folder, nativePathStyle())) {
        m_txtFolders[static_cast<size_t>(index)]->setText(folder);
        return;
    }
    showErrorBox(QMessageBox::Warning, wrongFolderText());
}

void frmOptions::showErrorBox(QMessageBox::Icon icon, const QString& text) {
    // Modal to this dialog only, and without a nested event loop: the tray stays usable.
    QMessageBox* box = newMessageBox(icon, errorTitle(), text, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace telvane::config
