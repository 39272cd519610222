#include "launch/linux/processlauncher.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace zd {

namespace {

QString findDesktopEntry(const QString &id)
{
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

QString execLineOf(const QString &desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inMainGroup = line == QLatin1String("[Desktop Entry]");
        else if (inMainGroup && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5);
    }
    return {};
}

} // namespace

std::optional<ResolvedBrowser> ProcessBrowserLauncher::firstOnPath(const QStringList &names)
{
    for (const QString &name : names) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return ResolvedBrowser{path, {}, {}, titleWordFor(name)};
    }
    return std::nullopt;
}

std::optional<ResolvedBrowser> ProcessBrowserLauncher::defaultBrowser()
{
    const QString xdgSettings = QStandardPaths::findExecutable(QStringLiteral("xdg-settings"));
    if (xdgSettings.isEmpty())
        return std::nullopt;
    QProcess query;
    query.start(xdgSettings, {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!query.waitForFinished(5000) || query.exitCode() != 0)
        return std::nullopt;
    const QString id = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (id.isEmpty())
        return std::nullopt;
    QStringList exec = splitDesktopExec(execLineOf(findDesktopEntry(id)));
    if (exec.isEmpty() || exec.first().isEmpty())
        return std::nullopt;
    const QString program = QStandardPaths::findExecutable(exec.takeFirst());
    if (program.isEmpty())
        return std::nullopt;
    ResolvedBrowser browser{program, {}, {}, titleWordFor(program)};
    const qsizetype slot = exec.indexOf(QString());
    if (slot < 0) {
        browser.argumentsBefore = exec;
    } else {
        browser.argumentsBefore = exec.mid(0, slot);
        browser.argumentsAfter = exec.mid(slot + 1);
        browser.argumentsAfter.removeAll(QString());
    }
    return browser;
}

std::optional<ResolvedBrowser> ProcessBrowserLauncher::resolve(const QString &programFile)
{
    if (programFile.compare(QLatin1String("iexplore.exe"), Qt::CaseInsensitive) == 0) {
        if (auto browser = defaultBrowser())
            return browser;
        return firstOnPath(candidatePrograms(QStringLiteral("chrome.exe"))
                           + candidatePrograms(QStringLiteral("firefox.exe")));
    }
    return firstOnPath(candidatePrograms(programFile));
}

bool ProcessBrowserLauncher::start(const ResolvedBrowser &browser, const QString &address,
                                   int /*showCommand*/)
{
    // An argument list and no shell: the address arrives as one argument,
    // byte for byte. "/" as the working folder keeps a bare host name from
    // being found as a file.
    const QStringList arguments = browser.argumentsBefore + QStringList{address} + browser.argumentsAfter;
    return QProcess::startDetached(browser.program, arguments, QStringLiteral("/"));
}

} // namespace zd
