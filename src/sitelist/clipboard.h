#pragma once

#include <QString>

namespace zd {

/// The desktop's plain-text clipboard. Either call may fail while another
/// program holds the clipboard; callers retry.
class Clipboard
{
public:
    virtual ~Clipboard() = default;
    virtual bool clear() = 0;
    virtual bool setText(const QString &text) = 0;
    /// The plain text on the clipboard; empty when there is none.
    virtual QString readText() = 0;
};

} // namespace zd
