#include "support/listchecks.h"
#include "core/errorreport.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/siteedits.h"
#include "sitelist/sitelistmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace zd;
using zd::test::FakeUiServices;

// Records of the store's pages.
constexpr int kPage = 131'072;

class TestSiteListModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fullListRefusesMoreAsOutOfMemory();
    void appendsAreKeptVerbatimAndBatched();
    void modelIsConsistentUnderEdits();
    void indexOutsideListFails();
    void longItemKeepsWholeTextButShowsItsStart();
    void removal_data();
    void removal();
    void addSingleUrl_data();
    void addSingleUrl();
    void clearListIgnoredWhileBusy();
    void samplesTwiceGiveSixInOrder();
    void listHelpers_data();
    void listHelpers();
    void longHelpersLeaveTheWindowAnswering_data();
    void longHelpersLeaveTheWindowAnswering();
    void aLongPasteIsTakenInSlices_data();
    void aLongPasteIsTakenInSlices();
    void headerToolTipCountsTheSites();
    void storeKeepsOrderAcrossItsEdges_data();
    void storeKeepsOrderAcrossItsEdges();
    void itemsKeepTheirBytes();
    void snapshotIsUnchangedByLaterEdits();
    void displayCutsLongItemsWhereACharacterBegins();
    void storesAreTakenOverWhole_data();
    void storesAreTakenOverWhole();
};

void TestSiteListModel::appendsAreKeptVerbatimAndBatched()
{
    SiteListModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const QStringList texts{QString(), QStringLiteral("   "), QStringLiteral("a"), QStringLiteral("a"),
                            QStringLiteral("http://x/ y")};
    for (const QString &text : texts)
        model.appendSite(text);
    QCOMPARE(model.count(), 5);
    QCOMPARE(model.rowCount(), 0); // announced when the event loop turns
    QCoreApplication::processEvents();
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(inserted.count(), 1);
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(model.text(i), texts[i - 1]);
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Site(s)"));
}

void TestSiteListModel::modelIsConsistentUnderEdits()
{
    SiteListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 100; ++i)
        model.appendSite(QString::number(i));
    model.remove(100); // pending rows are announced first
    model.remove(1);
    QCOMPARE(model.count(), 98);
    QCOMPARE(model.text(1), QStringLiteral("1"));
    QCOMPARE(model.data(model.index(97, 0), Qt::DisplayRole).toString(), QStringLiteral("98"));
    model.clear();
    QCOMPARE(model.count(), 0);
    QCOMPARE(model.rowCount(), 0);
    model.appendSite(QStringLiteral("again"));
    QCoreApplication::processEvents();
    QCOMPARE(model.rowCount(), 1);
}

void TestSiteListModel::indexOutsideListFails()
{
    SiteListModel model;
    model.appendSite(QStringLiteral("a"));
    QVERIFY_THROWS_EXCEPTION(Failure, model.text(0));
    QVERIFY_THROWS_EXCEPTION(Failure, model.text(2));
    QVERIFY_THROWS_EXCEPTION(Failure, model.remove(2));
}

void TestSiteListModel::longItemKeepsWholeTextButShowsItsStart()
{
    SiteListModel model;
    const QString big(10 * 1024 * 1024, QLatin1Char('x'));
    model.appendSite(big);
    model.flushPending();
    QCOMPARE(model.text(1).size(), big.size());
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString().size(), SiteListModel::kDisplayLimit);
    QCOMPARE(model.data(model.index(0, 0), Qt::EditRole).toString().size(), big.size());
}

void TestSiteListModel::removal_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("remaining");
    QTest::newRow("middle") << 3 << 2 << false << "1,3";
    QTest::newRow("last") << 3 << 3 << false << "1,2";
    QTest::newRow("first") << 3 << 1 << false << "2,3";
    QTest::newRow("nothing selected") << 3 << 0 << false << "1,2,3";
    QTest::newRow("empty list") << 0 << 0 << false << "";
    QTest::newRow("busy") << 3 << 1 << true << "1,2,3";
    QTest::newRow("stale selection") << 3 << 7 << false << "1,2,3";
}

