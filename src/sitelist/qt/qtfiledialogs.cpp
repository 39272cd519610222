#include "sitelist/qt/qtfiledialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace zd {

namespace {

// Where a dialog opens before any was used: the current folder, unless that
// is the program's own (started from the Start menu), where no list belongs.
QString firstFolder()
{
    QString current = QDir::currentPath();
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (QFileInfo(current) != QFileInfo(QCoreApplication::applicationDirPath())
        || !QFileInfo(documents).isDir())
        return current;
    return documents;
}

QStringList runDialog(QWidget *parent, const DialogSetup &setup, QFileDialog::AcceptMode mode,
                      QString &folder)
{
    QFileDialog dialog(parent, setup.title);
    dialog.setDirectory(folder.isEmpty() ? firstFolder() : folder);
    dialog.setAcceptMode(mode);
    dialog.setNameFilters(nameFiltersFrom(setup.filter));
    if (mode == QFileDialog::AcceptSave) {
        dialog.setFileMode(QFileDialog::AnyFile);
        // The handler asks its own overwrite question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setFileMode(setup.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty())
        folder = QFileInfo(chosen.constFirst()).absolutePath();
    return chosen;
}

} // namespace

QStringList QtFileDialogs::showOpen(const DialogSetup &setup)
{
    return runDialog(m_parent, setup, QFileDialog::AcceptOpen, m_folder);
}

QString QtFileDialogs::showSave(const DialogSetup &setup)
{
    return runDialog(m_parent, setup, QFileDialog::AcceptSave, m_folder).value(0);
}

} // namespace zd
