#include "core/filehelpers.h"
#include "core/windows/systemerror.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <windows.h>

#include <aclapi.h>

namespace zd {

namespace {

QString systemReason(DWORD code)
{
    return sys::systemErrorText(code);
}

// A path for the wide calls; a long one in the form that lifts their
// 260-character limit.
std::wstring native(const QString &path)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    if (nativePath.size() < MAX_PATH - 12 || nativePath.startsWith(QLatin1String(R"(\\?\)"))
        || nativePath.startsWith(QLatin1String(R"(\\.\)")))
        return nativePath.toStdWString();
    const QString absolute = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (absolute.startsWith(QLatin1String(R"(\\)")))
        return QString(QStringLiteral(R"(\\?\UNC\)") + absolute.mid(2)).toStdWString();
    return QString(QStringLiteral(R"(\\?\)") + absolute).toStdWString();
}

// A reserved device name stays one in any folder and with any extension
// ("C:\lists\nul.txt" is the null device); "\\.\" paths name devices too.
bool namesDevice(const QString &path)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    if (nativePath.startsWith(QLatin1String("\\\\.\\"))
        || nativePath.startsWith(QLatin1String("\\\\?\\GLOBALROOT"), Qt::CaseInsensitive))
        return true;
    QString name = QFileInfo(path).fileName();
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    // The name before its first dot, blanks after it dropped. Compared by
    // hand: a regular expression here would leave PCRE's JIT stack in the
    // thread-local storage of the thread that commits, which MinGW's
    // run-time then frees wrongly as that thread ends.
    QStringView head = QStringView(name).left(name.indexOf(QLatin1Char('.')));
    while (!head.isEmpty() && head.back().isSpace())
        head.chop(1);
    static const QStringList fixed{QStringLiteral("CON"),    QStringLiteral("PRN"),
                                   QStringLiteral("AUX"),    QStringLiteral("NUL"),
                                   QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    for (const QString &device : fixed) {
        if (head.compare(device, Qt::CaseInsensitive) == 0)
            return true;
    }
    // COM and LPT with a digit, or a superscript one, two or three.
    static const QString numbers = QStringLiteral("0123456789\u00B9\u00B2\u00B3");
    return head.size() == 4
           && (head.left(3).compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0
               || head.left(3).compare(QLatin1String("LPT"), Qt::CaseInsensitive) == 0)
           && numbers.contains(head[3]);
}

// Opening the target tells a reparse point that leads round in a circle
// (or nowhere) from a plain missing file.
void requireResolvable(const QString &path)
{
    const HANDLE handle = CreateFileW(native(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_CANT_RESOLVE_FILENAME || error == ERROR_CANT_ACCESS_FILE)
        throw Failure(QStringLiteral("Path/File access error: %1 is a link that leads round in a circle")
                          .arg(QDir::toNativeSeparators(path)));
}

// Gives \a to the access list (DACL) of \a from. ReplaceFileW keeps it on
// Windows; Wine's does not, and a list copied first is kept on both.
void copyAccessList(const std::wstring &from, const std::wstring &to)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED))
        what |= PROTECTED_DACL_SECURITY_INFORMATION;
    else
        what |= UNPROTECTED_DACL_SECURITY_INFORMATION;
    SetNamedSecurityInfoW(const_cast<wchar_t *>(to.c_str()), SE_FILE_OBJECT, what, nullptr, nullptr, dacl,
                          nullptr);
    LocalFree(descriptor);
}

void requireReplaceable(const QString &path)
{
    if (namesDevice(path))
        throw Failure(QStringLiteral("Path/File access error: %1 is a device, not a file")
                          .arg(QDir::toNativeSeparators(path)));
    requireResolvable(path);
    requireRegularOrMissing(path);
}

} // namespace

class FileReplacement::Private
{
public:
    [[noreturn]] void fail(DWORD code);
    void discard();

    QString m_path;   // the file the user named
    QString m_target; // where its bytes live: a link's target
    QString m_temporary;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

void FileReplacement::Private::discard()
{
    if (m_handle != INVALID_HANDLE_VALUE) {
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    if (!m_temporary.isEmpty()) {
        DeleteFileW(native(m_temporary).c_str());
        m_temporary.clear();
    }
}

void FileReplacement::Private::fail(DWORD code)
{
    discard();
    throw Failure(QStringLiteral("%1: %2").arg(systemReason(code), QDir::toNativeSeparators(m_path)));
}

FileReplacement::FileReplacement(const QString &path) : d(std::make_unique<Private>())
{
    d->m_path = path;
    requireReplaceable(path);
    const QFileInfo info(path);
    // A link stays a link: its target gets the new content.
    d->m_target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    const DWORD attributes = GetFileAttributesW(native(d->m_target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        throw Failure(
            QStringLiteral("Permission denied: %1 is read-only").arg(QDir::toNativeSeparators(path)));
    // Beside the target, so that the swap is a rename on one volume.
    const QFileInfo target(d->m_target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name = QStringLiteral("%1/~%2.%3.tmp")
                                 .arg(target.absolutePath(), target.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        d->m_handle = CreateFileW(native(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (d->m_handle != INVALID_HANDLE_VALUE) {
            d->m_temporary = name;
            return;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    d->fail(GetLastError());
}

FileReplacement::~FileReplacement()
{
    d->discard();
}

void FileReplacement::write(QByteArrayView bytes)
{
    constexpr qsizetype kMostAtOnce = qsizetype{1} << 30;
    while (!bytes.isEmpty()) {
        const auto size = DWORD(qMin(bytes.size(), kMostAtOnce));
        DWORD written = 0;
        if (!WriteFile(d->m_handle, bytes.data(), size, &written, nullptr))
            d->fail(GetLastError());
        if (written == 0)
            d->fail(ERROR_DISK_FULL);
        bytes = bytes.sliced(written);
    }
}

void FileReplacement::commit()
{
    if (!FlushFileBuffers(d->m_handle))
        d->fail(GetLastError());
    CloseHandle(d->m_handle);
    d->m_handle = INVALID_HANDLE_VALUE;
    // Another program may have put a folder or a device there meanwhile:
    // it stays as it is.
    try {
        requireReplaceable(d->m_path);
    } catch (const Failure &) {
        d->discard();
        throw;
    }
    const std::wstring target = native(d->m_target);
    const std::wstring temporary = native(d->m_temporary);
    // ReplaceFileW keeps the old file's ACL, attributes and alternate
    // streams; a new file has none to keep.
    const bool exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists)
        copyAccessList(target, temporary);
    const bool replaced = exists ? ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                                 : MoveFileExW(temporary.c_str(), target.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced)
        d->fail(GetLastError());
    d->m_temporary.clear();
}

} // namespace zd
