#include "support/browsersessions.h"

#include <QDir>
#include <QTemporaryDir>
#include <QProcess>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <cstring>
#include <lz4.h>

namespace zd::test {

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "mozLz40\0", the decompressed size (4 bytes, little-endian), an LZ4 block.
QByteArray mozLz4Decompress(const QByteArray &data)
{
    static constexpr char kMagic[] = "mozLz40";
    if (data.size() < 12 || std::memcmp(data.constData(), kMagic, sizeof kMagic) != 0)
        return {};
    quint32 size = 0;
    for (int i = 0; i < 4; ++i)
        size |= quint32(quint8(data[8 + i])) << (8 * i);
    if (size > (256u << 20))
        return {};
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    const int n = LZ4_decompress_safe(data.constData() + 12, out.data(), int(data.size() - 12), int(size));
    if (n < 0)
        return {};
    out.resize(n);
    return out;
}

// Reads little-endian fields from a session file, bounds-checked.
class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}
    bool has(qsizetype n) const { return m_at + n <= m_bytes.size(); }
    template<class T>
    T take()
    {
        T value{};
        if (has(sizeof value))
            std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    QByteArrayView bytes(qsizetype n)
    {
        const QByteArrayView part = has(n) ? m_bytes.sliced(m_at, n) : QByteArrayView();
        m_at += n;
        return part;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
};

// Session commands of Chromium's SNSS files that say where tabs are.
constexpr quint8 kSetTabWindow = 0;          // window id, tab id
constexpr quint8 kSetTabIndexInWindow = 2;   // tab id, index
constexpr quint8 kUpdateTabNavigation = 6;   // a pickle: size, tab id, index, url, ...
constexpr quint8 kSetSelectedNavigation = 7; // tab id, index

struct ChromiumTab
{
    qint32 window = 0;
    qint32 index = 0;
    qint32 selected = -1;
    QMap<qint32, QString> navigations;
};

} // namespace

QList<QStringList> firefoxSessionTabs(const QString &profileFolder)
{
    const QByteArray json =
        mozLz4Decompress(readAll(profileFolder + QStringLiteral("/sessionstore-backups/recovery.jsonlz4")));
    QList<QStringList> windows;
    for (const QJsonValue &window :
         QJsonDocument::fromJson(json).object().value(QLatin1String("windows")).toArray()) {
        QStringList tabs;
        for (const QJsonValue &tab : window.toObject().value(QLatin1String("tabs")).toArray()) {
            const QJsonArray entries = tab.toObject().value(QLatin1String("entries")).toArray();
            const int index = tab.toObject().value(QLatin1String("index")).toInt(int(entries.size()));
            tabs << entries.at(index - 1).toObject().value(QLatin1String("url")).toString();
        }
        windows << tabs;
    }
    return windows;
}

QList<QStringList> chromiumSessionTabs(const QString &userDataFolder)
{
    const QDir sessions(userDataFolder + QStringLiteral("/Default/Sessions"));
    const QStringList files = sessions.entryList({QStringLiteral("Session_*")}, QDir::Files, QDir::Time);
    if (files.isEmpty())
        return {};
    const QByteArray data = readAll(sessions.filePath(files.first()));
    Reader in(data);
    if (in.bytes(4) != QByteArrayView("SNSS"))
        return {};
    in.take<qint32>(); // version
    QMap<qint32, ChromiumTab> tabs;
    while (in.has(2)) {
        const auto size = in.take<quint16>();
        if (size == 0 || !in.has(size))
            break;
        const auto id = in.take<quint8>();
        Reader command(in.bytes(size - 1));
        if (id == kSetTabWindow) {
            const auto window = command.take<qint32>();
            tabs[command.take<qint32>()].window = window;
        } else if (id == kSetTabIndexInWindow) {
            const auto tab = command.take<qint32>();
            tabs[tab].index = command.take<qint32>();
        } else if (id == kSetSelectedNavigation) {
            const auto tab = command.take<qint32>();
            tabs[tab].selected = command.take<qint32>();
        } else if (id == kUpdateTabNavigation) {
            command.take<qint32>(); // the pickle's size
            const auto tab = command.take<qint32>();
            const auto index = command.take<qint32>();
            const auto length = command.take<qint32>();
            tabs[tab].navigations[index] = QString::fromUtf8(command.bytes(length));
        }
    }
    QMap<qint32, QMap<qint32, QString>> windows; // window -> index -> address
    for (const ChromiumTab &tab : std::as_const(tabs)) {
        if (tab.navigations.isEmpty())
            continue;
        const qint32 shown =
            tab.navigations.contains(tab.selected) ? tab.selected : tab.navigations.lastKey();
        windows[tab.window][tab.index] = tab.navigations.value(shown);
    }
    QList<QStringList> result;
    for (const auto &window : std::as_const(windows))
        result << window.values();
    return result;
}

QStringList historyAddresses(const QString &database, const QString &table)
{
    QTemporaryDir copy;
    const QString copied = copy.filePath(QStringLiteral("history"));
    if (!QFile::copy(database, copied))
        return {};
    QFile::copy(database + QStringLiteral("-wal"), copied + QStringLiteral("-wal"));
    // Python's sqlite3, which the test server's Python has anyway.
    QProcess query;
    query.start(QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import sqlite3, sys\n"
                                "for (url,) in sqlite3.connect(sys.argv[1]).execute("
                                "'select url from ' + sys.argv[2]):\n"
                                "    print(url)\n"),
                 copied, table});
    if (!query.waitForFinished(30'000) || query.exitCode() != 0)
        return {};
    return QString::fromUtf8(query.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace zd::test
