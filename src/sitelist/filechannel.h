#pragma once

namespace zd {

/// The one file channel shared by the list loader and the save: while one
/// of them has a file open, the other fails instead of touching that file.
class FileChannel
{
public:
    /// Holds the channel for a scope; throws Failure("File already open").
    class Claim
    {
    public:
        explicit Claim(FileChannel &channel);
        ~Claim() { m_channel.m_inUse = false; }
        Claim(const Claim &) = delete;
        Claim &operator=(const Claim &) = delete;

    private:
        FileChannel &m_channel;
    };

private:
    bool m_inUse = false;
};

} // namespace zd
