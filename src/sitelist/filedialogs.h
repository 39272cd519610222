#pragma once

#include <QString>

namespace zd {

/// How a file dialog is set up before it is shown.
struct DialogSetup
{
    QString title;
    /// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" style.
    QString filter;
    /// Whether several files may be chosen at once.
    bool multiSelect = false;
};

inline const QString kTextFileFilter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");

/// File open and save dialogs.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    /// The chosen files' full paths, in the dialog's order; none on Cancel.
    virtual QStringList showOpen(const DialogSetup &setup) = 0;
    /// The chosen full path, or "" on Cancel.
    virtual QString showSave(const DialogSetup &setup) = 0;
};

/// Qt name filters ("Text Files (*.txt)", ...) from a "|"-separated filter.
QStringList nameFiltersFrom(const QString &filter);

} // namespace zd
