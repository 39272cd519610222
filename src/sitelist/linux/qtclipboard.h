#pragma once

#include "sitelist/clipboard.h"
#include "sitelist/qt/qtplainclipboard.h"

#include <memory>

namespace zd {

class X11Selection;

/// The desktop clipboard: on X11 our text is served from a thread of its
/// own (X11Selection), elsewhere through QClipboard; reading goes through
/// QClipboard everywhere.
class QtClipboard final : public Clipboard
{
public:
    QtClipboard();
    ~QtClipboard() override;
    QtClipboard(const QtClipboard &) = delete;
    QtClipboard &operator=(const QtClipboard &) = delete;

    bool clear() override;
    bool setText(const QByteArray &utf8) override;
    QString readText() override;
    /// Whether the clipboard still holds the text this program put there.
    bool ownsText() const;

private:
    bool onX11() const;

    std::unique_ptr<X11Selection> m_x11;
    QtPlainClipboard m_plain;
};

} // namespace zd
