#pragma once

#include <QByteArray>
#include <QString>

namespace zd {

/// The desktop's plain-text clipboard. Either call may fail while another
/// program holds the clipboard; callers retry.
class Clipboard
{
public:
    virtual ~Clipboard() = default;
    virtual bool clear() = 0;
    /// Offers \a utf8 as plain text; it is handed to other programs as it
    /// is, without a copy in another encoding.
    virtual bool setText(const QByteArray &utf8) = 0;
    /// The plain text on the clipboard; empty when there is none.
    virtual QString readText() = 0;
};

} // namespace zd