void TestSiteListModel::removal()
{
    QFETCH(int, items);
    QFETCH(int, selected);
    QFETCH(bool, busy);
    QFETCH(QString, remaining);
    FakeUiServices ui;
    SiteListModel model;
    for (int i = 1; i <= items; ++i)
        model.appendSite(QString::number(i));
    if (busy)
        ui.setPointer(Pointer::Hourglass);
    removeSite(ui, model, selected);
    QStringList left;
    for (int i = 1; i <= model.count(); ++i)
        left << model.text(i);
    QCOMPARE(left.join(QLatin1Char(',')), remaining);
    QVERIFY(ui.messages.empty());
}

void TestSiteListModel::addSingleUrl_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("added");
    QTest::newRow("cancel or empty") << QString() << 0;
    QTest::newRow("three blanks") << QStringLiteral("   ") << 1;
    QTest::newRow("address") << QStringLiteral("www.a.org") << 1;
}

void TestSiteListModel::addSingleUrl()
{
    QFETCH(QString, typed);
    QFETCH(int, added);
    FakeUiServices ui;
    SiteListModel model;
    model.appendSite(QStringLiteral("first"));
    ui.nextInputs.push_back(typed);
    zd::addSingleUrl(ui, model);
    QCOMPARE(ui.inputPrompts, QStringList{QStringLiteral("Enter website address to add: ")});
    QCOMPARE(model.count(), 1 + added);
    if (added)
        QCOMPARE(model.text(2), typed);
}

void TestSiteListModel::clearListIgnoredWhileBusy()
{
    FakeUiServices ui;
    SiteListModel model;
    model.appendSite(QStringLiteral("a"));
    ui.setPointer(Pointer::Hourglass);
    clearList(ui, model);
    QCOMPARE(model.count(), 1);
    ui.setPointer(Pointer::Default);
    clearList(ui, model);
    QCOMPARE(model.count(), 0);
    clearList(ui, model);
    QVERIFY(ui.messages.empty());
}

void TestSiteListModel::samplesTwiceGiveSixInOrder()
{
    FakeUiServices ui;
    SiteListModel model;
    loadSampleSites(ui, model);
    loadSampleSites(ui, model);
    const QStringList expected{kSample1, kSample2, kSample3, kSample1, kSample2, kSample3};
    QCOMPARE(zd::test::textsOf(model), expected);
    QVERIFY(kSample1.startsWith(QStringLiteral("http://www.")) && kSample1.endsWith(QLatin1Char('/')));
    for (const QString &bare : {kSample2, kSample3})
        QVERIFY(bare.startsWith(QStringLiteral("www.")) && !bare.endsWith(QLatin1Char('/')));
}

void TestSiteListModel::listHelpers_data()
{
    QTest::addColumn<QString>("helper");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("paste: lines as a file's")
        << "paste" << QStringList{"x"} << "a\r\nb\rc\n\nd" << QStringList{"x", "a", "b", "c", "", "d"};
    QTest::newRow("paste: nothing") << "paste" << QStringList{"x"} << "" << QStringList{"x"};
    QTest::newRow("paste: final line break adds nothing") << "paste" << QStringList() << "a\r\n"
                                                          << QStringList{"a"};
    QTest::newRow("duplicates: first kept, order kept")
        << "duplicates" << QStringList{"b", "a", "b", "c", "a", "b"} << "" << QStringList{"b", "a", "c"};
    QTest::newRow("duplicates: case and blanks differ")
        << "duplicates" << QStringList{"A", "a", "a ", "a"} << "" << QStringList{"A", "a", "a "};
    QTest::newRow("duplicates: none") << "duplicates" << QStringList{"a", "b"} << "" << QStringList{"a", "b"};
    QTest::newRow("duplicates: empty list") << "duplicates" << QStringList() << "" << QStringList();
    QTest::newRow("duplicates: one item") << "duplicates" << QStringList{"a"} << "" << QStringList{"a"};
    QTest::newRow("duplicates: the last of two")
        << "duplicates" << QStringList{"a", "a"} << "" << QStringList{"a"};
    // "head|tail": a page's link, its page's address kept once.
    QTest::newRow("duplicates: a page's links as typed")
        << "duplicates"
        << QStringList{"http://p/|x", "http://p/x", "http://p/|x", "http://q/|x", "http://p/|"} << ""
        << QStringList{"http://p/x", "http://q/x", "http://p/"};
    QTest::newRow("duplicates: split anywhere")
        << "duplicates" << QStringList{"http:|//p/x", "http://p/x", "http://p|/x", "http://p/x|"} << ""
        << QStringList{"http://p/x"};
    QTest::newRow("blanks: a page's links are none")
        << "blanks" << QStringList{"http://p/|", " ", "http://p/| ", " | "} << ""
        << QStringList{"http://p/", "http://p/ "};
    QTest::newRow("blanks") << "blanks" << QStringList{"", "a", " ", "\t", "b", ""} << ""
                            << QStringList{"a", "b"};
    QTest::newRow("blanks: empty list") << "blanks" << QStringList() << "" << QStringList();
}

