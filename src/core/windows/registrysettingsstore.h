#pragma once

#include "core/settingsstore.h"

#include <QSettings>

namespace zd {

/// The registry key where the per-user store of the program's first
/// platform keeps an application's settings,
/// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>,
/// so that choices already made there carry over. Values are strings.
class RegistrySettingsStore final : public SettingsStore
{
public:
    RegistrySettingsStore(const QString &application, const QString &section);

    std::optional<QString> value(const QString &key) override;
    bool setValue(const QString &key, const QString &value) override;
    bool setValues(const QList<std::pair<QString, QString>> &values) override;
    QString location() const override;

    /// The key's full path, as reg.exe names it.
    static QString keyPath(const QString &application, const QString &section);

private:
    QString m_path;
    QSettings m_settings;
};

} // namespace zd
