#pragma once

#include "sitelist/clipboard.h"

namespace zd {

/// The desktop clipboard through QClipboard.
class QtClipboard final : public Clipboard
{
public:
    bool clear() override;
    bool setText(const QString &text) override;
    QString readText() override;
};

} // namespace zd
