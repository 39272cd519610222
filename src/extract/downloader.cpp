#include "extract/downloader.h"

namespace zd {

DownloadStatus downloadOutcome(const DownloadEnd &end)
{
    if (end.stopped)
        return *end.stopped;
    if (end.networkError || end.httpStatus >= 400)
        return DownloadStatus::NotFound;
    if (end.announcedBytes && end.receivedBytes < *end.announcedBytes)
        return DownloadStatus::NotFound;
    if (!end.streamEnded)
        return DownloadStatus::NotFound;
    return DownloadStatus::Complete;
}

} // namespace zd
