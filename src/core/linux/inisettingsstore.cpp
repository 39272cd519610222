#include "core/linux/inisettingsstore.h"

#include "core/errorreport.h"
#include "core/filehelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace zd {

namespace {

// A lock held by another program is waited for this long at most.
constexpr int kLockWaitMs = 500;

bool isThere(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

// One line of the file without its ending, and the ending.
struct Line
{
    QByteArrayView text;
    QByteArrayView ending;
};

QList<Line> linesOf(QByteArrayView bytes)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            lines.append({bytes.sliced(start), {}});
            break;
        }
        const qsizetype textEnd = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        lines.append({bytes.sliced(start, textEnd - start), bytes.sliced(textEnd, end + 1 - textEnd)});
        start = end + 1;
    }
    return lines;
}

// Names in section headers and keys are percent-encoded where they hold
// what the format cannot (a blank: "Zentavia%20Desk").
QString iniName(QByteArrayView encoded)
{
    return QUrl::fromPercentEncoding(encoded.trimmed().toByteArray());
}

QByteArray encodedName(const QString &name)
{
    return QUrl::toPercentEncoding(name, "!$&'()*+,-./:;<>?@[]^_`{|}~");
}

// The section a header line names, or nullopt for any other line.
std::optional<QString> sectionOf(QByteArrayView line)
{
    line = line.trimmed();
    if (!line.startsWith('[') || !line.endsWith(']'))
        return std::nullopt;
    return iniName(line.sliced(1, line.size() - 2));
}

std::optional<std::pair<QString, QByteArrayView>> entryOf(QByteArrayView line)
{
    const QByteArrayView trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.front() == ';' || trimmed.front() == '#' || trimmed.front() == '[')
        return std::nullopt;
    const qsizetype equals = trimmed.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return std::pair(iniName(trimmed.first(equals)), trimmed.sliced(equals + 1).trimmed());
}

// A stored value as text: quoted with backslash escapes, or as it stands.
QString valueText(QByteArrayView raw)
{
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"')
        return raw.startsWith("@@") ? QString::fromUtf8(raw.sliced(1)) : QString::fromUtf8(raw);
    QByteArray text;
    for (qsizetype i = 1; i + 1 < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\\' && i + 2 < raw.size()) {
            c = raw[++i];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
        text.append(c);
    }
    return QString::fromUtf8(text.startsWith("@@") ? text.sliced(1) : text);
}

// \a value as a line of the file holds it, readable by QSettings as well.
QByteArray valueLine(const QString &value)
{
    QByteArray bytes = value.toUtf8();
    if (bytes.startsWith('@'))
        bytes.prepend('@'); // a leading @ would name a type
    const bool plain = std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.'
               || c == '-' || c == '_' || c == '@' || quint8(c) >= 0x80;
    });
    if (plain)
        return bytes;
    QByteArray quoted("\"");
    for (const char c : std::as_const(bytes)) {
        if (c == '\\' || c == '"')
            quoted.append('\\').append(c);
        else if (c == '\n')
            quoted.append("\\n");
        else if (c == '\r')
            quoted.append("\\r");
        else if (c == '\t')
            quoted.append("\\t");
        else if (quint8(c) >= 0x20)
            quoted.append(c);
    }
    return quoted.append('"');
}

// Whether \a bytes are an INI file: UTF-8 text whose every line is blank,
// a comment, a section header or a key=value entry.
bool isIniText(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    if (!bytes.isValidUtf8())
        return false;
    for (const Line &line : linesOf(bytes)) {
        const QByteArrayView text = line.text.trimmed();
        if (std::any_of(text.begin(), text.end(), [](char c) { return quint8(c) < 0x20 && c != '\t'; }))
            return false;
        if (!text.isEmpty() && text.front() != ';' && text.front() != '#' && !sectionOf(text)
            && !entryOf(text))
            return false;
    }
    return true;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(IniSettingsStore::kMaxFileBytes + 1) : QByteArray();
}

