#include "sitelist/linux/qtfiledialogs.h"

#include <QFileDialog>

namespace zd {

namespace {

constexpr unsigned kAllowMultiSelect = 0x200;

QString runDialog(QWidget *parent, const DialogSetup &setup, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, setup.title);
    dialog.setAcceptMode(mode);
    dialog.setNameFilters(nameFiltersFrom(setup.filter));
    if (mode == QFileDialog::AcceptSave) {
        dialog.setFileMode(QFileDialog::AnyFile);
        // The handler asks its own overwrite question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setFileMode((setup.flags & kAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                             : QFileDialog::ExistingFile);
    }
    if (!setup.fileName.isEmpty())
        dialog.selectFile(setup.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialogResultFor(dialog.selectedFiles());
}

} // namespace

QString QtFileDialogs::showOpen(const DialogSetup &setup)
{
    return runDialog(m_parent, setup, QFileDialog::AcceptOpen);
}

QString QtFileDialogs::showSave(const DialogSetup &setup)
{
    return runDialog(m_parent, setup, QFileDialog::AcceptSave);
}

} // namespace zd
