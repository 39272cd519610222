#include "launch/linux/processlauncher.h"

#include "launch/linux/browserready.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zd {

namespace {

// Run in the started browser between fork and exec, where only
// async-signal-safe calls are allowed: nothing of ours goes on to it. Every
// signal back at its default, none blocked (a program started from a
// script with "&" or under nohup would otherwise ignore SIGINT or SIGHUP);
// standard input and output on /dev/null; no other descriptor survives the
// exec (ours, or ones we inherited without close-on-exec).
void becomeAStranger(int openFiles)
{
    sigset_t none;
    ::sigemptyset(&none);
    ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr); // fails harmlessly for KILL, STOP and the C library's own
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2)
            ::close(null);
    }
    // Close-on-exec rather than closed: the report pipe must live until the exec.
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < openFiles; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

// Starts arguments[0] (an absolute path) with these arguments in \a folder,
// in a session of its own; its pid once it has started, or nullopt.
std::optional<pid_t> startInOwnSession(const QList<QByteArray> &arguments, const QByteArray &folder)
{
    // Everything the child touches is made before the fork: between fork
    // and exec only async-signal-safe calls are allowed.
    std::vector<char *> argv;
    argv.reserve(size_t(arguments.size()) + 1);
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);
    struct rlimit files = {};
    const int openFiles =
        ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536 ? int(files.rlim_cur) : 65536;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        becomeAStranger(openFiles);
        if (::chdir(folder.constData()) == 0)
            ::execv(argv[0], argv.data());
        // The exec closes the pipe unwritten; a failure writes its errno.
        const int error = errno;
        [[maybe_unused]] const auto n = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return std::nullopt;
    }
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == 0)
        return child;
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return std::nullopt;
}

ProcessExit exitFromStatus(int status)
{
    if (WIFSIGNALED(status))
        return {ProcessExit::Kind::Crash, WTERMSIG(status)};
    const int code = WEXITSTATUS(status);
    return {code == 0 ? ProcessExit::Kind::Success : ProcessExit::Kind::Failure, code};
}

