// The floor for the start-up figure: the least a Qt Widgets program does to
// put a window of the player's size on screen.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Quorvana");
    window.setFixedSize(483, 277);
    window.show();
    return app.exec();
}
