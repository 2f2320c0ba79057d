#pragma once
// What the outbox remembers between polls and across restarts, in one small file of the home
// folder: files whose message the phone confirmed (so that a file that could not be deleted,
// or a stop between the confirmation and the deletion, never sends a message twice), the
// confirmed parts of a long message that failed part-way (so that only the missing parts go
// out again, under the same reference), and the files already reported in "Log.txt" as
// unsendable (so that such a file does not add a line at every poll).
//
// Every entry is keyed by the file's identity: name, size, modification time and content hash.
// A file that was changed or replaced under the same name is another file.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <map>
#include <optional>
#include <vector>

namespace telvane::send {

struct FileIdentity {
    QString name;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    QByteArray sha256Hex;  ///< of the whole content, lower-case hex

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// The identity of a file with the given content.
FileIdentity identityOf(const QString& name, qint64 size, qint64 modifiedMs,
                        const QByteArray& content);

/// One PDU of a message as it went, or is to go, to the phone.
struct PendingPart {
    QByteArray pdu;  ///< hex text, SMSC part first
    std::size_t tpduLength = 0;

    friend bool operator==(const PendingPart&, const PendingPart&) = default;
};

struct JournalEntry {
    enum class Kind {
        Confirmed,  ///< every part confirmed by the phone: delete, never send again
        Partial,    ///< some parts confirmed: send the others, exactly as they were built
        Reported,   ///< a "Log.txt" line was written for this file; `note` is that line
    };
    Kind kind = Kind::Confirmed;
    FileIdentity identity;
    /// Confirmed: the failed deletion was reported. Reported: the line.
    QString note;
    std::vector<PendingPart> parts;  ///< Partial only
    std::vector<bool> confirmed;     ///< Partial only, one per part
};

class SendJournal {
public:
    /// @param path the journal file; it need not exist yet
    explicit SendJournal(QString path);

    /// Reads the file. A missing file (or a symbolic link) is an empty journal; a line that
    /// cannot be read is dropped (its file may then be sent again, the safe side for a message).
    void load();
    /// Writes the journal and flushes it to the disk (file and folder) before returning, so
    /// that a deletion done afterwards cannot overtake it. False when it could not be written.
    [[nodiscard]] bool save();

    /// The entry of a file name when it is about exactly this file.
    const JournalEntry* find(const FileIdentity& identity) const;
    void put(JournalEntry entry);
    void erase(const QString& name);
    /// Drops the entries of names that are not in `present`; true when any was dropped.
    bool keepOnly(const std::vector<QString>& present);

    std::size_t size() const { return m_entries.size(); }
    const QString& path() const { return m_path; }

    /// The file's text, for tests and for reading by hand.
    QByteArray serialize() const;
    static std::map<QString, JournalEntry> parse(const QByteArray& text);

private:
    QString m_path;
    std::map<QString, JournalEntry> m_entries;
};

}  // namespace telvane::send
