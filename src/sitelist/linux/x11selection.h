#pragma once

#include <QByteArray>

#include <chrono>
#include <memory>

namespace zd {

/// Owns the X11 CLIPBOARD selection from a thread of its own, with its own
/// connection to the X server, and hands the text to the programs that
/// paste it: at once when it is small, else in large pieces (the INCR
/// protocol). The window's thread never waits for a paste, however long
/// the text, and the text is given up as soon as another program takes
/// the clipboard. A paste in pieces that takes none for \a stallLimit is
/// dropped (ICCCM lets the owner give up), so that a stopped program does
/// not keep the text.
class X11Selection
{
public:
    /// Connects to the display of DISPLAY; isConnected() says whether it could.
    explicit X11Selection(std::chrono::milliseconds stallLimit = std::chrono::seconds(5));
    ~X11Selection();
    X11Selection(const X11Selection &) = delete;
    X11Selection &operator=(const X11Selection &) = delete;

    bool isConnected() const;
    /// Takes the clipboard with \a utf8 as its text; false when the X
    /// server did not give it.
    bool offer(const QByteArray &utf8);
    /// Whether this program still owns the clipboard with its text.
    bool owns() const;
    /// How many pastes are taking the text in pieces now.
    int transfersUnderWay() const;

private:
    struct Server;
    std::unique_ptr<Server> m_server;
};

} // namespace zd
