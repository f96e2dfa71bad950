// The yardstick of the start-up benchmark: the least a Qt program does to
// put a window on the screen.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(560, 440);
    window.show();
    return application.exec();
}
