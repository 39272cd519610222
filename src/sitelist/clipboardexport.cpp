#include "sitelist/clipboardexport.h"

#include "core/bytesearch.h"

#include "core/errorreport.h"
#include "sitelist/sitelistmodel.h"
#include "core/textcodec.h"
#include "core/uiservices.h"

namespace zd {

namespace {
constexpr int kClipboardAttempts = 1000;
}

QByteArray composeClipboardText(UiServices &ui, const SiteStore &items)
{
    qsizetype total = 0;
    for (qsizetype i = 0; i < items.size(); ++i)
        total += items.at(i).size() + 2;
    QByteArray text;
    text.reserve(total);
    for (qsizetype i = 0; i < items.size(); ++i) {
        if ((i & 1023) == 0)
            ui.pumpEvents();
        auto [head, tail] = items.at(i);
        // A blank is the byte 0x20 in UTF-8 and one character a byte alike.
        while (!tail.isEmpty() && tail.back() == ' ')
            tail.chop(1);
        while (tail.isEmpty() && !head.isEmpty() && head.back() == ' ')
            head.chop(1);
        // Items keep the bytes they came with: valid UTF-8 goes as it is,
        // anything else as the characters it is shown as.
        // A line break inside an item would make two of it when pasted back.
        if (isAscii(head) && isAscii(tail)) {
            appendWithout<'\r', '\n'>(text, head);
            appendWithout<'\r', '\n'>(text, tail);
        } else {
            appendWithout<'\r', '\n'>(text, decodeBytes(SiteBytes{head, tail}.joined()).toUtf8());
        }
        text.append("\r\n", 2);
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

bool setClipboardText(Clipboard &clipboard, const QByteArray &text)
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
    const QByteArray text = composeClipboardText(ui, *items);
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
