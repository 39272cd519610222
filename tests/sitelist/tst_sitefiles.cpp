#include "support/listchecks.h"
#include "core/errorreport.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/filechannel.h"
#include "sitelist/sitefiles.h"
#include "sitelist/sitelistmodel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include "support/platformfiles.h"
#include "support/savechecks.h"
#include "support/testfiles.h"

#include <QtTest>

#include <memory>

using namespace zd;
using zd::test::FakeFileDialogs;
using zd::test::FakeUiServices;
using zd::test::readFile;
using zd::test::saveTo;
using zd::test::writeTestFile;

namespace {

QStringList itemsOf(const SiteListModel &model)
{
    return zd::test::textsOf(model);
}

} // namespace

class TestSiteFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineRules_data();
    void lineRules();
    void splitterIsIndependentOfChunking();
    void chooseTextFilesSetsUpDialogAndKeepsOrder();
    void cancelDoesNothing();
    void missingFileInMultiChoice();
    void badInput_data();
    void badInput();
    void millionLinesAndLongLine();
    void droppedFilesLoadInOrder();
    void loadAndSaveShareOneChannel();
    void saveWritesCrLfAfterEveryItem();
    void loadThenSaveKeepsEveryByte_data();
    void loadThenSaveKeepsEveryByte();
    void saveAsksBeforeOverwriting();
    void saveIntoMissingFolderReportsOnce();
    void itemWithLineBreakStaysOneItem();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestSiteFiles::lineRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("lone LF, final LF adds nothing") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("blank line before the final LF") << QByteArray("a\n\n") << QStringList{"a", ""};
    QTest::newRow("blank line in the middle") << QByteArray("a\r\n\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("blanks kept") << QByteArray("  a b  \r\n") << QStringList{"  a b  "};
    QTest::newRow("last line without end") << QByteArray("a\r\nlast") << QStringList{"a", "last"};
    QTest::newRow("mixed") << QByteArray("a\nb\r\nc\rd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("LF alone: one blank line") << QByteArray("\n") << QStringList{""};
    QTest::newRow("CR LF alone") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("LF then CR") << QByteArray("a\n\r") << QStringList{"a", ""};
    QTest::newRow("UTF-8 BOM is not part of the first address")
        << QByteArray("\xEF\xBB\xBFhttp://a/\r\n") << QStringList{"http://a/"};
    QTest::newRow("UTF-8 text") << QByteArray("http://bücher.de/\n") << QStringList{"http://bücher.de/"};
    QTest::newRow("invalid UTF-8: one character per byte")
        << QByteArray("caf\xE9\r\n") << QStringList{QString::fromLatin1("caf\xE9")};
    QTest::newRow("NUL bytes kept") << QByteArray("a\0b\r\n", 5)
                                    << QStringList{QString::fromLatin1("a\0b", 3)};
}

void TestSiteFiles::lineRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, items);
    const QString file = path(QStringLiteral("rules.txt"));
    QVERIFY(writeTestFile(file, bytes));
    FakeUiServices ui;
    FileChannel channel;
    SiteListModel model;
    model.appendSite(QStringLiteral("kept"));
    loadSiteFile(ui, channel, model, file);
    QCOMPARE(itemsOf(model), QStringList{QStringLiteral("kept")} + items);
    QVERIFY(ui.messages.empty());
    QVERIFY(zd::test::channelIsFree(channel));
}

void TestSiteFiles::splitterIsIndependentOfChunking()
{
    const QByteArray bytes("\xEF\xBB\xBF"
                           "a\r\nbb\rccc\n\r\n\rd\r");
    QList<QByteArray> whole;
    SiteLineSplitter reference([&](QByteArrayView line) { whole << line.toByteArray(); });
    reference.feed(bytes);
    reference.finish();
    for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
        QList<QByteArray> pieces;
        SiteLineSplitter splitter([&](QByteArrayView line) { pieces << line.toByteArray(); });
        for (qsizetype at = 0; at < bytes.size(); at += cut)
            splitter.feed(QByteArrayView(bytes).sliced(at, qMin(cut, bytes.size() - at)));
        splitter.finish();
        QCOMPARE(pieces, whole);
    }
}

