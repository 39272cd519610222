#include "core/system.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#include <fontconfig/fontconfig.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace zd::sys {

namespace {

// Where Linux keeps a file's access ACL among its extended attributes.
constexpr char kAccessAcl[] = "system.posix_acl_access";

} // namespace

std::size_t pageSize()
{
    static const auto size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

void *allocatePages(std::size_t bytes)
{
    void *memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    return memory;
}

void freePages(void *memory, std::size_t bytes)
{
    ::munmap(memory, bytes);
}

void populatePages(void *memory, std::size_t bytes)
{
    // Where the kernel cannot, the pages simply come in as they are touched.
    ::madvise(memory, bytes, MADV_POPULATE_WRITE);
}

int duplicateHandle(int handle)
{
    return handle >= 0 ? ::dup(handle) : -1;
}

void closeHandle(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

namespace {

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

} // namespace

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

void loadFontConfiguration()
{
    FcInit();
}

} // namespace zd::sys
