#include "Pictures.h"

// Q_INIT_RESOURCE must stand outside any namespace.
static void registerPictures()
{
    Q_INIT_RESOURCE(quorlin);
}

void pictures::load()
{
    static const bool registered = (registerPictures(), true);
    (void)registered;
}

QIcon pictures::programIcon()
{
    load();
    return QIcon(QStringLiteral(":/quorlin/icon.png"));
}

QPixmap pictures::banner()
{
    load();
    return QPixmap(QStringLiteral(":/quorlin/banner.png"));
}
