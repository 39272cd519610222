// The yardstick for start-up: a bare Qt window of the main window's size;
// with "--caption", one button caption in it, so that fonts are loaded too.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(536, 578);
    if (app.arguments().contains(QStringLiteral("--caption")))
        (new QPushButton(QStringLiteral("Start Opening"), &window))->setGeometry(8, 543, 520, 27);
    window.show();
    return app.exec();
}
