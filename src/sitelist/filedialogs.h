#pragma once

#include <QString>

namespace zd {

/// How a file dialog is set up before it is shown.
struct DialogSetup
{
    QString fileName;
    unsigned flags = 0;
    QString title;
    /// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" style.
    QString filter;
};

inline constexpr unsigned kOpenFlags = 0x280201; // long names, explorer, multi-select, read-only
inline const QString kTextFileFilter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");

/// File open and save dialogs.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    /// The chosen file's full path; for several files the folder, then each
    /// name, separated by NUL characters; "" on Cancel.
    virtual QString showOpen(const DialogSetup &setup) = 0;
    /// The chosen full path, or "" on Cancel.
    virtual QString showSave(const DialogSetup &setup) = 0;
};

/// Qt name filters ("Text Files (*.txt)", ...) from a "|"-separated filter.
QStringList nameFiltersFrom(const QString &filter);

/// The dialog result for a list of chosen full paths: their common folder,
/// then each path relative to it.
QString dialogResultFor(const QStringList &paths);

} // namespace zd
