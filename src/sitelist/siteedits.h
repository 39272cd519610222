#pragma once

#include <QString>

namespace zd {

class SiteListModel;
class SiteSink;
class UiServices;

inline const QString kSample1 = QStringLiteral("http://www.quillmoor.com/");
inline const QString kSample2 = QStringLiteral("www.wikipedia.org");
inline const QString kSample3 = QStringLiteral("www.gnu.org");

/// Delete key or double-click in the list: removes item \a selected (from 1;
/// 0 for none). Nothing happens while the window is busy.
void removeSite(UiServices &ui, SiteListModel &list, int selected);

/// "Add Single URL".
void addSingleUrl(UiServices &ui, SiteSink &list);
/// "Clear List"; ignored while the window is busy.
void clearList(UiServices &ui, SiteListModel &list);
/// "Load Sample/Example Sites".
void loadSampleSites(UiServices &ui, SiteSink &list);

/// Paste: every line of \a text an item, as a loaded file's lines are.
void pasteAddresses(UiServices &ui, SiteSink &list, const QString &text);
/// Keeps the first of each address, in order; the number removed.
qsizetype removeDuplicateSites(UiServices &ui, SiteListModel &list);
/// Removes empty and whitespace-only items; the number removed.
qsizetype removeBlankSites(UiServices &ui, SiteListModel &list);

} // namespace zd
