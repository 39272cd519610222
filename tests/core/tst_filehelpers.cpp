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
    void fileExists();
    void deleteFileQuietly();
};

void TestFileHelpers::fileExists()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(test::writeTestFile(file));
    QVERIFY(FileExists(file));
    QVERIFY(FileExists(dir.path())); // folders have a modification time too
    QVERIFY(!FileExists(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FileExists(QStringLiteral("/no/such/drive/x")));
}

void TestFileHelpers::deleteFileQuietly()
{
    FakeUiServices ui;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ro.txt"));
    QVERIFY(test::writeTestFile(file));
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
    DeleteFileQuietly(ui, file);
    QVERIFY(!QFile::exists(file));
    QVERIFY(ui.pumps >= 1);

    DeleteFileQuietly(ui, dir.filePath(QStringLiteral("missing")));
    QVERIFY(ui.messages.empty());
    QVERIFY_THROWS_EXCEPTION(Failure, ForceDeleteFile(dir.filePath(QStringLiteral("missing"))));
}

QTEST_GUILESS_MAIN(TestFileHelpers)
#include "tst_filehelpers.moc"
