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
#include "support/faultyfilesystems.h"
#include "support/savechecks.h"
#include "support/testfiles.h"

#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <cstring>

using namespace zd;
using zd::test::FakeFileDialogs;
using zd::test::FakeUiServices;
using zd::test::readFile;
using zd::test::saveTo;
using zd::test::writeTestFile;

class TestSiteFilesPosix : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void namedPipeDoesNotHang();
    void failedSaveKeepsOldFileAndSaysNoDone_data();
    void failedSaveKeepsOldFileAndSaysNoDone();
    void saveRefusesSpecialFiles();
    void saveKeepsPermissionsAndLinks();
    void saveKeepsAclAndAttributes();
    void targetReplacedDuringTheSaveIsLeftAlone();
    void linkInACircleIsRefused();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestSiteFilesPosix::namedPipeDoesNotHang()
{
    const QString fifo = path(QStringLiteral("save-pipe"));
    QVERIFY2(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0, strerror(errno));
    FakeUiServices ui;
    FileChannel channel;
    SiteListModel model;
    Procedure procedure(ui, QStringLiteral("in P "));
    procedure.step(118, [&] { loadSiteFile(ui, channel, model, fifo); });
    QCOMPARE(ui.errorReports().size(), 1);
    QCOMPARE(model.count(), 0);
}

void TestSiteFilesPosix::saveKeepsAclAndAttributes()
{
    // chmod 640 f; setfacl -m u:daemon:rw f; setfattr -n user.note -v kept f
    const QString file = path(QStringLiteral("shared.txt"));
    QVERIFY(writeTestFile(file, "old\r\n"));
    const QByteArray name = QFile::encodeName(file);
    QCOMPARE(::chmod(name.constData(), 0640), 0);
    const auto entry = [](quint16 tag, quint16 permissions, quint32 id) {
        QByteArray bytes(8, '\0');
        std::memcpy(bytes.data(), &tag, 2);
        std::memcpy(bytes.data() + 2, &permissions, 2);
        std::memcpy(bytes.data() + 4, &id, 4);
        return bytes;
    };
    const quint32 daemon = 1;
    const QByteArray acl = QByteArray("\x02\0\0\0", 4) + entry(0x01, 6, ~0u) + entry(0x02, 6, daemon)
                           + entry(0x04, 4, ~0u) + entry(0x10, 6, ~0u) + entry(0x20, 0, ~0u);
    if (::setxattr(name.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) != 0
        || ::setxattr(name.constData(), "user.note", "kept", 4, 0) != 0)
        QSKIP("this file system keeps no ACLs or user attributes");
    QVERIFY(saveTo(file, {QStringLiteral("http://new/")})->plainMessages().contains(QStringLiteral("Done.")));
    QCOMPARE(readFile(file), QByteArray("http://new/\r\n"));
    char value[256];
    const ssize_t aclSize = ::getxattr(name.constData(), "system.posix_acl_access", value, sizeof value);
    QCOMPARE(QByteArray(value, int(qMax<ssize_t>(aclSize, 0))), acl);
    const ssize_t noteSize = ::getxattr(name.constData(), "user.note", value, sizeof value);
    QCOMPARE(QByteArray(value, int(qMax<ssize_t>(noteSize, 0))), QByteArray("kept"));
    struct stat info
    {
    };
    QCOMPARE(::stat(name.constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, 0660u); // the group bits show the ACL's mask, as before
}

void TestSiteFilesPosix::saveRefusesSpecialFiles()
{
    const QString fifo = path(QStringLiteral("special-pipe"));
    QVERIFY2(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0, strerror(errno));
    const QString linkToFifo = path(QStringLiteral("link-to-pipe"));
    QVERIFY(QFile::link(fifo, linkToFifo));
    QStringList targets{fifo, linkToFifo};
    // A private device node, never the system's: needs root.
    const QString device = path(QStringLiteral("null-device"));
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        const QString linkToDevice = path(QStringLiteral("link-to-device"));
        QVERIFY(QFile::link(device, linkToDevice));
        targets << device << linkToDevice;
    }
    for (const QString &target : std::as_const(targets)) {
        const auto ui = saveTo(target, {QStringLiteral("http://a/")});
        QVERIFY2(ui->errorReports().value(0).contains(QStringLiteral("is not a regular file")),
                 qPrintable(target));
        QVERIFY(!ui->plainMessages().contains(QStringLiteral("Done.")));
        const QFileInfo after(target);
        QVERIFY2(after.exists() && !after.isFile(), qPrintable(target));
    }
}

