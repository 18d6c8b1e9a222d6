#include "Form1.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

namespace
{

// The program's icon, which every window takes, once the resources carry it.
void setProgramIcon(QApplication &app)
{
    const QString icon = QStringLiteral(":/icons/quorlin.png");
    if (QFile::exists(icon))
        app.setWindowIcon(QIcon(icon));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setProgramIcon(app);
    Form1 form1;
    form1.show();
    return app.exec();
}
