#include "sitelist/siteedits.h"

#include "core/aside.h"
#include "core/errorreport.h"
#include "sitelist/sitelistmodel.h"
#include "core/uiservices.h"
#include "sitelist/sitefiles.h"
#include "core/textcodec.h"

#include <QSet>
#include <QStringEncoder>

#include <memory>
#include <vector>

namespace zd {

namespace {

QString form1Tag(const char *procedure)
{
    return locationTag(QStringLiteral("Form1"), QString::fromLatin1(procedure));
}

} // namespace

void removeSite(UiServices &ui, SiteListModel &list, int selected)
{
    if (ui.pointer() == Pointer::Hourglass || list.count() == 0 || selected < 1)
        return;
    try {
        list.remove(selected);
    } catch (const Failure &) {
        // No report of its own: a stale selection removes nothing.
    }
}

void addSingleUrl(UiServices &ui, SiteSink &list)
{
    Procedure procedure(ui, form1Tag("PushButton6_Click"));
    QString answer;
    procedure.step(100, [&] { answer = ui.inputBox(QStringLiteral("Enter website address to add: ")); });
    if (procedure.condition(102, [&] { return answer.isEmpty(); }))
        return;
    procedure.step(104, [&] { list.appendSite(answer); });
}

void clearList(UiServices &ui, SiteListModel &list)
{
    Procedure procedure(ui, form1Tag("PushButton5_Click"));
    procedure.step(100, [&] {
        if (ui.pointer() != Pointer::Hourglass)
            list.clear();
    });
}

void loadSampleSites(UiServices &ui, SiteSink &list)
{
    Procedure procedure(ui, form1Tag("PushButton10_Click"));
    procedure.step(100, [&] { list.appendSite(kSample1); });
    procedure.step(102, [&] { list.appendSite(kSample2); });
    procedure.step(104, [&] { list.appendSite(kSample3); });
}

void pasteAddresses(UiServices &ui, SiteSink &list, const QString &text)
{
    if (ui.pointer() == Pointer::Hourglass)
        return;
    BusyPointer busy(ui);
    SiteLineSplitter lines([&](QByteArrayView line) {
        ui.pumpEvents();
        list.appendSiteBytes(line);
    });
    if (text.isEmpty())
        return;
    // In slices: a long text is never held twice, and the window answers
    // between them. The encoder carries a character cut at a slice's end.
    constexpr qsizetype kSlice = qsizetype{1} << 20;
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    for (qsizetype from = 0; from < text.size(); from += kSlice) {
        ui.pumpEvents();
        const QByteArray slice = toUtf8(QStringView(text).mid(from, kSlice));
        lines.feed(slice);
    }
    lines.finish();
}

namespace {

// "2 duplicates removed.", "No duplicates found."
void tellRemoved(UiServices &ui, qsizetype removed, const char *singular, const char *plural)
{
    if (removed == 0)
        ui.messageBox(QStringLiteral("No %1 found.").arg(QLatin1String(plural)));
    else
        ui.messageBox(QStringLiteral("%1 %2 removed.")
                          .arg(groupedNumber(removed), QLatin1String(removed == 1 ? singular : plural)));
}

// Which items stay, decided by \a decide over the list as it was when the
// command began, on a thread of its own while the window answers: a snapshot
// nothing changes. Whatever \a decide builds is freed there too, and the
// snapshot is let go before the list changes, which would copy it.
template<class Decide>
std::vector<char> whichStay(UiServices &ui, const SiteListModel &list, Decide &&decide)
{
    return runAside(ui, [items = list.snapshot(), &decide] { return decide(*items); });
}

// Marks the first of each item's bytes 1, those that repeat one 0. Views
// into the items: no copies. Only kept items are in the set.
template<class Key, class Read>
std::vector<char> firstOfEach(const SiteStore &items, Read &&read)
{
    QSet<Key> seen;
    seen.reserve(items.size());
    std::vector<char> stays(size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        const qsizetype before = seen.size();
        seen.insert(read(i));
        stays[size_t(i)] = seen.size() != before ? 1 : 0;
    }
    return stays;
}

// Blanks beyond ASCII (a no-break space, say) count as blank too. Any other
// ASCII byte settles it at once: a page's address before a link, say.
bool isBlank(const SiteBytes &item)
{
    bool ascii = true;
    for (const QByteArrayView part : {item.head, item.tail}) {
        for (const char c : part) {
            if ((c & 0x80) != 0)
                ascii = false;
            else if (!QChar::isSpace(c))
                return false;
        }
    }
    return ascii || decodeBytes(item.joined()).trimmed().isEmpty();
}

} // namespace

qsizetype removeDuplicateSites(UiServices &ui, SiteListModel &list)
{
    if (ui.pointer() == Pointer::Hourglass)
        return 0;
    qsizetype removed = 0;
    {
        BusyPointer busy(ui);
        const std::vector<char> keep = whichStay(ui, list, [](const SiteStore &items) {
            // A list without a page's links is all one piece an item: the
            // smaller key of one view keeps the set a third quicker.
            if (!items.hasPrefixes())
                return firstOfEach<QByteArrayView>(items, [&items](qsizetype i) { return items.at(i).tail; });
            return firstOfEach<SiteBytes>(items, [&items](qsizetype i) { return items.at(i); });
        });
        // Closing up is the only stretch the window waits for; items added
        // while the command decided came after it and stay.
        removed = list.retainMarked(keep);
    }
    tellRemoved(ui, removed, "duplicate", "duplicates");
    return removed;
}

qsizetype removeBlankSites(UiServices &ui, SiteListModel &list)
{
    if (ui.pointer() == Pointer::Hourglass)
        return 0;
    qsizetype removed = 0;
    {
        BusyPointer busy(ui);
        const std::vector<char> keep = whichStay(ui, list, [](const SiteStore &items) {
            std::vector<char> stays(size_t(items.size()));
            for (qsizetype i = 0; i < items.size(); ++i) {
                stays[size_t(i)] = isBlank(items.at(i)) ? 0 : 1;
            }
            return stays;
        });
        // Closing up is the only stretch the window waits for; items added
        // while the command decided came after it and stay.
        removed = list.retainMarked(keep);
    }
    tellRemoved(ui, removed, "blank line", "blank lines");
    return removed;
}

} // namespace zd
