#pragma once

#include <QString>

#include <optional>

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
    /// Where the settings live, for messages.
    virtual QString location() const = 0;
};

} // namespace zd
