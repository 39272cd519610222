#include "launch/launchrun.h"

#include "launch/browserlauncher.h"
#include "app/core/clock.h"
#include "app/core/errorreport.h"
#include "app/core/optionchoices.h"
#include "sitelist/sitelistmodel.h"
#include "app/core/uiservices.h"
#include "launch/windowsystem.h"

#include <cmath>

namespace zd {

namespace {

constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 6;
constexpr int kShowMaximized = 3;

QString listed(const QStringList &addresses, int named)
{
    QStringList shown = addresses.mid(0, named);
    for (QString &address : shown) {
        if (address.size() > 80)
            address = address.left(77) + QStringLiteral("...");
    }
    QString text = shown.join(QLatin1Char('\n'));
    if (addresses.size() > named)
        text += QStringLiteral("\n(and %1 more)").arg(addresses.size() - named);
    return text;
}

} // namespace

bool looksLikeOption(const QString &address)
{
    for (const QChar c : address) {
        if (!c.isSpace())
            return c == QLatin1Char('-');
    }
    return false;
}

LaunchRun::LaunchRun(UiServices &ui, Clock &clock, BrowserLauncher &launcher, WindowSystem &windows,
                     const Options &options, const SiteListModel &list)
    : m_ui(ui), m_clock(clock), m_launcher(launcher), m_windows(windows), m_options(options), m_list(list)
{
}

void LaunchRun::Pause(double seconds)
{
    const qint64 start = m_clock.nowMs();
    const qint64 length = std::llround(seconds * 1000.0);
    for (qint64 elapsed = 0; elapsed < length; elapsed = m_clock.nowMs() - start)
        m_ui.idle(int(qMin<qint64>(length - elapsed, kPollMs)));
}

LaunchRun::Launched LaunchRun::launch(Procedure &procedure, int label, const QString &programFile,
                                      const QString &address, int showCommand, QString *titleWord)
{
    Launched outcome = Launched::Skipped;
    procedure.step(label, [&] {
        // No "--" can make an option-like address safe for every browser.
        if (looksLikeOption(address)) {
            m_skipped << address;
            return;
        }
        if (!m_resolved.contains(programFile))
            m_resolved.insert(programFile, m_launcher.resolve(programFile));
        const std::optional<ResolvedBrowser> &browser = m_resolved[programFile];
        if (!browser) {
            m_stopped = true;
            outcome = Launched::Stopped;
            const QStringList names = candidatePrograms(programFile);
            m_ui.messageBox(QStringLiteral("The browser for %1 is not installed, so no site was opened "
                                           "with it.%2")
                                .arg(programFile, names.isEmpty() ? QString()
                                                                  : QStringLiteral("\r\nLooked for: ")
                                                                        + names.join(QStringLiteral(", "))));
            return;
        }
        if (titleWord)
            *titleWord = browser->titleWord;
        m_launcher.start(*browser, address, showCommand);
        outcome = Launched::Yes;
    });
    return outcome;
}

void LaunchRun::openInPlacedBrowser(Procedure &procedure, int first, const QString &programFile,
                                    const QString &address)
{
    int showCommand = 0;
    procedure.step(first, [&] { showCommand = kShowNormal; });
    QString word;
    if (launch(procedure, first + 2, programFile, address, showCommand, &word) != Launched::Yes)
        return;
    procedure.step(first + 4, [&] { Pause(0.5); });

    const auto waitFor = [&](int label, auto place) {
        if (word.isEmpty())
            return;
        const qint64 deadline = m_clock.nowMs() + kWindowWaitMs;
        bool placed = false;
        procedure.step(label, [&] { placed = place(m_windows, word); });
        while (!placed) {
            if (m_clock.nowMs() >= deadline) {
                m_gaveUp << address;
                return;
            }
            procedure.step(label + 2, [&] { m_ui.idle(kPollMs); });
            procedure.step(label, [&] { placed = place(m_windows, word); });
        }
    };
    if (procedure.condition(first + 6, [&] { return m_options.isSelected(Option::Minimized); }))
        waitFor(first + 8, MinimizeMatchingWindows);
    else if (procedure.condition(first + 12, [&] { return m_options.isSelected(Option::Maximized); }))
        waitFor(first + 14, MaximizeMatchingWindows);
}

void LaunchRun::openAll()
{
    if (m_running)
        return;
    m_running = true;
    m_resolved.clear();
    m_skipped.clear();
    m_gaveUp.clear();
    m_stopped = false;
    Procedure procedure(m_ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton4_Click")));
    // Cleared however the run ends, so the next click always starts one.
    struct ClearFlag
    {
        bool &flag;
        ~ClearFlag() { flag = false; }
    } clearFlag{m_running};

    if (procedure.condition(104, [&] { return m_list.count() > 0; })) {
        int count = 0;
        procedure.step(106, [&] { count = m_list.count(); });
        QString address;
        for (int index = 1; index <= count && !m_stopped; ++index) {
            procedure.step(108, [&] { address = m_list.text(index); });
            if (procedure.condition(110, [&] { return m_options.isSelected(Option::InternetExplorer); })) {
                int showCommand = 0;
                if (procedure.condition(112, [&] { return m_options.isSelected(Option::SameState); }))
                    procedure.step(114, [&] { showCommand = kShowNormal; });
                else if (procedure.condition(116, [&] { return m_options.isSelected(Option::Minimized); }))
                    procedure.step(118, [&] { showCommand = kShowMinimized; });
                else if (procedure.condition(120, [&] { return m_options.isSelected(Option::Maximized); }))
                    procedure.step(122, [&] { showCommand = kShowMaximized; });
                launch(procedure, 124, QStringLiteral("iexplore.exe"), address, showCommand, nullptr);
            } else if (procedure.condition(126, [&] { return m_options.isSelected(Option::Chrome); })) {
                openInPlacedBrowser(procedure, 128, QStringLiteral("chrome.exe"), address);
            } else if (procedure.condition(146, [&] { return m_options.isSelected(Option::Firefox); })) {
                openInPlacedBrowser(procedure, 148, QStringLiteral("firefox.exe"), address);
            }
            // Even the launch-only path keeps the window alive on long lists.
            m_ui.pumpEvents();
        }
    } else {
        procedure.step(168, [&] { m_ui.messageBox(QStringLiteral("No sites added.")); });
    }
    procedure.step(170, [&] { showSummary(); });
}

void LaunchRun::showSummary()
{
    QStringList parts;
    if (!m_skipped.isEmpty()) {
        parts << QStringLiteral("%1 address(es) were not opened because they begin with \"-\", "
                                "which a browser would take for an option:\n%2")
                     .arg(m_skipped.size())
                     .arg(listed(m_skipped, kNamedInSummary));
    }
    if (!m_gaveUp.isEmpty()) {
        parts << QStringLiteral("For %1 address(es) no browser window appeared within %2 seconds, "
                                "so it was not placed:\n%3")
                     .arg(m_gaveUp.size())
                     .arg(kWindowWaitMs / 1000)
                     .arg(listed(m_gaveUp, kNamedInSummary));
    }
    if (!parts.isEmpty())
        m_ui.messageBox(parts.join(QStringLiteral("\n\n")));
}

} // namespace zd
