#pragma once
// The checks the outbox scan makes of an outgoing file before it submits it, for a program
// that wants to know before it leaves the file: the same functions, in the same order, so that
// a message accepted here is one the scan will try to send.

#include <QByteArray>
#include <QString>
#include <optional>

#include "codec/Alphabets.h"
#include "codec/Submit.h"

namespace telvane::send {

/// Why the content of an outgoing file can never be sent.
struct OutgoingRefusal {
    QString code;           ///< machine-readable: "empty_text", "number_not_digits", ...
    QString reason;         ///< the outbox's own words, as "Log.txt" gives them
    bool settings = false;  ///< the fault is in the settings (the SMSC), not in the message
};

/// The content as the scan reads, splits and encodes it; nothing when it would be submitted.
std::optional<OutgoingRefusal> checkOutgoing(const QByteArray& bytes, codec::TextEncoding encoding,
                                             const QString& separator,
                                             const codec::SubmitOptions& options);

/// The first character of `text` that would not reach the phone as written ("text_changed",
/// naming it: "U+000A", "одиночный суррогат U+D800"); nothing when the text goes out exactly
/// as given. The outbox takes a file's text as its writers have always relied on: line breaks
/// removed (the words run together) and spaces trimmed from both ends, by the same
/// codec::prepareText the scan runs; a half of a surrogate pair is no character at all.
/// Transliteration (ToLatin=1) is the operator's choice and not counted.
std::optional<OutgoingRefusal> checkTextKept(const QString& text);

}  // namespace telvane::send