void TestSiteListModel::listHelpers()
{
    QFETCH(QString, helper);
    QFETCH(QStringList, before);
    QFETCH(QString, pasted);
    QFETCH(QStringList, after);
    FakeUiServices ui;
    SiteListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString &item : before) {
        if (item.contains(QLatin1Char('|')))
            zd::test::appendItems(model, {item.toUtf8()});
        else
            model.appendSite(item);
    }
    if (helper == QLatin1String("paste"))
        pasteAddresses(ui, model, pasted);
    else if (helper == QLatin1String("duplicates"))
        QCOMPARE(removeDuplicateSites(ui, model), before.size() - after.size());
    else
        QCOMPARE(removeBlankSites(ui, model), before.size() - after.size());
    QCOMPARE(zd::test::textsOf(model), after);
    // The helpers say what they removed.
    const qsizetype removed = before.size() - after.size();
    const auto said = [&](const QString &one, const QString &many) {
        if (removed == 0)
            return QStringLiteral("No %1 found.").arg(many);
        return QStringLiteral("%1 %2 removed.").arg(removed).arg(removed == 1 ? one : many);
    };
    if (helper == QLatin1String("duplicates"))
        QCOMPARE(ui.plainMessages(),
                 QStringList{said(QStringLiteral("duplicate"), QStringLiteral("duplicates"))});
    else if (helper == QLatin1String("blanks"))
        QCOMPARE(ui.plainMessages(),
                 QStringList{said(QStringLiteral("blank line"), QStringLiteral("blank lines"))});
    QCoreApplication::processEvents();
    QCOMPARE(model.rowCount(), after.size());
    // The busy pointer while it runs, the default after.
    QCOMPARE(ui.pointerHistory, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));
    // Nothing while the window is busy.
    ui.setPointer(Pointer::Hourglass);
    model.appendSite(QString());
    model.appendSite(QString());
    removeBlankSites(ui, model);
    removeDuplicateSites(ui, model);
    pasteAddresses(ui, model, QStringLiteral("z"));
    QCOMPARE(model.count(), after.size() + 2);
}

// A long list is searched for duplicates or blanks with the window
// answering: items added meanwhile come after the command and stay, a close
// meanwhile leaves the list as it was, and a list that loses nothing is not
// reset under its view.
void TestSiteListModel::longHelpersLeaveTheWindowAnswering_data()
{
    QTest::addColumn<QString>("helper");
    QTest::newRow("duplicates") << "duplicates";
    QTest::newRow("blanks") << "blanks";
}

void TestSiteListModel::longHelpersLeaveTheWindowAnswering()
{
    QFETCH(QString, helper);
    // Enough that the search, on a thread of its own, outlasts a wait or two.
    constexpr int kItems = 100'000;
    const bool duplicates = helper == QLatin1String("duplicates");
    // Every fifth item goes: a repeat of an earlier one, or a blank.
    const auto item = [&](int i) {
        if (i % 5 == 4)
            return duplicates ? QStringLiteral("https://example.com/%1").arg(i - 4) : QStringLiteral(" ");
        return QStringLiteral("https://example.com/%1").arg(i);
    };
    const auto run = [&](FakeUiServices &ui, SiteListModel &model) {
        return duplicates ? removeDuplicateSites(ui, model) : removeBlankSites(ui, model);
    };
    QStringList kept;
    for (int i = 0; i < kItems; ++i) {
        if (i % 5 != 4)
            kept << item(i);
    }
    {
        FakeUiServices ui;
        SiteListModel model;
        for (int i = 0; i < kItems; ++i)
            model.appendSite(item(i));
        bool added = false;
        ui.onPump = [&] {
            if (!std::exchange(added, true))
                model.appendSite(item(4)); // one that goes, but late
        };
        QCOMPARE(run(ui, model), kItems / 5);
        // The window went on meanwhile: the item it added is kept. (How long
        // it idled depends on the machine: a quick scan may end first.)
        QVERIFY(added);
        QCOMPARE(zd::test::textsOf(model), kept + QStringList{item(4)});
    }
    {
        FakeUiServices ui;
        SiteListModel model;
        for (int i = 0; i < kItems; ++i)
            model.appendSite(item(i));
        ui.pumpsBeforeStop = 0;
        QVERIFY_THROWS_EXCEPTION(StopRequested, run(ui, model));
        QCOMPARE(model.count(), kItems);
        QCOMPARE(model.text(kItems), item(kItems - 1));
        QCOMPARE(ui.pointer(), Pointer::Default);
    }
    {
        FakeUiServices ui;
        SiteListModel model;
        for (const QString &text : kept)
            model.appendSite(text);
        model.flushPending();
        QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
        QCOMPARE(run(ui, model), 0);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(zd::test::textsOf(model), kept);
    }
}

