// The real executable under the test command's X server and window manager.
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

private:
    static QString run(const QString &program, const QStringList &args)
    {
        QProcess process;
        process.start(program, args);
        process.waitForFinished(10'000);
        return QString::fromUtf8(process.readAllStandardOutput());
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

    QString info;
    QTRY_VERIFY_WITH_TIMEOUT(
        (info = run(QStringLiteral("xwininfo"), {QStringLiteral("-name"), QStringLiteral("Zentavia Desk")}))
            .contains(QStringLiteral("Width:")),
        15'000);
    const auto field = [&info](const char *name) {
        const QRegularExpression re(QStringLiteral("%1:\\s+(\\d+)").arg(QString::fromLatin1(name)));
        return re.match(info).captured(1).toInt();
    };
    QCOMPARE(field("Width"), 536);
    QCOMPARE(field("Height"), 578);
    QCOMPARE(program.state(), QProcess::Running);

    // Closing the window ends the program.
    run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Zentavia Desk")});
    QVERIFY(program.waitForFinished(10'000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QSettings stored(config.filePath(QStringLiteral("Quillmoor.ini")), QSettings::IniFormat);
    stored.beginGroup(QStringLiteral("Zentavia Desk"));
    QCOMPARE(stored.childKeys().size(), 6);
    const QStringList expected{"True", "False", "False", "True", "False", "False"};
    for (int k = 1; k <= 6; ++k)
        QCOMPARE(stored.value(QStringLiteral("Option%1").arg(k)).toString(), expected[k - 1]);
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
