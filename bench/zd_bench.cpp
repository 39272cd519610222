// Benchmarks of the long operations, each in its own process so that the
// peak memory is its own. Prints wall time, CPU time, peak RSS and the
// longest gap between two turns of the event loop.
//
//   zd_bench load FILE | save FILE OUT | clipboard FILE | hrefs FILE |
//            text FILE | hrefs-count FILE | text-count FILE | extract URL |
//            download URL (the transfer alone; its items are bytes) | wait
#include "sitelist/clipboardexport.h"
#include "core/clock.h"
#include "core/eventpump.h"
#include "extract/extraction.h"
#include "sitelist/filechannel.h"
#include "sitelist/filedialogs.h"
#include "launch/launchrun.h"
#include "extract/networkdownloader.h"
#include "core/optionchoices.h"
#include "extract/scanners.h"
#include "core/settingsstore.h"
#include "sitelist/sitefiles.h"
#include "sitelist/sitelistmodel.h"
#include "core/uiservices.h"
#include "launch/windowsystem.h"
#include "launch/browserlauncher.h"
#include "app/qtrunmonitor.h"
#include "platform.h"
#include "sitelist/siteedits.h"
#include "app/sitelistview.h"
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "support/processstats.h"
#include "support/scanning.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QEventLoop>
#include <QProcess>
#include <QMimeData>
#include <QWidget>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <cstring>
#include <memory>

using namespace zd;
using zd::test::cpuSeconds;
using zd::test::peakRssMb;

namespace {

// Scripted boxes over the real event pump: what the window's handlers see.
struct BenchUi
{
    BenchUi()
    {
        ui.onPump = [this] { pump.pump(); };
        ui.onIdle = [](int ms) { idleInEventLoop(ms); };
    }
    ThrottledEventPump pump;
    test::FakeUiServices ui;
};

// The longest a posted event waited for the window's thread: a thread of its
// own posts a probe whenever the last one has been answered, so a stall is
// seen whatever the event pump's own rhythm.
class StallMeter : public QObject
{
public:
    StallMeter()
        : m_thread([this] {
              while (!m_stop) {
                  if (!m_waiting.exchange(true)) {
                      m_postedAt = nowUs();
                      QMetaObject::invokeMethod(
                          this, [this] { answer(); }, Qt::QueuedConnection);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          })
    {
    }
    ~StallMeter() override
    {
        m_stop = true;
        m_thread.join();
    }
    void reset() { m_longestUs = 0; }
    double longestMs() const
    {
        qint64 longest = m_longestUs;
        if (m_waiting)
            longest = qMax(longest, nowUs() - m_postedAt);
        return double(longest) / 1000.0;
    }

private:
    static qint64 nowUs()
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void answer()
    {
        m_longestUs = qMax<qint64>(m_longestUs, nowUs() - m_postedAt);
        m_waiting = false;
    }
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_waiting{false};
    std::atomic<qint64> m_postedAt{0};
    std::atomic<qint64> m_longestUs{0};
    std::thread m_thread;
};

StallMeter *g_stalls = nullptr;

// Counts the time spent delivering events to one window's widgets (paints,
// layouts, the flush to the screen): what that window costs the event loop.
class TimingApplication final : public QApplication
{
public:
    using QApplication::QApplication;
    QString watchedWindow;
    qint64 watchedNs = 0;

    /// Runs \a work and counts its time, with the events it sends the window.
    template<class F>
    void timed(F &&work)
    {
        ++m_depth;
        QElapsedTimer timer;
        timer.start();
        work();
        if (--m_depth == 0)
            watchedNs += timer.nsecsElapsed();
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        const auto *widget = qobject_cast<QWidget *>(receiver);
        // Events sent while one is counted (a window's paint reaching its
        // children) are inside its time already.
        if (m_depth > 0 || watchedWindow.isEmpty() || !widget
            || widget->window()->objectName() != watchedWindow)
            return QApplication::notify(receiver, event);
        bool done = false;
        timed([&] { done = QApplication::notify(receiver, event); });
        return done;
    }

private:
    int m_depth = 0;
};

// One line for people, one for bench/run.py: RESULT name wall cpu rss stall detail.
template<class F>
void measure(const char *what, F &&work)
{
    QCoreApplication::processEvents();
    g_stalls->reset();
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const QString detail = work();
    const qint64 ms = wall.elapsed();
    // What the work left for the window (a view update, a repaint) counts too.
    QCoreApplication::processEvents();
    const double stall = g_stalls->longestMs();
    std::printf("%-16s wall %7.3f s  cpu %7.3f s  peak RSS %5ld MB  longest stall %6.1f ms  %s\n", what,
                double(ms) / 1000.0, cpuSeconds() - cpu0, peakRssMb(), stall, qPrintable(detail));
    std::printf("RESULT %s %.4f %.4f %ld %.1f %s\n", what, double(ms) / 1000.0, cpuSeconds() - cpu0,
                peakRssMb(), stall, qPrintable(detail));
    std::fflush(stdout);
}

} // namespace

// One benchmark run: the window, the list and the arguments every command shares.
struct Bench
{
    TimingApplication &app;
    BenchUi &bench;
    UiServices &ui;
    SiteListModel &list;
    FileChannel &channel;
    QWidget &mainWindow;
    SiteListView *view;
    QStringList args;
    QString command;
    QString arg;

