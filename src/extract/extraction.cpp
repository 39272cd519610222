#include "extract/extraction.h"

#include "extract/downloader.h"
#include "core/errorreport.h"
#include "core/filehelpers.h"
#include "core/mappedfile.h"
#include "extract/scanners.h"
#include "sitelist/sitefiles.h"
#include "sitelist/sitelistmodel.h"
#include "sitelist/sitestore.h"
#include "core/uiservices.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringDecoder>

#include <new>
#include <optional>
#include <utility>

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

// Found links held aside until the page is known to be whole.
struct StagedLinks final : SiteSink
{
    SiteStore items;
    void appendSite(const QString &text) override { items.appendUtf8(text); }
    void appendSiteBytes(QByteArrayView bytes) override { items.append(bytes); }
    void appendSiteBytes(QByteArrayView head, QByteArrayView tail) override { items.append(head, tail); }
    SiteStore *plainStore() override { return &items; }
};

// A page's bytes as the scanner reads them: UTF-16, told by its byte-order
// mark or its charset, as UTF-8; anything else as it came.
class PageText
{
public:
    PageText(StreamScanner &scanner, const Downloader &downloader)
        : m_scanner(scanner), m_downloader(downloader)
    {
    }

    void feed(QByteArrayView bytes)
    {
        if (!m_decided) {
            // The first two bytes decide; they may come one at a time.
            const qsizetype wanted = qMin(2 - m_head.size(), bytes.size());
            m_head.append(bytes.first(wanted));
            bytes = bytes.sliced(wanted);
            if (m_head.size() < 2)
                return;
            decide();
        }
        pass(bytes);
    }
    void finish()
    {
        if (!m_decided)
            decide();
        m_scanner.finish();
    }

private:
    void decide()
    {
        m_decided = true;
        const QByteArray head = std::exchange(m_head, QByteArray());
        if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
            m_decoder.emplace(head[0] == '\xFF' ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
            return; // the mark itself is no text
        }
        if (const auto encoding = utf16Charset(m_downloader.contentType()))
            m_decoder.emplace(*encoding);
        pass(head);
    }
    void pass(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return;
        if (!m_decoder) {
            m_scanner.feed(bytes);
            return;
        }
        const QString text = (*m_decoder)(bytes);
        m_scanner.feed(text.toUtf8());
    }
    // The UTF-16 that a Content-Type's charset names, by the labels browsers know.
    static std::optional<QStringConverter::Encoding> utf16Charset(const QByteArray &contentType)
    {
        const QByteArray type = contentType.toLower();
        const qsizetype at = type.indexOf("charset=");
        if (at < 0)
            return std::nullopt;
        QByteArray label = type.mid(at + 8);
        if (const qsizetype end = label.indexOf(';'); end >= 0)
            label.truncate(end);
        label = label.trimmed();
        if (label.size() >= 2 && (label.front() == '"' || label.front() == '\''))
            label = label.mid(1, label.size() - 2);
        static const QByteArrayList littleEndian{"utf-16",    "utf-16le",        "unicode",    "ucs-2",
                                                 "csunicode", "iso-10646-ucs-2", "unicodefeff"};
        if (littleEndian.contains(label))
            return QStringConverter::Utf16LE;
        if (label == "utf-16be" || label == "unicodefffe")
            return QStringConverter::Utf16BE;
        return std::nullopt;
    }

    StreamScanner &m_scanner;
    const Downloader &m_downloader;
    QByteArray m_head;
    bool m_decided = false;
    std::optional<QStringDecoder> m_decoder;
};

// Where the download writes the page: straight into the scanner. A write
// that runs out of memory refuses the bytes, which stops the download; no
// exception may cross the network code's event loop.
class PageScanTarget final : public QIODevice
{
public:
    explicit PageScanTarget(PageText &text) : m_text(text) { open(QIODevice::WriteOnly); }
    bool outOfMemory() const { return m_outOfMemory; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        try {
            m_text.feed(QByteArrayView(data, size));
        } catch (const std::bad_alloc &) {
            m_outOfMemory = true;
            setErrorString(QStringLiteral("Out of memory"));
            return -1;
        }
        return size;
    }

private:
    PageText &m_text;
    bool m_outOfMemory = false;
};

// The window's monitor, with one more way to stop: the main window's Esc.
class StoppableDownload final : public DownloadMonitor
{
public:
    StoppableDownload(DownloadMonitor *shown, const bool &stopRequested)
        : m_shown(shown), m_stopRequested(stopRequested)
    {
    }
    void downloadProgress(const QString &url, qint64 received, qint64 expected) override
    {
        if (m_shown)
            m_shown->downloadProgress(url, received, expected);
    }
    bool downloadStopRequested() const override
    {
        return m_stopRequested || (m_shown && m_shown->downloadStopRequested());
    }
    void downloadFinished() override
    {
        if (m_shown)
            m_shown->downloadFinished();
    }
    std::optional<ProxyCredentials> proxyCredentials(const QString &proxy) override
    {
        return m_shown ? m_shown->proxyCredentials(proxy) : std::nullopt;
    }

private:
    DownloadMonitor *m_shown;
    const bool &m_stopRequested;
};

} // namespace

void scanFile(const QString &path, StreamScanner::Kind kind, const LinkNormalizer &links, SiteSink &list,
              UiServices &ui)
{
    QFile file(path);
    openRegularFile(file);
    scanOpenFile(file, kind, links, list, ui);
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
    // The page is scanned as it arrives, into links held aside: they join the
    // list only once the whole page is in, as if it had been read afterwards.
    StagedLinks staged;
    StreamScanner scanner(StreamScanner::Kind::Hrefs, m_links, staged, nullptr);
    PageText text(scanner, m_downloader);
    PageScanTarget page(text);
    DownloadStatus status = DownloadStatus::NotFound;
    bool outOfMemory = false;
    m_stopRequested = false;
    StoppableDownload monitor(m_monitor, m_stopRequested);
    procedure.step(104, [&] {
        m_ui.pumpEvents();
        try {
            status = m_downloader.download(m_links.pageUrl(), page, &monitor);
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
        }
    });
    outOfMemory = outOfMemory || page.outOfMemory();
    const bool downloaded = status == DownloadStatus::Complete && !outOfMemory;
    if (downloaded || outOfMemory) {
        procedure.step(118, [&] {
            if (downloaded)
                text.finish();
            // What was found before memory ran out is kept, as the list keeps
            // what it took before it was full.
            m_list.appendSites(std::move(staged.items));
            if (outOfMemory)
                throw std::bad_alloc();
        });
        return downloaded;
    }
    procedure.step(126, [&] {
        QString message = downloadFailureMessage(status, page);
        // Where the proxy is known to be the cause, the second line says so.
        if (const QString why = m_downloader.failureReason();
            status == DownloadStatus::NotFound && !why.isEmpty())
            message += QStringLiteral("\r\n") + why;
        m_ui.messageBox(message);
    });
    return false;
}

QString Extraction::downloadFailureMessage(DownloadStatus status, const QIODevice &page)
{
    switch (status) {
    case DownloadStatus::WriteFailed:
        return QStringLiteral("The page could not be read, so no link was added. %1").arg(page.errorString());
    case DownloadStatus::TooLarge:
        return QStringLiteral("The page is larger than %1 GiB, more than Zentavia Desk reads, so no "
                              "link was added.")
            .arg(kMaxPageBytes >> 30);
    case DownloadStatus::Stopped:
        return QStringLiteral("You stopped the download.");
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
