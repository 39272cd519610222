#pragma once

#include "sitelist/clipboard.h"

#include <QByteArray>

#include <vector>

namespace zd {

class SiteListModel;
class SiteStore;
class UiServices;

/// Every item (all count as marked) with its trailing blanks removed and
/// CR LF after each, as UTF-8.
QByteArray composeClipboardText(UiServices &ui, const SiteStore &items);

/// Puts the list on the clipboard; does nothing for an empty list.
void copyListToClipboard(UiServices &ui, Clipboard &clipboard, const SiteListModel &list);
/// Clears, retrying up to 1000 times; a last failure is ignored.
void clearClipboard(Clipboard &clipboard);
/// Places the text, retrying up to 1000 times; false when every try failed.
bool setClipboardText(Clipboard &clipboard, const QByteArray &text);

/// "Copy Sites To Clipboard".
void copySitesToClipboard(UiServices &ui, Clipboard &clipboard, const SiteListModel &list);

} // namespace zd
