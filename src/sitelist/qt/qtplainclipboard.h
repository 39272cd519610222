#pragma once

#include "sitelist/clipboard.h"

namespace zd {

/// The desktop clipboard through QClipboard alone: Windows (which makes
/// the ANSI text from the Unicode one itself) and Wayland desktops.
class QtPlainClipboard final : public Clipboard
{
public:
    bool clear() override;
    bool setText(const QByteArray &utf8) override;
    QString readText() override;
    /// Whether the clipboard still holds the text this program put there.
    bool ownsText() const;
};

} // namespace zd
