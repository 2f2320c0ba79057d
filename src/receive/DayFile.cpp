#include "receive/DayFile.h"

#include "storage/LogFile.h"

namespace telvane::receive {

DayFile::DayFile(storage::FileSystem& files, QString folder, QString name, StoreTarget target)
    : m_files(files), m_folder(std::move(folder)), m_name(std::move(name)), m_target(target) {}

QString DayFile::markOf(const QString& name) const {
    const QString path = m_folder + name;
    const auto size = m_files.size(path);
    const auto changed = m_files.lastModified(path);
    if (!size || !changed) return {};
    return QString::number(*size) + u':' + QString::number(changed->toMSecsSinceEpoch());
}

bool DayFile::holdsSince(const QString& name, const QString& mark,
                         const QStringList& record) const {
    const QString now = markOf(name);
    if (mark == unwritten() || now == mark) return false;
    // A workbook or document is rewritten whole, or not at all.
    if (m_target.format != contracts::DayFileFormat::Text) return !now.isEmpty();
    const qint64 from = mark.section(u':', 0, 0).toLongLong();
    const auto content = m_files.readAll(m_folder + name);
    return content && content->indexOf(storage::textLine(record, m_target.encoding), from) >= 0;
}

DayFile::Appended DayFile::append(const QStringList& record) {
    // A fresh installation has no receive folder yet; that is no reason to keep messages in
    // the phone. A folder that cannot be made shows up as a failed write.
    m_files.makeFolder(m_folder);
    OfficeNotes notes;
    const storage::WriteResult written =
        WriteMessageFile(m_files, m_folder + m_name, record, m_target, &notes);
    return {written, notes.file.isEmpty() ? m_name : notes.file, notes.lockFile, notes.lines};
}

}  // namespace telvane::receive
