#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "NativeFile.h"

namespace telvane::storage::native {

namespace {

QByteArray nativeName(const QString& path) { return QFile::encodeName(path); }

QString reason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

int flagsFor(File::Mode mode) {
    // O_NOFOLLOW: a link planted at the name is refused (ELOOP) instead of written through.
    // O_NONBLOCK: a pipe planted there must not hang the open; it is refused below.
    const int always = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    switch (mode) {
        case File::Mode::Read:
            return always | O_RDONLY;
        case File::Mode::Update:
            return always | O_RDWR;
        case File::Mode::Append:
            return always | O_RDWR | O_CREAT;
        case File::Mode::CreateNew:
            return always | O_WRONLY | O_CREAT | O_EXCL;
    }
    return always | O_RDONLY;
}

// One system call, made again when a signal interrupted it.
template <typename Call>
ssize_t uninterrupted(Call call) {
    ssize_t n = 0;
    do {
        n = call();
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

Kind kindOf(const QString& path) {
    struct stat st {};
    if (::lstat(nativeName(path).constData(), &st) != 0) return Kind::Missing;
    if (S_ISLNK(st.st_mode)) return Kind::Link;
    return S_ISREG(st.st_mode) ? Kind::Ordinary : Kind::Other;
}

File::File(const QString& path, Mode mode) {
    m_fd = ::open(nativeName(path).constData(), flagsFor(mode), 0666);
    if (m_fd < 0) {
        m_refusedKind = errno == ELOOP;
        m_missing = errno == ENOENT;
        m_error = m_refusedKind ? QStringLiteral("a symbolic link, not followed") : reason(errno);
        return;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_refusedKind = true;
        m_error = QStringLiteral("not an ordinary file");
        ::close(m_fd);
        m_fd = -1;
    }
}

File::~File() {
    if (m_fd >= 0) ::close(m_fd);
}

bool File::isOpen() const { return m_fd >= 0; }

bool File::fail() {
    m_error = reason(errno);
    return false;
}

std::optional<qint64> File::size() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        fail();
        return std::nullopt;
    }
    return static_cast<qint64>(st.st_size);
}

std::optional<qint64> File::readSome(qint64 offset, char* into, qint64 count) {
    const ssize_t n = uninterrupted([&] {
        return ::pread(m_fd, into, static_cast<size_t>(count), static_cast<off_t>(offset));
    });
    if (n >= 0) return n;
    fail();
    return std::nullopt;
}

std::optional<qint64> File::writeSome(qint64 offset, const char* from, qint64 count) {
    const ssize_t n = uninterrupted([&] {
        return ::pwrite(m_fd, from, static_cast<size_t>(count), static_cast<off_t>(offset));
    });
    if (n >= 0) return n;
    fail();
    return std::nullopt;
}

bool File::truncate(qint64 size) {
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 || fail();
}

bool File::sync() { return ::fsync(m_fd) == 0 || fail(); }

void File::takePermissionsOf(const QString& path) {
    struct stat st {};
    if (::lstat(nativeName(path).constData(), &st) == 0) ::fchmod(m_fd, st.st_mode & 07777);
}

std::optional<QString> renameOver(const QString& from, const QString& to) {
    if (::rename(nativeName(from).constData(), nativeName(to).constData()) == 0)
        return std::nullopt;
    return reason(errno);
}

void removeName(const QString& path) { ::unlink(nativeName(path).constData()); }

bool syncFolder(const QString& folder) {
    const int fd = ::open(nativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    // Some file systems cannot sync a folder at all (EINVAL); their names need no sync.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
}

}  // namespace telvane::storage::native
