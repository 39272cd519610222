#include "launch/browserlauncher.h"

#include <QFileInfo>

namespace zd {

QString browserChoiceName(Browser browser)
{
    switch (browser) {
    case Browser::Chrome:
        return QStringLiteral("Chrome");
    case Browser::Firefox:
        return QStringLiteral("Firefox");
    case Browser::Default:
        break;
    }
    return QStringLiteral("the default browser");
}

QStringList candidatePrograms(Browser browser)
{
    switch (browser) {
    case Browser::Chrome:
        return {QStringLiteral("google-chrome-stable"), QStringLiteral("google-chrome"),
                QStringLiteral("chromium"), QStringLiteral("chromium-browser")};
    case Browser::Firefox:
        return {QStringLiteral("firefox"), QStringLiteral("firefox-esr")};
    case Browser::Default:
        break;
    }
    return {};
}

QStringList BrowserLauncher::lookedFor(Browser browser) const
{
    QStringList names = candidatePrograms(browser);
    if (browser == Browser::Default) // the desktop's, else any of them
        names << QStringLiteral("the desktop's default web browser") << candidatePrograms(Browser::Chrome)
              << candidatePrograms(Browser::Firefox);
    return names;
}

QString missingBrowserMessage(Browser browser, const QStringList &lookedFor)
{
    QString chosen = browserChoiceName(browser);
    chosen[0] = chosen[0].toUpper();
    return QStringLiteral("%1 is not installed, so no site was opened.\r\nLooked for: %2")
        .arg(chosen, lookedFor.join(QStringLiteral(", ")));
}

QString titleWordFor(const QString &executableName)
{
    const QString name = QFileInfo(executableName).fileName().toLower();
    if (name.startsWith(QLatin1String("google-chrome")) || name == QLatin1String("chrome.exe"))
        return QStringLiteral("Chrome");
    if (name.startsWith(QLatin1String("chromium")))
        return QStringLiteral("Chromium");
    if (name.startsWith(QLatin1String("firefox")))
        return QStringLiteral("Firefox");
    return {};
}

bool takesSeveralAddresses(const QString &executableName)
{
    // The browsers whose title word we know, and Edge, of Chromium too.
    return !titleWordFor(executableName).isEmpty()
           || QFileInfo(executableName).fileName().compare(QLatin1String("msedge.exe"), Qt::CaseInsensitive)
                  == 0;
}

QList<QByteArray> addressArguments(const QString &program, const QList<QByteArray> &addresses)
{
    // Firefox opens the addresses of one start in a new window of their
    // own, but each after -new-tab in the window it has, in their order.
    if (addresses.size() < 2
        || !QFileInfo(program).completeBaseName().toLower().startsWith(QLatin1String("firefox")))
        return addresses;
    QList<QByteArray> arguments;
    arguments.reserve(addresses.size() * 2);
    for (const QByteArray &address : addresses)
        arguments << QByteArrayLiteral("-new-tab") << address;
    return arguments;
}

QString privateWindowFlag(const QString &executableName)
{
    const QString name = QFileInfo(executableName).completeBaseName().toLower();
    const auto is = [&](const char *prefix) { return name.startsWith(QLatin1String(prefix)); };
    if (is("firefox"))
        return QStringLiteral("-private-window");
    if (is("chrome") || is("google-chrome") || is("chromium") || is("brave") || is("vivaldi"))
        return QStringLiteral("--incognito");
    if (is("msedge") || is("microsoft-edge"))
        return QStringLiteral("-inprivate");
    if (is("opera"))
        return QStringLiteral("--private");
    if (is("iexplore"))
        return QStringLiteral("-private");
    return {};
}

QString noPrivateWindowMessage(const QString &name)
{
    return QStringLiteral("%1 has no private window that Zentavia Desk knows how to open, so no site was "
                          "opened.\r\nUncheck \"Private window\" to open the sites in a normal window.")
        .arg(name);
}

bool isPrivateWindowFlag(const QString &argument)
{
    // Each with one dash or two, as the browsers read them.
    QStringView flag(argument);
    if (flag.startsWith(QLatin1String("--")))
        flag = flag.mid(1);
    return flag == QLatin1String("-private-window") || flag == QLatin1String("-incognito")
           || flag == QLatin1String("-inprivate") || flag == QLatin1String("-private");
}

void takeOneAddressIfFirefoxPrivate(ResolvedBrowser &browser)
{
    // Firefox opens only the address after its flag in the private window,
    // and any further ones of the same start in a normal window, where they
    // stay in its history: one start per address there.
    for (const QString &argument : std::as_const(browser.argumentsBefore)) {
        if (argument == QLatin1String("-private-window") || argument == QLatin1String("--private-window"))
            browser.takesSeveral = false;
    }
}

ResolvedBrowser BrowserLauncher::inPrivateWindow(ResolvedBrowser browser) const
{
    const QString flag = privateWindowFlag(browser.program);
    if (flag.isEmpty()) {
        if (browser.refusal.isEmpty())
            browser.refusal = noPrivateWindowMessage(
                browser.name.isEmpty() ? QFileInfo(browser.program).fileName() : browser.name);
        return browser;
    }
    // Last before the addresses: Firefox's flag takes the one after it.
    browser.argumentsBefore << flag;
    takeOneAddressIfFirefoxPrivate(browser);
    return browser;
}

QStringList splitDesktopExec(const QString &exec, bool *takesSeveral)
{
    if (takesSeveral)
        *takesSeveral = false;
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool hasToken = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec[++i];
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            hasToken = true;
        } else if (c.isSpace()) {
            if (hasToken)
                args << current;
            current.clear();
            hasToken = false;
        } else {
            current += c;
            hasToken = true;
        }
    }
    if (hasToken)
        args << current;

    QStringList result;
    for (const QString &arg : std::as_const(args)) {
        if (arg == QLatin1String("%u") || arg == QLatin1String("%U") || arg == QLatin1String("%f")
            || arg == QLatin1String("%F")) {
            result << QString(); // where the address goes
            if (takesSeveral && arg == QLatin1String("%U"))
                *takesSeveral = true;
        } else if (arg.size() == 2 && arg.startsWith(QLatin1Char('%'))) {
            continue; // %i, %c, %k and deprecated codes carry nothing we have
        } else {
            QString plain = arg;
            plain.replace(QLatin1String("%%"), QLatin1String("%"));
            result << plain;
        }
    }
    return result;
}

} // namespace zd
