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

// "1 address was", "2 addresses were".
QString addresses(qsizetype count, const char *singularVerb, const char *pluralVerb)
{
    return count == 1 ? QStringLiteral("1 address %1").arg(QLatin1String(singularVerb))
                      : QStringLiteral("%1 addresses %2").arg(count).arg(QLatin1String(pluralVerb));
}

} // namespace

QString browserChoiceName(const QString &programFile)
{
    const QString name = programFile.toLower();
    if (name == QLatin1String("chrome.exe"))
        return QStringLiteral("Chrome");
    if (name == QLatin1String("firefox.exe"))
        return QStringLiteral("Firefox");
    return QStringLiteral("the default browser");
}

QString missingBrowserMessage(const QString &programFile)
{
    QStringList names = candidatePrograms(programFile);
    if (names.isEmpty()) // the default browser: the desktop's, else any of them
        names << QStringLiteral("the desktop's default web browser")
              << candidatePrograms(QStringLiteral("chrome.exe"))
                     + candidatePrograms(QStringLiteral("firefox.exe"));
    QString chosen = browserChoiceName(programFile);
    chosen[0] = chosen[0].toUpper();
    return QStringLiteral("%1 is not installed, so no site was opened.\r\nLooked for: %2")
        .arg(chosen, names.join(QStringLiteral(", ")));
}

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
            m_ui.messageBox(missingBrowserMessage(programFile));
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
        const bool one = m_skipped.size() == 1;
        parts << QStringLiteral("%1 not opened because %2 with \"-\", which a browser would take for an "
                                "option:\n%3")
                     .arg(addresses(m_skipped.size(), "was", "were"),
                          one ? QStringLiteral("it begins") : QStringLiteral("they begin"),
                          listed(m_skipped, kNamedInSummary));
    }
    if (!m_gaveUp.isEmpty()) {
        const bool one = m_gaveUp.size() == 1;
        parts << QStringLiteral("For %1 no browser window appeared within %2 seconds, so %3 not "
                                "placed:\n%4")
                     .arg(one ? QStringLiteral("1 address")
                              : QStringLiteral("%1 addresses").arg(m_gaveUp.size()))
                     .arg(kWindowWaitMs / 1000)
                     .arg(one ? QStringLiteral("its window was") : QStringLiteral("their windows were"),
                          listed(m_gaveUp, kNamedInSummary));
    }
    if (!parts.isEmpty())
        m_ui.messageBox(parts.join(QStringLiteral("\n\n")));
}

} // namespace zd
