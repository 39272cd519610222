#include "core/errorreport.h"
#include "fakes/fakeuiservices.h"
#include "core/linux/inisettingsstore.h"
#include "core/optionchoices.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include "support/testfiles.h"

#include <QLockFile>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace zd;
using zd::test::FakeUiServices;
using zd::test::writeTestFile;

namespace {

const QString kGroupLine = QStringLiteral("[Zentavia%20Desk]\n");

QString selectionOf(const OptionChoices &choices)
{
    QString s;
    for (const Option option : kAllOptions)
        s += choices.isSelected(option) ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

// One start-up: a fresh store and the six restore steps.
QString startUp(FakeUiServices &ui)
{
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    OptionChoices choices(store, ui);
    Procedure procedure(ui, QStringLiteral("in P "));
    choices.restore(procedure);
    return selectionOf(choices);
}

// The stored values of the six keys; "-" for a missing key.
QString storedValues(SettingsStore &store)
{
    QStringList values;
    for (const Option option : kAllOptions)
        values << store.value(OptionChoices::keyFor(option)).value_or(QStringLiteral("-"));
    return values.join(QLatin1Char(','));
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void restore_data();
    void restore();
    void selectingWritesOnlyItsGroup();
    void missingKeyDiffersFromEmpty();
    void startUpWithStoredChoicesLeavesTheFileAlone();
    void aWriteThatFailedIsMadeAgain();
    void badValueReportedAtEveryStartUntilChosen();
    void failedWriteKeepsChoiceAndWarnsOnce();
    void unreadableFileNeverStopsStartUp();
    void firstStartMakesTheFolder();
    void fileThatIsNotOursIsLeftAlone_data();
    void fileThatIsNotOursIsLeftAlone();
    void fileReplacedAfterStartUpIsLeftAlone();
    void writeKeepsEveryOtherLine_data();
    void writeKeepsEveryOtherLine();
    void oddValuesReadBack();

private:
    void writeIni(const QString &content);
    QString iniPath() const { return m_dir->filePath(QStringLiteral("Quillmoor.ini")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
}

void TestSettings::writeIni(const QString &content)
{
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.toUtf8());
}

void TestSettings::restore_data()
{
    QTest::addColumn<QString>("ini");      // null: no file at all
    QTest::addColumn<QString>("selected"); // Option1..6
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<QString>("stored");

    QTest::newRow("first start") << QString() << "100100" << QStringList()
                                 << "True,False,False,True,False,False";
    QTest::newRow("two true: first wins") << kGroupLine + "Option1=True\nOption2=True\nOption3=False\n"
                                          << "100100" << QStringList() << "True,False,False,True,False,False";
    QTest::newRow("all false: none selected, kept")
        << kGroupLine
               + "Option1=False\nOption2=False\nOption3=False\nOption4=False\nOption5=False\nOption6=False\n"
        << "000000" << QStringList() << "False,False,False,False,False,False";
    QTest::newRow("other letter case")
        << kGroupLine + "Option1=false\nOption2=TRUE\nOption4=fAlSe\nOption5=true\n"
        << "010010" << QStringList() << "False,True,False,False,True,False";
    QTest::newRow("numbers") << kGroupLine + "Option1=0\nOption2=0\nOption3=-1\nOption4=0\nOption5=7\n"
                             << "001010" << QStringList() << "False,False,True,False,True,False";
    QTest::newRow("empty Option5 before Maximized")
        << kGroupLine + "Option4=False\nOption5=\nOption6=True\n"
        << "100001" << QStringList{"140"} << "True,False,False,False,False,True";
    QTest::newRow("absent Option4 overwrites empty Option5")
        << kGroupLine + "Option5=\n"
        << "100100" << QStringList() << "True,False,False,True,False,False";
    QTest::newRow("empty Option1") << kGroupLine + "Option1=\nOption2=False\nOption3=False\n"
                                   << "000100" << QStringList{"132"} << ",False,False,True,False,False";
    QTest::newRow("'no' is not a Boolean")
        << kGroupLine + "Option1=no\nOption2=yes\nOption3=1\n"
        << "001100" << QStringList{"132", "134"} << "False,False,True,True,False,False";
}

void TestSettings::restore()
{
    QFETCH(QString, ini);
    QFETCH(QString, selected);
    QFETCH(QStringList, reports);
    QFETCH(QString, stored);
    if (!ini.isNull())
        writeIni(ini);

    FakeUiServices ui;
    {
        IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
        OptionChoices choices(store, ui);
        Procedure procedure(ui, locationTag(QStringLiteral("Form1"), QStringLiteral("Form_Load")));
        choices.restore(procedure);
        QCOMPARE(selectionOf(choices), selected);
        QCOMPARE(ui.reportLabels(), reports);
    }
    // Read back from the file itself, through a fresh store.
    IniSettingsStore reread(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    QCOMPARE(storedValues(reread), stored);
    QCOMPARE(reread.location(), iniPath());
}

void TestSettings::selectingWritesOnlyItsGroup()
{
    writeIni(kGroupLine + "Option1=False\nOption2=True\nOption3=False\n");
    FakeUiServices ui;
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    OptionChoices choices(store, ui);
    choices.select(Option::Maximized);
    QCOMPARE(storedValues(store), QStringLiteral("False,True,False,False,False,True"));
    // The whole group is in the file, written at once.
    IniSettingsStore reread(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    QCOMPARE(storedValues(reread), QStringLiteral("False,True,False,False,False,True"));
    choices.select(Option::Chrome);
    QCOMPARE(selectionOf(choices), QStringLiteral("010001"));
}

void TestSettings::startUpWithStoredChoicesLeavesTheFileAlone()
{
    const QString stored = kGroupLine
                           + "Option1=False\nOption2=True\nOption3=False\n"
                             "Option4=False\nOption5=True\nOption6=False\n";
    writeIni(stored);
    const QString path =
        IniSettingsStore(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk")).location();
    const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-1);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    FakeUiServices ui;
    QCOMPARE(startUp(ui), QStringLiteral("010010"));
    QVERIFY(ui.messages.empty());
    QCOMPARE(QFileInfo(path).lastModified().toUTC(), old);
    // A choice that changes something is written.
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    OptionChoices choices(store, ui);
    choices.select(Option::Firefox);
    QVERIFY(QFileInfo(path).lastModified().toUTC() > old);
}

// A choice that could not be written (another process held the file's
// lock) is written the next time, although memory already holds it.
void TestSettings::aWriteThatFailedIsMadeAgain()
{
    writeIni(kGroupLine + "Option1=False\nOption2=True\nOption3=False\n");
    FakeUiServices ui;
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    OptionChoices choices(store, ui);
    {
        QLockFile held(store.location() + QStringLiteral(".lock"));
        QVERIFY(held.lock());
        choices.select(Option::Firefox);
    }
    QCOMPARE(ui.messages.size(), size_t(1)); // could not be saved
    choices.select(Option::Firefox);
    // The file itself (another store in this process would share the memory).
    QFile file(store.location());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("Option3=True") && text.contains("Option2=False"), text.constData());
}

void TestSettings::missingKeyDiffersFromEmpty()
{
    writeIni(kGroupLine + "Option1=\n");
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    QCOMPARE(store.value(QStringLiteral("Option1")), std::optional<QString>(QString()));
    QCOMPARE(store.value(QStringLiteral("Option2")), std::nullopt);
}

void TestSettings::badValueReportedAtEveryStartUntilChosen()
{
    writeIni(kGroupLine + "Option1=\nOption2=False\nOption3=False\n");
    for (int start = 0; start < 2; ++start) {
        FakeUiServices ui;
        QCOMPARE(startUp(ui), QStringLiteral("000100"));
        QCOMPARE(ui.reportLabels(), QStringList{QStringLiteral("132")});
    }
    FakeUiServices ui;
    {
        IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
        OptionChoices choices(store, ui);
        choices.select(Option::Firefox);
    }
    QCOMPARE(startUp(ui), QStringLiteral("001100"));
    QVERIFY(ui.errorReports().isEmpty());
}

void TestSettings::failedWriteKeepsChoiceAndWarnsOnce()
{
    // A folder that cannot be created (its parent is a file) fails for root too.
    const QString blocker = m_dir->filePath(QStringLiteral("plainfile"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker + QStringLiteral("/config")));

    FakeUiServices ui;
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    OptionChoices choices(store, ui);
    Procedure procedure(ui, QStringLiteral("in P "));
    choices.restore(procedure);
    choices.select(Option::Chrome);
    choices.select(Option::Maximized);
    QCOMPARE(selectionOf(choices), QStringLiteral("010001"));
    QVERIFY(ui.errorReports().isEmpty());
    const QStringList warnings = ui.plainMessages();
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings[0].contains(store.location()));
}

void TestSettings::unreadableFileNeverStopsStartUp()
{
    // A folder where the file should be.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Quillmoor.ini")));
    FakeUiServices ui;
    QCOMPARE(startUp(ui), QStringLiteral("100100"));
    QVERIFY(ui.errorReports().isEmpty());
    QCOMPARE(ui.plainMessages().size(), 1); // the one "could not be saved" note
}

void TestSettings::firstStartMakesTheFolder()
{
    const QString folder = m_dir->filePath(QStringLiteral("new/config"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    FakeUiServices ui;
    QCOMPARE(startUp(ui), QStringLiteral("100100"));
    QVERIFY(ui.messages.empty());
    QSettings stored(folder + QStringLiteral("/Quillmoor.ini"), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("Zentavia Desk/Option4")).toString(), QStringLiteral("True"));
}

void TestSettings::fileThatIsNotOursIsLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("named pipe") << "fifo"
                                << "not a regular file";
    QTest::newRow("link to a device") << "device"
                                      << "not a regular file";
    QTest::newRow("lock file is a folder") << "lock folder"
                                           << "lock file is not a regular file";
    QTest::newRow("2 MiB") << "oversized"
                           << "larger than 1 MiB";
    QTest::newRow("binary") << "\x01\x02[[[\n=\n\xff\xfe garbage"
                            << "not an INI file";
    QTest::newRow("a line that is no entry") << "[Zentavia%20Desk]\nOption1=False\njust words\n"
                                             << "not an INI file";
    QTest::newRow("NUL inside") << QString::fromLatin1("[Zentavia%20Desk]\nOption1=Fa\0lse\n", 31)
                                << "not an INI file";
}

void TestSettings::fileThatIsNotOursIsLeftAlone()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QByteArray ini = QFile::encodeName(iniPath());
    QByteArray oversized;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(ini.constData(), 0600), 0);
    } else if (kind == QLatin1String("device")) {
        // A private node in the test's folder, never the system's.
        const QByteArray node = QFile::encodeName(m_dir->filePath(QStringLiteral("null-device")));
        if (::mknod(node.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("making a device node needs root; this row runs in CI");
        QVERIFY(QFile::link(QString::fromLocal8Bit(node), iniPath()));
    } else if (kind == QLatin1String("lock folder")) {
        writeIni(kGroupLine + QStringLiteral("Option2=True\n"));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Quillmoor.ini.lock")));
    } else if (kind == QLatin1String("oversized")) {
        oversized = kGroupLine.toUtf8() + QByteArray(2 << 20, '#');
        QVERIFY(writeTestFile(iniPath(), oversized));
    } else {
        oversized = kind.toLatin1();
        QVERIFY(writeTestFile(iniPath(), oversized));
    }
    FakeUiServices ui;
    QCOMPARE(startUp(ui), QStringLiteral("100100"));
    QVERIFY(ui.errorReports().isEmpty());
    QCOMPARE(ui.plainMessages().size(), 1);
    QVERIFY2(ui.plainMessages()[0].contains(reason), qPrintable(ui.plainMessages()[0]));

    const QFileInfo after(iniPath());
    if (kind == QLatin1String("lock folder")) {
        QVERIFY(QFileInfo(iniPath() + QStringLiteral(".lock")).isDir());
    } else if (!oversized.isEmpty()) {
        QFile file(iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), oversized);
    } else {
        QVERIFY(after.exists() && !after.isFile());
    }
}

void TestSettings::fileReplacedAfterStartUpIsLeftAlone()
{
    writeIni(kGroupLine + QStringLiteral("Option2=True\n"));
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    QCOMPARE(store.value(QStringLiteral("Option2")), std::optional<QString>(QStringLiteral("True")));
    // Another program puts a file there that is not ours while we run.
    const QByteArray foreign = kGroupLine.toUtf8() + QByteArray(2 << 20, '#');
    QVERIFY(QFile::remove(iniPath()));
    QVERIFY(writeTestFile(iniPath(), foreign));

    QVERIFY(!store.setValue(QStringLiteral("Option3"), QStringLiteral("True")));
    QVERIFY2(store.location().contains(QStringLiteral("larger than 1 MiB")), qPrintable(store.location()));
    QCOMPARE(store.value(QStringLiteral("Option3")), std::optional<QString>(QStringLiteral("True")));
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), foreign);
}

void TestSettings::writeKeepsEveryOtherLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after"); // Firefox chosen
    QTest::newRow("comments, other groups and unknown keys kept in order")
        << QByteArray("; mine\n[Other]\nx = 1 ; not a comment\n\n[Zentavia%20Desk]\nOption2=True\n# note\n"
                      "Option5=True\nUnknown = keep  me\n[Last]\ny=2")
        << QByteArray("; mine\n[Other]\nx = 1 ; not a comment\n\n[Zentavia%20Desk]\nOption2=False\n# note\n"
                      "Option5=True\nUnknown = keep  me\nOption1=False\nOption3=True\n[Last]\ny=2");
    QTest::newRow("CR LF file without our group")
        << QByteArray("[Other]\r\nx=1\r\n")
        << QByteArray("[Other]\r\nx=1\r\n\r\n[Zentavia%20Desk]\r\nOption1=False\r\nOption2=False\r\n"
                      "Option3=True\r\n");
    QTest::newRow("last line without its break")
        << QByteArray("[Zentavia%20Desk]\nOption1=True")
        << QByteArray("[Zentavia%20Desk]\nOption1=False\nOption2=False\nOption3=True\n");
    QTest::newRow("empty file") << QByteArray(
        "") << QByteArray("[Zentavia%20Desk]\nOption1=False\nOption2=False\nOption3=True\n");
    QTest::newRow("group named with its blank, keys spaced")
        << QByteArray("[Zentavia Desk]\n  Option3 = False\n")
        << QByteArray("[Zentavia Desk]\nOption3=True\nOption1=False\nOption2=False\n");
}

// The file is the user's: choosing writes our keys and no other byte.
void TestSettings::writeKeepsEveryOtherLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QVERIFY(writeTestFile(iniPath(), before));
    FakeUiServices ui;
    IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    OptionChoices choices(store, ui);
    choices.select(Option::Firefox);
    QVERIFY(ui.messages.empty());
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), after);
}

// Values a user may have put in the file, written and read back by us and
// by QSettings alike.
void TestSettings::oddValuesReadBack()
{
    const QStringList values{"0.5",
                             "",
                             " lead and trail ",
                             "a,b",
                             "semi;colon",
                             "quote\"back\\slash",
                             "@at",
                             "line\nbreak\ttab",
                             QStringLiteral("\u00FCber"),
                             "=",
                             "#hash"};
    for (const QString &value : values) {
        {
            IniSettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
            QVERIFY(store.setValue(QStringLiteral("Delay"), value));
        }
        IniSettingsStore reread(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
        QCOMPARE(reread.value(QStringLiteral("Delay")), std::optional<QString>(value));
        QSettings settings(iniPath(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Zentavia Desk/Delay")).toString(), value);
    }
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
