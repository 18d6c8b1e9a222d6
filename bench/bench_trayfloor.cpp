// The least tray program (bench/TrayFloor.h): the floor for the checker's
// resident footprint and start-up time.

#include "TrayFloor.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TrayFloor floor;
    if (!floor.start(TrayFloor::plainIcon()))
        return 1;
    return QApplication::exec();
}
