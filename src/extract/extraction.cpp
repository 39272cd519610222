#include "extraction.h"

#include "downloader.h"
#include "errorreport.h"
#include "filehelpers.h"
#include "scanners.h"
#include "sitefiles.h"
#include "uiservices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <optional>

namespace zd {

namespace {

// Sets the flag for a scope; a second extraction sees it and does nothing.
class RunningFlag
{
public:
    explicit RunningFlag(bool &flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag &) = delete;
    RunningFlag &operator=(const RunningFlag &) = delete;

private:
    bool &m_flag;
};

void openForScan(QFile &file)
{
    const QFileInfo info(file.fileName());
    if (!info.exists())
        throw Failure(QStringLiteral("File not found"));
    // A FIFO without a writer would block the window for good.
    if (!info.isFile())
        throw Failure(QStringLiteral("Path/File access error: %1 is not a regular file").arg(file.fileName()));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
}

QByteArray readAll(QFile &file)
{
    QByteArray buffer;
    buffer.reserve(qMax<qint64>(file.size(), 0) + 1);
    constexpr qint64 kChunk = 1 << 20;
    for (;;) {
        const qsizetype used = buffer.size();
        buffer.resize(used + kChunk);
        const qint64 n = file.read(buffer.data() + used, kChunk);
        if (n < 0)
            throw Failure(QStringLiteral("Device I/O error: %1").arg(file.errorString()));
        buffer.resize(used + n);
        if (n == 0)
            break;
    }
    return buffer;
}

} // namespace

QByteArray LoadScanBuffer(const QString &path)
{
    QFile file(path);
    openForScan(file);
    return readAll(file);
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
    RunningFlag running(m_running);
    Procedure procedure(m_ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton1_Click")));
    const QString prompt = QStringLiteral("Enter url to extract from (i.e. %1):").arg(kExamplePageHost);
    QString answer;
    if (procedure.condition(100, [&] { return selectedText.isNull(); }))
        procedure.step(102, [&] { answer = m_ui.inputBox(prompt, QString()); });
    else
        procedure.step(104, [&] { answer = m_ui.inputBox(prompt, selectedText); });
    if (procedure.condition(106, [&] { return answer.isEmpty(); }))
        return;
    procedure.step(108, [&] { m_ui.setPointer(Pointer::Hourglass); });
    procedure.step(110, [&] { GetUrls(answer, 1); });
    procedure.step(112, [&] { m_ui.setPointer(Pointer::Default); });
}

bool Extraction::GetUrls(const QString &typed, int tempIndex)
{
    Procedure procedure(m_ui, locationTag(QStringLiteral("ExtractLinks"), QStringLiteral("GetUrls")));
    bool result = false;
    procedure.step(100, [&] { m_links.SetPageUrl(typed); });
    // A unique 0600 file, never a fixed name another user could plant a link at.
    std::optional<QTemporaryFile> temp;
    procedure.step(102, [&] {
        temp.emplace(QStringLiteral("%1/HTML%2-XXXXXX.tmp").arg(temporaryFolder()).arg(tempIndex));
        if (!temp->open())
            throw Failure(QStringLiteral("Path/File access error: %1").arg(temp->errorString()));
    });
    bool ok = false;
    procedure.step(104, [&] {
        m_ui.pumpEvents();
        ok = temp && temp->isOpen() && m_downloader.download(m_links.pageUrl(), *temp);
    });
    if (procedure.condition(106, [&] { return ok; })) {
        procedure.step(108, [&] { result = true; });
        QFile file;
        procedure.step(110, [&] {
            temp->close();
            file.setFileName(temp->fileName());
        });
        procedure.step(112, [&] { openForScan(file); });
        procedure.step(118, [&] { m_scanBuffer = readAll(file); });
        procedure.step(120, [&] { file.close(); });
        procedure.step(122, [&] { ScanHrefs(m_scanBuffer, m_links, m_list, m_ui); });
        procedure.step(128, [&] { DeleteFileQuietly(m_ui, temp->fileName()); });
        return result;
    }
    procedure.step(124, [&] { result = false; });
    // Removed on this path too: nothing of a failed download is left behind.
    if (temp)
        DeleteFileQuietly(m_ui, temp->fileName());
    procedure.step(126, [&] { m_ui.messageBox(QStringLiteral("URL not found")); });
    return false;
}

void Extraction::extractFromTextFiles()
{
    if (m_running)
        return;
    RunningFlag running(m_running);
    Procedure procedure(m_ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton2_Click")));
    ChooseTextFiles(procedure, m_dialogs, [this](const QString &path) { ScanTextFile(path); });
}

void Extraction::ScanTextFile(const QString &path)
{
    m_scanBuffer = LoadScanBuffer(path);
    ScanTextUrls(m_scanBuffer, m_links, m_list, m_ui);
}

} // namespace zd
