#include "launch/windows/processlauncher.h"

#include "launch/windows/commandlinequoting.h"

#include "core/appinfo.h"
#include "core/windows/systemerror.h"

#include <QDir>
#include <QFileInfo>
#include <QOperatingSystemVersion>
#include <QStandardPaths>
#include <QStringDecoder>

#include <windows.h>

#include <shlwapi.h>

namespace zd {

namespace {

constexpr wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr wchar_t kBrowsers[] = L"Software\\Clients\\StartMenuInternet";

// A string value of a registry key, environment variables expanded (an
// expandable string is read as a plain one); empty when it is not there.
QString registryString(HKEY root, const std::wstring &subKey, const wchar_t *name)
{
    DWORD bytes = 0;
    if (RegGetValueW(root, subKey.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS
        || bytes < sizeof(wchar_t))
        return {};
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, subKey.c_str(), name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes)
        != ERROR_SUCCESS)
        return {};
    value.resize(wcsnlen(value.c_str(), value.size()));
    return QString::fromStdWString(value);
}

// "C:\Program Files\X\x.exe" -arg  ->  C:\Program Files\X\x.exe
QString programOfCommand(QString command)
{
    command = command.trimmed();
    if (command.startsWith(QLatin1Char('"')))
        return command.mid(1, command.indexOf(QLatin1Char('"'), 1) - 1);
    const qsizetype exe = command.indexOf(QLatin1String(".exe"), 0, Qt::CaseInsensitive);
    return exe < 0 ? command.section(QLatin1Char(' '), 0, 0) : command.left(exe + 4);
}

bool isProgramFile(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isAbsolute();
}

bool samePath(const QString &a, const QString &b)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(a))
               .compare(QDir::cleanPath(QDir::fromNativeSeparators(b)), Qt::CaseInsensitive)
           == 0;
}

// The web browsers registered with Windows (Default Programs): their programs.
QStringList registeredBrowsers()
{
    QStringList programs;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, kBrowsers, 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = DWORD(std::size(name));
            if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            const std::wstring command = std::wstring(kBrowsers) + L"\\" + name + L"\\shell\\open\\command";
            const QString program = programOfCommand(registryString(root, command, nullptr));
            if (!program.isEmpty())
                programs << program;
        }
        RegCloseKey(key);
    }
    return programs;
}

// What a browser's windows are known by: its program's name and the window
// class it registers.
QStringList windowClassesOf(const QString &program)
{
    const QString name = QFileInfo(program).completeBaseName();
    QStringList classes{name};
    const QString lower = name.toLower();
    if (lower == QLatin1String("firefox"))
        classes << QStringLiteral("MozillaWindowClass");
    else if (lower == QLatin1String("chrome") || lower == QLatin1String("msedge"))
        classes << QStringLiteral("Chrome_WidgetWin_1");
    else if (lower == QLatin1String("iexplore"))
        classes << QStringLiteral("IEFrame");
    return classes;
}

// CreateProcessW runs a batch file through the command interpreter, which
// reads its command line again by its own rules (&, |, >, %VAR%): no quoting
// keeps an address one argument there. Only a program file gets addresses.
QString refusalOf(const QString &program)
{
    const QString suffix = QFileInfo(program).suffix().toLower();
    if (suffix == QLatin1String("exe") || suffix == QLatin1String("com"))
        return {};
    const QString kind = suffix == QLatin1String("bat") || suffix == QLatin1String("cmd")
                             ? QStringLiteral("a batch file")
                             : QStringLiteral("not a program file");
    return QStringLiteral("%1 is %2; addresses are passed only to browser programs ending in .exe, so no "
                          "site was opened.")
        .arg(QDir::toNativeSeparators(program), kind);
}

// The browser as the choices and messages write it: "Firefox", not "firefox".
QString displayNameOf(const QString &program)
{
    const QString name = QFileInfo(program).completeBaseName();
    static const QHash<QString, QString> known{
        {QStringLiteral("chrome"), QStringLiteral("Chrome")},
        {QStringLiteral("firefox"), QStringLiteral("Firefox")},
        {QStringLiteral("msedge"), QStringLiteral("Edge")},
        {QStringLiteral("iexplore"), QStringLiteral("Internet Explorer")}};
    return known.value(name.toLower(), name);
}

