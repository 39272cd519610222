#pragma once

#include "launch/browserlauncher.h"

#include <QString>
#include <QStringList>

namespace zd {

/// What became of a run's addresses, for the message that closes it.
struct RunTally
{
    /// Addresses in the list when the run began.
    int count = 0;
    /// The item (from 1) the user's stop came before or during, which was
    /// not opened, and its text; -1: not stopped.
    int stoppedAt = -1;
    QString stoppedAddress;
    /// How many were done when the list changed under the run; -1: it did not.
    int listChangedAfter = -1;
    /// Never started: they begin with "-", which a browser takes for an option.
    QStringList optionLike;
    qsizetype blank = 0;
    /// Never started: no program can take them as one argument.
    QStringList unpassable;
    /// Started, but the browser did not confirm it took them.
    QStringList notConfirmed;
    /// Handed to a browser with no window here.
    QStringList elsewhere;
    /// That browser may run on another display (X11), which the message says.
    bool elsewhereOnOtherDisplay = true;
    /// Minimized or Maximized was chosen, but the desktop lets no other
    /// program place windows.
    bool desktopCannotPlace = false;
    /// Delivered, but no window appeared to place.
    QStringList notPlaced;
    /// The browser showed only a message (a dialog) for this address, and
    /// the run stopped there: the browser's name, the dialog's title.
    QString dialogAddress;
    QString dialogBrowser;
    QString dialogTitle;
    /// The started program ended and no browser took this address; the run
    /// stopped there. The program's file name.
    QString endedAddress;
    QString endedProgram;
    /// How it ended: an exit status other than 0 or a signal, the second
    /// time for the same address; Unknown or Success when no browser took it.
    ProcessExit endedExit;
    /// Set when the program could not be started at all: the system's reason.
    QString startError;
    /// The browser failed (an exit status other than 0, or a signal) while
    /// taking these and was started again for each; the program's file name.
    QStringList restarted;
    QString restartedProgram;
    /// What the run should say about the browser it chose.
    QString browserNote;

    /// Addresses the run did not start, for the progress window.
    qsizetype skipped() const { return optionLike.size() + blank + unpassable.size(); }
};

/// How long a run waits for a browser window before it goes on.
inline constexpr int kWindowWaitMs = 30'000;

/// The closing message of a run; empty when there is nothing to say.
QString closingMessage(const RunTally &tally);

} // namespace zd
