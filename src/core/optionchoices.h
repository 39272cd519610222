#pragma once

#include <QObject>

#include <array>
#include <optional>

namespace zd {

class Procedure;
class SettingsStore;
class UiServices;

/// The six option buttons, numbered as their settings keys ("Option1" ...):
/// a browser group (1-3) and a window-state group (4-6).
enum class Option { InternetExplorer = 1, Chrome, Firefox, SameState, Minimized, Maximized };

inline constexpr std::array<Option, 6> kAllOptions{Option::InternetExplorer, Option::Chrome,
                                                   Option::Firefox,          Option::SameState,
                                                   Option::Minimized,        Option::Maximized};

/// Read access to the two choices, as the launch run needs it.
class Options
{
public:
    virtual ~Options() = default;
    virtual bool isSelected(Option option) const = 0;
    /// The stored delay between sites in seconds; nullopt when none is
    /// stored (the run then uses its own).
    virtual std::optional<double> delaySeconds() const = 0;
    virtual void setDelaySeconds(double seconds) = 0;
    /// Whether every address of a run opens in a private window.
    virtual bool privateWindow() const = 0;
    /// After how many sites a run pauses itself until the user goes on; 0:
    /// never.
    virtual int pauseEvery() const = 0;
    virtual void setPauseEvery(int sites) = 0;
};

/// The delay between sites a user may choose, in seconds.
inline constexpr double kMaxDelaySeconds = 60.0;
/// The most sites between two pauses a user may choose.
inline constexpr int kMaxPauseEvery = 1'000'000;

/// The six option buttons' state, kept in step with the settings store:
/// two groups of three (browser 1-3, window state 4-6), at most one selected
/// in each; every selection writes its group's three keys.
class OptionChoices final : public QObject, public Options
{
    Q_OBJECT
public:
    OptionChoices(SettingsStore &store, UiServices &ui, QObject *parent = nullptr);

    bool isSelected(Option option) const override;
    std::optional<double> delaySeconds() const override;
    void setDelaySeconds(double seconds) override;
    static QString delayKey() { return QStringLiteral("Delay"); }
    bool privateWindow() const override { return m_private; }
    /// Checks or unchecks "Private window"; written to the store only when
    /// \a remember is set (not for a command line's --private).
    void setPrivateWindow(bool on, bool remember = true);
    static QString privateKey() { return QStringLiteral("Private"); }
    int pauseEvery() const override;
    void setPauseEvery(int sites) override;
    static QString pauseEveryKey() { return QStringLiteral("PauseEvery"); }
    /// Selects \a option, unselects the others of its group and saves the group.
    void select(Option option);
    /// Sets a button from code: true selects as above, false only clears it.
    void setSelected(Option option, bool selected);
    /// The six start-up steps, labelled 132 to 142; then "Private window",
    /// unchecked unless stored as true.
    void restore(Procedure &procedure);

    static QString keyFor(Option option);

Q_SIGNALS:
    void changed();

private:
    void saveGroup(Option first);
    // One message per run, however many writes fail.
    void warnOnceAboutWrite();

    SettingsStore &m_store;
    UiServices &m_ui;
    std::array<bool, 6> m_selected{};
    bool m_warnedAboutWrite = false;
    bool m_private = false;
};

/// The stored text as a Boolean: True/False in any case, or a number (0 is
/// false). nullopt for anything else (a type mismatch).
std::optional<bool> parseStoredBool(const QString &text);

/// A plain decimal number ("1", "-0.5", "1e3"); not "nan", "inf" or hex.
bool isPlainDecimal(const QString &text);

} // namespace zd
