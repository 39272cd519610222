#pragma once

#include <QString>

namespace zd {

class SiteListModel;
class SiteSink;
class UiServices;

inline const QString kSample1 = QStringLiteral("http://www.quillmoor.com/");
inline const QString kSample2 = QStringLiteral("www.wikipedia.org");
inline const QString kSample3 = QStringLiteral("www.gnu.org");

inline constexpr int kDeleteKey = 46;

/// Delete key in the list (Shift, Ctrl and Alt do not matter). \a selected
/// is the selected item's index from 1, or 0 for none.
void listKeyDown(UiServices &ui, SiteListModel &list, int keyCode, int selected);
/// Double-click anywhere in the list: removes the selected item.
void listDoubleClick(UiServices &ui, SiteListModel &list, int selected);

/// "Add Single URL".
void addSingleUrl(UiServices &ui, SiteSink &list);
/// "Clear List"; ignored while the window is busy.
void clearList(UiServices &ui, SiteListModel &list);
/// "Load Sample/Example Sites".
void loadSampleSites(UiServices &ui, SiteSink &list);

} // namespace zd
