// Benchmarks of the long operations, each in its own process so that the
// peak memory is its own. Prints wall time, CPU time, peak RSS and the
// longest gap between two turns of the event loop.
//
//   zd_bench load FILE | save FILE OUT | clipboard FILE | hrefs FILE |
//            text FILE | hrefs-count FILE | text-count FILE | extract URL | wait
#include "clipboardexport.h"
#include "clock.h"
#include "eventpump.h"
#include "extraction.h"
#include "filechannel.h"
#include "filedialogs.h"
#include "launchrun.h"
#include "networkdownloader.h"
#include "optionchoices.h"
#include "scanners.h"
#include "settingsstore.h"
#include "sitefiles.h"
#include "sitelistmodel.h"
#include "uiservices.h"
#include "windowsystem.h"
#include "browserlauncher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

using namespace zd;

namespace {

// The real event pump with no boxes: what the window's handlers see.
class BenchUi final : public UiServices
{
public:
    MessageResult messageBox(const QString &, MessageStyle, const QString &) override
    {
        return MessageResult::Yes;
    }
    QString inputBox(const QString &, const QString &) override { return {}; }
    void pumpEvents() override { m_pump.pump(); }
    void idle(int ms) override { idleInEventLoop(ms); }
    void setApplicationTitle(const QString &) override {}
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer p) override { m_pointer = p; }

private:
    ThrottledEventPump m_pump;
    Pointer m_pointer = Pointer::Default;
};

class OneFileDialogs final : public FileDialogs
{
public:
    QString path;
    QString showOpen(const DialogSetup &) override { return path; }
    QString showSave(const DialogSetup &) override { return path; }
};

class NoSettings final : public SettingsStore
{
public:
    std::optional<QString> value(const QString &) override { return std::nullopt; }
    bool setValue(const QString &, const QString &) override { return true; }
    QString location() const override { return {}; }
};

class NoWindows final : public WindowSystem
{
public:
    std::vector<TopLevelWindow> topLevelWindows() override { return {}; }
    void place(WindowId, ShowState) override {}
};

class NoBrowser final : public BrowserLauncher
{
public:
    std::optional<ResolvedBrowser> resolve(const QString &) override
    {
        return ResolvedBrowser{QStringLiteral("none"), {}, {}, QStringLiteral("NeverSeen")};
    }
    bool start(const ResolvedBrowser &, const QString &, int) override { return true; }
};

// Counts what a scan finds without keeping it: the scan's own cost.
class CountingSink final : public SiteSink
{
public:
    qsizetype count = 0;
    void AppendSite(const QString &) override { ++count; }
};

// Records the longest time between two turns of the event loop.
class GapMeter : public QObject
{
public:
    GapMeter()
    {
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] { m_largest = qMax(m_largest, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    void reset()
    {
        m_clock.restart();
        m_largest = 0;
    }
    qint64 largestMs() { return qMax(m_largest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_largest = 0;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

template<class F>
void measure(const char *what, F &&work)
{
    GapMeter gaps;
    QCoreApplication::processEvents();
    gaps.reset();
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const QString detail = work();
    const qint64 ms = wall.elapsed();
    std::printf("%-11s wall %7.3f s  cpu %7.3f s  peak RSS %5ld MB  longest event-loop gap %4lld ms  %s\n",
                what, double(ms) / 1000.0, cpuSeconds() - cpu0, peakRssMb(), gaps.largestMs(),
                qPrintable(detail));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: zd_bench load|save|clipboard|hrefs|text|extract|wait ARG...\n");
        return 2;
    }
    BenchUi ui;
    SiteListModel list;
    FileChannel channel;
    const QString command = args.value(0);
    const QString arg = args.value(1);

    if (command == QLatin1String("load")) {
        measure("load", [&] {
            LoadSiteFile(ui, channel, list, arg);
            return QStringLiteral("%1 items").arg(list.count());
        });
    } else if (command == QLatin1String("save") || command == QLatin1String("clipboard")) {
        LoadSiteFile(ui, channel, list, arg);
        if (command == QLatin1String("save")) {
            OneFileDialogs dialogs;
            dialogs.path = args.value(2);
            measure("save", [&] {
                saveListAsTextFile(ui, dialogs, channel, list);
                return QStringLiteral("%1 items").arg(list.count());
            });
        } else {
            measure("clipboard", [&] {
                const std::vector<QString> items = list.items();
                const QString text = composeClipboardText(ui, items);
                return QStringLiteral("%1 characters").arg(text.size());
            });
        }
    } else if (command.startsWith(QLatin1String("hrefs")) || command.startsWith(QLatin1String("text"))) {
        // "-count": the addresses are made but not kept in the list.
        const bool hrefs = command.startsWith(QLatin1String("hrefs"));
        const bool countOnly = command.endsWith(QLatin1String("-count"));
        CountingSink counter;
        SiteSink &sink = countOnly ? static_cast<SiteSink &>(counter) : list;
        measure(qPrintable(command), [&] {
            LinkNormalizer links;
            links.SetPageUrl(QStringLiteral("www.example.com/dir/"));
            ScanFile(arg, hrefs ? StreamScanner::Kind::Hrefs : StreamScanner::Kind::TextUrls, links, sink,
                     ui);
            return QStringLiteral("%1 items").arg(countOnly ? counter.count : list.count());
        });
    } else if (command == QLatin1String("extract")) {
        NetworkDownloader downloader;
        OneFileDialogs dialogs;
        Extraction extraction(ui, downloader, dialogs, list);
        measure("extract", [&] {
            const bool ok = extraction.GetUrls(arg, 1);
            list.flushPending();
            return QStringLiteral("%1, %2 items").arg(ok ? "downloaded" : "failed").arg(list.count());
        });
    } else if (command == QLatin1String("wait")) {
        // A Chrome run whose window never appears: the pause and the bounded wait.
        NoSettings settings;
        OptionChoices choices(settings, ui);
        choices.select(2);
        choices.select(6);
        SteadyClock clock;
        NoBrowser browser;
        NoWindows windows;
        LaunchRun run(ui, clock, browser, windows, choices, list);
        list.AppendSite(QStringLiteral("www.example.com"));
        measure("wait", [&] {
            run.PushButton4_Click();
            return QStringLiteral("one address, waited for its window");
        });
    } else {
        std::fprintf(stderr, "unknown command\n");
        return 2;
    }
    return 0;
}
