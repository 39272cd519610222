#pragma once

#include "extract/linknormalizer.h"
#include "extract/downloader.h"
#include "extract/scanners.h"

#include <QByteArray>
#include <QString>

class QFileDevice;

namespace zd {

class FileDialogs;
class Procedure;
class SiteSink;
class UiServices;

/// Scans a file where it lies, mapped (a file shortened meanwhile is
/// reported, never a crash), or read in chunks where it cannot be mapped;
/// throws Failure when it cannot be opened or read. An empty file finds
/// nothing.
void scanFile(const QString &path, StreamScanner::Kind kind, const LinkNormalizer &links, SiteSink &list,
              UiServices &ui);

/// Link extraction from web pages and files. One extraction at a time:
/// while one runs, both commands are ignored.
class Extraction
{
public:
    Extraction(UiServices &ui, Downloader &downloader, FileDialogs &dialogs, SiteSink &list);

    /// "Extract URLs From Web Page"; \a selectedText is the selected item's
    /// text, or a null string when none is selected.
    void extractFromWebPage(const QString &selectedText);
    /// Downloads the page and adds its links; false when it could not be
    /// downloaded.
    bool getUrls(const QString &typed);

    /// Where a download shows its progress and the user may stop it.
    void setDownloadMonitor(DownloadMonitor *monitor) { m_monitor = monitor; }
    /// Stops the download under way, as the monitor's Stop does.
    void stopDownload() { m_stopRequested = true; }

    /// "Extract URLs From Text File".
    void extractFromTextFiles();
    /// Loads one file and adds every address in it; throws Failure.
    void scanTextFile(const QString &path);

private:
    /// The reason a download gave no page, in words for the user.
    static QString downloadFailureMessage(DownloadStatus status, const QIODevice &page);
    UiServices &m_ui;
    Downloader &m_downloader;
    FileDialogs &m_dialogs;
    SiteSink &m_list;
    LinkNormalizer m_links;
    DownloadMonitor *m_monitor = nullptr;
    bool m_running = false;
    bool m_stopRequested = false;
};

/// The example host shown in the page-address prompt.
inline const QString kExamplePageHost = QStringLiteral("www.example.com");

} // namespace zd
