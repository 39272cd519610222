// The real executable under the test command's X server and window manager.
#include "support/httptestserver.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestProgram : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsShowsWindowAndWritesFirstStartSettings();
    void closingDuringADownloadEndsCleanly();

private:
    static QString run(const QString &program, const QStringList &args)
    {
        QProcess process;
        process.start(program, args);
        process.waitForFinished(10'000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    // Asks the window manager to close the main window until the program
    // ends: a request sent while the window is being taken in can be lost.
    static void closeWindow(QProcess &program)
    {
        for (int i = 0; i < 50 && program.state() != QProcess::NotRunning; ++i) {
            run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Zentavia Desk")});
            program.waitForFinished(200);
        }
    }
    // The first shown window whose title matches, once it is drawn; "" if none comes.
    static QString visibleWindow(const QString &title)
    {
        QString found;
        for (int i = 0; i < 150 && found.isEmpty(); ++i) {
            found = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                    QStringLiteral("--name"), title})
                        .section(QLatin1Char('\n'), 0, 0)
                        .trimmed();
            if (found.isEmpty())
                QTest::qWait(100);
        }
        QTest::qWait(300); // mapped is not yet drawn and taking input
        return found;
    }
};

void TestProgram::startsShowsWindowAndWritesFirstStartSettings()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server");
    QTemporaryDir config;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZD_PROGRAM), {});
    QVERIFY(program.waitForStarted());

    // The shown window, not one of the toolkit's hidden helpers, and only
    // once the window manager has given it its size.
    const QString window = visibleWindow(QStringLiteral("^Zentavia Desk$"));
    QVERIFY(!window.isEmpty());
    QString info;
    const auto field = [&info](const char *name) {
        const QRegularExpression re(QStringLiteral("%1:\\s+(\\d+)").arg(QString::fromLatin1(name)));
        return re.match(info).captured(1).toInt();
    };
    const auto size = [&] {
        info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        return QSize(field("Width"), field("Height"));
    };
    QTRY_COMPARE_WITH_TIMEOUT(size(), QSize(536, 578), 15'000);
    QCOMPARE(program.state(), QProcess::Running);

    // Closing the window ends the program.
    closeWindow(program);
    QCOMPARE(program.state(), QProcess::NotRunning);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QSettings stored(config.filePath(QStringLiteral("Quillmoor.ini")), QSettings::IniFormat);
    stored.beginGroup(QStringLiteral("Zentavia Desk"));
    QCOMPARE(stored.childKeys().size(), 6);
    const QStringList expected{"True", "False", "False", "True", "False", "False"};
    for (int k = 1; k <= 6; ++k)
        QCOMPARE(stored.value(QStringLiteral("Option%1").arg(k)).toString(), expected[k - 1]);
}

void TestProgram::closingDuringADownloadEndsCleanly()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server");
    zd::test::HttpTestServer server;
    QVERIFY(server.isRunning());
    QTemporaryDir config;
    QTemporaryDir temp;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("TEMP"), temp.path());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZD_PROGRAM), {});
    QVERIFY(program.waitForStarted());
    const QString window = visibleWindow(QStringLiteral("^Zentavia Desk$"));
    QVERIFY(!window.isEmpty());
    // "Extract URLs From Web Page": 120, 3760 twips, 3840 x 405: its middle in pixels.
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("136"),
         QStringLiteral("264"), QStringLiteral("click"), QStringLiteral("1")});
    const QString addressBox = visibleWindow(QStringLiteral("^Zentavia$"));
    QVERIFY(!addressBox.isEmpty());
    run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), addressBox});
    run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"),
                                    server.url(QStringLiteral("/endless"))});
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
    // A page that never ends: the download and its scan are under way.
    QTest::qWait(1500);
    QCOMPARE(program.state(), QProcess::Running);

    closeWindow(program);
    QCOMPARE(program.state(), QProcess::NotRunning);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(QDir(temp.path()).isEmpty(), qPrintable(QDir(temp.path()).entryList().join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
