#include "core/errorreport.h"
#include "core/filehelpers.h"
#include "fakes/fakeuiservices.h"
#include "support/testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zd;
using zd::test::FakeUiServices;

class TestFileHelpers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void existence();
    void quietDeletion();
};

void TestFileHelpers::existence()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(test::writeTestFile(file));
    QVERIFY(fileExists(file));
    QVERIFY(fileExists(dir.path())); // folders have a modification time too
    QVERIFY(!fileExists(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(!fileExists(QString()));
    QVERIFY(!fileExists(QStringLiteral("/no/such/drive/x")));
}

void TestFileHelpers::quietDeletion()
{
    FakeUiServices ui;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ro.txt"));
    QVERIFY(test::writeTestFile(file));
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
    deleteFileQuietly(ui, file);
    QVERIFY(!QFile::exists(file));
    QVERIFY(ui.pumps >= 1);

    deleteFileQuietly(ui, dir.filePath(QStringLiteral("missing")));
    QVERIFY(ui.messages.empty());
    QVERIFY_THROWS_EXCEPTION(Failure, forceDeleteFile(dir.filePath(QStringLiteral("missing"))));
}

QTEST_GUILESS_MAIN(TestFileHelpers)
#include "tst_filehelpers.moc"
