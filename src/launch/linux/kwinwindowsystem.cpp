#include "launch/linux/kwinwindowsystem.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryFile>
#include <QTimer>

#include <atomic>

namespace zd {

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
// Each instance answers on a path of its own.
std::atomic<int> g_instances{0};
// KWin answers in milliseconds; a desktop that does not must not hold the run.
constexpr int kAnswerMs = 2000;

QDBusMessage callKWin(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kKWin, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kAnswerMs);
}

// A string as a JavaScript literal.
QString literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// One line a window, fields split by tabs: id, pid, class, instance,
// dialog, transient, caption.
const char kListScript[] = R"(
var lines = [];
var all = workspace.clientList();
for (var i = 0; i < all.length; ++i) {
    var w = all[i];
    if (!w.normalWindow && !w.dialog)
        continue; // panels, the desktop, menus
    lines.push([String(w.internalId), w.pid, String(w.resourceClass), String(w.resourceName),
                w.dialog || w.modal ? 1 : 0, w.transient ? 1 : 0,
                String(w.caption).replace(/[\t\n]/g, " ")].join("\t"));
}
reply(lines.join("\n"));
)";

// The window of the given id, or none; then `body`.
QString withWindow(const QString &kwinId, const char *body)
{
    return QStringLiteral("var all = workspace.clientList(); var w = null;\n"
                          "for (var i = 0; i < all.length; ++i)\n"
                          "    if (String(all[i].internalId) == %1) w = all[i];\n"
                          "if (!w) reply(\"gone\"); else {\n%2\n}\n")
        .arg(literal(kwinId), QString::fromLatin1(body));
}

// Every window of a process with a title; then `body` on each, `count`
// of them.
QString withWindowsOf(qint64 pid, const QString &title, const char *body)
{
    return QStringLiteral("var all = workspace.clientList(); var count = 0, above = 0;\n"
                          "for (var i = 0; i < all.length; ++i) {\n"
                          "    var w = all[i];\n"
                          "    if (w.pid != %1 || String(w.caption) != %2) continue;\n"
                          "    ++count;\n%3\n"
                          "}\nreply(count + \" \" + above);\n")
        .arg(pid)
        .arg(literal(title), QString::fromLatin1(body));
}

} // namespace

KWinScripts::KWinScripts() : m_path(QStringLiteral("/org/zentavia/KWinScripts/%1").arg(++g_instances)) {}

KWinScripts::~KWinScripts()
{
    if (m_registered)
        QDBusConnection::sessionBus().unregisterObject(m_path);
}

bool KWinScripts::available()
{
    if (!m_available) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusMessage owner =
            bus.call(QDBusMessage::createMethodCall(
                         QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                         QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"))
                         << kKWin,
                     QDBus::Block, kAnswerMs);
        const bool kwin = owner.type() == QDBusMessage::ReplyMessage && !owner.arguments().isEmpty()
                          && owner.arguments().constFirst().toBool();
        m_available = kwin && run(QStringLiteral("reply(\"up\");")) == QLatin1String("up");
    }
    return *m_available;
}

std::optional<QString> KWinScripts::run(const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    if (!m_registered)
        m_registered = bus.registerObject(m_path, this, QDBusConnection::ExportAllSlots);
    const QString token = QString::number(m_nextToken++);
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/zentavia-kwin-XXXXXX.js"));
    if (!m_registered || !file.open())
        return std::nullopt;
    const QString script =
        QStringLiteral(
            "function reply(text) { callDBus(%1, %2, \"local.zentavia.KWinScripts\", \"reply\", %3, "
            "String(text)); }\n")
            .arg(literal(bus.baseService()), literal(m_path), literal(token))
        + body;
    file.write(script.toUtf8());
    file.flush();
    const QString plugin = QStringLiteral("zentavia-") + token;
    const QDBusMessage loaded =
        callKWin(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                 QStringLiteral("loadScript"), {file.fileName(), plugin});
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().isEmpty()
        || loaded.arguments().constFirst().toInt() < 0) {
        return std::nullopt;
    }
    const QString id = QString::number(loaded.arguments().constFirst().toInt());
    m_awaited = token;
    m_answer.reset();
    // KWin 5.27 names the script /Scripting/ScriptN; older ones /N.
    if (callKWin(QStringLiteral("/Scripting/Script") + id, QStringLiteral("org.kde.kwin.Script"),
                 QStringLiteral("run"))
            .type()
        != QDBusMessage::ReplyMessage) {
        callKWin(QLatin1Char('/') + id, QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run"));
    }
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(kAnswerMs);
    while (!m_answer && timeout.isActive())
        loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
    callKWin(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
             QStringLiteral("unloadScript"), {plugin});
    m_awaited.clear();
    return std::exchange(m_answer, std::nullopt);
}

