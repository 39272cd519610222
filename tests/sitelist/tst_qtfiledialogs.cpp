#include "sitelist/qt/qtfiledialogs.h"
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
    // Qt's own dialog, whose widgets a test can drive, on every platform
    // (Windows would show its native one).
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void openSeveralGivesTheirPaths();
    void saveAsksNoOverwriteQuestionOfItsOwn();
    void cancelGivesEmpty();
    void filesFromTwoFoldersKeepTheirFolders();
};

void TestQtFileDialogs::openSeveralGivesTheirPaths()
{
    QTemporaryDir dir;
    for (const char *name : {"a.txt", "b.txt"})
        QVERIFY(test::writeTestFile(dir.filePath(QString::fromLatin1(name))));
    QtFileDialogs dialogs;
    DialogSetup setup{QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"), kTextFileFilter,
                      true};
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
    QStringList result = dialogs.showOpen(setup);
    QCOMPARE(title, setup.title);
    QCOMPARE(filters.value(0), QStringLiteral("Text Files (*.txt)"));
    QVERIFY(multi);
    result.sort();
    const QString folder = QDir(dir.path()).canonicalPath();
    QCOMPARE(result, (QStringList{folder + QStringLiteral("/a.txt"), folder + QStringLiteral("/b.txt")}));
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
    const QString result = dialogs.showSave(DialogSetup{QStringLiteral("Save"), kTextFileFilter});
    QVERIFY(!confirms);
    QCOMPARE(QFileInfo(result).canonicalFilePath(), QFileInfo(existing).canonicalFilePath());
}

void TestQtFileDialogs::cancelGivesEmpty()
{
    QtFileDialogs dialogs;
    onNextDialog([](QFileDialog *dialog) { dialog->reject(); });
    QCOMPARE(dialogs.showOpen(DialogSetup{QStringLiteral("t"), kTextFileFilter, true}), QStringList());
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
    QStringList loaded = dialogs.showOpen(DialogSetup{QStringLiteral("t"), kTextFileFilter, true});
    loaded.sort();
    QCOMPARE(loaded, chosen);
}

QTEST_MAIN(TestQtFileDialogs)
#include "tst_qtfiledialogs.moc"
