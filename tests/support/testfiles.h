#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace zd::test {

/// Writes \a bytes to \a path, replacing it; false when that failed.
[[nodiscard]] inline bool writeTestFile(const QString &path, const QByteArray &bytes = {})
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace zd::test