void TestSiteFiles::chooseTextFilesSetsUpDialogAndKeepsOrder()
{
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    dialogs.nextOpen.push_back({QStringLiteral("/only/one.txt")});
    dialogs.nextOpen.push_back({QStringLiteral("/d/b.txt"), QStringLiteral("/d/a.txt")});
    dialogs.nextOpen.push_back({QStringLiteral("/x"), QStringLiteral("/y")});
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        Procedure procedure(ui, QStringLiteral("in P "));
        chooseTextFiles(procedure, dialogs, [&](const QString &p) { seen << p; });
    }
    QCOMPARE(seen, (QStringList{"/only/one.txt", "/d/b.txt", "/d/a.txt", "/x", "/y"}));
    QCOMPARE(dialogs.shown.size(), size_t(3));
    const DialogSetup &setup = dialogs.shown[0];
    QCOMPARE(setup.title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    QCOMPARE(setup.filter, QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"));
    QVERIFY(setup.multiSelect);
    QCOMPARE(nameFiltersFrom(setup.filter).value(0), QStringLiteral("Text Files (*.txt)"));
    QCOMPARE(nameFiltersFrom(setup.filter).value(1), QStringLiteral("All Files (*)"));
}

void TestSiteFiles::cancelDoesNothing()
{
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    loadListFromTextFiles(ui, dialogs, channel, model);
    QCOMPARE(model.count(), 0);
    QVERIFY(ui.messages.empty());
}

void TestSiteFiles::missingFileInMultiChoice()
{
    QVERIFY(writeTestFile(path(QStringLiteral("m1.txt")), "one\r\n"));
    QVERIFY(writeTestFile(path(QStringLiteral("m3.txt")), "three\r\n"));
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    dialogs.nextOpen.push_back(
        {path(QStringLiteral("m1.txt")), path(QStringLiteral("m2.txt")), path(QStringLiteral("m3.txt"))});
    FileChannel channel;
    SiteListModel model;
    loadListFromTextFiles(ui, dialogs, channel, model);
    QCOMPARE(itemsOf(model), (QStringList{"one", "three"}));
    QCOMPARE(ui.plainMessages(), QStringList{QStringLiteral("File not found")});
    QVERIFY(ui.errorReports().isEmpty());
}

void TestSiteFiles::badInput_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reportStart"); // empty: no report expected
    QTest::addColumn<QStringList>("plain");
    QTest::newRow("folder") << m_dir.path() << "Path/File access error" << QStringList();
    if (const QString unreadable = zd::test::unreadableFile(); !unreadable.isEmpty())
        QTest::newRow("read fails (also for root)") << unreadable << "Device I/O error" << QStringList();
    QTest::newRow("missing") << path(QStringLiteral("none.txt")) << "" << QStringList{"File not found"};
}

void TestSiteFiles::badInput()
{
    QFETCH(QString, target);
    QFETCH(QString, reportStart);
    QFETCH(QStringList, plain);
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    dialogs.nextOpen.push_back({target});
    FileChannel channel;
    SiteListModel model;
    model.appendSite(QStringLiteral("kept"));
    loadListFromTextFiles(ui, dialogs, channel, model);
    QCOMPARE(itemsOf(model), QStringList{QStringLiteral("kept")});
    QCOMPARE(ui.plainMessages(), plain);
    if (reportStart.isEmpty()) {
        QVERIFY(ui.errorReports().isEmpty());
    } else {
        QCOMPARE(ui.errorReports().size(), 1);
        QVERIFY2(ui.errorReports()[0].startsWith(reportStart), qPrintable(ui.errorReports()[0]));
        QCOMPARE(ui.reportLabels(), QStringList{QStringLiteral("118")});
    }
    QVERIFY(zd::test::channelIsFree(channel));
}

