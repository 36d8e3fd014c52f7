#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The images live in the application library; a static library's resources are
    // only linked in when something asks for them by name.
    Q_INIT_RESOURCE(images);

    QApplication a(argc, argv);
    MainWindow w;
    w.show();
    return a.exec();
}
