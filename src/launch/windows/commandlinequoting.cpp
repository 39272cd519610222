#include "launch/windows/commandlinequoting.h"

namespace zd {

QString quoteArgument(const QString &argument)
{
    QString quoted;
    quoted.reserve(argument.size() + 2);
    quoted += QLatin1Char('"');
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            continue;
        }
        if (c == QLatin1Char('"')) {
            // Each backslash before a quote doubles, and the quote is escaped.
            quoted += QString(backslashes * 2 + 1, QLatin1Char('\\'));
            quoted += c;
        } else {
            quoted += QString(backslashes, QLatin1Char('\\'));
            quoted += c;
        }
        backslashes = 0;
    }
    // Before the closing quote they double too, or the last would escape it.
    quoted += QString(backslashes * 2, QLatin1Char('\\'));
    quoted += QLatin1Char('"');
    return quoted;
}

QString commandLine(const QStringList &arguments)
{
    QStringList quoted;
    quoted.reserve(arguments.size());
    for (const QString &argument : arguments)
        quoted << quoteArgument(argument);
    return quoted.join(QLatin1Char(' '));
}

} // namespace zd
