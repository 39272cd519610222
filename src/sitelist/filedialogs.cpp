#include "sitelist/filedialogs.h"

#include <QStringList>

namespace zd {

QStringList nameFiltersFrom(const QString &filter)
{
    const QStringList fields = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QString patterns = fields.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" means every file on Windows; on Linux "*" does.
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        QString label = fields.at(i);
        const qsizetype paren = label.lastIndexOf(QLatin1Char('('));
        if (paren >= 0)
            label = label.left(paren).trimmed();
        result << QStringLiteral("%1 (%2)").arg(label, patterns);
    }
    return result;
}

} // namespace zd
