#pragma once

#include <QString>

#include <sys/resource.h>

namespace zd::test {

/// A tmpfs of a few KiB mounted for one test (root only), unmounted again.
class SmallFileSystem
{
public:
    SmallFileSystem(const QString &mountPoint, qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool mounted() const { return m_mounted; }
    /// Writes a filler file until the file system is full; false if it never filled.
    bool fill();

private:
    QString m_mountPoint;
    bool m_mounted = false;
};

/// Files of this process may grow to \a bytes only, for one scope; the
/// signal a larger write would raise is ignored, so the write fails instead.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
};

} // namespace zd::test