void TestSiteFiles::millionLinesAndLongLine()
{
    const QString file = path(QStringLiteral("big.txt"));
    {
        QByteArray bytes;
        bytes.reserve(20'000'000);
        for (int i = 0; i < 1'000'000; ++i)
            bytes += "http://site" + QByteArray::number(i) + ".example/\r\n";
        bytes += QByteArray(10 * 1024 * 1024, 'y');
        QVERIFY(writeTestFile(file, bytes));
    }
    FakeUiServices ui;
    FileChannel channel;
    SiteListModel model;
    loadSiteFile(ui, channel, model, file);
    QCOMPARE(model.count(), 1'000'001);
    QCOMPARE(model.text(1), QStringLiteral("http://site0.example/"));
    QCOMPARE(model.text(1'000'000), QStringLiteral("http://site999999.example/"));
    QCOMPARE(model.text(1'000'001).size(), 10 * 1024 * 1024);
    // Offered a turn every few hundred lines and at every read.
    QVERIFY(ui.pumps >= 1'000'001 / 256);
}

void TestSiteFiles::droppedFilesLoadInOrder()
{
    QVERIFY(writeTestFile(path(QStringLiteral("d1.txt")), "1a\r\n1b\r\n"));
    QVERIFY(writeTestFile(path(QStringLiteral("d2.txt")), "2a"));
    FakeUiServices ui;
    FileChannel channel;
    SiteListModel model;
    loadDroppedFiles(ui, channel, model, {path(QStringLiteral("d2.txt")), path(QStringLiteral("d1.txt"))});
    QCOMPARE(itemsOf(model), (QStringList{"2a", "1a", "1b"}));
    // A folder and a missing file among them: plain sentences that name
    // them, no error report; the rest still loads.
    ui.messages.clear();
    loadDroppedFiles(ui, channel, model,
                     {m_dir.path(), path(QStringLiteral("gone.txt")), path(QStringLiteral("d2.txt"))});
    QCOMPARE(itemsOf(model), (QStringList{"2a", "1a", "1b", "2a"}));
    QCOMPARE(ui.plainMessages(),
             (QStringList{QDir::toNativeSeparators(m_dir.path())
                              + QStringLiteral(" is a folder, not a list of sites."),
                          QStringLiteral("File not found: ")
                              + QDir::toNativeSeparators(path(QStringLiteral("gone.txt")))}));
    QVERIFY(ui.errorReports().isEmpty());
}

void TestSiteFiles::loadAndSaveShareOneChannel()
{
    const QString source = path(QStringLiteral("source.txt"));
    QVERIFY(writeTestFile(source, "a\r\nb\r\nc\r\n"));
    const QString target = path(QStringLiteral("target.txt"));
    QVERIFY(writeTestFile(target, "old\r\n"));

    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    bool triedSave = false;
    ui.onPump = [&] {
        if (triedSave)
            return;
        triedSave = true;
        dialogs.nextSave.push_back(target);
        saveListAsTextFile(ui, dialogs, channel, model);
    };
    loadSiteFile(ui, channel, model, source);
    QVERIFY(triedSave);
    QCOMPARE(itemsOf(model), (QStringList{"a", "b", "c"}));
    QCOMPARE(ui.reportLabels(), QStringList{QStringLiteral("130")});
    QVERIFY(ui.errorReports()[0].startsWith(QStringLiteral("File already open")));
    QCOMPARE(readFile(target), QByteArray("old\r\n"));
    QVERIFY(!ui.plainMessages().contains(QStringLiteral("Done.")));
    QCOMPARE(ui.pointer(), Pointer::Default);

    // And the other way round: a load started during a save.
    FakeUiServices ui2;
    FakeFileDialogs dialogs2;
    SiteListModel second;
    bool triedLoad = false;
    ui2.onPump = [&] {
        if (triedLoad)
            return;
        triedLoad = true;
        Procedure procedure(ui2, QStringLiteral("in Load "));
        procedure.step(118, [&] { loadSiteFile(ui2, channel, second, source); });
    };
    dialogs2.nextSave.push_back(target);
    ui2.nextAnswers.push_back(MessageResult::Yes);
    saveListAsTextFile(ui2, dialogs2, channel, model);
    QVERIFY(triedLoad);
    QCOMPARE(second.count(), 0);
    QCOMPARE(ui2.reportLabels(), QStringList{QStringLiteral("118")});
    QCOMPARE(readFile(target), QByteArray("a\r\nb\r\nc\r\n"));
}

