#include "sitelist/clipboardexport.h"

#include "core/errorreport.h"
#include "sitelist/sitelistmodel.h"
#include "core/textcodec.h"
#include "core/uiservices.h"

namespace zd {

namespace {
constexpr int kClipboardAttempts = 1000;
}

QString composeClipboardText(UiServices &ui, const SiteStore &items)
{
    qsizetype total = 0;
    for (qsizetype i = 0; i < items.size(); ++i)
        total += items.at(i).size() + 2;
    QString text;
    text.reserve(total);
    for (qsizetype i = 0; i < items.size(); ++i) {
        ui.pumpEvents();
        const QString item = decodeBytes(items.at(i));
        qsizetype length = item.size();
        while (length > 0 && item[length - 1] == QLatin1Char(' '))
            --length;
        text.append(QStringView(item).left(length));
        text.append(QLatin1String("\r\n"));
    }
    return text;
}

void clearClipboard(Clipboard &clipboard)
{
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
        if (clipboard.clear())
            return;
    }
}

bool setClipboardText(Clipboard &clipboard, const QString &text)
{
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
        if (clipboard.setText(text))
            return true;
    }
    return false;
}

void copyListToClipboard(UiServices &ui, Clipboard &clipboard, const SiteListModel &list)
{
    if (list.count() == 0)
        return;
    // The items as they are now: the list may change while events are pumped.
    const std::shared_ptr<const SiteStore> items = list.snapshot();
    const QString text = composeClipboardText(ui, *items);
    clearClipboard(clipboard);
    setClipboardText(clipboard, text);
}

void copySitesToClipboard(UiServices &ui, Clipboard &clipboard, const SiteListModel &list)
{
    Procedure procedure(ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton8_Click")));
    procedure.step(106, [&] { copyListToClipboard(ui, clipboard, list); });
    procedure.step(108, [&] {
        ui.messageBox(QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area "
                                     "where you normally type and press Ctrl+V to paste the clipboard."));
    });
}

} // namespace zd
