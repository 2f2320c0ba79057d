#pragma once
// A Start that did not put the gateway in service, as the engine reports it and a front end
// shows it: the service on standard error, the tray in its message boxes.

#include <QMetaType>
#include <QString>

namespace telvane::contracts {

/// How connecting to the phone ended.
enum class ConnectOutcome { Connected, PortNotOpened, PhoneSilent };

struct StartFailure {
    ConnectOutcome outcome = ConnectOutcome::PortNotOpened;
    /// The port opened but refused its line settings: what it said.
    QString portProblem;
    /// The poll period read at this Start (a service retries once per period).
    int pollPeriodSeconds = 10;
};

/// The texts of the start-failure message boxes.
inline QString startFailureTitle() { return QStringLiteral("Ошибка соединения"); }

inline QString startFailureText(ConnectOutcome outcome) {
    switch (outcome) {
        case ConnectOutcome::Connected:
            return {};
        case ConnectOutcome::PortNotOpened:
            return QStringLiteral(
                "Порт не открыт. Проверьте правильность настроек порта а также, не занят ли "
                "он другой программой.");
        case ConnectOutcome::PhoneSilent:
            return QStringLiteral(
                "Телефон не отвечает на запрос. Проверьте правильность подключения телефона к "
                "компьютеру.");
    }
    return {};
}

}  // namespace telvane::contracts

Q_DECLARE_METATYPE(telvane::contracts::StartFailure)
