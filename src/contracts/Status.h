#pragma once
// The gateway's status: what it is doing, as a value the engine decides on, and the fixed text
// that the operator sees for it. Decisions are taken on the id, never on the text.

#include <QMetaType>
#include <QString>

namespace telvane::contracts {

enum class StatusId {
    Idle,            // "Telvane"
    Connecting,      // "Устанавливается соединение с телефоном."
    OpeningPort,     // "Открыть порт: ..."
    PortNotOpened,   // "Порт не открыт"
    PhoneConnected,  // "Связь с телефоном установлена"
    NoPhone,         // "Нет связи с телефоном"
    WaitingForPoll,  // "Пауза перед опросом телефона"
    ReadingMessages,   // "Чтение сообщений из телефона"
    LoadingMessages,   // "Загрузка сообщений из телефона"
    WritingMessage,    // "Запись сообщения: " + memory index
    MessagesReceived,  // "Принято сообщений: " + count
    SearchingOutbox,   // "Поиск файлов для отправки"
    NothingToSend,     // "Нет сообщений на отправку"
    Sending,           // "Отправка сообщения"
    Sent,              // "Сообщение отправлено"
    NotSent,           // "Сообщение не отправлено"
    PartSent,          // "Сообщение (часть k/m) отправлено"
    PartNotSent,       // "Сообщение (часть k/m)  не отправлено"
    SendingHeld,  // "Отправка остановлена: хранилище не записывается"
    SimNotReady,        // "SIM-карта не готова: " + why ("SIM PIN", "SIM PUK", ...)
    WaitingForNetwork,  // "Отправка отложена: нет регистрации в сети"
    ModemBlocked,  // "Модем не берёт сообщения до " + time, after refusals in a row
    ModemAtLimit,  // "Лимит модема исчерпан"
};

/// The six status icons, numbered as their pictures are.
enum class StatusIcon : int {
    PhoneAnswered = 1,
    NoPhone = 2,
    PortFailed = 3,
    Working = 4,
    WritingMessage = 5,
    Sending = 6,
};

struct Status {
    StatusId id = StatusId::Idle;
    QString text;
};

/// The fixed texts. `detail` fills the texts that carry one (the port description, a memory
/// index, a count, or "k/m" for a part).
inline Status makeStatus(StatusId id, const QString& detail = {}) {
    switch (id) {
        case StatusId::Idle:
            return {id, QStringLiteral("Telvane")};
        case StatusId::Connecting:
            return {id, QStringLiteral("Устанавливается соединение с телефоном.")};
        case StatusId::OpeningPort:
            return {id, QStringLiteral("Открыть порт: ") + detail};
        case StatusId::PortNotOpened:
            return {id, QStringLiteral("Порт не открыт")};
        case StatusId::PhoneConnected:
            return {id, QStringLiteral("Связь с телефоном установлена")};
        case StatusId::NoPhone:
            return {id, QStringLiteral("Нет связи с телефоном")};
        case StatusId::WaitingForPoll:
            return {id, QStringLiteral("Пауза перед опросом телефона")};
        case StatusId::ReadingMessages:
            return {id, QStringLiteral("Чтение сообщений из телефона")};
        case StatusId::LoadingMessages:
            return {id, QStringLiteral("Загрузка сообщений из телефона")};
        case StatusId::WritingMessage:
            return {id, QStringLiteral("Запись сообщения: ") + detail};
        case StatusId::MessagesReceived:
            return {id, QStringLiteral("Принято сообщений: ") + detail};
        case StatusId::SearchingOutbox:
            return {id, QStringLiteral("Поиск файлов для отправки")};
        case StatusId::NothingToSend:
            return {id, QStringLiteral("Нет сообщений на отправку")};
        case StatusId::Sending:
            return {id, QStringLiteral("Отправка сообщения")};
        case StatusId::Sent:
            return {id, QStringLiteral("Сообщение отправлено")};
        case StatusId::NotSent:
            return {id, QStringLiteral("Сообщение не отправлено")};
        case StatusId::PartSent:
            return {id,
                    QStringLiteral("Сообщение (часть ") + detail + QStringLiteral(") отправлено")};
        case StatusId::PartNotSent:
            return {id, QStringLiteral("Сообщение (часть ") + detail +
                            QStringLiteral(")  не отправлено")};
        case StatusId::SendingHeld:
            return {id, QStringLiteral("Отправка остановлена: хранилище не записывается")};
        case StatusId::SimNotReady:
            return {id, QStringLiteral("SIM-карта не готова: ") + detail};
        case StatusId::WaitingForNetwork:
            return {id, QStringLiteral("Отправка отложена: нет регистрации в сети")};
        case StatusId::ModemBlocked:
            return {id, QStringLiteral("Модем не берёт сообщения до ") + detail};
        case StatusId::ModemAtLimit:
            return {id, QStringLiteral("Лимит модема исчерпан")};
    }
    return {id, {}};
}

/// Which menu items a front end may offer, as the engine decides them. "Выход" is not among
/// them: it can always be chosen, and during a poll it takes effect when the poll has ended.
struct MenuState {
    bool start = true;
    bool options = true;
    bool about = true;
    bool operator==(const MenuState&) const = default;
};

/// What one poll did, counted from the statuses it reported: the messages read from the phone
/// (as "Принято сообщений" counts them), and the short messages (each part of a long one) that
/// the phone confirmed or refused.
struct PollTally {
    int received = 0;
    int sent = 0;
    int notSent = 0;
    bool operator==(const PollTally&) const = default;
};

/// Where every subsystem reports its progress: the tray shows it, the service prints it.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void SetStatus(const Status& status) = 0;
    virtual void SetStatusIcon(StatusIcon icon) = 0;
    virtual const Status& currentStatus() const = 0;
};

}  // namespace telvane::contracts

Q_DECLARE_METATYPE(telvane::contracts::StatusIcon)
