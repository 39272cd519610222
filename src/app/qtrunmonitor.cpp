#include "app/qtrunmonitor.h"

#include "core/appinfo.h"
#include "core/clock.h"
#include "core/optionchoices.h"
#include "core/titlewidth.h"
#include "core/textcodec.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QCloseEvent>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace zd {

namespace {

// Between the main window and this one.
constexpr int kGap = 8;
// Room for the window manager's title bar and borders, whose sizes are
// known only once the window is up.
constexpr QSize kFrameGuess(16, 40);

// The widest texts the window shows, in its own font: the labels get that
// width once, so new texts repaint them and nothing lays out again.
int textWidth(const QFontMetrics &metrics)
{
    const QString widest[] = {
        QStringLiteral("Opening 10,000,000 of 10,000,000 in the default browser"),
        QStringLiteral("Skipped: 10,000,000   Not confirmed: 10,000,000   Delay between sites: 60 s"),
        QStringLiteral("waiting for the default browser, 30 s"),
        QStringLiteral("Paused after 10,000,000 of 10,000,000 sites."),
    };
    int width = metrics.averageCharWidth() * 50;
    for (const QString &text : widest)
        width = qMax(width, metrics.horizontalAdvance(text));
    return width;
}

void setTextIfNew(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

// Puts \a buttons under the dialog's contents and asks: true when accepted.
// The dialog is as wide as its title needs beside the title bar's icon and
// buttons, as the message boxes are, so that the title is never cut to "...".
bool ask(QDialog &dialog, QDialogButtonBox *buttons)
{
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.layout()->addWidget(buttons);
    dialog.setMinimumWidth(widthForTitle(dialog));
    return dialog.exec() == QDialog::Accepted;
}

// \a frame moved as little as it takes to be inside \a room.
QPoint insideRoom(QRect frame, const QRect &room)
{
    frame.moveRight(qMin(frame.right(), room.right()));
    frame.moveBottom(qMin(frame.bottom(), room.bottom()));
    frame.moveLeft(qMax(frame.left(), room.left()));
    frame.moveTop(qMax(frame.top(), room.top()));
    return frame.topLeft();
}

// Esc and its close button stop what it shows, as its Stop button does.
// Esc is claimed before Qt looks for shortcuts: the main window's, which
// Qt also offers while this tool window of it is active, would make the
// key ambiguous, and neither would fire.
class ProgressWindow final : public QWidget
{
public:
    explicit ProgressWindow(QWidget *parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {}
    void setStopButton(QPushButton *stop) { m_stop = stop; }

protected:
    bool event(QEvent *event) override
    {
        const bool escape = (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)
                            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
        if (!escape)
            return QWidget::event(event);
        if (event->type() == QEvent::KeyPress && m_stop)
            m_stop->click();
        event->accept();
        return true;
    }
    // It goes when what it shows has ended: a run stops after the address
    // in flight, and the window says so until then.
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
        if (m_stop)
            m_stop->click();
    }

private:
    QPushButton *m_stop = nullptr;
};

} // namespace

QtRunMonitor::~QtRunMonitor()
{
    delete m_progress;
}

void QtRunMonitor::setControls(std::function<void()> stop, std::function<void(bool)> pause)
{
    m_stop = std::move(stop);
    m_pause = std::move(pause);
}

std::optional<RunChoices> QtRunMonitor::confirm(int count, const QString &browser, const RunChoices &offered)
{
    QDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("ConfirmRun"));
    // The title every box of the program has.
    dialog.setWindowTitle(applicationTitleFor(kProductName));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Open %1 sites in %2?").arg(groupedNumber(count), browser)));
    auto *form = new QFormLayout;
    auto *delay = new QDoubleSpinBox;
    delay->setObjectName(QStringLiteral("Delay"));
    delay->setRange(0.0, kMaxDelaySeconds);
    delay->setDecimals(1);
    delay->setSingleStep(0.5);
    delay->setSuffix(QStringLiteral(" s"));
    delay->setValue(offered.delaySeconds);
    form->addRow(QStringLiteral("Delay between sites:"), delay);
    // Reads as one sentence: "Pause after every [20 sites]", or "[never]".
    auto *pause = new QSpinBox;
    pause->setObjectName(QStringLiteral("PauseEvery"));
    pause->setRange(0, kMaxPauseEvery);
    pause->setSpecialValueText(QStringLiteral("never"));
    pause->setSuffix(QStringLiteral(" sites"));
    pause->setValue(offered.pauseEvery);
    pause->setAccessibleName(QStringLiteral("Pause after every N sites"));
    pause->setToolTip(QStringLiteral("The run waits for you after this many sites; 0: never."));
    form->addRow(QStringLiteral("Pause after every"), pause);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    if (!ask(dialog, buttons))
        return std::nullopt;
    return RunChoices{delay->value(), pause->value()};
}

