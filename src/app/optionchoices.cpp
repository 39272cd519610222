#include "optionchoices.h"

#include "errorreport.h"
#include "settingsstore.h"
#include "uiservices.h"

namespace zd {

std::optional<bool> parseStoredBool(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
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

QString OptionChoices::keyFor(int k)
{
    return QStringLiteral("Option%1").arg(k);
}

bool OptionChoices::isSelected(int k) const
{
    return k >= 1 && k <= 6 && m_selected[size_t(k - 1)];
}

void OptionChoices::select(int k)
{
    if (k < 1 || k > 6)
        return;
    const int first = k <= 3 ? 1 : 4;
    for (int i = first; i < first + 3; ++i)
        m_selected[size_t(i - 1)] = i == k;
    Q_EMIT changed();
    saveGroup(first);
}

void OptionChoices::setSelected(int k, bool selected)
{
    if (selected) {
        select(k);
    } else if (isSelected(k)) {
        m_selected[size_t(k - 1)] = false;
        Q_EMIT changed();
    }
}

void OptionChoices::saveGroup(int first)
{
    bool allWritten = true;
    for (int i = first; i < first + 3; ++i) {
        const QString text = isSelected(i) ? QStringLiteral("True") : QStringLiteral("False");
        allWritten = m_store.setValue(keyFor(i), text) && allWritten;
    }
    if (!allWritten && !m_warnedAboutWrite) {
        m_warnedAboutWrite = true;
        m_ui.messageBox(QStringLiteral("Your choice could not be saved to %1. It stays in effect "
                                       "until Zentavia Desk is closed.")
                            .arg(m_store.location()));
    }
}

void OptionChoices::restore(Procedure &procedure)
{
    for (int k = 1; k <= 6; ++k) {
        procedure.step(130 + 2 * k, [this, k] {
            const QString fallback = (k == 1 || k == 4) ? QStringLiteral("1") : QStringLiteral("0");
            const QString stored = m_store.value(keyFor(k)).value_or(fallback);
            const std::optional<bool> selected = parseStoredBool(stored);
            if (!selected)
                throw Failure(QStringLiteral("Type mismatch"));
            setSelected(k, *selected);
        });
    }
}

} // namespace zd
