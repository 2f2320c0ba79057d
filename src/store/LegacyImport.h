#pragma once
// A home folder of an older Telvane kept what it knew about messages in files of its own. At
// the first start with the store they are carried into it, so that an upgrade sends nothing
// twice, stores nothing twice and drops nothing: a message confirmed in "SendJournal.txt" is
// never sent again (and one failed part-way sends only its missing parts), a message in
// "received.journal" is never stored again, the inbox cursor goes on from the last "seq" of
// "inbox.index", the events of "webhook.queue" still go out, a sent message still waits for its
// delivery report ("reports.journal"), a refused PIN is not tried again ("RefusedPin.txt"), and
// a file failed for good and kept in the send folder stays failed. Each file carried over is
// renamed "<name>.imported"; one that could not be carried over stays for the next start.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "store/Store.h"

namespace telvane::store {

struct ImportReport {
    QStringList imported;  ///< the files carried over, by name
    QStringList problems;  ///< what could not be, for "Log.txt"
};

/// Carries the old files of `homeFolder` (and the failed status files of `sendFolder`) into
/// `store`. Both folders end in a separator. Nothing to do leaves an empty report.
ImportReport importLegacyFiles(const QString& homeFolder, const QString& sendFolder, Store& store,
                               const QDateTime& now);

}  // namespace telvane::store