void KWinScripts::reply(const QString &token, const QString &text)
{
    if (token == m_awaited)
        m_answer = text;
}

WindowCapabilities KWinWindowSystem::capabilities()
{
    if (!available())
        return {};
    return {.list = true, .place = true, .pids = true, .otherDisplays = false};
}

WindowId KWinWindowSystem::idFor(const QString &kwinId)
{
    const auto [it, added] = m_ids.try_emplace(kwinId, m_nextId);
    if (added)
        ++m_nextId;
    return it->second;
}

std::vector<TopLevelWindow> KWinWindowSystem::topLevelWindows()
{
    std::vector<TopLevelWindow> result;
    if (!available())
        return result;
    const std::optional<QString> listed = m_scripts.run(QString::fromLatin1(kListScript));
    if (!listed || listed->isEmpty())
        return result;
    const QStringList lines = listed->split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 7)
            continue;
        TopLevelWindow window;
        window.id = idFor(f[0]);
        window.pid = f[1].toLongLong();
        window.className = f[2];
        window.instanceName = f[3];
        window.dialog = f[4] == QLatin1String("1");
        window.owned = f[5] == QLatin1String("1");
        window.title = f.mid(6).join(QLatin1Char(' '));
        window.visible = true; // minimized windows count as visible
        result.push_back(std::move(window));
    }
    // KWin lists the oldest first; the walk goes from the newest down.
    std::reverse(result.begin(), result.end());
    return result;
}

bool KWinWindowSystem::place(WindowId window, ShowState state)
{
    const auto kwinId =
        std::find_if(m_ids.begin(), m_ids.end(), [&](const auto &entry) { return entry.second == window; });
    if (kwinId == m_ids.end())
        return false;
    const char *body = state == ShowState::Minimized
                           ? "w.minimized = true; reply(w.minimized ? \"yes\" : \"no\");"
                           : "w.minimized = false; w.setMaximize(true, true); reply(\"yes\");";
    return m_scripts.run(withWindow(kwinId->first, body)) == QLatin1String("yes");
}

bool KWinWindowSystem::keepAbove(qint64 pid, const QString &title)
{
    const std::optional<QString> answer =
        m_scripts.run(withWindowsOf(pid, title, "w.keepAbove = true; if (w.keepAbove) ++above;"));
    return answer && answer->section(QLatin1Char(' '), 1).toInt() > 0;
}

std::optional<bool> KWinWindowSystem::keptAbove(qint64 pid, const QString &title)
{
    const std::optional<QString> answer =
        m_scripts.run(withWindowsOf(pid, title, "if (w.keepAbove) ++above;"));
    if (!answer || answer->section(QLatin1Char(' '), 0, 0).toInt() == 0)
        return std::nullopt;
    return answer->section(QLatin1Char(' '), 1).toInt() > 0;
}

std::optional<bool> KWinWindowSystem::isInState(WindowId window, ShowState state)
{
    const auto kwinId =
        std::find_if(m_ids.begin(), m_ids.end(), [&](const auto &entry) { return entry.second == window; });
    if (kwinId == m_ids.end())
        return std::nullopt;
    const char *body =
        state == ShowState::Minimized
            ? "reply(w.minimized ? \"yes\" : \"no\");"
            : "var area = workspace.clientArea(KWin.MaximizeArea, w); var g = w.frameGeometry;\n"
              "reply(!w.minimized && g.width >= area.width && g.height >= area.height ? \"yes\" : \"no\");";
    const std::optional<QString> answer = m_scripts.run(withWindow(kwinId->first, body));
    if (!answer || *answer == QLatin1String("gone"))
        return std::nullopt;
    return *answer == QLatin1String("yes");
}

} // namespace zd
