#pragma once
// The immutable attribute on a path for the object's lifetime: a file or folder that even root
// cannot change. ok() is false where the file system has no such attribute (tmpfs, for one).

#include <QProcess>

namespace telvane::test {

class Immutable {
public:
    explicit Immutable(QString path) : m_path(std::move(path)) {
        m_ok = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0;
    }
    ~Immutable() {
        if (m_ok) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
    }
    Immutable(const Immutable&) = delete;
    Immutable& operator=(const Immutable&) = delete;
    bool ok() const { return m_ok; }

private:
    QString m_path;
    bool m_ok = false;
};

}  // namespace telvane::test
