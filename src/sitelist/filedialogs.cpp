#include "sitelist/filedialogs.h"

#include <QFileInfo>
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

QString dialogResultFor(const QStringList &paths)
{
    if (paths.isEmpty())
        return {};
    if (paths.size() == 1)
        return paths.first();
    // The folder all of them share; each name is relative to it, so files
    // chosen from several folders ("/a/x.txt" "/b/y.txt") keep their own.
    QStringList folder = QFileInfo(paths.first()).absolutePath().split(QLatin1Char('/'));
    for (const QString &path : paths) {
        const QStringList other = QFileInfo(path).absolutePath().split(QLatin1Char('/'));
        qsizetype same = 0;
        while (same < folder.size() && same < other.size() && folder[same] == other[same])
            ++same;
        folder = folder.mid(0, same);
    }
    const QString common = folder.join(QLatin1Char('/'));
    QStringList parts{common.isEmpty() ? QStringLiteral("/") : common};
    const qsizetype skip = common.size() + 1;
    for (const QString &path : paths)
        parts << QFileInfo(path).absoluteFilePath().mid(skip);
    return parts.join(QChar(0));
}

} // namespace zd