void TestSiteFiles::saveWritesCrLfAfterEveryItem()
{
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    const QString empty = path(QStringLiteral("empty-list.txt"));
    dialogs.nextSave.push_back(empty);
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(readFile(empty), QByteArray());
    QCOMPARE(ui.plainMessages(), QStringList{QStringLiteral("Done.")});

    model.appendSite(QStringLiteral("a"));
    model.appendSite(QStringLiteral("b  "));
    model.appendSite(QStringLiteral("bücher"));
    const QString saved = path(QStringLiteral("saved.txt"));
    dialogs.nextSave.push_back(saved);
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(readFile(saved), QByteArray("a\r\nb  \r\nb\xC3\xBC"
                                         "cher\r\n"));
    QCOMPARE(dialogs.shown.back().title, QStringLiteral("Save"));
    QVERIFY(ui.pointerHistory.size() >= 2);
    QCOMPARE(ui.pointerHistory[ui.pointerHistory.size() - 2], Pointer::Hourglass);
    QCOMPARE(ui.pointer(), Pointer::Default);

    SiteListModel reloaded;
    loadSiteFile(ui, channel, reloaded, saved);
    QCOMPARE(zd::test::textsOf(reloaded), zd::test::textsOf(model));
}

void TestSiteFiles::loadThenSaveKeepsEveryByte_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("saved"); // as written back: CR LF after each line
    QTest::addColumn<QString>("shown");    // the first item as the list shows it
    QTest::newRow("UTF-8") << QByteArray("http://b\xC3\xBC"
                                         "cher.example/\r\n")
                           << QByteArray("http://b\xC3\xBC"
                                         "cher.example/\r\n")
                           << QStringLiteral("http://b\u00FCcher.example/");
    QTest::newRow("Windows-1252") << QByteArray("caf\xE9\r\nna\xEFve\r\n")
                                  << QByteArray("caf\xE9\r\nna\xEFve\r\n") << QStringLiteral("caf\u00E9");
    QTest::newRow("invalid UTF-8") << QByteArray("\xC3\x28\xFF\xFE\r\n") << QByteArray("\xC3\x28\xFF\xFE\r\n")
                                   << QString::fromLatin1("\xC3\x28\xFF\xFE");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n\0\r\n", 8) << QByteArray("a\0b\r\n\0\r\n", 8)
                               << QString::fromLatin1("a\0b", 3);
    QTest::newRow("LF endings become CR LF")
        << QByteArray("x\ny\r\n") << QByteArray("x\r\ny\r\n") << QStringLiteral("x");
    QTest::newRow("last line without ending")
        << QByteArray("x\r\ny") << QByteArray("x\r\ny\r\n") << QStringLiteral("x");
    QTest::newRow("blank lines kept")
        << QByteArray("\r\n \r\n\r\n") << QByteArray("\r\n \r\n\r\n") << QString();
    // Save fills a buffer of 1 MiB and 4 KiB; after "a" CR LF, this fills it
    // to the byte with its own CR LF, one byte more does not fit.
    constexpr qsizetype buffer = (qsizetype{1} << 20) + 4096;
    for (const qsizetype length : {buffer - 5, buffer - 4, qsizetype{2} << 20}) {
        const QByteArray lines = "a\r\n" + QByteArray(length, 'x') + "\r\nz\r\n";
        QTest::addRow("a, an item of %lld bytes, z", qlonglong(length))
            << lines << lines << QStringLiteral("a");
    }
}

