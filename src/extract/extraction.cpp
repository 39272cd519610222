#include "extract/extraction.h"

#include "extract/downloader.h"
#include "core/aside.h"
#include "core/errorreport.h"
#include "core/filehelpers.h"
#include "core/mappedfile.h"
#include "core/system.h"
#include "extract/scanners.h"
#include "sitelist/sitefiles.h"
#include "core/uiservices.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <cerrno>
#include <optional>

namespace zd {

namespace {

// Scans an open regular file where it lies, mapped; read in chunks when it
// cannot be mapped, which needs only a small buffer for a file of any size.
void scanOpenFile(QFile &file, StreamScanner::Kind kind, const LinkNormalizer &links, SiteSink &list,
                  UiServices &ui)
{
    StreamScanner scanner(kind, links, list, ui);
    MappedFile mapped(file);
    if (!mapped.bytes().isEmpty()) {
        scanner.scanWhole(mapped.bytes(), [&mapped](qsizetype from, qsizetype) { mapped.release(from); });
        if (mapped.changed())
            throw Failure(QStringLiteral("Device I/O error: %1 became shorter while it was read")
                              .arg(QDir::toNativeSeparators(file.fileName())));
        return;
    }
    // Small enough to stay in the cache between the copy and the scan.
    constexpr qint64 kChunk = qint64{256} * 1024;
    readInChunks(
        file, ui, kChunk, [&](qint64 room) { return scanner.prepare(room); },
        [&](qint64 n) { scanner.commit(n); });
    scanner.finish();
}

// The last close of a removed file frees all its pages at once, a good part
// of a second for a big page: it happens on a thread of its own while the
// window waits in its event loop.
void closeAside(UiServices &ui, std::optional<QTemporaryFile> &temp)
{
    const int last = temp ? sys::duplicateHandle(temp->handle()) : -1;
    temp.reset();
    if (last >= 0)
        runAside(ui, [last] { sys::closeHandle(last); });
}

} // namespace

void scanFile(const QString &path, StreamScanner::Kind kind, const LinkNormalizer &links, SiteSink &list,
              UiServices &ui)
{
    QFile file(path);
    openRegularFile(file);
    scanOpenFile(file, kind, links, list, ui);
}

QString temporaryFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    return temp.isEmpty() ? QDir::tempPath() : temp;
}

Extraction::Extraction(UiServices &ui, Downloader &downloader, FileDialogs &dialogs, SiteSink &list)
    : m_ui(ui), m_downloader(downloader), m_dialogs(dialogs), m_list(list)
{
}

void Extraction::extractFromWebPage(const QString &selectedText)
{
    if (m_running)
        return;
    m_running = true;
    const auto notRunning = qScopeGuard([this] { m_running = false; });
    Procedure procedure(m_ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton1_Click")));
    const QString prompt = QStringLiteral("Enter url to extract from (i.e. %1):").arg(kExamplePageHost);
    QString answer;
    // With no item selected the box offers nothing; else the item's text.
    procedure.step(selectedText.isNull() ? 102 : 104, [&] { answer = m_ui.inputBox(prompt, selectedText); });
    if (answer.isEmpty())
        return;
    procedure.step(108, [&] { m_ui.setPointer(Pointer::Hourglass); });
    procedure.step(110, [&] { getUrls(answer); });
    procedure.step(112, [&] { m_ui.setPointer(Pointer::Default); });
}

bool Extraction::getUrls(const QString &typed)
{
    Procedure procedure(m_ui, locationTag(QStringLiteral("ExtractLinks"), QStringLiteral("GetUrls")));
    procedure.step(100, [&] { m_links.setPageUrl(typed); });
    // A unique 0600 file, never a fixed name another user could plant a link at.
    std::optional<QTemporaryFile> temp;
    procedure.step(102, [&] {
        const QString folder = temporaryFolder();
        temp.emplace(QStringLiteral("%1/HTML1-XXXXXX.tmp").arg(folder));
        errno = 0;
        if (!temp->open())
            throw Failure(QStringLiteral("Could not create a temporary file for the page in %1: %2")
                              .arg(folder, fileErrorReason(*temp, errno)));
    });
    // Without a temporary file nothing was downloaded: the report above said why.
    if (!temp || !temp->isOpen())
        return false;
    DownloadStatus status = DownloadStatus::NotFound;
    int writeErrno = 0;
    procedure.step(104, [&] {
        m_ui.pumpEvents();
        errno = 0;
        status = m_downloader.download(m_links.pageUrl(), *temp);
        // A write that failed when the buffer went to disk fails here.
        if (status == DownloadStatus::Complete && !temp->flush())
            status = DownloadStatus::WriteFailed;
        // A failed write left its reason with the file; errno may have moved
        // on in the event loop since.
        writeErrno = temp->error() != QFileDevice::NoError ? 0 : errno;
    });
    const bool downloaded = status == DownloadStatus::Complete;
    if (downloaded) {
        // The temporary file stays open until the end: see closeAside.
        QFile file(temp->fileName());
        if (procedure.step(112, [&] { openRegularFile(file); }))
            procedure.step(118,
                           [&] { scanOpenFile(file, StreamScanner::Kind::Hrefs, m_links, m_list, m_ui); });
        file.close();
    }
    const QString message = downloaded ? QString() : downloadFailureMessage(status, *temp, writeErrno);
    // Removed on every path: nothing of a download is left behind.
    procedure.step(128, [&] { deleteFileQuietly(m_ui, temp->fileName()); });
    closeAside(m_ui, temp);
    if (!downloaded)
        procedure.step(126, [&] { m_ui.messageBox(message); });
    return downloaded;
}

QString Extraction::downloadFailureMessage(DownloadStatus status, const QFileDevice &temp, int writeErrno)
{
    switch (status) {
    case DownloadStatus::WriteFailed:
        return QStringLiteral("The page could not be stored, so no link was added. %1")
            .arg(describeFileError(temp, temp.fileName(), writeErrno));
    case DownloadStatus::TooLarge:
        return QStringLiteral("The page is larger than %1 GiB, more than Zentavia Desk reads, so no "
                              "link was added.")
            .arg(kMaxPageBytes >> 30);
    case DownloadStatus::Complete:
    case DownloadStatus::NotFound:
        break;
    }
    return QStringLiteral("URL not found");
}

void Extraction::extractFromTextFiles()
{
    if (m_running)
        return;
    m_running = true;
    const auto notRunning = qScopeGuard([this] { m_running = false; });
    Procedure procedure(m_ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton2_Click")));
    chooseTextFiles(procedure, m_dialogs, [this](const QString &path) { scanTextFile(path); });
}

void Extraction::scanTextFile(const QString &path)
{
    scanFile(path, StreamScanner::Kind::TextUrls, m_links, m_list, m_ui);
}

} // namespace zd
