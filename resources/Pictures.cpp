#include "Pictures.h"

#include <QImageReader>

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

namespace
{

// A built-in PNG picture, read as PNG. Left to guess, the image reader first
// loads every image-format plugin installed to ask whether it wants the file.
QPixmap builtInPng(const QString &path)
{
    pictures::load();
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

QIcon pictures::programIcon()
{
    return QIcon(builtInPng(QStringLiteral(":/quorlin/icon.png")));
}

QPixmap pictures::banner()
{
    return builtInPng(QStringLiteral(":/quorlin/banner.png"));
}
