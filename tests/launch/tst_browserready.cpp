// The browsers' own signs that they take addresses, made by this test
// itself: a listening "SingletonSocket" as Chromium's, an
// "org.mozilla.*" name on a private session bus as Firefox's remote.
#include "launch/linux/browserready.h"
#include "launch/linux/processlauncher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace zd;

class TestBrowserReady : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void chromiumBySingletonSocket();
    void firefoxByRemoteName();
    void launcherAsksTheSignOfItsBrowser();

private:
    QProcess m_bus;
    QProcess m_other; // a process that is no browser
};

void TestBrowserReady::initTestCase()
{
    // A bus of the test's own, before anything asks for the session bus.
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY(m_bus.waitForStarted());
    QVERIFY(m_bus.waitForReadyRead(10'000));
    const QByteArray address = m_bus.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    m_other.start(QStringLiteral("sleep"), {QStringLiteral("600")});
    QVERIFY(m_other.waitForStarted());
}

void TestBrowserReady::cleanupTestCase()
{
    m_other.kill();
    m_other.waitForFinished();
    m_bus.kill();
    m_bus.waitForFinished();
}

void TestBrowserReady::chromiumBySingletonSocket()
{
    QTemporaryDir profile;
    const QString path = profile.filePath(QStringLiteral("SingletonSocket"));
    QVERIFY(!chromiumSingletonReady(::getpid()));
    {
        // Not the name: a socket by another name is no sign.
        QLocalServer other;
        QVERIFY(other.listen(profile.filePath(QStringLiteral("SingletonSocketX"))));
        QVERIFY(!chromiumSingletonReady(::getpid()));
    }
    QLocalServer singleton;
    QVERIFY(singleton.listen(path));
    QVERIFY(chromiumSingletonReady(::getpid()));
    QVERIFY(chromiumSingletonReady(0));
    // Another process's socket is not this one's.
    QVERIFY(!chromiumSingletonReady(m_other.processId()));
    singleton.close();
    QVERIFY(!chromiumSingletonReady(0));
}

void TestBrowserReady::firefoxByRemoteName()
{
    QCOMPARE(firefoxRemoteReady(0), std::optional<bool>(false));
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Another program's name is no sign.
    QVERIFY(bus.registerService(QStringLiteral("org.example.firefox")));
    QCOMPARE(firefoxRemoteReady(::getpid()), std::optional<bool>(false));
    const QString name = QStringLiteral("org.mozilla.firefox_esr.L3RtcC9wcm9maWxl");
    QVERIFY(bus.registerService(name));
    QCOMPARE(firefoxRemoteReady(::getpid()), std::optional<bool>(true));
    QCOMPARE(firefoxRemoteReady(0), std::optional<bool>(true));
    QCOMPARE(firefoxRemoteReady(m_other.processId()), std::optional<bool>(false));
    QVERIFY(bus.unregisterService(name));
    QCOMPARE(firefoxRemoteReady(0), std::optional<bool>(false));
}

void TestBrowserReady::launcherAsksTheSignOfItsBrowser()
{
    ProcessBrowserLauncher launcher;
    QTemporaryDir profile;
    QLocalServer singleton;
    QVERIFY(singleton.listen(profile.filePath(QStringLiteral("SingletonSocket"))));
    const auto browser = [](const char *word) {
        return ResolvedBrowser{QStringLiteral("/usr/bin/x"), {}, {}, QString::fromLatin1(word), {}, {}};
    };
    QCOMPARE(launcher.ready(browser("Chromium"), ::getpid()), std::optional<bool>(true));
    QCOMPARE(launcher.ready(browser("Chrome"), ::getpid()), std::optional<bool>(true));
    // Firefox's sign is its name on the bus, which this process has not.
    QCOMPARE(launcher.ready(browser("Firefox"), ::getpid()), std::optional<bool>(false));
    // A browser with no known sign gives none.
    QCOMPARE(launcher.ready(browser(""), ::getpid()), std::nullopt);
}

QTEST_GUILESS_MAIN(TestBrowserReady)
#include "tst_browserready.moc"