ResolvedBrowser browserAt(const QString &program)
{
    ResolvedBrowser browser{QDir::toNativeSeparators(program), {}, {}, titleWordFor(program),
                            windowClassesOf(program),          {}};
    browser.takesSeveral = takesSeveralAddresses(program);
    browser.refusal = refusalOf(program);
    return browser;
}

// The address as text for the command line: UTF-8 where it is, else the
// system's ANSI code page, as a list file written on Windows has it.
QString addressText(const QByteArray &address)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(address);
    return utf8.hasError() ? QString::fromLocal8Bit(address) : text;
}

ProcessExit exitFromCode(DWORD code)
{
    if (code == 0)
        return {ProcessExit::Kind::Success, 0};
    // NTSTATUS error codes: an access violation, a stack overflow, an abort.
    if ((code & 0xC0000000U) == 0xC0000000U)
        return {ProcessExit::Kind::Crash, int(code)};
    return {ProcessExit::Kind::Failure, int(code)};
}

} // namespace

QString WindowsBrowserLauncher::findProgram(const QString &fileName)
{
    const std::wstring subKey = kAppPaths + fileName.toStdWString();
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const QString path = programOfCommand(registryString(root, subKey, nullptr));
        if (isProgramFile(path))
            return path;
    }
    return QStandardPaths::findExecutable(fileName);
}

std::optional<ResolvedBrowser> WindowsBrowserLauncher::byFileName(const QString &fileName)
{
    const QString program = findProgram(fileName);
    if (program.isEmpty())
        return std::nullopt;
    return browserAt(program);
}

std::optional<ResolvedBrowser> WindowsBrowserLauncher::defaultBrowser(QString *passedOver)
{
    wchar_t path[MAX_PATH * 4];
    DWORD length = DWORD(std::size(path));
    if (AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, L"http", L"open", path, &length) != S_OK)
        return std::nullopt;
    const QString program = QString::fromWCharArray(path);
    if (!isProgramFile(program))
        return std::nullopt;
    // Only a web browser: a program that hands addresses elsewhere or opens
    // them as documents is no browser whose windows could be placed.
    const QStringList browsers = registeredBrowsers();
    if (std::none_of(browsers.begin(), browsers.end(),
                     [&](const QString &b) { return samePath(b, program); })) {
        *passedOver = QStringLiteral("The default web browser, %1, was passed over: it is not a web browser.")
                          .arg(QFileInfo(program).fileName());
        return std::nullopt;
    }
    return browserAt(program);
}

std::optional<ResolvedBrowser> WindowsBrowserLauncher::resolve(Browser browser)
{
    m_passedOver.clear();
    switch (browser) {
    case Browser::Chrome:
        return byFileName(QStringLiteral("chrome.exe"));
    case Browser::Firefox:
        return byFileName(QStringLiteral("firefox.exe"));
    case Browser::Default:
        break;
    }
    // Internet Explorer only where it still opens pages itself.
    if (QOperatingSystemVersion::current() < QOperatingSystemVersion::Windows10) {
        if (auto explorer = byFileName(QStringLiteral("iexplore.exe")))
            return explorer;
    }
    const QString &passedOver = m_passedOver;
    std::optional<ResolvedBrowser> found = defaultBrowser(&m_passedOver);
    if (!found) {
        found = byFileName(QStringLiteral("chrome.exe"));
        if (!found)
            found = byFileName(QStringLiteral("firefox.exe"));
    }
    if (found
        && QFileInfo(found->program).fileName().compare(QLatin1String("iexplore.exe"), Qt::CaseInsensitive)) {
        const QString retired =
            QStringLiteral(
                "Internet Explorer is retired on this version of Windows, so the sites went to %1.")
                .arg(displayNameOf(found->program));
        found->note = passedOver.isEmpty() ? retired : passedOver + QStringLiteral("\r\n") + retired;
    }
    return found;
}

