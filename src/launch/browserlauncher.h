#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zd {

/// The browser the user chose: the desktop's default, or one by name.
enum class Browser { Default, Chrome, Firefox };

/// For messages: "Chrome", "Firefox", "the default browser".
QString browserChoiceName(Browser browser);
/// The Linux programs that may stand for \a browser, in order of
/// preference; none for the default browser, which the desktop names.
QStringList candidatePrograms(Browser browser);
/// The message when the chosen browser is not installed, with what was
/// looked for (BrowserLauncher::lookedFor).
QString missingBrowserMessage(Browser browser, const QStringList &lookedFor);

/// A browser program found on this system.
struct ResolvedBrowser
{
    QString program;             // absolute path of the executable
    QStringList argumentsBefore; // from a desktop entry's Exec line
    QStringList argumentsAfter;
    /// The word the browser writes in its window titles; empty when unknown.
    QString titleWord;
    /// The WM_CLASS names its windows carry: the program's own name and its
    /// desktop entry's StartupWMClass.
    QStringList windowClasses;
    /// Why the desktop's default entry was passed over for this one, for
    /// the closing message; empty when it was not.
    QString note;
    /// It opens several addresses given in one start, as tabs in their
    /// order (Firefox, Chromium, a desktop entry with %U).
    bool takesSeveral = false;
    /// Why it is never started with addresses (a batch file, which Windows
    /// runs through its command interpreter); the run stops before it with
    /// this message. Empty for a browser program.
    QString refusal = QString();
    /// The desktop entry it was found by, whose actions may name a private
    /// window; empty when none.
    QString desktopEntry = QString();
    /// What the user knows it by: its desktop entry's Name; empty when it
    /// was found otherwise.
    QString name = QString();
};

/// How a started process that no longer runs ended.
struct ProcessExit
{
    /// Unknown: it still runs, or this launcher cannot tell. Failure: an
    /// exit status other than 0, the program's own word that it failed.
    /// Crash: a signal ended it.
    enum class Kind { Unknown, Success, Failure, Crash };
    Kind kind = Kind::Unknown;
    int code = 0; // the exit status or the signal
};

/// Finds and starts the chosen browser.
class BrowserLauncher
{
public:
    virtual ~BrowserLauncher() = default;
    /// The program that stands for \a browser here; nullopt when none is
    /// installed.
    virtual std::optional<ResolvedBrowser> resolve(Browser browser) = 0;
    /// Starts it with each address as exactly one argument of these bytes,
    /// in order, in an empty folder of its own, its output discarded; the
    /// process id, or nullopt when it could not be started.
    virtual std::optional<qint64> start(const ResolvedBrowser &browser,
                                        const QList<QByteArray> &addresses) = 0;
    std::optional<qint64> start(const ResolvedBrowser &browser, const QByteArray &address)
    {
        return start(browser, QList<QByteArray>{address});
    }
    /// Whether one start can pass all of \a addresses: the system's limit
    /// on a command line's length.
    virtual bool fitsOneStart(const ResolvedBrowser &browser, const QList<QByteArray> &addresses) const = 0;
    /// Whether a started process still runs (it has not yet handed its
    /// address to a running browser, or it has become the browser).
    virtual bool running(qint64 pid) = 0;
    /// How the started process \a pid ended, once running() said it did.
    virtual ProcessExit exitOf(qint64 pid) = 0;
    /// Whether a browser of this kind is up and takes addresses, by a sign
    /// that needs no window: Firefox's remote-control name on the session
    /// bus, Chromium's singleton socket listening. \a pid: that process
    /// only; 0: any. nullopt when this browser gives no such sign here.
    virtual std::optional<bool> ready(const ResolvedBrowser &browser, qint64 pid) = 0;
    /// What resolve() looks for, for the message when none is found: the
    /// Linux programs by default.
    virtual QStringList lookedFor(Browser browser) const;
    /// Why the desktop's default browser was passed over in the last
    /// resolve(), said also when nothing else was found; empty when it was not.
    virtual QString passedOver() const { return {}; }
    /// Why the last start() failed when the program itself cannot run (the
    /// system's own words); empty when it was the addresses' fault.
    virtual QString startError() const { return {}; }
    /// \a browser made to open its addresses in a private window, by the
    /// flag its program takes; its refusal says so when it has none.
    virtual ResolvedBrowser inPrivateWindow(ResolvedBrowser browser) const;
};

/// The argument with which the named executable opens its addresses in a
/// private window ("-private-window", "--incognito"); empty when unknown.
QString privateWindowFlag(const QString &executableName);
/// Whether \a argument asks a browser for a private window ("--incognito").
bool isPrivateWindowFlag(const QString &argument);
/// A Firefox started with its private flag takes one address a start.
void takeOneAddressIfFirefoxPrivate(ResolvedBrowser &browser);
/// The refusal of a browser that has no private window.
QString noPrivateWindowMessage(const QString &name);

/// The word the named executable writes in its window titles.
QString titleWordFor(const QString &executableName);
/// Whether the named executable opens several addresses of one command
/// line as tabs, in order: Firefox and the Chromium family.
bool takesSeveralAddresses(const QString &executableName);
/// What stands in a start of \a program for \a addresses: the addresses,
/// each after its own flag where the browser needs one to keep them in the
/// window it has.
QList<QByteArray> addressArguments(const QString &program, const QList<QByteArray> &addresses);

/// A desktop entry's Exec value split into arguments, with field codes for
/// the address (%u %U %f %F) marked by an empty element; other codes dropped.
/// \a takesSeveral: whether its code is %U, which takes several addresses.
QStringList splitDesktopExec(const QString &exec, bool *takesSeveral = nullptr);

} // namespace zd