    int load();
    int saveOrCopy();
    qint64 pasteElsewhere();
    int clear();
    int end();
    int scan();
    int extract();
    int download();
    int browsers();
    int helpers();
    int progress();
    int wait();
};

int Bench::load()
{
    measure("load", [&] {
        loadSiteFile(ui, channel, list, arg);
        return QStringLiteral("%1 items").arg(list.count());
    });
    return 0;
}

int Bench::saveOrCopy()
{
    loadSiteFile(ui, channel, list, arg);
    if (command == QLatin1String("save")) {
        test::FakeFileDialogs dialogs;
        dialogs.nextSave.push_back(args.value(2));
        measure("save", [&] {
            saveListAsTextFile(ui, dialogs, channel, list);
            return QStringLiteral("%1 items").arg(list.count());
        });
    } else {
        // Through the real clipboard, as the button does it.
        bench::SystemClipboard clipboard;
        measure("clipboard", [&] {
            copyListToClipboard(ui, clipboard, list);
            return QStringLiteral("%1 items, %2")
                .arg(list.count())
                .arg(clipboard.ownsText() ? "offered" : "not offered");
        });
        // "paste": another program pastes it, as a user's editor would,
        // while the window goes on answering.
        if (args.contains(QLatin1String("paste")))
            measure("paste", [&] {
                return QStringLiteral("%1 items, %2 bytes pasted").arg(list.count()).arg(pasteElsewhere());
            });
    }
    return 0;
}

qint64 Bench::pasteElsewhere()
{
    QProcess paste;
    paste.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("xclip -o -selection clipboard -target UTF8_STRING | wc -c")});
    QEventLoop loop;
    QObject::connect(&paste, &QProcess::finished, &loop, &QEventLoop::quit);
    if (paste.state() != QProcess::NotRunning)
        loop.exec();
    return paste.readAllStandardOutput().trimmed().toLongLong();
}

int Bench::clear()
{
    loadSiteFile(ui, channel, list, arg);
    QCoreApplication::processEvents();
    measure("clear", [&] {
        clearList(ui, list);
        return QStringLiteral("%1 items left").arg(list.count());
    });
    return 0;
}

int Bench::end()
{
    // End in the list after loading: the view jumps to the last row.
    loadSiteFile(ui, channel, list, arg);
    QCoreApplication::processEvents();
    if (!view)
        return 2;
    view->setFocus();
    measure("end", [&] {
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &end);
        view->viewport()->repaint();
        return QStringLiteral("row %1 of %2 items").arg(view->selectedRow() + 1).arg(list.count());
    });
    return 0;
}

int Bench::scan()
{
    // "-count": the addresses are made but not kept in the list.
    const bool hrefs = command.startsWith(QLatin1String("hrefs"));
    const bool countOnly = command.endsWith(QLatin1String("-count"));
    test::CountingSink counter;
    SiteSink &sink = countOnly ? static_cast<SiteSink &>(counter) : list;
    measure(qPrintable(command), [&] {
        LinkNormalizer links;
        links.setPageUrl(QStringLiteral("www.example.com/dir/"));
        scanFile(arg, hrefs ? StreamScanner::Kind::Hrefs : StreamScanner::Kind::TextUrls, links, sink, ui);
        return QStringLiteral("%1 items").arg(countOnly ? counter.count : list.count());
    });
    return 0;
}

int Bench::extract()
{
    NetworkDownloader downloader;
    test::FakeFileDialogs dialogs;
    Extraction extraction(ui, downloader, dialogs, list);
    measure("extract", [&] {
        const bool ok = extraction.getUrls(arg);
        list.flushPending();
        QString detail = QStringLiteral("%1 items, %2").arg(list.count()).arg(ok ? "downloaded" : "failed");
        for (const QString &report : bench.ui.errorReports())
            detail +=
                QStringLiteral(", reported: ") + QString(report).replace(QLatin1Char('\n'), QLatin1Char(' '));
        return detail;
    });
    return 0;
}

