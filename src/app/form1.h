#pragma once

#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace zd {

class Clipboard;
class FileChannel;
class OptionChoices;
class SiteListModel;
class SiteListView;
class FileDialogs;
class UiServices;
class Extraction;
class LaunchRun;

/// What the main window works with; each is a small platform layer.
struct Form1Services
{
    UiServices &ui;
    SiteListModel &sites;
    OptionChoices &choices;
    FileChannel &channel;
    FileDialogs &dialogs;
    Clipboard &clipboard;
    Extraction &extraction;
    LaunchRun &launch;
    /// Folder of the executable, where HAND-M.CUR and x/o.cjs are looked for.
    QString programFolder;
};

/// Where a window of \a frame's size goes: centred in \a available, but
/// never above or left of it, so that its title bar stays reachable.
QPoint windowPositionWithin(const QRect &frame, const QRect &available);

/// True when \a palette puts light text on a dark window.
bool isDarkPalette(const QPalette &palette);

/// \a font made smaller, a quarter point at a time, until \a caption fits
/// \a width pixels (6 points at least), for desktops without Arial's metrics.
QFont fontFitting(QFont font, const QString &caption, int width);

/// The main window: builds the controls of the layout and hands every event
/// to the plain code behind it.
class Form1 final : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(const Form1Services &services, QWidget *parent = nullptr);
    ~Form1() override;

    /// The start-up steps, each reported on failure; run before show().
    void initialize();

    /// Makes the window fit \a available, the list giving up height first,
    /// and places it there; called by initialize() for the primary screen.
    void fitInto(const QRect &available);

    /// Loads site-list files named on the command line, as a drop loads
    /// them; then starts opening when \a start is set.
    void loadFromCommandLine(const QStringList &paths, bool start);

    /// The selected item's index from 1, or 0 for none.
    int selectedIndex() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildControls();
    /// Every control where the layout puts it, the list at its full height.
    void placeControls();
    /// Fits the window again whenever its screen's room changes.
    void followScreen();
    void connectHandlers();
    void applySkin();
    void paintSkin();
    void followTheme();
    void syncOptionButtons();
    void onButtonPointerMove();
    void onBackgroundPointerMove();

    void removeSelectedSite();
    void showFirstNew(int before);
    void openFrom(int first);
    void addListActions();
    bool moveOptionFocus(QObject *watched, int key);

    // Counts handlers under way; closing during one stops it, then quits.
    template<class F>
    void runHandler(F &&handler);

    Form1Services m_services;
    SiteListModel &m_sites;
    OptionChoices &m_choices;
    /// How much larger than usual the desktop's font is (1 at most sizes).
    double m_scale;
    int m_handlerDepth = 0;
    bool m_quitWhenIdle = false;
    bool m_skinned = false;

    SiteListView *m_list = nullptr;
    std::array<QPushButton *, 10> m_buttons{};
    std::array<QRadioButton *, 6> m_options{};
    QGroupBox *m_frame1 = nullptr;
    QGroupBox *m_frame2 = nullptr;
    QCheckBox *m_private = nullptr;
    QPointer<QScreen> m_followedScreen;
    bool m_watchingWindow = false;
};

} // namespace zd
