#pragma once

#include <QString>
#include <QStringList>

namespace zd {

/// One argument quoted so that CommandLineToArgvW (and the C run-time's
/// own parser) reads it back as exactly this one argument: in double
/// quotes, with each quote and the backslashes before it or before the
/// closing quote escaped. Spaces, quotes and a trailing backslash cannot
/// end it early or split it.
QString quoteArgument(const QString &argument);
/// A whole command line: every argument quoted, separated by a space.
QString commandLine(const QStringList &arguments);

} // namespace zd
