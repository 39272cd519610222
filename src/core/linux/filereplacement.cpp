#include "core/filehelpers.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <optional>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace zd {

namespace {

// Where Linux keeps a file's access ACL among its extended attributes.
constexpr char kAccessAcl[] = "system.posix_acl_access";

// One extended attribute of a file (links followed); empty when it has none.
QByteArray attribute(const QByteArray &path, const char *name)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t size = ::getxattr(path.constData(), name, nullptr, 0);
        if (size <= 0)
            return {};
        QByteArray value(size, Qt::Uninitialized);
        const ssize_t got = ::getxattr(path.constData(), name, value.data(), size_t(size));
        if (got >= 0)
            return value.left(got);
        if (errno != ERANGE)
            return {}; // it grew meanwhile: ask again
    }
    return {};
}

QList<QByteArray> attributeNames(const QByteArray &path)
{
    const ssize_t size = ::listxattr(path.constData(), nullptr, 0);
    if (size <= 0)
        return {};
    QByteArray names(size, Qt::Uninitialized);
    const ssize_t got = ::listxattr(path.constData(), names.data(), size_t(size));
    if (got <= 0)
        return {};
    names.truncate(got - 1); // the last name's NUL
    return names.split('\0');
}

// The group class's permissions an access ACL grants: its owning-group
// entry limited by its mask; nullopt when the ACL cannot be read.
std::optional<mode_t> aclGroupPermissions(const QByteArray &acl)
{
    constexpr quint16 kGroupObject = 0x04;
    constexpr quint16 kMask = 0x10;
    constexpr qsizetype kHeader = 4;
    constexpr qsizetype kEntry = 8;
    if (acl.size() < kHeader || (acl.size() - kHeader) % kEntry != 0)
        return std::nullopt;
    std::optional<mode_t> group;
    mode_t mask = 07;
    for (qsizetype at = kHeader; at < acl.size(); at += kEntry) {
        quint16 tag = 0;
        quint16 permissions = 0;
        std::memcpy(&tag, acl.constData() + at, sizeof tag);
        std::memcpy(&permissions, acl.constData() + at + 2, sizeof permissions);
        if (tag == kGroupObject)
            group = permissions & 07;
        else if (tag == kMask)
            mask = permissions & 07;
    }
    if (!group)
        return std::nullopt;
    return *group & mask;
}

// Gives the open file \a handle the permissions, access ACL and extended
// attributes (and, when allowed, the owner) of the file at \a path, which it
// is about to replace; nothing when \a path does not exist. Where the ACL
// cannot go along, the group keeps no more than the ACL gave it.
void copyFileAttributes(const QString &path, int handle)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat old
    {
    };
    if (::stat(name.constData(), &old) != 0)
        return;
    if (::fchown(handle, old.st_uid, old.st_gid) != 0) {
        // Only root may give a file away; the user's own file is theirs anyway.
    }
    mode_t mode = old.st_mode & 07777;
    ::fchmod(handle, mode);
    // Extended attributes, the access ACL among them; those this user may
    // not set (another's security label) stay behind.
    bool aclCopied = true;
    for (const QByteArray &attributeName : attributeNames(name)) {
        const QByteArray value = attribute(name, attributeName.constData());
        const bool copied =
            ::fsetxattr(handle, attributeName.constData(), value.constData(), size_t(value.size()), 0) == 0;
        if (attributeName == kAccessAcl)
            aclCopied = copied;
    }
    // With an ACL the group bits are its mask: alone they would open the
    // file to the owning group as wide as the mask. Keep what the group had.
    if (!aclCopied) {
        if (const std::optional<mode_t> group = aclGroupPermissions(attribute(name, kAccessAcl)))
            ::fchmod(handle, (mode & ~mode_t(070)) | (*group << 3));
    }
}

} // namespace

class FileReplacement::Private
{
public:
    explicit Private(const QString &path) : m_path(path), m_file(path) {}
    [[noreturn]] void fail(int savedErrno);

    QString m_path;
    QSaveFile m_file;
};

FileReplacement::FileReplacement(const QString &path) : d(std::make_unique<Private>(path))
{
    QSaveFile &file = d->m_file;
    requireRegularOrMissing(path);
    const QFileInfo info(path);
    if (info.exists() && !info.isWritable())
        throw Failure(QStringLiteral("Permission denied: %1").arg(path));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        d->fail(errno);
    // The new file takes the old one's place: give it the old one's permissions.
    copyFileAttributes(path, file.handle());
}

FileReplacement::~FileReplacement() = default;

void FileReplacement::write(QByteArrayView bytes)
{
    QSaveFile &file = d->m_file;
    errno = 0;
    if (file.write(bytes.data(), bytes.size()) != bytes.size())
        d->fail(errno);
}

void FileReplacement::commit()
{
    QSaveFile &file = d->m_file;
    // close() ignores a failed flush and commit() would then rename a short
    // file over the user's: flush first and check it.
    errno = 0;
    if (!file.flush() || file.error() != QFileDevice::NoError)
        d->fail(errno);
    // Another program may have put a folder, a pipe or a device there
    // meanwhile: it stays as it is.
    try {
        requireRegularOrMissing(d->m_path);
    } catch (const Failure &) {
        file.cancelWriting();
        throw;
    }
    errno = 0;
    if (!file.commit())
        d->fail(errno);
}

void FileReplacement::Private::fail(int savedErrno)
{
    const QString text = describeFileError(m_file, m_path, savedErrno);
    m_file.cancelWriting();
    throw Failure(text);
}

} // namespace zd
