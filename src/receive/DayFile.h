#pragma once
// The day's received-message file behind one call: a record appended in the layout FileType
// gives (a text line, a workbook row, a document row), and, for a stop between the append and
// the store's note of it, whether a record went in since a mark taken before.

#include <QString>
#include <QStringList>

#include "receive/MessageFiles.h"
#include "storage/FileSystem.h"

namespace telvane::receive {

class DayFile {
public:
    /// `folder` ends in a separator; `name` is the day's file name (DayFileName).
    DayFile(storage::FileSystem& files, QString folder, QString name, StoreTarget target);

    const QString& name() const { return m_name; }

    /// The mark of a record whose append was tried and failed: nothing of it is in the file.
    static QString unwritten() { return QStringLiteral("-"); }
    /// Where the file `name` of the folder stands now: its length and time of change, or
    /// nothing when it is missing. Taken right before an append.
    QString markOf(const QString& name) const;
    /// True when `record` went into the file `name` after `mark` was taken: a text file holds
    /// its line past that length; a workbook or document was rewritten since.
    bool holdsSince(const QString& name, const QString& mark, const QStringList& record) const;

    struct Appended {
        storage::WriteResult written;
        QString file;       ///< the file written or tried: the day's file or a sibling of it
        QString lockFile;   ///< the lock file of the office program that holds it open
        QStringList notes;  ///< a stale lock passed, a sibling started: for "Log.txt", once
    };
    /// Appends the record (time stamp, number, text) to the day's file, making the folder when
    /// missing.
    Appended append(const QStringList& record);

private:
    storage::FileSystem& m_files;
    QString m_folder;
    QString m_name;
    StoreTarget m_target;
};

}  // namespace telvane::receive
