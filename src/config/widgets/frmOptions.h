#pragma once
// "Настройки": eleven settings of Telvane.ini shown for editing and written back, all at once,
// on "ОК". The dialog changes nothing in the running gateway; each value takes effect when its
// reader next reads the file.

#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <array>
#include <functional>
#include <vector>

#include "config/Settings.h"
#include "config/widgets/FolderChooser.h"
#include "config/widgets/PortList.h"

class QButtonGroup;
class QCheckBox;
class QTreeWidget;
class QGridLayout;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace telvane::config {

class frmOptions final : public QDialog {
    Q_OBJECT
public:
    /// Loads the controls from `settings` at once; `windowIcon` is the tray's icon of the
    /// moment. `chooseFolder` answers the "..." buttons and `findPorts` fills the port list
    /// (tests put their own in).
    frmOptions(Settings settings, const QIcon& windowIcon,
               ChooseFolder chooseFolder = chooseFolderWithDialog,
               FindPorts findPorts = findSerialPorts, QWidget* parent = nullptr);

    /// The title of the dialog's message boxes.
    static QString errorTitle();
    static QString wrongFolderText();
    static QString saveFailedText(const QString& iniFilePath);

    /// What the running gateway says of a modem, by its name, for the list of the other modems
    /// (the settings alone cannot tell); the list is shown again with it.
    void showModemStates(std::function<QString(const QString& modem)> stateOf);

    /// Writes the keys and closes the dialog; when a key could not be written, says so and stays
    /// open.
    void cmdOK_Click();
    /// Closes the dialog; nothing is written.
    void cmdCancel_Click();
    /// The folder chooser for the folder box `index` (0 received, 1 to send, 2 logs).
    void cmdFolders_Click(int index);

private:
    void buildControls();
    void showErrorBox(QMessageBox::Icon icon, const QString& text);
    void load();
    void showOtherModems();

    std::function<QString(const QString&)> m_modemState;

    // A box that shows its key's default as a hint, and whether the key was in the file.
    struct Hinted {
        const QLineEdit* box;
        bool stored;
    };

    Settings m_settings;
    std::vector<Hinted> m_hinted;
    ChooseFolder m_chooseFolder;
    FindPorts m_findPorts;
    std::array<QComboBox*, 2> m_portLists{};  // the port and the speed
    std::array<QLineEdit*, 3> m_txtPort{};    // the text of the port, the speed, the period
    std::array<QLineEdit*, 3> m_txtFolders{};
    std::array<QPushButton*, 3> m_cmdFolders{};
    std::array<QRadioButton*, 3> m_optFileType{};
    QButtonGroup* m_fileTypeGroup = nullptr;
    QLineEdit* m_txtSMSC = nullptr;
    QCheckBox* m_chkReport = nullptr;
    QCheckBox* m_chkLatin = nullptr;
    QCheckBox* m_chkAutoScroll = nullptr;
    QCheckBox* m_chkNotify = nullptr;
    QGridLayout* m_portLayout = nullptr;
    QTreeWidget* m_lstModems = nullptr;  // the other modems, shown only: edited in the file
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};

}  // namespace telvane::config