// A pasted text is taken a mebicharacter at a time: what straddles the cut
// (a line break of two characters, a character of two UTF-16 units) is
// taken whole.
void TestSiteListModel::aLongPasteIsTakenInSlices_data()
{
    constexpr qsizetype kSlice = qsizetype{1} << 20;
    const QString longLine(kSlice - 1, QLatin1Char('a'));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF across the cut") << longLine + QStringLiteral("\r\nb") << QStringList{longLine, "b"};
    QTest::newRow("a surrogate pair across the cut")
        << longLine + emoji + QStringLiteral("\nb") << QStringList{longLine + emoji, "b"};
    QTest::newRow("a line break just before the cut") << longLine.left(kSlice - 2) + QStringLiteral("\n\nb")
                                                      << QStringList{longLine.left(kSlice - 2), "", "b"};
}

void TestSiteListModel::aLongPasteIsTakenInSlices()
{
    QFETCH(QString, pasted);
    QFETCH(QStringList, lines);
    FakeUiServices ui;
    SiteListModel model;
    pasteAddresses(ui, model, pasted);
    QCOMPARE(model.count(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(model.text(i + 1) == lines[i], qPrintable(QStringLiteral("line %1").arg(i + 1)));
}

void TestSiteListModel::headerToolTipCountsTheSites()
{
    SiteListModel model;
    const auto tip = [&] { return model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(); };
    QCOMPARE(tip(), QStringLiteral("0 sites"));
    model.appendSite(QStringLiteral("a"));
    QCOMPARE(tip(), QStringLiteral("1 site"));
    for (int i = 1; i < 1'000'000; ++i)
        model.appendSite(QStringLiteral("a"));
    QCOMPARE(tip(), QStringLiteral("1,000,000 sites"));
}

// Records come in pages of 131,072 and bytes in blocks of 4 MiB: removals
// and filters must close up across both.
void TestSiteListModel::storeKeepsOrderAcrossItsEdges_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("at"); // item removed, from 1; or every n-th kept
    constexpr int page = kPage;
    QTest::newRow("one item, removed") << 1 << "remove" << 1;
    QTest::newRow("a page, its last removed") << page << "remove" << page;
    QTest::newRow("a page and one, the first removed") << page + 1 << "remove" << 1;
    QTest::newRow("three pages, one near the first edge") << 3 * page + 5 << "remove" << page - 1;
    QTest::newRow("three pages, the first of the second") << 3 * page + 5 << "remove" << page + 1;
    QTest::newRow("three pages, every third kept") << 3 * page + 5 << "keep" << 3;
    QTest::newRow("a page, none kept") << page << "keep" << 0;
    QTest::newRow("three pages, all but one kept") << 3 * page + 5 << "keep" << -(2 * page);
    QTest::newRow("three pages, marks for one, every second") << 3 * page + 5 << "marks for one page" << 2;
}

void TestSiteListModel::storeKeepsOrderAcrossItsEdges()
{
    constexpr int page = kPage;
    QFETCH(int, items);
    QFETCH(QString, edit);
    QFETCH(int, at);
    SiteListModel model;
    // Items of 1 to 64 bytes, so blocks fill at uneven points too.
    const auto item = [](int i) { return QByteArray::number(i) + QByteArray(i % 57, 'x'); };
    for (int i = 0; i < items; ++i)
        model.appendSiteBytes(item(i));
    std::vector<int> expected;
    if (edit == QLatin1String("remove")) {
        model.remove(at);
        for (int i = 0; i < items; ++i)
            if (i != at - 1)
                expected.push_back(i);
    } else {
        // Every at-th item is marked to stay (at < 0: all but item -at);
        // items beyond the marks stay.
        std::vector<char> marks(size_t(edit == QLatin1String("keep") ? items : page));
        for (int i = 0; i < items; ++i) {
            const bool stays = i >= int(marks.size()) || (at < 0 ? i != -at : at > 0 && i % at == 0);
            if (i < int(marks.size()))
                marks[size_t(i)] = stays ? 1 : 0;
            if (stays)
                expected.push_back(i);
        }
        QCOMPARE(model.retainMarked(marks), qsizetype(items) - qsizetype(expected.size()));
    }
    QCOMPARE(model.count(), int(expected.size()));
    for (size_t k = 0; k < expected.size(); ++k) {
        if (model.bytes(int(k) + 1) != item(expected[k]))
            QFAIL(qPrintable(QStringLiteral("item %1 is not %2").arg(k + 1).arg(expected[k])));
    }
    // And it grows on from there.
    model.appendSiteBytes("last");
    QCOMPARE(model.bytes(model.count()), QByteArrayView("last"));
}

void TestSiteListModel::itemsKeepTheirBytes()
{
    SiteListModel model;
    const QByteArray big(5 << 20, 'b'); // more than a block
    model.appendSiteBytes("caf\xE9");
    model.appendSiteBytes(QByteArrayView("a\0b", 3));
    model.appendSiteBytes(big);
    model.appendSiteBytes(QByteArrayView());
    model.appendSiteBytes("http://page/dir", "/x.html");
    model.appendSite(QStringLiteral("b\u00FCcher"));
    QCOMPARE(model.count(), 6);
    QCOMPARE(model.bytes(1), QByteArrayView("caf\xE9"));
    QCOMPARE(model.text(1), QStringLiteral("caf\u00E9")); // one character per byte
    QCOMPARE(model.bytes(2), QByteArrayView("a\0b", 3));
    QCOMPARE(model.bytes(3), QByteArrayView(big));
    QCOMPARE(model.bytes(4).size(), 0);
    QCOMPARE(model.bytes(5), QByteArrayView("http://page/dir/x.html"));
    QCOMPARE(model.bytes(6), QByteArrayView("b\xC3\xBC"
                                            "cher"));
    QVERIFY_THROWS_EXCEPTION(Failure, model.bytes(7));

    // Lengths on either side of where an item gets a block of its own and
    // of where its record can no longer hold its length; short ones between.
    SiteListModel edges;
    const QList<int> lengths{131'071, 131'072, 131'073, 262'142, 262'143, 262'144};
    for (const int length : lengths) {
        edges.appendSiteBytes(QByteArray(length, char('a' + length % 26)));
        edges.appendSiteBytes("short");
    }
    QCOMPARE(edges.count(), 2 * lengths.size());
    for (int i = 0; i < lengths.size(); ++i) {
        QCOMPARE(edges.bytes(2 * i + 1), QByteArrayView(QByteArray(lengths[i], char('a' + lengths[i] % 26))));
        QCOMPARE(edges.bytes(2 * i + 2), QByteArrayView("short"));
    }
}

void TestSiteListModel::snapshotIsUnchangedByLaterEdits()
{
    SiteListModel model;
    for (const char *item : {"a", "b", "c"})
        model.appendSiteBytes(item);
    const std::shared_ptr<const SiteStore> before = model.snapshot();
    model.remove(2);
    model.appendSiteBytes("d");
    model.retainMarked({0, 1, 1}); // a, c, d: "a" goes
    QCOMPARE(before->size(), 3);
    QCOMPARE(before->at(1), QByteArrayView("b"));
    QCOMPARE(zd::test::textsOf(model), (QStringList{"c", "d"}));
    model.clear();
    QCOMPARE(before->at(2), QByteArrayView("c"));
}

void TestSiteListModel::displayCutsLongItemsWhereACharacterBegins()
{
    SiteListModel model;
    // "\xC3\xA9" straddles the display limit: shown without either half.
    QByteArray item(SiteListModel::kDisplayLimit - 1, 'a');
    item += "\xC3\xA9tail";
    model.appendSiteBytes(item);
    const QString shown = model.displayText(0);
    QCOMPARE(shown.size(), SiteListModel::kDisplayLimit - 1);
    QVERIFY(!shown.contains(QChar(0xE9)) && !shown.contains(QChar(0xC3)));
    QCOMPARE(model.text(1).size(), item.size() - 1); // the whole item, decoded
}

void TestSiteListModel::fullListRefusesMoreAsOutOfMemory()
{
    // A list that takes three items stands for one at the largest count.
    SiteListModel model(nullptr, 3);
    FakeUiServices ui;
    Procedure procedure(ui, QStringLiteral("in P "));
    for (const char *item : {"a", "b", "c", "d"})
        procedure.step(100, [&] { model.appendSite(QString::fromLatin1(item)); });
    procedure.step(102, [&] { model.appendSiteBytes("e"); });
    procedure.step(104, [&] { model.appendSiteBytes("f", "g"); });
    QCOMPARE(model.count(), 3);
    QCOMPARE(zd::test::textsOf(model), (QStringList{"a", "b", "c"}));
    QCOMPARE(ui.reportLabels(), (QStringList{"100", "102", "104"}));
    QVERIFY(ui.errorReports().first().startsWith(QStringLiteral("Out of memory")));
    // Room again once one goes.
    model.remove(1);
    model.appendSite(QStringLiteral("d"));
    QCOMPARE(zd::test::textsOf(model), (QStringList{"b", "c", "d"}));
}

void TestSiteListModel::storesAreTakenOverWhole_data()
{
    QTest::addColumn<int>("before");  // items already in the list
    QTest::addColumn<int>("offered"); // items of the store taken over
    QTest::addColumn<int>("capacity");
    QTest::newRow("into an empty list") << 0 << 3 << 100;
    QTest::newRow("after items") << 2 << 3 << 100;
    QTest::newRow("nothing offered") << 2 << 0 << 100;
    QTest::newRow("exactly fills it") << 2 << 3 << 5;
    QTest::newRow("one too many: keeps what fits") << 2 << 4 << 5;
    QTest::newRow("empty list, too many") << 0 << 7 << 5;
    QTest::newRow("full already") << 5 << 1 << 5;
    // More than one block and one page of records.
    QTest::newRow("many, after items") << 3 << 300'000 << 1'000'000;
}

void TestSiteListModel::storesAreTakenOverWhole()
{
    QFETCH(int, before);
    QFETCH(int, offered);
    QFETCH(int, capacity);
    zd::SiteListModel model(nullptr, capacity);
    QAbstractItemModelTester tester(&model);
    for (int i = 0; i < before; ++i)
        model.appendSite(QStringLiteral("old%1").arg(i));
    const auto kept = model.snapshot();
    zd::SiteStore store;
    for (int i = 0; i < offered; ++i)
        store.append(QByteArray("https://new.example/").append(QByteArray::number(i)));
    bool refused = false;
    try {
        model.appendSites(std::move(store));
    } catch (const std::bad_alloc &) {
        refused = true;
    }
    model.flushPending();
    const int fits = qMin(offered, capacity - before);
    QCOMPARE(refused, offered > fits);
    QCOMPARE(model.rowCount(), before + fits);
    QCOMPARE(store.size(), 0);
    for (int i = 0; i < before; ++i)
        QCOMPARE(model.text(i + 1), QStringLiteral("old%1").arg(i));
    for (int i = 0; i < fits; i += qMax(1, fits / 1000))
        QCOMPARE(model.text(before + i + 1), QStringLiteral("https://new.example/%1").arg(i));
    if (fits > 0)
        QCOMPARE(model.text(before + fits), QStringLiteral("https://new.example/%1").arg(fits - 1));
    // A snapshot taken before does not see them.
    QCOMPARE(kept->size(), qsizetype(before));
    // And the list goes on growing after them.
    if (before + fits < capacity) {
        model.appendSite(QStringLiteral("later"));
        QCOMPARE(model.text(model.count()), QStringLiteral("later"));
    }
}

QTEST_GUILESS_MAIN(TestSiteListModel)
#include "tst_sitelistmodel.moc"
