#include "Form1.h"
#include "Pictures.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("quorlin-config"));
    QApplication::setWindowIcon(pictures::programIcon());
    Form1 form1;
    form1.show();
    return app.exec();
}
