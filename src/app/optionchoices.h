#pragma once

#include <QObject>

#include <array>

namespace zd {

class Procedure;
class SettingsStore;
class UiServices;

/// Read access to the two choices, as the launch run needs it.
class Options
{
public:
    virtual ~Options() = default;
    /// Whether button Option<k> (1 to 6) is selected.
    virtual bool isSelected(int k) const = 0;
};

/// The six option buttons' state, kept in step with the settings store:
/// two groups of three (browser 1-3, window state 4-6), at most one selected
/// in each; every selection writes its group's three keys.
class OptionChoices final : public QObject, public Options
{
    Q_OBJECT
public:
    OptionChoices(SettingsStore &store, UiServices &ui, QObject *parent = nullptr);

    bool isSelected(int k) const override;
    /// Selects Option<k>, unselects the others of its group and saves the group.
    void select(int k);
    /// Sets a button from code: true selects as above, false only clears it.
    void setSelected(int k, bool selected);
    /// The six start-up steps, labelled 132 to 142.
    void restore(Procedure &procedure);

    static QString keyFor(int k);

Q_SIGNALS:
    void changed();

private:
    void saveGroup(int first);

    SettingsStore &m_store;
    UiServices &m_ui;
    std::array<bool, 6> m_selected{};
    bool m_warnedAboutWrite = false;
};

/// The stored text as a Boolean: True/False in any case, or a number (0 is
/// false). nullopt for anything else (a type mismatch).
std::optional<bool> parseStoredBool(const QString &text);

} // namespace zd
