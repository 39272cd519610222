#pragma once

#include "sitelist/filedialogs.h"

#include <QPointer>
#include <QWidget>

namespace zd {

/// QFileDialog, set up as the dialog setup says; each opens in the folder
/// the last one was left in.
class QtFileDialogs final : public FileDialogs
{
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    QStringList showOpen(const DialogSetup &setup) override;
    QString showSave(const DialogSetup &setup) override;

private:
    QPointer<QWidget> m_parent;
    QString m_folder;
};

} // namespace zd