QStringList WindowsBrowserLauncher::lookedFor(Browser browser) const
{
    switch (browser) {
    case Browser::Chrome:
        return {QStringLiteral("chrome.exe")};
    case Browser::Firefox:
        return {QStringLiteral("firefox.exe")};
    case Browser::Default:
        break;
    }
    return {QStringLiteral("the default web browser"), QStringLiteral("chrome.exe"),
            QStringLiteral("firefox.exe")};
}

// The whole command line that starts \a browser with \a addresses.
QString WindowsBrowserLauncher::startLine(const ResolvedBrowser &browser, const QList<QByteArray> &addresses)
{
    QStringList arguments{browser.program};
    arguments << browser.argumentsBefore;
    for (const QByteArray &argument : addressArguments(browser.program, addresses))
        arguments << addressText(argument);
    arguments << browser.argumentsAfter;
    return commandLine(arguments);
}

bool WindowsBrowserLauncher::fitsOneStart(const ResolvedBrowser &browser,
                                          const QList<QByteArray> &addresses) const
{
    constexpr qsizetype kMostChars = 32'767;
    return startLine(browser, addresses).size() < kMostChars;
}

std::optional<qint64> WindowsBrowserLauncher::start(const ResolvedBrowser &browser,
                                                    const QList<QByteArray> &addresses)
{
    m_startError = refusalOf(browser.program);
    if (!m_startError.isEmpty())
        return std::nullopt;
    std::wstring line = startLine(browser, addresses).toStdWString();
    const std::wstring program = QDir::toNativeSeparators(browser.program).toStdWString();
    const std::wstring folder = QDir::toNativeSeparators(workFolder()).toStdWString();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // No handle of ours goes along, and a console program gets no console.
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr,
                        folder.c_str(), &startup, &process)) {
        // A command line too long is the addresses' doing; anything else
        // (not a Windows program, access denied) the program's.
        const DWORD error = GetLastError();
        if (error != ERROR_FILENAME_EXCED_RANGE) {
            // Windows' words name the file as "%1" ("%1 is not a valid
            // Win32 application.").
            m_startError =
                sys::systemErrorText(error, QFileInfo(browser.program).fileName()) + QLatin1Char('.');
        }
        return std::nullopt;
    }
    CloseHandle(process.hThread);
    const auto pid = qint64(process.dwProcessId);
    m_children.insert(pid, process.hProcess);
    return pid;
}

QString WindowsBrowserLauncher::workFolder()
{
    // One folder of the program's own, never removed: Windows keeps a
    // folder that a running browser works in, so a folder per run would be
    // left behind whenever a browser outlives the program.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                           + QLatin1Char('/') + kProductName + QStringLiteral("/Empty");
    return QDir().mkpath(folder) ? folder : QDir::tempPath();
}

WindowsBrowserLauncher::~WindowsBrowserLauncher()
{
    // The browsers go on; only our handles to them close.
    for (void *handle : std::as_const(m_children))
        CloseHandle(handle);
}

bool WindowsBrowserLauncher::reap(qint64 pid)
{
    void *handle = m_children.value(pid);
    if (!handle)
        return true;
    if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    const ProcessExit exit = GetExitCodeProcess(handle, &code) ? exitFromCode(code) : ProcessExit{};
    CloseHandle(handle);
    m_children.remove(pid);
    // Only the latest few are ever asked about.
    if (m_ended.size() >= kEndedKept)
        m_ended.remove(m_endedOrder.dequeue());
    m_ended.insert(pid, exit);
    m_endedOrder.enqueue(pid);
    return true;
}

bool WindowsBrowserLauncher::running(qint64 pid)
{
    if (m_children.contains(pid))
        return !reap(pid);
    if (m_ended.contains(pid))
        return false;
    // Not one of ours.
    const HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!handle)
        return false;
    const bool alive = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    CloseHandle(handle);
    return alive;
}

ProcessExit WindowsBrowserLauncher::exitOf(qint64 pid)
{
    return m_ended.value(pid);
}

} // namespace zd
