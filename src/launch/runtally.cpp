#include "launch/runtally.h"

namespace zd {

namespace {

// Addresses named in the message; the rest are counted.
constexpr int kNamedInSummary = 3;
// Longer addresses are cut, so that the message stays readable.
constexpr qsizetype kShownAddressLength = 80;

QString listed(const QStringList &addresses)
{
    QStringList shown = addresses.mid(0, kNamedInSummary);
    for (QString &address : shown) {
        if (address.size() > kShownAddressLength)
            address = address.left(kShownAddressLength - 3) + QStringLiteral("...");
    }
    QString text = shown.join(QLatin1Char('\n'));
    if (addresses.size() > kNamedInSummary)
        text += QStringLiteral("\n(and %1 more)").arg(addresses.size() - kNamedInSummary);
    return text;
}

// "1 address", "2 addresses".
QString addressCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 address") : QStringLiteral("%1 addresses").arg(count);
}

// "1 address was", "2 addresses were".
QString addressesWere(qsizetype count)
{
    return addressCount(count) + (count == 1 ? QStringLiteral(" was") : QStringLiteral(" were"));
}

QString itsWindowWas(qsizetype count)
{
    return count == 1 ? QStringLiteral("its window was") : QStringLiteral("their windows were");
}

QString itOrThem(qsizetype count)
{
    return count == 1 ? QStringLiteral("it") : QStringLiteral("them");
}

QString whereItEnded(const RunTally &tally)
{
    QStringList parts;
    if (!tally.dialogAddress.isEmpty()) {
        parts << QStringLiteral(
                     "%1 showed a message instead of the page: %2\nThe run stopped at this address, "
                     "which was not opened:\n%3")
                     .arg(tally.dialogBrowser, tally.dialogTitle, listed({tally.dialogAddress}));
    }
    if (!tally.endedAddress.isEmpty()) {
        const ProcessExit::Kind kind = tally.endedExit.kind;
        const QString how =
            !tally.startError.isEmpty()
                ? QStringLiteral("%1 could not be started: %2").arg(tally.endedProgram, tally.startError)
            : kind == ProcessExit::Kind::Failure || kind == ProcessExit::Kind::Crash
                ? QStringLiteral("%1 failed twice without opening a window (%2 %3).")
                      .arg(tally.endedProgram, kind == ProcessExit::Kind::Failure
                                                   ? QStringLiteral("exit status")
                                                   : QStringLiteral("ended by signal"))
                      .arg(tally.endedExit.code)
                : QStringLiteral("%1 ended without opening a window.").arg(tally.endedProgram);
        parts << how + QStringLiteral("\nThe run stopped at this address, which was not opened:\n")
                     + listed({tally.endedAddress});
    }
    if (tally.stoppedAt > 0) {
        parts << QStringLiteral("You stopped the run at item %1 of %2, which was not opened:\n%3\nTo go on, "
                                "select it and choose Open From Here.")
                     .arg(tally.stoppedAt)
                     .arg(tally.count)
                     .arg(listed({tally.stoppedAddress}));
    }
    if (tally.listChangedAfter >= 0) {
        parts << QStringLiteral("The list was changed during the run, so it stopped after %1.")
                     .arg(addressCount(tally.listChangedAfter));
    }
    return parts.join(QStringLiteral("\n\n"));
}

QString notStarted(const RunTally &tally)
{
    QStringList parts;
    if (!tally.optionLike.isEmpty()) {
        const qsizetype n = tally.optionLike.size();
        parts << QStringLiteral("%1 not opened because %2 with \"-\", which a browser would take for an "
                                "option:\n%3")
                     .arg(addressesWere(n),
                          n == 1 ? QStringLiteral("it begins") : QStringLiteral("they begin"),
                          listed(tally.optionLike));
    }
    if (tally.blank > 0) {
        parts << QStringLiteral("%1 not opened because %2 blank.")
                     .arg(addressesWere(tally.blank),
                          tally.blank == 1 ? QStringLiteral("it is") : QStringLiteral("they are"));
    }
    if (!tally.unpassable.isEmpty()) {
        const qsizetype n = tally.unpassable.size();
        parts << QStringLiteral("%1 not opened because the system cannot hand %2 to a program (longer than "
                                "128 KiB, or holding a NUL character):\n%3")
                     .arg(addressesWere(n), itOrThem(n), listed(tally.unpassable));
    }
    return parts.join(QStringLiteral("\n\n"));
}

QString notConfirmedOrPlaced(const RunTally &tally)
{
    QStringList parts;
    if (!tally.restarted.isEmpty()) {
        const qsizetype n = tally.restarted.size();
        parts << QStringLiteral("%1 failed while taking %2 and was started again for %3:\n%4")
                     .arg(tally.restartedProgram, addressCount(n), itOrThem(n), listed(tally.restarted));
    }
    if (!tally.notConfirmed.isEmpty()) {
        const qsizetype n = tally.notConfirmed.size();
        parts << QStringLiteral("For %1 the browser did not confirm within %2 seconds that it took %3:\n%4")
                     .arg(addressCount(n))
                     .arg(kWindowWaitMs / 1000)
                     .arg(itOrThem(n), listed(tally.notConfirmed));
    }
    if (!tally.elsewhere.isEmpty()) {
        const qsizetype n = tally.elsewhere.size();
        parts << (tally.elsewhereOnOtherDisplay
                      ? QStringLiteral(
                          "%1 handed to a browser that has no window on this display (it runs on "
                          "another one), so %2 not placed:\n%3")
                      : QStringLiteral("%1 handed to a running browser that has no window on this desktop, "
                                       "so %2 not placed:\n%3"))
                     .arg(addressesWere(n), itsWindowWas(n), listed(tally.elsewhere));
    }
    if (!tally.notPlaced.isEmpty()) {
        const qsizetype n = tally.notPlaced.size();
        parts << QStringLiteral("For %1 no browser window appeared within %2 seconds, so %3 not "
                                "placed:\n%4")
                     .arg(addressCount(n))
                     .arg(kWindowWaitMs / 1000)
                     .arg(itsWindowWas(n), listed(tally.notPlaced));
    }
    if (tally.desktopCannotPlace) {
        parts << QStringLiteral("This desktop does not let other programs minimize or maximize windows, so "
                                "the browser keeps its own window state.");
    }
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace

QString closingMessage(const RunTally &tally)
{
    QStringList parts{whereItEnded(tally), notStarted(tally), notConfirmedOrPlaced(tally), tally.browserNote};
    parts.removeAll(QString());
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace zd
