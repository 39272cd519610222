// The yardstick for start-up: a bare Qt window of the main window's size;
// with "--caption", one button caption in it, measured before the window
// shows, so that fonts are loaded too.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(536, 578);
    if (app.arguments().contains(QStringLiteral("--caption"))) {
        auto *button = new QPushButton(QStringLiteral("Start Opening"), &window);
        // Measured before the window shows, as a window that fits its text
        // must: this is what loads the fonts before the window is mapped.
        button->setGeometry(8, 543, qMin(520, button->sizeHint().width() + 400), 27);
    }
    window.show();
    return app.exec();
}
