#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace zd::test {

/// The addresses of the tabs a browser has open, window by window and in
/// the order of each window's tab strip, read from the record the browser
/// itself keeps of its session. Empty while there is none yet.

/// Firefox: the session store of \a profileFolder
/// (sessionstore-backups/recovery.jsonlz4), written every
/// browser.sessionstore.interval; each tab's current entry.
QList<QStringList> firefoxSessionTabs(const QString &profileFolder);

/// Chromium: the newest session file of \a userDataFolder
/// (Default/Sessions/Session_*, SNSS), written a few seconds after a change.
/// Each tab's selected navigation, tabs ordered by their index in their
/// window: exact for tabs opened and never moved or closed.
QList<QStringList> chromiumSessionTabs(const QString &userDataFolder);

/// The addresses in a browser's history database: Firefox's places.sqlite
/// (\a table "moz_places"), Chromium's History ("urls"). Read from a copy,
/// its write-ahead log included, while the browser may hold it.
QStringList historyAddresses(const QString &database, const QString &table);

} // namespace zd::test