void TestSiteFiles::loadThenSaveKeepsEveryByte()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, saved);
    QFETCH(QString, shown);
    const QString source = path(QStringLiteral("bytes-in.txt"));
    const QString target = path(QStringLiteral("bytes-out.txt"));
    QFile::remove(target);
    QVERIFY(writeTestFile(source, file));
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    loadSiteFile(ui, channel, model, source);
    QCOMPARE(model.displayText(0), shown);
    dialogs.nextSave.push_back(target);
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(readFile(target), saved);
    // And once more: a saved list reloads to the same items.
    SiteListModel reloaded;
    loadSiteFile(ui, channel, reloaded, target);
    QCOMPARE(reloaded.count(), model.count());
    for (int i = 1; i <= model.count(); ++i)
        QCOMPARE(reloaded.bytes(i), model.bytes(i));
}

void TestSiteFiles::saveAsksBeforeOverwriting()
{
    const QString target = path(QStringLiteral("exists.txt"));
    QVERIFY(writeTestFile(target, "old\r\n"));
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    model.appendSite(QStringLiteral("new"));

    dialogs.nextSave.push_back(target);
    ui.nextAnswers.push_back(MessageResult::No);
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(readFile(target), QByteArray("old\r\n"));
    QCOMPARE(ui.messages.size(), size_t(1));
    QCOMPARE(ui.messages[0].prompt,
             QStringLiteral("Are you sure you wish to overwrite %1 ?").arg(QDir::toNativeSeparators(target)));
    QCOMPARE(ui.messages[0].style, MessageStyle::YesNo);

    dialogs.nextSave.push_back(target);
    ui.nextAnswers.push_back(MessageResult::Yes);
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(readFile(target), QByteArray("new\r\n"));

    // Cancel in the dialog: nothing at all.
    const size_t before = ui.messages.size();
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(ui.messages.size(), before);
}

void TestSiteFiles::saveIntoMissingFolderReportsOnce()
{
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    for (int i = 0; i < 5; ++i)
        model.appendSite(QStringLiteral("x"));
    dialogs.nextSave.push_back(path(QStringLiteral("no/such/folder/list.txt")));
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(ui.reportLabels(), QStringList{QStringLiteral("130")});
    QVERIFY(ui.plainMessages().isEmpty());
    QCOMPARE(ui.pointer(), Pointer::Default);
    QVERIFY(zd::test::channelIsFree(channel));

    dialogs.nextSave.push_back(m_dir.path()); // a folder
    saveListAsTextFile(ui, dialogs, channel, model);
    QCOMPARE(ui.errorReports().size(), 2);
}

// A line break inside an item is not written: reloaded, the list has the
// same number of items, which a browser reads as the same addresses.
void TestSiteFiles::itemWithLineBreakStaysOneItem()
{
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    model.appendSite(QStringLiteral("a\nb"));
    model.appendSite(QStringLiteral("c\rd"));
    model.appendSite(QStringLiteral("\r\n"));
    model.appendSite(QStringLiteral("e\tf"));
    zd::test::appendItems(model, {"http://p/|g\nh", "i\r|\nj"}); // a page's links
    const QString saved = path(QStringLiteral("breaks.txt"));
    dialogs.nextSave.push_back(saved);
    saveListAsTextFile(ui, dialogs, channel, model);
    SiteListModel reloaded;
    loadSiteFile(ui, channel, reloaded, saved);
    QCOMPARE(itemsOf(reloaded), (QStringList{"ab", "cd", "", "e\tf", "http://p/gh", "ij"}));
}

QTEST_GUILESS_MAIN(TestSiteFiles)
#include "tst_sitefiles.moc"
