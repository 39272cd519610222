#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace zd {

/// The per-user settings of one application section.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    /// The stored text; nullopt when the key is absent (empty is not absent).
    virtual std::optional<QString> value(const QString &key) = 0;
    /// Writes and flushes; false when the value could not be stored.
    virtual bool setValue(const QString &key, const QString &value) = 0;
    /// Writes several keys and flushes once; false when any could not be
    /// stored.
    virtual bool setValues(const QList<std::pair<QString, QString>> &values)
    {
        bool all = true;
        for (const auto &[key, value] : values)
            all = setValue(key, value) && all;
        return all;
    }
    /// Where the settings live, for messages.
    virtual QString location() const = 0;
};

} // namespace zd