// \a file with \a values set in \a section; every other line as it was.
// A key not there yet goes after the last entry of the section's first
// header; a section not there yet goes at the end.
QByteArray withValues(const QByteArray &file, const QString &section,
                      const QList<std::pair<QString, QString>> &values)
{
    const QList<Line> lines = linesOf(file);
    const QByteArray newline =
        (lines.isEmpty() || lines.first().ending.isEmpty() ? QByteArrayView("\n") : lines.first().ending)
            .toByteArray();
    const auto entryLine = [&](const std::pair<QString, QString> &entry) -> QByteArray {
        return encodedName(entry.first) + '=' + valueLine(entry.second);
    };
    QList<bool> done(values.size(), false);
    QList<QByteArray> out;
    qsizetype insertAt = -1;
    int headers = 0;
    bool inSection = false;
    for (const Line &line : lines) {
        QByteArray text = line.text.toByteArray();
        if (const auto name = sectionOf(line.text)) {
            inSection = *name == section;
            if (inSection && ++headers == 1)
                insertAt = out.size() + 1;
        } else if (const auto entry = inSection ? entryOf(line.text) : std::nullopt) {
            for (qsizetype i = 0; i < values.size(); ++i) {
                if (values[i].first == entry->first) {
                    text = entryLine(values[i]);
                    done[i] = true;
                }
            }
            if (headers == 1)
                insertAt = out.size() + 1;
        }
        out.append(text + line.ending.toByteArray());
    }
    QByteArray block;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (!done[i])
            block += entryLine(values[i]) + newline;
    }
    if (!block.isEmpty()) {
        if (insertAt < 0) {
            // After a blank line, as QSettings separates its sections.
            block.prepend('[' + encodedName(section) + ']' + newline);
            if (!out.isEmpty())
                block.prepend(newline);
            insertAt = out.size();
        }
        if (insertAt > 0 && !out[insertAt - 1].endsWith('\n'))
            out[insertAt - 1].append(newline);
        out.insert(insertAt, block);
    }
    return out.join();
}

} // namespace

QString settingsFileProblem(const QString &path)
{
    const QFileInfo file(path);
    if (isThere(file)) {
        if (!file.isFile())
            return QStringLiteral("it is not a regular file");
        if (file.size() > IniSettingsStore::kMaxFileBytes)
            return QStringLiteral("it is larger than 1 MiB");
        if (!isIniText(contentOf(path)))
            return QStringLiteral("it is not an INI file");
    }
    const QFileInfo lock(path + QStringLiteral(".lock"));
    if (isThere(lock) && !lock.isFile())
        return QStringLiteral("its lock file is not a regular file");
    return {};
}

IniSettingsStore::IniSettingsStore(const QString &application, const QString &section)
    : m_path(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
             + application + QStringLiteral(".ini")),
      m_section(section), m_problem(settingsFileProblem(m_path))
{
    if (m_problem.isEmpty())
        read(contentOf(m_path));
}

IniSettingsStore::~IniSettingsStore() = default;

void IniSettingsStore::read(QByteArrayView file)
{
    m_values.clear();
    bool inSection = false;
    for (const Line &line : linesOf(file)) {
        if (const auto name = sectionOf(line.text))
            inSection = *name == m_section;
        else if (const auto entry = inSection ? entryOf(line.text) : std::nullopt)
            m_values.insert(entry->first, valueText(entry->second));
    }
}

std::optional<QString> IniSettingsStore::value(const QString &key)
{
    if (!m_values.contains(key))
        return std::nullopt;
    return m_values.value(key);
}

bool IniSettingsStore::setValue(const QString &key, const QString &value)
{
    return setValues({{key, value}});
}

bool IniSettingsStore::setValues(const QList<std::pair<QString, QString>> &values)
{
    // Values the file already holds need no write: a start-up that finds
    // the choices as they were stored does not touch the disk.
    const bool unchanged = std::all_of(values.begin(), values.end(), [this](const auto &entry) {
        return m_values.contains(entry.first) && m_values.value(entry.first) == entry.second;
    });
    if (unchanged && m_unwritten.isEmpty() && QFileInfo::exists(m_path))
        return true;
    // Until a write succeeds, what is in memory is not what is in the file.
    for (const auto &[key, value] : values) {
        m_values.insert(key, value);
        if (!m_unwritten.contains(key))
            m_unwritten.append(key);
    }
    // The file may have been replaced since start-up.
    m_problem = settingsFileProblem(m_path);
    if (!m_problem.isEmpty())
        return false;
    // The lock lives beside the file: its folder must be there first.
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false; // kept in memory; the next write tries again
    // Read again under the lock: another program's lines are kept too.
    m_problem = settingsFileProblem(m_path);
    if (!m_problem.isEmpty())
        return false;
    const QByteArray before = contentOf(m_path);
    QList<std::pair<QString, QString>> unwritten;
    for (const QString &key : std::as_const(m_unwritten))
        unwritten.append({key, m_values.value(key)});
    const QByteArray after = withValues(before, m_section, unwritten);
    try {
        FileReplacement file(m_path);
        file.write(after);
        file.commit();
    } catch (const Failure &) {
        return false;
    }
    m_unwritten.clear();
    return true;
}

QString IniSettingsStore::location() const
{
    return m_problem.isEmpty() ? m_path : QStringLiteral("%1 (%2)").arg(m_path, m_problem);
}

} // namespace zd
