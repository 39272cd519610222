#include "sitelist/sitefiles.h"

#include "core/aside.h"
#include "core/bytesearch.h"
#include "core/errorreport.h"
#include "sitelist/filechannel.h"
#include "sitelist/filedialogs.h"
#include "core/filehelpers.h"
#include "sitelist/sitelistmodel.h"
#include "core/uiservices.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <optional>
#include <utility>

namespace zd {

namespace {

constexpr qsizetype kChunkSize = 1 << 20;
// Room for the item that takes a chunk past its size.
constexpr qsizetype kChunkSlack = 4096;
// Lines between two looks at the event loop: a look costs a clock read.
constexpr int kLinesPerPump = 256;

} // namespace

void chooseTextFiles(Procedure &procedure, FileDialogs &dialogs,
                     const std::function<void(const QString &)> &perFile)
{
    const DialogSetup setup{QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
                            kTextFileFilter, true};
    QStringList paths;
    procedure.step(108, [&] { paths = dialogs.showOpen(setup); });
    // One file and several are reported at lines of their own.
    const int label = paths.size() == 1 ? 118 : 132;
    for (const QString &path : std::as_const(paths))
        procedure.step(label, [&] { perFile(path); });
}

void SiteLineSplitter::feed(QByteArrayView bytes)
{
    if (m_first) {
        // A byte-order mark may arrive split over several reads.
        static constexpr QByteArrayView bom("\xEF\xBB\xBF");
        const qsizetype wanted = qMin(bom.size() - m_head.size(), bytes.size());
        m_head.append(bytes.first(wanted));
        bytes = bytes.sliced(wanted);
        if (bom.startsWith(m_head) && m_head.size() < bom.size())
            return; // not decided yet
        m_first = false;
        const QByteArray head = std::exchange(m_head, QByteArray());
        if (head != bom)
            feedLines(head);
    }
    feedLines(bytes);
}

void SiteLineSplitter::feedLines(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    if (m_skipLf && p != end) {
        m_skipLf = false;
        if (*p == '\n')
            ++p;
    }
    const char *start = p;
    while ((p = findAnyOf<'\r', '\n'>(p, end)) != end) {
        const char c = *p;
        if (m_partial.isEmpty()) {
            m_emit(QByteArrayView(start, p));
        } else {
            m_partial.append(start, p - start);
            m_emit(m_partial);
            m_partial.clear();
        }
        // Every break ends its line: a final LF, as Linux editors write it,
        // adds no empty item, as a final CR LF does not.
        m_atLineStart = true;
        if (c == '\r') {
            if (p + 1 == end)
                m_skipLf = true;
            else if (p[1] == '\n')
                ++p;
        }
        start = ++p;
    }
    if (start != end) {
        m_partial.append(start, end - start);
        m_atLineStart = false;
    }
}

void SiteLineSplitter::finish()
{
    if (m_first) {
        m_first = false;
        feedLines(std::exchange(m_head, QByteArray()));
    }
    if (!m_partial.isEmpty() || !m_atLineStart)
        m_emit(m_partial);
    m_partial.clear();
    m_atLineStart = true;
    m_skipLf = false;
    m_first = true;
}

namespace {

// Writes every item, each ended by CR LF, in place of the file; false when
// a step failed. A failed step stops the writing: the target keeps its old
// content and no "Done." claims otherwise.
bool writeList(Procedure &procedure, UiServices &ui, FileChannel &channel, const SiteListModel &list,
               const QString &fileName)
{
    std::optional<FileChannel::Claim> claim;
    std::optional<FileReplacement> file;
    // Items are copied straight into one chunk, written when full.
    QByteArray chunk(kChunkSize + kChunkSlack, Qt::Uninitialized);
    qsizetype used = 0;
    const auto writeChunk = [&] {
        file->write(QByteArrayView(chunk.constData(), used));
        used = 0;
    };
    bool ok = procedure.step(130, [&] {
        claim.emplace(channel);
        file.emplace(fileName);
    });
    // The items as they are now: the list may change while events are pumped.
    std::shared_ptr<const SiteStore> items;
    if (ok)
        ok = procedure.step(132, [&] { items = list.snapshot(); });
    // A chunk's worth of items to each step, the window answering between.
    for (qsizetype i = 0; ok && i < items->size();) {
        ui.pumpEvents();
        ok = procedure.step(136, [&] {
            for (; i < items->size() && used < kChunkSize; ++i) {
                // The item's own bytes: what was loaded saves back unchanged.
                // A typed line break would come back as two items; browsers
                // drop it from an address anyway.
                const SiteBytes item = items->at(i);
                if (item.size() > chunk.size() - used - 2) {
                    // Longer than the room left: on its own.
                    writeChunk();
                    QByteArray whole;
                    appendWithout<'\r', '\n'>(whole, item.head);
                    appendWithout<'\r', '\n'>(whole, item.tail);
                    file->write(whole);
                } else {
                    used += copyWithout<'\r', '\n'>(chunk.data() + used, item.head);
                    used += copyWithout<'\r', '\n'>(chunk.data() + used, item.tail);
                }
                chunk[used++] = '\r';
                chunk[used++] = '\n';
            }
            if (used >= kChunkSize)
                writeChunk();
        });
    }
    if (ok) {
        ok = procedure.step(140, [&] {
            writeChunk();
            // The sync to disk and the rename wait for the disk, not for us.
            runAside(ui, [&file] { file->commit(); });
        });
    }
    return ok;
}

} // namespace

void loadSiteFile(UiServices &ui, FileChannel &channel, SiteSink &list, const QString &path)
{
    if (!fileExists(path)) {
        ui.messageBox(QStringLiteral("File not found"));
        return;
    }
    FileChannel::Claim claim(channel);
    QFile file(path);
    openRegularFile(file);
    int untilPump = kLinesPerPump;
    SiteLineSplitter splitter([&](QByteArrayView line) {
        if (--untilPump == 0) {
            untilPump = kLinesPerPump;
            ui.pumpEvents();
        }
        list.appendSiteBytes(line);
    });
    QByteArray chunk(kChunkSize, Qt::Uninitialized);
    readInChunks(
        file, ui, kChunkSize, [&](qint64) { return chunk.data(); },
        [&](qint64 n) { splitter.feed(QByteArrayView(chunk.constData(), n)); });
    splitter.finish();
}

void loadListFromTextFiles(UiServices &ui, FileDialogs &dialogs, FileChannel &channel, SiteSink &list)
{
    Procedure procedure(ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton3_Click")));
    chooseTextFiles(procedure, dialogs, [&](const QString &path) { loadSiteFile(ui, channel, list, path); });
}

void loadDroppedFiles(UiServices &ui, FileChannel &channel, SiteSink &list, const QStringList &paths)
{
    Procedure procedure(ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton3_Click")));
    for (const QString &path : paths) {
        // Ordinary slips get plain sentences that name the file, not the
        // error report; the others load.
        const QFileInfo info(path);
        if (info.isDir())
            procedure.step(132, [&] {
                ui.messageBox(QStringLiteral("%1 is a folder, not a list of sites.")
                                  .arg(QDir::toNativeSeparators(path)));
            });
        else if (!fileExists(path))
            procedure.step(132, [&] {
                ui.messageBox(QStringLiteral("File not found: %1").arg(QDir::toNativeSeparators(path)));
            });
        else
            procedure.step(132, [&] { loadSiteFile(ui, channel, list, path); });
    }
}

void saveListAsTextFile(UiServices &ui, FileDialogs &dialogs, FileChannel &channel, const SiteListModel &list)
{
    Procedure procedure(ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton7_Click")));
    const DialogSetup setup{QStringLiteral("Save"), kTextFileFilter};
    QString fileName;
    procedure.step(114, [&] { fileName = dialogs.showSave(setup); });
    if (fileName.isEmpty())
        return;
    MessageResult answer = MessageResult::Yes;
    if (fileExists(fileName)) {
        answer = MessageResult::No; // a question that fails overwrites nothing
        procedure.step(122, [&] {
            answer = ui.messageBox(QStringLiteral("Are you sure you wish to overwrite %1 ?")
                                       .arg(QDir::toNativeSeparators(fileName)),
                                   MessageStyle::YesNo);
        });
    }
    if (answer != MessageResult::Yes)
        return;

    procedure.step(128, [&] { ui.setPointer(Pointer::Hourglass); });
    if (writeList(procedure, ui, channel, list, fileName))
        procedure.step(142, [&] { ui.messageBox(QStringLiteral("Done.")); });
    procedure.step(144, [&] { ui.setPointer(Pointer::Default); });
}

} // namespace zd
