#include "app/commandline.h"

#include <QDir>
#include <QtTest>

using namespace zd;

namespace {

// An absolute path on this system: "/home/u" on Linux, "C:/home/u" on Windows.
QString rooted(const char *path)
{
    return QDir::rootPath() + QLatin1String(path);
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("start");
    QTest::addColumn<int>("exitCode"); // -1: the program goes on
    QTest::addColumn<QString>("textHolds");
    QTest::newRow("nothing") << QStringList{} << QStringList{} << false << -1 << "";
    QTest::newRow("relative and absolute files")
        << QStringList{"a.txt", "../b.txt", rooted("c/d.txt")}
        << QStringList{rooted("home/u/a.txt"), rooted("home/b.txt"), rooted("c/d.txt")} << false << -1 << "";
    QTest::newRow("start") << QStringList{"--start", "a.txt"} << QStringList{rooted("home/u/a.txt")} << true
                           << -1 << "";
    QTest::newRow("private") << QStringList{"--private", "--start", "a.txt"}
                             << QStringList{rooted("home/u/a.txt")} << true << -1 << "";
    QTest::newRow("help tells of --private") << QStringList{"--help"} << QStringList{} << false << 0
                                             << "--private      Open the sites in a private window";
    QTest::newRow("a file named like an option, after --")
        << QStringList{"--", "--start"} << QStringList{rooted("home/u/--start")} << false << -1 << "";
    QTest::newRow("Qt's own options") << QStringList{"-platform", "offscreen", "-reverse", "a.txt"}
                                      << QStringList{rooted("home/u/a.txt")} << false << -1 << "";
    QTest::newRow("help") << QStringList{"--help"} << QStringList{} << false << 0
                          << "Usage: zentavia-desk [options] [FILE...]";
    QTest::newRow("version") << QStringList{"--version"} << QStringList{} << false << 0 << "Zentavia Desk 1.";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << QStringList{} << false << 2
                                    << "Unknown option";
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, files);
    QFETCH(bool, start);
    QFETCH(int, exitCode);
    QFETCH(QString, textHolds);
    const CommandLine line =
        parseCommandLine(QStringList{QStringLiteral("zentavia-desk")} + arguments, rooted("home/u"));
    QCOMPARE(line.files, files);
    QCOMPARE(line.start, start);
    QCOMPARE(line.privateWindow, arguments.mid(0, 1) == QStringList{QStringLiteral("--private")});
    QCOMPARE(line.exitCode.value_or(-1), exitCode);
    QVERIFY2(line.text.contains(textHolds), qPrintable(line.text));
    if (exitCode == 2)
        QVERIFY2(line.text.contains(QStringLiteral("[FILE...]")), "a mistake shows the usage too");
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
