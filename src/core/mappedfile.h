#pragma once

#include <QByteArrayView>

class QFile;

namespace zd {

/// An open regular file mapped for reading, so that it is scanned where it
/// lies instead of copied in. Another program may shorten the file
/// meanwhile, which would kill a plain mapping's reader (SIGBUS): here the
/// pages lost read as zeros instead, and changed() tells afterwards.
class MappedFile
{
public:
    /// Maps all of \a file; bytes() is empty when it cannot be mapped (an
    /// empty file, no address space): read it instead.
    explicit MappedFile(QFile &file);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    QByteArrayView bytes() const { return {m_data, m_size}; }
    /// True when part of the file went away while it was mapped.
    bool changed() const;
    /// Lets go of the pages before \a offset: they were read and are not
    /// needed again, and so they no longer count as this program's memory.
    void release(qsizetype offset);

private:
    const char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_released = 0;
    int m_slot = -1;
};

} // namespace zd
