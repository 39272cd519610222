#include "launch/linux/processlauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zd {

namespace {

// Starts arguments[0] (an absolute path) with these arguments in \a folder,
// input and output on /dev/null, in a session of its own; its pid, or
// nullopt when it could not be started. posix_spawn shares our memory
// until the exec instead of copying a big list's page tables as fork would.
std::optional<qint64> spawn(const QList<QByteArray> &arguments, const QByteArray &folder)
{
    std::vector<char *> argv;
    argv.reserve(size_t(arguments.size()) + 1);
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (::posix_spawn_file_actions_init(&actions) != 0)
        return std::nullopt;
    if (::posix_spawnattr_init(&attributes) != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return std::nullopt;
    }
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    ::posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    // A clean start: no signal blocked, SIGPIPE as a program expects it.
    sigset_t none;
    sigset_t pipe;
    ::sigemptyset(&none);
    ::sigemptyset(&pipe);
    ::sigaddset(&pipe, SIGPIPE);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &pipe);
    ::posix_spawnattr_setflags(&attributes,
                               POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return std::nullopt;
    return pid;
}

QString findDesktopEntry(const QString &id)
{
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

// A key of a desktop entry's main group ("Exec", "StartupWMClass").
QString desktopEntryValue(const QString &desktopFile, const QString &key)
{
    if (desktopFile.isEmpty())
        return {};
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inMainGroup = false;
    const QString prefix = key + QLatin1Char('=');
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inMainGroup = line == QLatin1String("[Desktop Entry]");
        else if (inMainGroup && line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}

// The class names a browser's windows may carry.
QStringList windowClassesOf(const QString &program, const QString &desktopFile)
{
    QStringList classes{QFileInfo(program).fileName()};
    const QString declared = desktopEntryValue(desktopFile, QStringLiteral("StartupWMClass"));
    if (!declared.isEmpty() && !classes.contains(declared, Qt::CaseInsensitive))
        classes << declared;
    return classes;
}

} // namespace

std::optional<ResolvedBrowser> ProcessBrowserLauncher::firstOnPath(const QStringList &names)
{
    for (const QString &name : names) {
        const QString path = QStandardPaths::findExecutable(name);
        if (path.isEmpty())
            continue;
        const QString entry = findDesktopEntry(name + QStringLiteral(".desktop"));
        ResolvedBrowser browser{path, {}, {}, titleWordFor(name), windowClassesOf(path, entry)};
        // A name may be a distribution's wrapper for another of the same
        // browser (Debian's "firefox" starts firefox-esr): their windows
        // carry the other name.
        for (const QString &other : names) {
            if (titleWordFor(other) == browser.titleWord && !browser.windowClasses.contains(other))
                browser.windowClasses << other;
        }
        return browser;
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
    const QString entry = findDesktopEntry(id);
    QStringList exec = splitDesktopExec(desktopEntryValue(entry, QStringLiteral("Exec")));
    if (exec.isEmpty() || exec.first().isEmpty())
        return std::nullopt;
    const QString program = QStandardPaths::findExecutable(exec.takeFirst());
    if (program.isEmpty())
        return std::nullopt;
    ResolvedBrowser browser{program, {}, {}, titleWordFor(program), windowClassesOf(program, entry)};
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

std::optional<qint64> ProcessBrowserLauncher::start(const ResolvedBrowser &browser, const QByteArray &address)
{
    // An argument list and no shell: the address arrives as one argument,
    // byte for byte, whatever its encoding (QProcess would re-encode it).
    QList<QByteArray> arguments{QFile::encodeName(browser.program)};
    for (const QString &argument : browser.argumentsBefore)
        arguments << QFile::encodeName(argument);
    arguments << address;
    for (const QString &argument : browser.argumentsAfter)
        arguments << QFile::encodeName(argument);
    const QString folder = m_workFolder.isValid() ? m_workFolder.path() : QDir::tempPath();
    reapEnded();
    const std::optional<qint64> pid = spawn(arguments, QFile::encodeName(folder));
    if (pid)
        m_children.push_back(*pid);
    return pid;
}

bool ProcessBrowserLauncher::running(qint64 pid)
{
    // Our own child: it has ended once it can be reaped.
    if (std::find(m_children.begin(), m_children.end(), pid) != m_children.end()) {
        reapEnded();
        return std::find(m_children.begin(), m_children.end(), pid) != m_children.end();
    }
    // Anyone else's: ended when gone or a zombie.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.read(512);
    const qsizetype name = line.lastIndexOf(')');
    if (name < 0 || name + 2 >= line.size())
        return false;
    const char state = line.at(name + 2);
    return state != 'Z' && state != 'X';
}

void ProcessBrowserLauncher::reapEnded()
{
    // A browser that goes on running stays listed until it ends; the rest
    // leave no zombie behind for longer than until the next look.
    m_children.erase(std::remove_if(m_children.begin(), m_children.end(),
                                    [](qint64 child) {
                                        const pid_t done = ::waitpid(pid_t(child), nullptr, WNOHANG);
                                        return done == pid_t(child) || (done < 0 && errno == ECHILD);
                                    }),
                     m_children.end());
}

} // namespace zd
