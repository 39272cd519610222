#include "launch/linux/browserready.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>

#include <unistd.h>

namespace zd {

namespace {

// A bus that does not answer at once must not hold the run.
constexpr int kBusTimeoutMs = 1000;

std::optional<QVariant> askBus(const QDBusConnection &bus, const QString &method,
                               const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("/org/freedesktop/DBus"),
                                                          QStringLiteral("org.freedesktop.DBus"), method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst();
}

// The inodes of the listening Unix sockets of this network namespace whose
// path ends in \a suffix. A line: Num RefCount Protocol Flags Type St Inode Path.
QList<QByteArray> listeningSockets(const QByteArray &suffix)
{
    QFile table(QStringLiteral("/proc/net/unix"));
    QList<QByteArray> inodes;
    if (!table.open(QIODevice::ReadOnly))
        return inodes;
    constexpr char kAcceptsConnections[] = "00010000";
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.endsWith(suffix))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields[3] == kAcceptsConnections)
            inodes << fields[6];
    }
    return inodes;
}

} // namespace

std::optional<bool> firefoxRemoteReady(qint64 pid)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    const std::optional<QVariant> names = askBus(bus, QStringLiteral("ListNames"), {});
    if (!names)
        return std::nullopt;
    const QStringList all = names->toStringList();
    for (const QString &name : all) {
        if (!name.startsWith(QLatin1String("org.mozilla.")))
            continue;
        if (pid == 0)
            return true;
        const std::optional<QVariant> owner =
            askBus(bus, QStringLiteral("GetConnectionUnixProcessID"), {name});
        if (owner && owner->toLongLong() == pid)
            return true;
    }
    return false;
}

bool chromiumSingletonReady(qint64 pid)
{
    const QList<QByteArray> inodes = listeningSockets("/SingletonSocket");
    if (inodes.isEmpty() || pid == 0)
        return !inodes.isEmpty();
    const QByteArray fdFolder = "/proc/" + QByteArray::number(pid) + "/fd/";
    const QStringList fds = QDir(QString::fromLatin1(fdFolder)).entryList(QDir::Files | QDir::System);
    for (const QString &fd : fds) {
        char target[64];
        const QByteArray path = fdFolder + fd.toLatin1();
        const ssize_t n = ::readlink(path.constData(), target, sizeof target);
        // "socket:[12345]"
        const QByteArrayView link(target, n > 0 ? n : 0);
        if (link.startsWith("socket:[") && link.endsWith(']')
            && inodes.contains(link.sliced(8, link.size() - 9).toByteArray()))
            return true;
    }
    return false;
}

} // namespace zd
