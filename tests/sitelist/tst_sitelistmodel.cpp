#include "app/core/errorreport.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/siteedits.h"
#include "sitelist/sitelistmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace zd;
using zd::test::FakeUiServices;

class TestSiteListModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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
    void headerToolTipCountsTheSites();
};

void TestSiteListModel::appendsAreKeptVerbatimAndBatched()
{
    SiteListModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const QStringList texts{QString(), QStringLiteral("   "), QStringLiteral("a"), QStringLiteral("a"),
                            QStringLiteral("http://x/ y")};
    for (const QString &text : texts)
        model.AppendSite(text);
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
        model.AppendSite(QString::number(i));
    model.remove(100); // pending rows are announced first
    model.remove(1);
    QCOMPARE(model.count(), 98);
    QCOMPARE(model.text(1), QStringLiteral("1"));
    QCOMPARE(model.data(model.index(97, 0), Qt::DisplayRole).toString(), QStringLiteral("98"));
    model.clear();
    QCOMPARE(model.count(), 0);
    QCOMPARE(model.rowCount(), 0);
    model.AppendSite(QStringLiteral("again"));
    QCoreApplication::processEvents();
    QCOMPARE(model.rowCount(), 1);
}

void TestSiteListModel::indexOutsideListFails()
{
    SiteListModel model;
    model.AppendSite(QStringLiteral("a"));
    QVERIFY_THROWS_EXCEPTION(Failure, model.text(0));
    QVERIFY_THROWS_EXCEPTION(Failure, model.text(2));
    QVERIFY_THROWS_EXCEPTION(Failure, model.remove(2));
}

void TestSiteListModel::longItemKeepsWholeTextButShowsItsStart()
{
    SiteListModel model;
    const QString big(10 * 1024 * 1024, QLatin1Char('x'));
    model.AppendSite(big);
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
        model.AppendSite(QString::number(i));
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
    model.AppendSite(QStringLiteral("first"));
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
    model.AppendSite(QStringLiteral("a"));
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
    QCOMPARE(model.texts(), expected);
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
    for (const QString &item : before)
        model.AppendSite(item);
    if (helper == QLatin1String("paste"))
        pasteAddresses(ui, model, pasted);
    else if (helper == QLatin1String("duplicates"))
        QCOMPARE(removeDuplicateSites(ui, model), before.size() - after.size());
    else
        QCOMPARE(removeBlankSites(ui, model), before.size() - after.size());
    QCOMPARE(model.texts(), after);
    QCoreApplication::processEvents();
    QCOMPARE(model.rowCount(), after.size());
    // The busy pointer while it runs, the default after.
    QCOMPARE(ui.pointerHistory, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default}));
    // Nothing while the window is busy.
    ui.setPointer(Pointer::Hourglass);
    model.AppendSite(QString());
    model.AppendSite(QString());
    removeBlankSites(ui, model);
    removeDuplicateSites(ui, model);
    pasteAddresses(ui, model, QStringLiteral("z"));
    QCOMPARE(model.count(), after.size() + 2);
}

void TestSiteListModel::headerToolTipCountsTheSites()
{
    SiteListModel model;
    const auto tip = [&] { return model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(); };
    QCOMPARE(tip(), QStringLiteral("0 sites"));
    model.AppendSite(QStringLiteral("a"));
    QCOMPARE(tip(), QStringLiteral("1 site"));
    for (int i = 1; i < 1'000'000; ++i)
        model.AppendSite(QStringLiteral("a"));
    QCOMPARE(tip(), QStringLiteral("1,000,000 sites"));
}

QTEST_GUILESS_MAIN(TestSiteListModel)
#include "tst_sitelistmodel.moc"
