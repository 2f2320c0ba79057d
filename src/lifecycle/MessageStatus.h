#pragma once
// The status file of an outgoing message, "<id>.status" beside its file: in the send folder
// while it waits, in the Sent or Failed folder with it afterwards. Written from the store for
// people and programs to read; the gateway never reads it back. key=value lines in UTF-8, so
// that a sending program can follow its message without parsing "Log.txt":
//
//   state=sent                         waiting, sent, failed, delivered, pending, unconfirmed
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
#include <QString>

#include "store/Records.h"

namespace telvane::lifecycle {

/// The word a status file and a hook give for a state: "waiting" while the message is in the
/// queue or on its way, otherwise the store's own word.
QString stateWord(store::OutgoingState state);

/// The status file of a message as the store has it.
QByteArray statusFileOf(const store::OutgoingMessage& message);

/// Rewrites the status file beside the message's file (in Sent, say), where it has one: a
/// file taken away by a person is not made again. True when it was written.
bool writeStatusBeside(const store::OutgoingMessage& message);

/// A time as status files and hooks give it: ISO 8601 with the offset from UTC.
QString timeText(const QDateTime& time);

/// The state a delivery report puts a sent message in (TS 23.040 9.2.3.15): 00-1F delivered,
/// 20-3F pending (the centre still tries), anything else failed.
store::OutgoingState stateOfReport(int tpSt);

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