QString findDesktopEntry(const QString &id)
{
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

// A key of a desktop entry's main group ("Exec", "StartupWMClass"), or of
// another group ("Desktop Action new-private-window").
QString desktopEntryValue(const QString &desktopFile, const QString &key,
                          const QString &group = QStringLiteral("Desktop Entry"))
{
    if (desktopFile.isEmpty())
        return {};
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inGroup = false;
    const QString prefix = key + QLatin1Char('=');
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line.size() == group.size() + 2 && line.mid(1, group.size()) == group;
        else if (inGroup && line.startsWith(prefix))
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
        ResolvedBrowser browser{path, {}, {}, titleWordFor(name), windowClassesOf(path, entry), {}};
        browser.takesSeveral = takesSeveralAddresses(name);
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

// Why a desktop entry is no web browser to start with an address; "" when
// it is one: no terminal, and a web browser by its category or by the
// addresses it declares it opens.
QString notABrowser(const QString &entry)
{
    if (desktopEntryValue(entry, QStringLiteral("Terminal"))
            .trimmed()
            .compare(QLatin1String("true"), Qt::CaseInsensitive)
        == 0)
        return QStringLiteral("it runs in a terminal");
    const QStringList categories =
        desktopEntryValue(entry, QStringLiteral("Categories")).split(QLatin1Char(';'));
    const QStringList types = desktopEntryValue(entry, QStringLiteral("MimeType")).split(QLatin1Char(';'));
    if (!categories.contains(QStringLiteral("WebBrowser"))
        && !types.contains(QStringLiteral("x-scheme-handler/http"))
        && !types.contains(QStringLiteral("x-scheme-handler/https")))
        return QStringLiteral("it is not a web browser");
    return {};
}

namespace {

// The arguments of a desktop entry's split Exec line (the program taken
// off), around the empty element where the addresses go.
void setArguments(ResolvedBrowser &browser, const QStringList &exec, bool takesSeveral)
{
    browser.takesSeveral = takesSeveral;
    const qsizetype slot = exec.indexOf(QString());
    if (slot < 0) {
        browser.argumentsBefore = exec;
    } else {
        browser.argumentsBefore = exec.mid(0, slot);
        browser.argumentsAfter = exec.mid(slot + 1);
        browser.argumentsAfter.removeAll(QString());
    }
}

// Whether a desktop action opens a private window: by its name
// ("new-private-window", "incognito") or by the flag it passes.
bool isPrivateAction(const QString &name, const QString &exec)
{
    for (const char *word : {"private", "incognito"}) {
        if (name.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    }
    const QStringList arguments = splitDesktopExec(exec);
    return std::any_of(arguments.begin(), arguments.end(), isPrivateWindowFlag);
}

} // namespace

std::optional<ResolvedBrowser> ProcessBrowserLauncher::defaultBrowser(QString *passedOver)
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
    if (const QString why = notABrowser(entry); !entry.isEmpty() && !why.isEmpty()) {
        *passedOver =
            QStringLiteral("The desktop's default web browser, %1, was passed over: %2.").arg(id, why);
        return std::nullopt;
    }
    bool takesSeveral = false;
    QStringList exec = splitDesktopExec(desktopEntryValue(entry, QStringLiteral("Exec")), &takesSeveral);
    if (exec.isEmpty() || exec.first().isEmpty())
        return std::nullopt;
    const QString program = QStandardPaths::findExecutable(exec.takeFirst());
    if (program.isEmpty())
        return std::nullopt;
    ResolvedBrowser browser{program, {}, {}, titleWordFor(program), windowClassesOf(program, entry), {}};
    browser.desktopEntry = entry;
    browser.name = desktopEntryValue(entry, QStringLiteral("Name"));
    setArguments(browser, exec, takesSeveral);
    return browser;
}

ResolvedBrowser ProcessBrowserLauncher::inPrivateWindow(ResolvedBrowser browser) const
{
    // The desktop's default names its private window among its entry's
    // actions, where it has one; else the flag of a browser we know.
    const QStringList actions =
        desktopEntryValue(browser.desktopEntry, QStringLiteral("Actions")).split(QLatin1Char(';'));
    for (const QString &action : actions) {
        if (action.trimmed().isEmpty())
            continue;
        const QString exec = desktopEntryValue(browser.desktopEntry, QStringLiteral("Exec"),
                                               QStringLiteral("Desktop Action ") + action.trimmed());
        if (!isPrivateAction(action, exec))
            continue;
        bool takesSeveral = false;
        QStringList split = splitDesktopExec(exec, &takesSeveral);
        const QString program =
            split.isEmpty() ? QString() : QStandardPaths::findExecutable(split.takeFirst());
        if (program.isEmpty())
            continue;
        browser.program = program;
        browser.argumentsBefore.clear();
        browser.argumentsAfter.clear();
        setArguments(browser, split, takesSeveral);
        takeOneAddressIfFirefoxPrivate(browser);
        return browser;
    }
    return BrowserLauncher::inPrivateWindow(std::move(browser));
}

std::optional<ResolvedBrowser> ProcessBrowserLauncher::resolve(Browser browser)
{
    m_passedOver.clear();
    if (browser == Browser::Default) {
        if (auto found = defaultBrowser(&m_passedOver))
            return found;
        std::optional<ResolvedBrowser> fallback =
            firstOnPath(candidatePrograms(Browser::Chrome) + candidatePrograms(Browser::Firefox));
        if (fallback)
            fallback->note = m_passedOver;
        return fallback;
    }
    return firstOnPath(candidatePrograms(browser));
}

std::optional<qint64> ProcessBrowserLauncher::start(const ResolvedBrowser &browser,
                                                    const QList<QByteArray> &addresses)
{
    // An argument list and no shell: each address arrives as one argument,
    // byte for byte, whatever its encoding (QProcess would re-encode it).
    QList<QByteArray> arguments{QFile::encodeName(browser.program)};
    for (const QString &argument : browser.argumentsBefore)
        arguments << QFile::encodeName(argument);
    arguments << addressArguments(browser.program, addresses);
    for (const QString &argument : browser.argumentsAfter)
        arguments << QFile::encodeName(argument);
    if (!m_workFolder)
        m_workFolder.emplace();
    const QString folder = m_workFolder->isValid() ? m_workFolder->path() : QDir::tempPath();
    sweepUnwatched();
    const std::optional<pid_t> pid = startInOwnSession(arguments, QFile::encodeName(folder));
    if (pid)
        watch(*pid);
    return pid;
}

bool ProcessBrowserLauncher::fitsOneStart(const ResolvedBrowser &browser,
                                          const QList<QByteArray> &addresses) const
{
    constexpr qsizetype kRoom = qsizetype{1} << 20;
    qsizetype used = browser.program.size() + 1;
    for (const QString &argument : browser.argumentsBefore + browser.argumentsAfter)
        used += argument.size() * 3 + 1 + qsizetype(sizeof(void *));
    for (const QByteArray &argument : addressArguments(browser.program, addresses))
        used += argument.size() + 1 + qsizetype(sizeof(void *));
    return used <= kRoom;
}

ProcessBrowserLauncher::~ProcessBrowserLauncher()
{
    // The browsers go on; whoever adopts orphans reaps them.
    for (QSocketNotifier *notifier : std::as_const(m_children)) {
        if (notifier) {
            ::close(int(notifier->socket()));
            delete notifier;
        }
    }
}

void ProcessBrowserLauncher::watch(pid_t pid)
{
    // Reaped as soon as it ends, so that a browser the user closes later
    // leaves no zombie behind. Without a descriptor to spare, it is reaped
    // when asked about.
    const int fd = m_watched < kMostWatched ? int(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    QSocketNotifier *notifier = nullptr;
    if (fd >= 0) {
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this, pid] { reap(pid); });
        ++m_watched;
    } else {
        m_unwatched.enqueue(pid);
    }
    m_children.insert(pid, notifier);
}

void ProcessBrowserLauncher::sweepUnwatched()
{
    for (qsizetype n = qMin<qsizetype>(16, m_unwatched.size()); n > 0; --n) {
        const qint64 pid = m_unwatched.dequeue();
        m_unwatched.enqueue(pid); // reap() takes it out if it has ended
        reap(pid);
    }
}

bool ProcessBrowserLauncher::reap(qint64 pid)
{
    if (!m_children.contains(pid))
        return true; // reaped before
    int status = 0;
    pid_t got = 0;
    do {
        got = ::waitpid(pid_t(pid), &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == 0)
        return false;
    if (QSocketNotifier *notifier = m_children.take(pid)) {
        notifier->setEnabled(false);
        ::close(int(notifier->socket()));
        notifier->deleteLater();
        --m_watched;
    } else {
        m_unwatched.removeOne(pid);
    }
    // Only the latest few are ever asked about.
    if (m_ended.size() >= kEndedKept)
        m_ended.remove(m_endedOrder.dequeue());
    m_ended.insert(pid, got == pid ? exitFromStatus(status) : ProcessExit{});
    m_endedOrder.enqueue(pid);
    return true;
}

ProcessExit ProcessBrowserLauncher::exitOf(qint64 pid)
{
    return m_ended.value(pid);
}

bool ProcessBrowserLauncher::running(qint64 pid)
{
    if (m_children.contains(pid))
        return !reap(pid);
    if (m_ended.contains(pid))
        return false;
    // Not one of ours: an ended process may be a zombie for a while.
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

std::optional<bool> ProcessBrowserLauncher::ready(const ResolvedBrowser &browser, qint64 pid)
{
    if (browser.titleWord == QLatin1String("Firefox"))
        return firefoxRemoteReady(pid);
    if (browser.titleWord == QLatin1String("Chromium") || browser.titleWord == QLatin1String("Chrome"))
        return chromiumSingletonReady(pid);
    return std::nullopt;
}

} // namespace zd