void QtRunMonitor::build()
{
    // Above the browsers' windows, so that Stop stays in reach, without
    // taking the keyboard from the browser when it shows.
    auto *window = new ProgressWindow(m_window);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setObjectName(QStringLiteral("RunProgress"));
    window->setWindowTitle(QStringLiteral("Opening sites"));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto *layout = new QVBoxLayout(window);
    m_heading = new QLabel;
    m_address = new QLabel;
    m_waiting = new QLabel;
    m_counts = new QLabel;
    m_bar = new QProgressBar;
    for (QWidget *widget :
         {static_cast<QWidget *>(m_heading), static_cast<QWidget *>(m_address),
          static_cast<QWidget *>(m_waiting), static_cast<QWidget *>(m_bar), static_cast<QWidget *>(m_counts)})
        layout->addWidget(widget);
    auto *buttons = new QHBoxLayout;
    m_pauseButton = new QPushButton(QStringLiteral("Pause"));
    m_pauseButton->setObjectName(QStringLiteral("Pause"));
    auto *stop = new QPushButton(QStringLiteral("Stop"));
    stop->setObjectName(QStringLiteral("Stop"));
    window->setStopButton(stop);
    buttons->addStretch();
    buttons->addWidget(m_pauseButton);
    buttons->addWidget(stop);
    layout->addLayout(buttons);
    QObject::connect(m_pauseButton, &QPushButton::clicked, window, [this] {
        m_paused = !m_paused;
        m_pauseButton->setText(m_paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        if (m_pause)
            m_pause(m_paused);
    });
    // Enter goes on from a pause, never makes one: the user may have come
    // to the window for Stop.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *goOn = new QShortcut(QKeySequence(key), window);
        QObject::connect(goOn, &QShortcut::activated, m_pauseButton, [this] {
            if (m_paused)
                m_pauseButton->click();
        });
    }
    QObject::connect(stop, &QPushButton::clicked, window, [this] {
        if (m_downloading)
            m_downloadStopRequested = true;
        else if (m_stop)
            m_stop();
    });
    const int width = textWidth(window->fontMetrics());
    for (QLabel *label : {m_heading, m_address, m_waiting, m_counts})
        label->setFixedWidth(width);
    // Sized by its layout from its contents, in whatever font the desktop uses.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    window->adjustSize();
    m_progress = window;
}

bool QtRunMonitor::due(bool atOnce)
{
    const qint64 now = m_clock.nowMs();
    if (m_startedAt < 0)
        m_startedAt = now;
    // A fast run never shows a window; a shown one changes a few times a second.
    if (!atOnce && (now - m_startedAt < kShowAfterMs || (m_shownAt >= 0 && now - m_shownAt < kUpdateMs)))
        return false;
    m_shownAt = now;
    if (!m_progress) {
        build(); // shown by revealIfNew once its texts are in
        m_revealPending = true;
        m_keepAboveTries = m_keepAbove ? 10 : 0;
    } else if (m_keepAboveTries > 0 && m_keepAbove(m_progress)) {
        m_keepAboveTries = 0;
    } else if (m_keepAboveTries > 0) {
        --m_keepAboveTries;
    }
    return true;
}

void QtRunMonitor::progress(const RunProgress &state)
{
    // A pause of the run's own is shown at once, however short the run so far.
    if (!due(state.pausedAfter > 0 && state.pausedAfter != m_shownPausedAfter))
        return;
    m_shownPausedAfter = state.pausedAfter;
    m_paused = state.paused;
    if (state.paused)
        m_pauseButton->setText(state.pausedAfter > 0 ? QStringLiteral("Continue") : QStringLiteral("Resume"));
    else
        m_pauseButton->setText(QStringLiteral("Pause"));
    show(state);
    revealIfNew();
    // A browser that opened a page since may have come up over it.
    m_progress->raise();
}

void QtRunMonitor::revealIfNew()
{
    // Only a window just built: one the user closed stays closed.
    if (!std::exchange(m_revealPending, false))
        return;
    // Placed at the size its first texts give it: a window whose size still
    // changed once shown took the point as its own corner, not its frame's,
    // and put its title bar above it (seen under the GTK theme).
    m_progress->adjustSize();
    if (m_window)
        place();
    m_progress->show();
}

