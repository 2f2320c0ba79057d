#include "storage/DurableFile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <memory>

#include "NativeFile.h"

namespace telvane::storage {

namespace {

using native::File;

QString folderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

// The line end a torn last line gets before `bytes`, when `bytes` is made of lines.
QByteArray lineEndOf(const QByteArray& bytes) {
    if (bytes.endsWith("\r\n")) return "\r\n";
    if (bytes.endsWith('\n')) return "\n";
    return {};
}

QString whyNot(const File& file) {
    return file.error().isEmpty() ? QStringLiteral("the folder could not be synced") : file.error();
}

// A new file beside `path` under a name nobody else uses; nullptr when none could be made.
std::unique_ptr<File> createBeside(const QString& path, QString& name, QString& error) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = path + QStringLiteral(".new-") +
               QString::number(QRandomGenerator::global()->generate(), 36);
        auto file = std::make_unique<File>(name, File::Mode::CreateNew);
        if (file->isOpen()) return file;
        error = file->error();
        // Only a name that is taken is worth another try; a full disk or a read-only folder
        // fails the same way under any name.
        if (native::kindOf(name) == native::Kind::Missing) return nullptr;
    }
    return nullptr;
}

}  // namespace

namespace native {

std::optional<QByteArray> File::readAt(qint64 offset, qint64 count) {
    QByteArray bytes(static_cast<qsizetype>(count), Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const std::optional<qint64> n = readSome(offset + done, bytes.data() + done, count - done);
        if (!n) return std::nullopt;
        if (*n == 0) break;
        done += *n;
    }
    bytes.truncate(static_cast<qsizetype>(done));
    return bytes;
}

bool File::writeAt(qint64 offset, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const std::optional<qint64> n =
            writeSome(offset + done, bytes.constData() + done, bytes.size() - done);
        if (!n) return false;
        done += *n;
    }
    return true;
}

}  // namespace native

WriteResult appendDurably(const QString& path, const QByteArray& bytes) {
    File file(path, File::Mode::Append);
    if (!file.isOpen()) return WriteResult::failed(path, file.error());
    const std::optional<qint64> formerSize = file.size();
    if (!formerSize) return WriteResult::failed(path, file.error());

    QByteArray addition = bytes;
    if (const QByteArray lineEnd = lineEndOf(bytes); *formerSize > 0 && !lineEnd.isEmpty()) {
        const std::optional<QByteArray> last = file.readAt(*formerSize - 1, 1);
        if (!last) return WriteResult::failed(path, file.error());
        if (*last != "\n") addition.prepend(lineEnd);
    }
    if (file.writeAt(*formerSize, addition) && file.sync() &&
        (*formerSize > 0 || syncFolder(folderOf(path))))
        return WriteResult::done();
    const QString why = whyNot(file);
    // Cut the torn tail off, so that the file is as it was and the next append starts clean.
    if (file.truncate(*formerSize)) (void)file.sync();
    return WriteResult::failed(path, why);
}

WriteResult replaceDurably(const QString& path, const QByteArray& bytes) {
    const native::Kind kind = native::kindOf(path);
    if (kind == native::Kind::Link)
        return WriteResult::failed(path, QStringLiteral("a symbolic link, not replaced"));
    if (kind == native::Kind::Other)
        return WriteResult::failed(path, QStringLiteral("not an ordinary file"));

    QString temporary, error;
    std::unique_ptr<File> file = createBeside(path, temporary, error);
    if (!file) return WriteResult::failed(temporary, error);
    if (kind == native::Kind::Ordinary) file->takePermissionsOf(path);
    if (!file->writeAt(0, bytes) || !file->sync()) {
        error = file->error();
        file.reset();
        native::removeName(temporary);
        return WriteResult::failed(temporary, error);
    }
    file.reset();  // closed first: Windows renames no open file
    if (const std::optional<QString> why = native::renameOver(temporary, path)) {
        native::removeName(temporary);
        return WriteResult::failed(path, *why);
    }
    // Without this the rename may be lost at a power cut while later steps (a deletion that
    // relies on this file) are kept.
    if (!syncFolder(folderOf(path)))
        return WriteResult::failed(path, QStringLiteral("the folder could not be synced"));
    return WriteResult::done();
}

WriteResult insertDurably(const QString& path, qint64 offset, const QByteArray& bytes,
                          qint64 expectedSize) {
    File file(path, File::Mode::Update);
    if (!file.isOpen()) return WriteResult::failed(path, file.error());
    const std::optional<qint64> size = file.size();
    if (!size) return WriteResult::failed(path, file.error());
    if (*size != expectedSize || offset < 0 || offset > *size)
        return WriteResult::failed(path, QStringLiteral("changed since it was read"));
    const std::optional<QByteArray> formerTail = file.readAt(offset, *size - offset);
    if (!formerTail) return WriteResult::failed(path, file.error());

    if (file.writeAt(offset, bytes + *formerTail) && file.sync()) return WriteResult::done();
    QString why = file.error();
    // The blocks of the former tail are the file's already: putting it back needs no space.
    if (!(file.truncate(*size) && file.writeAt(offset, *formerTail) && file.sync()))
        why += QStringLiteral("; restoring the former content failed too: ") + file.error();
    return WriteResult::failed(path, why);
}

bool syncFolder(const QString& folder) { return native::syncFolder(folder); }

ReadResult readOwnFile(const QString& path, std::optional<qint64> maxBytes) {
    using Problem = ReadResult::Problem;
    const auto refused = [&path](Problem problem, const QString& why) {
        return ReadResult{{}, problem, path + QStringLiteral(": ") + why};
    };
    File file(path, File::Mode::Read);
    if (!file.isOpen()) {
        return refused(file.missing()       ? Problem::Missing
                       : file.refusedKind() ? Problem::NotOrdinary
                                            : Problem::Failed,
                       file.error());
    }
    const std::optional<qint64> size = file.size();
    if (!size) return refused(Problem::Failed, file.error());
    const auto tooLarge = [&] {
        return refused(Problem::TooLarge, QStringLiteral("larger than %1 bytes").arg(*maxBytes));
    };
    if (maxBytes && *size > *maxBytes) return tooLarge();

    // To the end as it is now: the file may have grown since its size was taken.
    QByteArray content;
    qint64 want = *size + 1;
    for (;;) {
        if (maxBytes) want = std::min(want, *maxBytes + 1 - content.size());
        const std::optional<QByteArray> chunk = file.readAt(content.size(), want);
        if (!chunk) return refused(Problem::Failed, file.error());
        content += *chunk;
        if (maxBytes && content.size() > *maxBytes) return tooLarge();
        if (chunk->size() < want) break;
        want = 1 << 16;
    }
    return {content, Problem::None, {}};
}

}  // namespace telvane::storage
