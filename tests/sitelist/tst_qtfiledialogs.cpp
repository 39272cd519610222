#include "sitelist/linux/qtfiledialogs.h"
#include "sitelist/sitefiles.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include "support/testfiles.h"

#include <QtTest>

using namespace zd;

namespace {

void onNextDialog(std::function<void(QFileDialog *)> act)
{
    QTimer::singleShot(0, qApp, [act] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            onNextDialog(act);
            return;
        }
        act(dialog);
    });
}

} // namespace

class TestQtFileDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openSeveralGivesFolderAndNames();
    void saveAsksNoOverwriteQuestionOfItsOwn();
    void cancelGivesEmpty();
    void filesFromTwoFoldersKeepTheirFolders();
};

void TestQtFileDialogs::openSeveralGivesFolderAndNames()
{
    QTemporaryDir dir;
    for (const char *name : {"a.txt", "b.txt"})
        QVERIFY(test::writeTestFile(dir.filePath(QString::fromLatin1(name))));
    QtFileDialogs dialogs;
    DialogSetup setup{QString(), kOpenFlags,
                      QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"), kTextFileFilter};
    QString title;
    QStringList filters;
    bool multi = false;
    onNextDialog([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        multi = dialog->fileMode() == QFileDialog::ExistingFiles;
        dialog->setDirectory(dir.path());
        dialog->selectFile(QStringLiteral("\"a.txt\" \"b.txt\""));
        static_cast<QDialog *>(dialog)->accept();
    });
    const QString result = dialogs.showOpen(setup);
    QCOMPARE(title, setup.title);
    QCOMPARE(filters.value(0), QStringLiteral("Text Files (*.txt)"));
    QVERIFY(multi);
    QStringList parts = result.split(QChar(0));
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts.takeFirst(), QDir(dir.path()).canonicalPath());
    parts.sort();
    QCOMPARE(parts, (QStringList{"a.txt", "b.txt"}));
}

void TestQtFileDialogs::saveAsksNoOverwriteQuestionOfItsOwn()
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(test::writeTestFile(existing));
    QtFileDialogs dialogs;
    bool confirms = true;
    onNextDialog([&](QFileDialog *dialog) {
        confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->selectFile(existing);
        static_cast<QDialog *>(dialog)->accept();
    });
    const QString result =
        dialogs.showSave(DialogSetup{QString(), kOpenFlags, QStringLiteral("Save"), kTextFileFilter});
    QVERIFY(!confirms);
    QCOMPARE(QFileInfo(result).canonicalFilePath(), QFileInfo(existing).canonicalFilePath());
}

void TestQtFileDialogs::cancelGivesEmpty()
{
    QtFileDialogs dialogs;
    onNextDialog([](QFileDialog *dialog) { dialog->reject(); });
    QCOMPARE(dialogs.showOpen(DialogSetup{QString(), kOpenFlags, QStringLiteral("t"), kTextFileFilter}),
             QString());
}

void TestQtFileDialogs::filesFromTwoFoldersKeepTheirFolders()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("a")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("b/c")));
    const QString root = QDir(dir.path()).canonicalPath();
    const QStringList chosen{root + QStringLiteral("/a/x.txt"), root + QStringLiteral("/b/c/y.txt")};
    for (const QString &path : chosen)
        QVERIFY(test::writeTestFile(path));
    QtFileDialogs dialogs;
    onNextDialog([&](QFileDialog *dialog) {
        dialog->selectFile(QStringLiteral("\"%1\" \"%2\"").arg(chosen[0], chosen[1]));
        static_cast<QDialog *>(dialog)->accept();
    });
    const QStringList parts =
        dialogs.showOpen(DialogSetup{QString(), kOpenFlags, QStringLiteral("t"), kTextFileFilter})
            .split(QChar(0));
    QCOMPARE(parts.size(), 3);
    QStringList loaded;
    for (qsizetype i = 1; i < parts.size(); ++i)
        loaded << joinFolderAndName(parts[0], parts[i]);
    loaded.sort();
    QCOMPARE(loaded, chosen);
}

QTEST_MAIN(TestQtFileDialogs)
#include "tst_qtfiledialogs.moc"