void QtRunMonitor::downloadProgress(const QString &url, qint64 received, qint64 expected)
{
    m_downloading = true;
    if (!due())
        return;
    m_progress->setWindowTitle(QStringLiteral("Downloading the page"));
    m_pauseButton->hide();
    setTextIfNew(m_heading, QStringLiteral("Downloading"));
    m_address->setText(m_address->fontMetrics().elidedText(url, Qt::ElideMiddle, m_address->width()));
    const QString bytes =
        expected > 0
            ? QStringLiteral("%1 of %2 bytes received").arg(groupedNumber(received), groupedNumber(expected))
            : QStringLiteral("%1 bytes received").arg(groupedNumber(received));
    setTextIfNew(m_waiting, bytes);
    // Per mille, so that a page over 2 GB fits the bar's int.
    if (expected > 0) {
        m_bar->setRange(0, 1000);
        m_bar->setValue(int(qMin<qint64>(received, expected) * 1000 / expected));
    } else {
        m_bar->setRange(0, 0); // busy: no end known
    }
    revealIfNew();
}

void QtRunMonitor::downloadFinished()
{
    m_downloading = false;
    m_downloadStopRequested = false;
    finished();
}

std::optional<ProxyCredentials> QtRunMonitor::proxyCredentials(const QString &proxy)
{
    QDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("ProxySignIn"));
    dialog.setWindowTitle(applicationTitleFor(kProductName));
    auto *layout = new QVBoxLayout(&dialog);
    auto *question = new QLabel(
        QStringLiteral("The proxy %1 asks for a user name and password.\nThey are kept until Zentavia Desk "
                       "ends, and never stored.")
            .arg(proxy));
    question->setWordWrap(true);
    layout->addWidget(question);
    auto *form = new QFormLayout;
    auto *user = new QLineEdit;
    user->setObjectName(QStringLiteral("User"));
    auto *password = new QLineEdit;
    password->setObjectName(QStringLiteral("Password"));
    password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&User name:"), user);
    form->addRow(QStringLiteral("&Password:"), password);
    layout->addLayout(form);
    if (!ask(dialog, new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)))
        return std::nullopt;
    return ProxyCredentials{user->text(), password->text()};
}

void QtRunMonitor::place()
{
    // Beside the main window, not over it, or below it where there is no
    // room beside it; always wholly inside the screen.
    // The native window's frame: QWidget's copy of it was seen empty for good
    // under load (openbox) while the native window's was right.
    const QRect main =
        m_window->windowHandle() ? m_window->windowHandle()->frameGeometry() : m_window->frameGeometry();
    const QSize size = m_progress->size() + kFrameGuess;
    QRect frame(QPoint(main.right() + kGap, main.top()), size);
    if (const QScreen *screen = m_window->screen()) {
        const QRect room = screen->availableGeometry();
        if (frame.right() > room.right())
            frame.moveTopLeft(QPoint(main.left(), main.bottom() + kGap));
        frame.moveTopLeft(insideRoom(frame, room));
    }
    m_progress->move(frame.topLeft());
}

void QtRunMonitor::show(const RunProgress &state)
{
    const QString which =
        state.last > state.index
            ? QStringLiteral("%1 to %2").arg(groupedNumber(state.index), groupedNumber(state.last))
            : groupedNumber(state.index);
    if (state.pausedAfter > 0)
        setTextIfNew(m_heading, QStringLiteral("Paused after %1 of %2 sites.")
                                    .arg(groupedNumber(state.pausedAfter), groupedNumber(state.count)));
    else
        setTextIfNew(
            m_heading,
            QStringLiteral("Opening %1 of %2 in %3").arg(which, groupedNumber(state.count), state.browser));
    m_address->setText(
        m_address->fontMetrics().elidedText(state.address, Qt::ElideMiddle, m_address->width()));
    if (state.pausedAfter > 0)
        m_waiting->setText(QStringLiteral("Continue opens the next %1.")
                               .arg(qMin(state.pauseEvery, state.count - state.pausedAfter)));
    else if (state.paused)
        m_waiting->setText(QStringLiteral("Paused for %1 s").arg(state.waitedMs / 1000));
    else if (state.waitingFor.isEmpty())
        m_waiting->clear();
    else if (state.leftMs >= 0) // counted down, whole seconds up
        m_waiting->setText(QStringLiteral("waiting for %1, %2 s left")
                               .arg(state.waitingFor)
                               .arg((state.leftMs + 999) / 1000));
    else
        m_waiting->setText(
            QStringLiteral("waiting for %1, %2 s").arg(state.waitingFor).arg(state.waitedMs / 1000));
    m_bar->setRange(0, qMax(state.count, 1));
    m_bar->setValue(qMax(state.index, state.last));
    setTextIfNew(m_counts, QStringLiteral("Skipped: %1   Not confirmed: %2   Delay between sites: %3 s")
                               .arg(groupedNumber(state.skipped), groupedNumber(state.notConfirmed))
                               .arg(state.delaySeconds, 0, 'g', 3));
}

void QtRunMonitor::finished()
{
    m_startedAt = -1;
    m_shownAt = -1;
    m_paused = false;
    m_shownPausedAfter = 0;
    delete m_progress;
}

} // namespace zd