void TestSiteFilesPosix::failedSaveKeepsOldFileAndSaysNoDone()
{
    QFETCH(QString, fault);
    QFETCH(int, items);
    const bool fullDisk = fault == QLatin1String("full disk");
    QTemporaryDir mountPoint;
    std::optional<test::SmallFileSystem> disk;
    QString folder = m_dir.path();
    if (fullDisk) {
        disk.emplace(mountPoint.path(), 64 * 1024);
        if (!disk->mounted())
            QSKIP("mounting a small tmpfs needs root; the full-disk rows run in CI");
        folder = mountPoint.path();
    }
    const QString target = folder + QStringLiteral("/list.txt");
    QVERIFY(writeTestFile(target, "precious\r\n"));
    if (fullDisk)
        QVERIFY(disk->fill());
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    for (int i = 0; i < items; ++i)
        model.appendSite(QStringLiteral("http://example.com/%1").arg(i, 11, 10, QLatin1Char('0')));
    dialogs.nextSave.push_back(target);
    ui.nextAnswers.push_back(MessageResult::Yes);
    {
        std::optional<test::FileSizeLimit> limit;
        if (!fullDisk)
            limit.emplace(qMax(items * 32 / 2, 1));
        saveListAsTextFile(ui, dialogs, channel, model);
    }

    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QCOMPARE(ui.pointer(), Pointer::Default);
    if (items == 0) {
        // Nothing to write, nothing that can fail: the list is saved empty.
        QCOMPARE(readFile(target), QByteArray());
        QVERIFY(ui.plainMessages().contains(QStringLiteral("Done.")));
        QVERIFY(ui.errorReports().isEmpty());
        return;
    }
    QCOMPARE(readFile(target), QByteArray("precious\r\n"));
    QVERIFY(!ui.plainMessages().contains(QStringLiteral("Done.")));
    QCOMPARE(ui.errorReports().size(), 1);
    const QString report = ui.errorReports().value(0);
    const QString reason =
        fullDisk ? QStringLiteral("No space left on device") : QStringLiteral("File too large");
    QVERIFY2(report.startsWith(reason + QStringLiteral(": ") + target), qPrintable(report));
}

void TestSiteFilesPosix::failedSaveKeepsOldFileAndSaysNoDone_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("items");
    // Every line is 32 bytes with its CR LF; Qt buffers 16 KiB before writing.
    const QList<QPair<const char *, int>> sizes{{"empty list", 0},
                                                {"one item", 1},
                                                {"just under the write buffer", 511},
                                                {"just over the write buffer", 513},
                                                {"4 MiB", 131'072}};
    for (const char *fault : {"file size limit", "full disk"}) {
        for (const auto &[name, items] : sizes)
            QTest::addRow("%s, %s", fault, name) << QString::fromLatin1(fault) << items;
    }
}

void TestSiteFilesPosix::saveKeepsPermissionsAndLinks()
{
    const QString real = path(QStringLiteral("real.txt"));
    const QString link = path(QStringLiteral("link.txt"));
    QVERIFY(writeTestFile(real, "old\r\n"));
    QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    QVERIFY(QFile::link(real, link));
    QVERIFY(saveTo(link, {QStringLiteral("http://new/")})->plainMessages().contains(QStringLiteral("Done.")));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(real), QByteArray("http://new/\r\n"));
    struct stat info
    {
    };
    QCOMPARE(::stat(QFile::encodeName(real).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, 0640u);
}

void TestSiteFilesPosix::targetReplacedDuringTheSaveIsLeftAlone()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeTestFile(target, "old\r\n"));
    FakeUiServices ui;
    FakeFileDialogs dialogs;
    FileChannel channel;
    SiteListModel model;
    model.appendSite(QStringLiteral("http://new/"));
    dialogs.nextSave.push_back(target);
    ui.nextAnswers.push_back(MessageResult::Yes);
    // Another program puts a named pipe in its place while the list is written.
    bool replaced = false;
    ui.onPump = [&] {
        if (!replaced)
            replaced = QFile::remove(target) && ::mkfifo(QFile::encodeName(target).constData(), 0600) == 0;
    };
    saveListAsTextFile(ui, dialogs, channel, model);
    QVERIFY(replaced);
    QVERIFY2(ui.errorReports().value(0).contains(QStringLiteral("is not a regular file")),
             qPrintable(ui.errorReports().value(0)));
    QVERIFY(!ui.plainMessages().contains(QStringLiteral("Done.")));
    const QFileInfo after(target);
    QVERIFY(after.exists() && !after.isFile());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("list.txt")}); // no temporary file left
}

void TestSiteFilesPosix::linkInACircleIsRefused()
{
    const QString a = path(QStringLiteral("a.txt"));
    const QString b = path(QStringLiteral("b.txt"));
    QVERIFY(QFile::link(b, a));
    QVERIFY(QFile::link(a, b));
    const auto ui = saveTo(a, {QStringLiteral("http://a/")});
    QVERIFY2(ui->errorReports().value(0).contains(QStringLiteral("leads round in a circle")),
             qPrintable(ui->errorReports().value(0)));
    QVERIFY(!ui->plainMessages().contains(QStringLiteral("Done.")));
    QVERIFY(QFileInfo(a).isSymLink() && QFileInfo(b).isSymLink());
}

QTEST_GUILESS_MAIN(TestSiteFilesPosix)
#include "tst_sitefiles_posix.moc"
