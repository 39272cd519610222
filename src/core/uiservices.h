#pragma once

#include <QString>

namespace zd {

enum class Pointer { Default, Hourglass, Custom };
enum class MessageStyle { OkOnly, YesNo, Exclamation };
enum class MessageResult { Ok, Yes, No };

/// Thrown by the pump, the waits and the boxes once a stop was requested, so
/// that a running handler unwinds (its files closed, its flags cleared).
/// Reporting steps let it pass; only the window's handler runner catches it.
class StopRequested
{
};

/// The user-interface services every handler uses: boxes, the window's
/// pointer, and the event pump that keeps the window alive in long loops.
class UiServices
{
public:
    virtual ~UiServices() = default;

    /// Modal box; an empty title shows the application title.
    virtual MessageResult messageBox(const QString &prompt, MessageStyle style = MessageStyle::OkOnly,
                                     const QString &title = {}) = 0;
    /// Modal input box titled with the application title; Cancel gives "".
    virtual QString inputBox(const QString &prompt, const QString &defaultText = {}) = 0;
    /// Called at every step of a long loop; cheap when nothing is due.
    virtual void pumpEvents() = 0;
    /// Sleeps about \a ms milliseconds inside the event loop.
    virtual void idle(int ms) = 0;
    /// The title of boxes that name none (set once at start-up).
    virtual void setApplicationTitle(const QString &title) = 0;
    virtual Pointer pointer() const = 0;
    virtual void setPointer(Pointer pointer) = 0;
    /// Reads the pointer shown over buttons from an image file (.cur keeps
    /// its hot spot); false when the file holds no picture.
    virtual bool loadCustomPointer(const QString &path) = 0;
    /// From now on pumpEvents(), idle() and the boxes throw StopRequested.
    virtual void requestStop() = 0;
};

/// Pointer set to the hourglass for a scope; always set back to the default.
class BusyPointer
{
public:
    explicit BusyPointer(UiServices &ui) : m_ui(ui) { m_ui.setPointer(Pointer::Hourglass); }
    ~BusyPointer() { m_ui.setPointer(Pointer::Default); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    UiServices &m_ui;
};

} // namespace zd
