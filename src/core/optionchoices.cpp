#include "core/optionchoices.h"

#include "core/errorreport.h"
#include "core/settingsstore.h"
#include "core/uiservices.h"

#include <QRegularExpression>

namespace zd {

bool isPlainDecimal(const QString &text)
{
    // "nan", "inf" and hex forms, which the C library would take, are not.
    // Anchored at both ends: "$" alone would let a final line feed through.
    static const QRegularExpression decimal(
        QRegularExpression::anchoredPattern(QStringLiteral("[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?")));
    return decimal.match(text).hasMatch();
}

std::optional<bool> parseStoredBool(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (!isPlainDecimal(trimmed))
        return std::nullopt;
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return number != 0.0;
}

OptionChoices::OptionChoices(SettingsStore &store, UiServices &ui, QObject *parent)
    : QObject(parent), m_store(store), m_ui(ui)
{
}

namespace {

int numberOf(Option option)
{
    return static_cast<int>(option);
}

size_t slotOf(Option option)
{
    return static_cast<size_t>(numberOf(option) - 1);
}

Option firstOfGroup(Option option)
{
    return numberOf(option) <= 3 ? Option::InternetExplorer : Option::SameState;
}

} // namespace

QString OptionChoices::keyFor(Option option)
{
    return QStringLiteral("Option%1").arg(numberOf(option));
}

std::optional<double> OptionChoices::delaySeconds() const
{
    const std::optional<QString> stored = m_store.value(delayKey());
    if (!stored || !isPlainDecimal(stored->trimmed()))
        return std::nullopt;
    const double seconds = stored->trimmed().toDouble();
    if (seconds < 0 || seconds > kMaxDelaySeconds)
        return std::nullopt;
    return seconds;
}

void OptionChoices::setDelaySeconds(double seconds)
{
    const bool written =
        m_store.setValue(delayKey(), QString::number(qBound(0.0, seconds, kMaxDelaySeconds)));
    if (!written)
        warnOnceAboutWrite();
}

void OptionChoices::setPrivateWindow(bool on, bool remember)
{
    if (on != m_private) {
        m_private = on;
        Q_EMIT changed();
    }
    if (remember && !m_store.setValue(privateKey(), on ? QStringLiteral("True") : QStringLiteral("False")))
        warnOnceAboutWrite();
}

int OptionChoices::pauseEvery() const
{
    const QString stored = m_store.value(pauseEveryKey()).value_or(QString()).trimmed();
    bool ok = false;
    const int sites = stored.toInt(&ok);
    return ok && sites > 0 && sites <= kMaxPauseEvery ? sites : 0;
}

void OptionChoices::setPauseEvery(int sites)
{
    if (!m_store.setValue(pauseEveryKey(), QString::number(qBound(0, sites, kMaxPauseEvery))))
        warnOnceAboutWrite();
}

bool OptionChoices::isSelected(Option option) const
{
    return m_selected[slotOf(option)];
}

void OptionChoices::select(Option option)
{
    const size_t first = slotOf(firstOfGroup(option));
    for (size_t i = first; i < first + 3; ++i)
        m_selected[i] = i == slotOf(option);
    Q_EMIT changed();
    saveGroup(firstOfGroup(option));
}

void OptionChoices::setSelected(Option option, bool selected)
{
    if (selected) {
        select(option);
    } else if (isSelected(option)) {
        m_selected[slotOf(option)] = false;
        Q_EMIT changed();
    }
}

void OptionChoices::saveGroup(Option first)
{
    QList<std::pair<QString, QString>> group;
    for (size_t i = slotOf(first); i < slotOf(first) + 3; ++i) {
        const Option option = kAllOptions[i];
        group.append({keyFor(option), isSelected(option) ? QStringLiteral("True") : QStringLiteral("False")});
    }
    if (!m_store.setValues(group))
        warnOnceAboutWrite();
}

void OptionChoices::warnOnceAboutWrite()
{
    if (m_warnedAboutWrite)
        return;
    m_warnedAboutWrite = true;
    m_ui.messageBox(QStringLiteral("Your choice could not be saved to %1. It stays in effect "
                                   "until Zentavia Desk is closed.")
                        .arg(m_store.location()));
}

void OptionChoices::restore(Procedure &procedure)
{
    for (const Option option : kAllOptions) {
        procedure.step(130 + 2 * numberOf(option), [this, option] {
            const bool selectedByDefault = option == firstOfGroup(option);
            const QString fallback = selectedByDefault ? QStringLiteral("1") : QStringLiteral("0");
            const QString stored = m_store.value(keyFor(option)).value_or(fallback);
            const std::optional<bool> selected = parseStoredBool(stored);
            if (!selected)
                throw Failure(QStringLiteral("Type mismatch"));
            setSelected(option, *selected);
        });
    }
    // Anything but a stored true leaves it unchecked, and nothing is written.
    const std::optional<QString> stored = m_store.value(privateKey());
    setPrivateWindow(stored && parseStoredBool(*stored).value_or(false), false);
}

} // namespace zd