int Bench::download()
{
    // Counts what arrives and keeps nothing: the transfer without the scan.
    struct Discard final : QIODevice
    {
        qint64 bytes = 0;
        qint64 readData(char *, qint64) override { return -1; }
        qint64 writeData(const char *, qint64 size) override
        {
            bytes += size;
            return size;
        }
    } sink;
    sink.open(QIODevice::WriteOnly);
    NetworkDownloader downloader;
    measure("download", [&] {
        const DownloadStatus status = downloader.download(arg, sink);
        return QStringLiteral("%1 items, %2")
            .arg(sink.bytes)
            .arg(status == DownloadStatus::Complete ? "downloaded" : "failed");
    });
    return 0;
}

int Bench::browsers()
{
    // zd_bench browsers CHOICE COUNT BASE [DELAY]: the real browser of
    // CHOICE (1 default, 2 Chrome, 3 Firefox) opens BASE/visit/1..COUNT,
    // with DELAY seconds between sites (the default when left out).
    test::MemorySettingsStore settings;
    if (args.size() > 4)
        settings.setValue(OptionChoices::delayKey(), args.value(4));
    OptionChoices choices(settings, ui);
    choices.select(Option(arg.toInt()));
    choices.select(Option::SameState);
    SteadyClock clock;
    // Names every process it starts, so that the caller ends exactly those.
    class NamingLauncher final : public BrowserLauncher
    {
    public:
        std::optional<ResolvedBrowser> resolve(Browser which) override { return m_real.resolve(which); }
        std::optional<qint64> start(const ResolvedBrowser &resolved,
                                    const QList<QByteArray> &addresses) override
        {
            const std::optional<qint64> pid = m_real.start(resolved, addresses);
            if (pid)
                std::printf("STARTED %lld\n", static_cast<long long>(*pid));
            std::fflush(stdout);
            return pid;
        }
        bool fitsOneStart(const ResolvedBrowser &resolved, const QList<QByteArray> &addresses) const override
        {
            return m_real.fitsOneStart(resolved, addresses);
        }
        bool running(qint64 pid) override { return m_real.running(pid); }
        ProcessExit exitOf(qint64 pid) override { return m_real.exitOf(pid); }
        std::optional<bool> ready(const ResolvedBrowser &resolved, qint64 pid) override
        {
            return m_real.ready(resolved, pid);
        }

    private:
        bench::Launcher m_real;
    } browser;
    bench::Windows windows;
    test::FakeRunMonitor monitor;
    LaunchRun run(ui, clock, browser, windows, choices, list, monitor);
    const int count = args.value(2).toInt();
    for (int i = 1; i <= count; ++i)
        list.appendSite(QStringLiteral("%1/visit/%2").arg(args.value(3)).arg(i));
    measure("browsers", [&] {
        // When Start Opening is pressed, for a caller timing the browser.
        std::printf("RUN_STARTED %.3f\n", double(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
        std::fflush(stdout);
        run.openAll();
        // The first message on the same line, to tell what a run that went wrong said.
        QString said = bench.ui.messages.empty() ? QString() : bench.ui.messages.front().prompt;
        said.replace(QLatin1Char('\n'), QLatin1String(" / "));
        return QStringLiteral("%1 addresses, %2 messages %3")
            .arg(count)
            .arg(bench.ui.messages.size())
            .arg(said);
    });
    return 0;
}

int Bench::helpers()
{
    // The list helpers over FILE's lines: paste all of them, then remove
    // the duplicates, then the blank ones.
    QFile file(arg);
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    const QString text = QString::fromUtf8(file.readAll());
    measure("paste", [&] {
        pasteAddresses(ui, list, text);
        return QStringLiteral("%1 items").arg(list.count());
    });
    measure("duplicates", [&] {
        const qsizetype removed = removeDuplicateSites(ui, list);
        return QStringLiteral("%1 removed, %2 left").arg(removed).arg(list.count());
    });
    measure("blanks", [&] {
        const qsizetype removed = removeBlankSites(ui, list);
        return QStringLiteral("%1 removed, %2 left").arg(removed).arg(list.count());
    });
    return 0;
}

int Bench::progress()
{
    // zd_bench progress N window|none FAKE_BROWSER: N addresses to a
    // fake browser program (a real process per address, which takes the
    // address and ends), with the real progress window or none.
    QTemporaryDir programs;
    QFile::link(QFileInfo(args.value(3)).absoluteFilePath(),
                programs.filePath(QStringLiteral("google-chrome-stable")));
    QFile quiet(programs.filePath(QStringLiteral("xdg-settings"))); // no desktop default here
    if (!quiet.open(QIODevice::WriteOnly) || quiet.write("#!/bin/sh\nexit 1\n") < 0)
        return 2;
    quiet.close();
    quiet.setPermissions(quiet.permissions() | QFileDevice::ExeOwner);
    qputenv("PATH", QFile::encodeName(programs.path()) + ':' + qgetenv("PATH"));
    test::MemorySettingsStore settings;
    OptionChoices choices(settings, ui);
    choices.select(Option::InternetExplorer);
    choices.select(Option::SameState);
    SteadyClock clock;
    bench::Launcher browser;
    test::FakeWindowSystem windows;
    // Answers the question itself and shows the progress in the real
    // window, or nowhere: what a run costs without one.
    struct Monitor : RunMonitor
    {
        RunMonitor *shown = nullptr;
        std::optional<RunChoices> confirm(int, const QString &, const RunChoices &offered) override
        {
            return offered;
        }
        TimingApplication *timing = nullptr;
        void progress(const RunProgress &state) override
        {
            if (shown)
                timing->timed([&] { shown->progress(state); });
        }
        void finished() override
        {
            if (shown)
                timing->timed([&] { shown->finished(); });
        }
    } monitor;
    // The main window is up in both, as in the program: the difference
    // is the progress window alone.
    QtRunMonitor window(clock);
    window.setWindow(&mainWindow);
    const bool withWindow = args.value(2) == QLatin1String("window");
    if (withWindow)
        monitor.shown = &window;
    // "idle": a second window up, never updated: what its mere presence costs.
    QWidget idle(&mainWindow, Qt::Tool);
    if (args.value(2) == QLatin1String("idle"))
        idle.show();
    LaunchRun run(ui, clock, browser, windows, choices, list, monitor);
    const int count = arg.toInt();
    for (int i = 1; i <= count; ++i)
        list.appendSite(QStringLiteral("http://example.com/%1").arg(i));
    app.watchedWindow = QStringLiteral("RunProgress");
    monitor.timing = &app;
    measure(withWindow ? "progress, window" : "progress, none", [&] {
        QElapsedTimer wall;
        wall.start();
        run.openAll();
        // The window's own cost: its calls and the events it was sent.
        const double spent = double(app.watchedNs) / 1e6;
        return QStringLiteral("%1 addresses, %2 messages, the window took %3 ms = %4 % of the run")
            .arg(count)
            .arg(bench.ui.messages.size())
            .arg(spent, 0, 'f', 1)
            .arg(100.0 * spent / double(wall.elapsed()), 0, 'f', 3);
    });
    return 0;
}

int Bench::wait()
{
    // A Chrome run whose window never appears: the pause and the bounded wait.
    test::MemorySettingsStore settings;
    OptionChoices choices(settings, ui);
    choices.select(Option::Chrome);
    choices.select(Option::Maximized);
    SteadyClock clock;
    test::FakeBrowserLauncher browser;
    browser.installed.insert(Browser::Chrome, QStringLiteral("NeverSeen"));
    test::FakeWindowSystem windows;
    test::FakeRunMonitor monitor;
    LaunchRun run(ui, clock, browser, windows, choices, list, monitor);
    list.appendSite(QStringLiteral("www.example.com"));
    measure("wait", [&] {
        run.openAll();
        return QStringLiteral("one address, waited for its window");
    });
    return 0;
}

int main(int argc, char **argv)
{
    // A real window with the list's real view, as the user has it; the
    // offscreen platform draws it without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", bench::kDefaultPlatform);
    TimingApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr,
                     "usage: zd_bench load|save|clipboard|clear|end|hrefs|text|extract|download|helpers|"
                     "progress|browsers|wait ARG... [none]\n");
        return 2;
    }
    StallMeter stalls;
    g_stalls = &stalls;
    BenchUi bench;
    SiteListModel list;
    FileChannel channel;
    // "none" as the last argument: no view, for what the view itself costs.
    const bool withView = args.last() != QLatin1String("none");
    QWidget mainWindow;
    mainWindow.resize(536, 578);
    std::unique_ptr<SiteListView> view;
    if (withView) {
        view = std::make_unique<SiteListView>(list, &mainWindow);
        view->setGeometry(8, 42, 520, 169);
        view->setColumnWidth(467);
    }
    mainWindow.show();
    QCoreApplication::processEvents();
    Bench run{app,        bench,      bench.ui, list,          channel,
              mainWindow, view.get(), args,     args.value(0), args.value(1)};
    const QString &command = run.command;
    if (command == QLatin1String("load"))
        return run.load();
    if (command == QLatin1String("save") || command == QLatin1String("clipboard"))
        return run.saveOrCopy();
    if (command == QLatin1String("clear"))
        return run.clear();
    if (command == QLatin1String("end"))
        return run.end();
    if (command.startsWith(QLatin1String("hrefs")) || command.startsWith(QLatin1String("text")))
        return run.scan();
    if (command == QLatin1String("extract"))
        return run.extract();
    if (command == QLatin1String("download"))
        return run.download();
    if (command == QLatin1String("browsers"))
        return run.browsers();
    if (command == QLatin1String("helpers"))
        return run.helpers();
    if (command == QLatin1String("progress"))
        return run.progress();
    if (command == QLatin1String("wait"))
        return run.wait();
    std::fprintf(stderr, "unknown command\n");
    return 2;
}
