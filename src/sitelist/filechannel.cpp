#include "sitelist/filechannel.h"

#include "core/errorreport.h"

namespace zd {

FileChannel::Claim::Claim(FileChannel &channel) : m_channel(channel)
{
    if (m_channel.m_inUse)
        throw Failure(QStringLiteral("File already open"));
    m_channel.m_inUse = true;
}

} // namespace zd
