// The desktop clipboard under the test X server.
#include "sitelist/clipboardexport.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/linux/qtclipboard.h"
#include "sitelist/linux/x11selection.h"
#include "sitelist/sitelistmodel.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QProcess>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <poll.h>

using namespace zd;

class TestQtClipboard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copyPutsPlainTextOnTheClipboard();
    void anotherProgramPastesTheBytes_data();
    void anotherProgramPastesTheBytes();
    void stalledPasteIsDroppedAndTheTextFreed();
};

namespace {

// Runs a program to its end while this one's event loop goes on: the
// clipboard is served from that loop.
QByteArray runWhileServing(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return "not started";
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    QByteArray output;
    QObject::connect(&process, &QProcess::readyReadStandardOutput,
                     [&] { output += process.readAllStandardOutput(); });
    for (int waited = 0; waited < 60'000 && process.state() != QProcess::NotRunning; waited += 10)
        QTest::qWait(10);
    output += process.readAllStandardOutput();
    return output;
}

// A program that pastes over its own connection, a step at a time.
class Requestor
{
public:
    Requestor() : m_c(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        m_clipboard = atom("CLIPBOARD");
        m_property = atom("ZD_PASTED");
    }
    ~Requestor() { xcb_disconnect(m_c); }
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }
    /// Asks for the text; true once the owner has answered in pieces.
    bool askForPieces()
    {
        xcb_convert_selection(m_c, m_window, m_clipboard, atom("UTF8_STRING"), m_property, XCB_CURRENT_TIME);
        if (!waitFor(XCB_SELECTION_NOTIFY))
            return false;
        // Reading and deleting the INCR property asks for the first piece.
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
        const bool incr = reply && reply->type == atom("INCR");
        std::free(reply);
        xcb_flush(m_c);
        return incr;
    }
    /// Waits for the first piece and, as a stopped program, never takes it.
    bool firstPieceCame() { return waitFor(XCB_PROPERTY_NOTIFY); }
    void takeTheClipboard()
    {
        xcb_set_selection_owner(m_c, m_window, m_clipboard, XCB_CURRENT_TIME);
        xcb_flush(m_c);
    }

private:
    bool waitFor(uint8_t type)
    {
        xcb_flush(m_c);
        pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
        for (int turns = 0; turns < 100; ++turns) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
                const bool wanted = (event->response_type & 0x7f) == type;
                std::free(event);
                if (wanted)
                    return true;
            }
            ::poll(&fd, 1, 50);
        }
        return false;
    }

    xcb_connection_t *m_c;
    xcb_window_t m_window = 0;
    xcb_atom_t m_clipboard = 0;
    xcb_atom_t m_property = 0;
};

} // namespace

void TestQtClipboard::copyPutsPlainTextOnTheClipboard()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs the X11 platform");
    test::FakeUiServices ui;
    QtClipboard clipboard;
    SiteListModel list;
    list.appendSite(QStringLiteral("http://a/  "));
    list.appendSite(QStringLiteral("bücher.de"));
    copySitesToClipboard(ui, clipboard, list);
    QClipboard *system = QGuiApplication::clipboard();
    QCOMPARE(system->text(), QStringLiteral("http://a/\r\nbücher.de\r\n"));
    QVERIFY(system->mimeData()->hasText());

    // An empty list leaves what was there.
    SiteListModel empty;
    copySitesToClipboard(ui, clipboard, empty);
    QCOMPARE(system->text(), QStringLiteral("http://a/\r\nbücher.de\r\n"));
}

void TestQtClipboard::anotherProgramPastesTheBytes_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("one line") << 1;
    // Past what one X request carries: the transfer goes in pieces (INCR).
    QTest::newRow("200,000 lines") << 200'000;
}

// What another program pastes is the list's text, byte for byte, however
// long; once that program puts its own text there, ours is given up.
void TestQtClipboard::anotherProgramPastesTheBytes()
{
    QFETCH(int, lines);
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs the X11 platform");
    test::FakeUiServices ui;
    QtClipboard clipboard;
    SiteListModel list;
    for (int i = 0; i < lines; ++i)
        list.appendSite(QStringLiteral("https://b\u00fccher.example/%1  ").arg(i));
    copySitesToClipboard(ui, clipboard, list);
    QVERIFY(clipboard.ownsText());
    const QByteArray pasted =
        runWhileServing(QStringLiteral("xclip"),
                        {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                         QStringLiteral("-target"), QStringLiteral("UTF8_STRING")});
    QCOMPARE(pasted.size(), composeClipboardText(ui, *list.snapshot()).size());
    QVERIFY(pasted == composeClipboardText(ui, *list.snapshot()));
    QVERIFY(pasted.startsWith("https://b\xC3\xBC"
                              "cher.example/0\r\n"));

    runWhileServing(QStringLiteral("xclip"),
                    {QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard")},
                    "theirs");
    QTRY_VERIFY(!clipboard.ownsText());
    // And this program reads theirs, as a paste into the list does.
    QCOMPARE(clipboard.readText(), QStringLiteral("theirs"));
}

// A paste that stops in the middle (a stopped program) is dropped after
// the stall limit; once another program owns the clipboard, nothing of ours
// holds the text any more.
void TestQtClipboard::stalledPasteIsDroppedAndTheTextFreed()
{
    X11Selection selection(std::chrono::milliseconds(500));
    QVERIFY(selection.isConnected());
    QByteArray text(8 << 20, 'x');
    QVERIFY(selection.offer(text));
    Requestor stopped;
    QVERIFY(stopped.askForPieces());
    QVERIFY(stopped.firstPieceCame());
    QCOMPARE(selection.transfersUnderWay(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(selection.transfersUnderWay(), 0, 5000);
    QVERIFY(!text.isDetached()); // still offered
    stopped.takeTheClipboard();
    QTRY_VERIFY(!selection.owns());
    QVERIFY(text.isDetached());
}

QTEST_MAIN(TestQtClipboard)
#include "tst_qtclipboard.moc"
