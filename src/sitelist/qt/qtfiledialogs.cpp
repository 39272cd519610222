#include "sitelist/qt/qtfiledialogs.h"

#include <QFileDialog>

namespace zd {

namespace {

QStringList runDialog(QWidget *parent, const DialogSetup &setup, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, setup.title);
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
    return dialog.selectedFiles();
}

} // namespace

QStringList QtFileDialogs::showOpen(const DialogSetup &setup)
{
    return runDialog(m_parent, setup, QFileDialog::AcceptOpen);
}

QString QtFileDialogs::showSave(const DialogSetup &setup)
{
    return runDialog(m_parent, setup, QFileDialog::AcceptSave).value(0);
}

} // namespace zd
