#pragma once
// The status file of an outgoing message, "<id>.status" beside its file: in the send folder
// while it waits, in the Sent or Failed folder with it afterwards. key=value lines in UTF-8, so
// that a sending program can follow its message without parsing "Log.txt":
//
//   state=sent                         waiting, sent, failed, delivered, pending
//   time=2026-12-05T21:07:30+03:00     when the state was reached
//   file=order-17.txt                  the file as it was dropped
//   number=+79161234567                as it went out
//   parts=2
//   references=17,18                   TP-MR of each part, "-" where the phone said none
//   attempts=1
//   error=331                          +CMS ERROR number of the last failure, empty for none
//   error-text=no network service      what the last failure was
//   report=00                          TP-ST of the last delivery report (hex), once there is one
//   report-time=2026-12-05T21:07:41+03:00   when the centre delivered or gave up

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace telvane::lifecycle {

enum class MessageState { Waiting, Sent, Failed, Delivered, Pending };

/// "waiting", "sent", "failed", "delivered", "pending".
QString stateName(MessageState state);

struct MessageStatus {
    MessageState state = MessageState::Waiting;
    QDateTime time;
    QString file;
    QString number;
    int parts = 0;
    QList<std::optional<int>> references;
    int attempts = 0;
    std::optional<int> errorNumber;
    QString errorText;
    std::optional<int> report;  ///< TP-ST
    QDateTime reportTime;
};

QByteArray serialize(const MessageStatus& status);
/// A time as status files and hooks give it: ISO 8601 with the offset from UTC.
QString timeText(const QDateTime& time);
/// Lines that do not read (an unknown key, a damaged value) are passed over.
MessageStatus parseStatus(const QByteArray& text);

/// The state a delivery report puts a sent message in (TS 23.040 9.2.3.15): 00-1F delivered,
/// 20-3F pending (the centre still tries), anything else failed.
MessageState stateOfReport(int tpSt);

/// The status file beside a message's file: "<id>.status" for "<id>.txt".
QString statusPathOf(const QString& messageFile);

/// The id of an outgoing file: its name without the extension, and "-2", "-3"... after it
/// while `taken` says that id belongs to another message.
template <typename Taken>
QString messageId(const QString& fileName, Taken taken) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    QString id = base;
    for (int n = 2; taken(id); ++n) id = base + u'-' + QString::number(n);
    return id;
}

}  // namespace telvane::lifecycle
