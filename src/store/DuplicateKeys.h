#pragma once
// The keys that keep a received message from being stored twice: a message stored but not yet
// deleted from the phone when the program stopped is listed again after the restart, and the
// network sometimes delivers the same message twice. The store holds each key once.

#include <QByteArray>
#include <QString>
#include <optional>

namespace telvane::store {

/// 32 hexadecimal digits of SHA-256 over the kind, the sender, the time stamp and the text,
/// each length-prefixed so that no two different tuples give the same input.
QByteArray duplicateKey(const QString& kind, const QString& sender, const QString& timeStamp,
                        const QString& text);

/// A message: the same sender, service-centre time stamp and text are one message.
QByteArray messageKey(const QString& number, const QString& timeStamp, const QString& text);

/// A part of a long message: also its reference, total and sequence number.
QByteArray partKey(const QString& number, const QString& timeStamp, const QString& reference,
                   size_t total, size_t sequence, const QString& text);

/// A delivery report: two reports on two messages to one recipient may share the time stamp
/// and the text; they differ in the reference of the message they report on, or in when it
/// was discharged.
QByteArray reportKey(const QString& number, const QString& timeStamp, const QString& text,
                     std::optional<int> reference, const QString& discharge);

}  // namespace telvane::store
