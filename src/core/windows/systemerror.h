#pragma once

#include <QString>

namespace zd::sys {

/// Windows' own words for the system error \a code, without the line break
/// and full stop it ends them with, so that they read as the first part of
/// a sentence ("Access is denied: C:\list.txt"). Its inserts stand for
/// \a subject ("%1 is not a valid Win32 application." names the file), or
/// for "It" when none is given.
QString systemErrorText(unsigned long code, const QString &subject = QString());

} // namespace zd::sys
