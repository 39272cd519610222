#pragma once

#include "app/core/settingsstore.h"

#include <QSettings>

namespace zd {

/// QSettings in INI format, user scope: <XDG_CONFIG_HOME>/<application>.ini,
/// one group per section.
class IniSettingsStore final : public SettingsStore
{
public:
    IniSettingsStore(const QString &application, const QString &section);

    std::optional<QString> value(const QString &key) override;
    bool setValue(const QString &key, const QString &value) override;
    QString location() const override;

private:
    QSettings m_settings;
    QString m_section;
};

} // namespace zd
