#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <QDir>
#include <algorithm>
#include <string>

#include "NativeFile.h"

namespace telvane::storage::native {

namespace {

// UTF-16 names straight from the QString: never built from UTF-8 or ANSI bytes, so that
// Cyrillic folder names work whatever the system's code page.
std::wstring nativeName(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

QString reason(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString message = length > 0 ? QString::fromWCharArray(text, int(length)).trimmed()
                                       : QStringLiteral("system error %1").arg(code);
    LocalFree(text);
    return message;
}

HANDLE handleOf(void* handle) { return static_cast<HANDLE>(handle); }

// Symbolic links and junctions are name surrogates; other reparse points (cloud placeholders,
// deduplicated files) are the file's own content and are opened through.
bool isLink(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           IsReparseTagNameSurrogate(tag.ReparseTag);
}

OVERLAPPED at(qint64 offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

}  // namespace

Kind kindOf(const QString& path) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(nativeName(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return Kind::Missing;
    FindClose(search);
    // dwReserved0 holds the reparse tag of a reparse point.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        IsReparseTagNameSurrogate(found.dwReserved0))
        return Kind::Link;
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Other : Kind::Ordinary;
}

File::File(const QString& path, Mode mode) {
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD sharing = FILE_SHARE_READ | FILE_SHARE_DELETE;
    switch (mode) {
        case Mode::Read:
            sharing |= FILE_SHARE_WRITE;
            break;
        case Mode::Update:
            access |= GENERIC_WRITE;
            break;
        case Mode::Append:
            access |= GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            break;
        case Mode::CreateNew:
            access = GENERIC_WRITE;
            disposition = CREATE_NEW;
            break;
    }
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself instead of its target; it is refused
    // below together with anything that is not an ordinary file on a disk.
    const std::wstring name = nativeName(path);
    HANDLE handle = CreateFileW(name.c_str(), access, sharing, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle != INVALID_HANDLE_VALUE && !isLink(handle) &&
        GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);  // a reparse point that is no link: open its content
        handle = CreateFileW(name.c_str(), access, sharing, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        m_missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        m_error = reason(code);
        return;
    }
    if (isLink(handle) || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_refusedKind = true;
        m_error = QStringLiteral("a symbolic link or not an ordinary file, not followed");
        CloseHandle(handle);
        return;
    }
    m_handle = handle;
}

File::~File() {
    if (m_handle != nullptr) CloseHandle(handleOf(m_handle));
}

bool File::isOpen() const { return m_handle != nullptr; }

bool File::fail() {
    m_error = reason(GetLastError());
    return false;
}

std::optional<qint64> File::size() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(m_handle), &size)) {
        fail();
        return std::nullopt;
    }
    return static_cast<qint64>(size.QuadPart);
}

// Synchronous handles take the position from the OVERLAPPED structure; at most 1 GiB a call.
std::optional<qint64> File::readSome(qint64 offset, char* into, qint64 count) {
    OVERLAPPED position = at(offset);
    DWORD n = 0;
    if (ReadFile(handleOf(m_handle), into, static_cast<DWORD>(std::min<qint64>(count, 1 << 30)), &n,
                 &position))
        return n;
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    fail();
    return std::nullopt;
}

std::optional<qint64> File::writeSome(qint64 offset, const char* from, qint64 count) {
    OVERLAPPED position = at(offset);
    DWORD n = 0;
    if (WriteFile(handleOf(m_handle), from, static_cast<DWORD>(std::min<qint64>(count, 1 << 30)),
                  &n, &position))
        return n;
    fail();
    return std::nullopt;
}

bool File::truncate(qint64 size) {
    LARGE_INTEGER position{};
    position.QuadPart = size;
    return (SetFilePointerEx(handleOf(m_handle), position, nullptr, FILE_BEGIN) &&
            SetEndOfFile(handleOf(m_handle))) ||
           fail();
}

bool File::sync() { return FlushFileBuffers(handleOf(m_handle)) || fail(); }

// A new file takes the folder's inherited permissions, as the old one did.
void File::takePermissionsOf(const QString&) {}

std::optional<QString> renameOver(const QString& from, const QString& to) {
    if (MoveFileExW(nativeName(from).c_str(), nativeName(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return std::nullopt;
    return reason(GetLastError());
}

void removeName(const QString& path) { DeleteFileW(nativeName(path).c_str()); }

// MOVEFILE_WRITE_THROUGH already waits for the rename; NTFS has no separate folder sync.
bool syncFolder(const QString&) { return true; }

}  // namespace telvane::storage::native
