// Draws the program's pictures: the icon (icon.svg, icon.png at 32 x 32) and
// the banner of the splash and About windows (banner.png at 249 x 46).
// Run it from the build folder after a change of the drawing:
//   cmake --build . --target quorlin_draw_pictures
//   QT_QPA_PLATFORM=offscreen ./bin/quorlin_draw_pictures <source>/resources
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace
{

const QColor Sea(0x1f, 0x6f, 0x8b);
const QColor Shallow(0x8f, 0xd3, 0xe8);
const QColor Paper(0xff, 0xff, 0xff);
const QColor Ink(0x9a, 0xa8, 0xb0);
const QColor Lens(0xf0, 0xa0, 0x20);

// The icon on a 32 x 32 grid: a rounded tile, a page with three lines of text
// and a magnifying glass over its lower right corner.
const char *const IconSvg =
    R"(<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <rect x="1" y="1" width="30" height="30" rx="6" fill="#1f6f8b"/>
  <path d="M8 5 H19 L24 10 V27 H8 Z" fill="#ffffff"/>
  <path d="M19 5 V10 H24" fill="none" stroke="#9aa8b0" stroke-width="1"/>
  <path d="M11 11 H17 M11 15 H21 M11 19 H16" stroke="#9aa8b0" stroke-width="1.5"/>
  <circle cx="19" cy="20" r="5" fill="none" stroke="#f0a020" stroke-width="2.5"/>
  <path d="M22.5 23.5 L28 29" stroke="#f0a020" stroke-width="3" stroke-linecap="round"/>
</svg>
)";

void drawIcon(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Sea);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);

    QPainterPath page;
    page.moveTo(8, 5);
    page.lineTo(19, 5);
    page.lineTo(24, 10);
    page.lineTo(24, 27);
    page.lineTo(8, 27);
    page.closeSubpath();
    p.setBrush(Paper);
    p.drawPath(page);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Ink, 1));
    p.drawPolyline(QPolygonF({QPointF(19, 5), QPointF(19, 10), QPointF(24, 10)}));
    p.setPen(QPen(Ink, 1.5));
    p.drawLine(QPointF(11, 11), QPointF(17, 11));
    p.drawLine(QPointF(11, 15), QPointF(21, 15));
    p.drawLine(QPointF(11, 19), QPointF(16, 19));

    p.setPen(QPen(Lens, 2.5));
    p.drawEllipse(QPointF(19, 20), 5, 5);
    p.setPen(QPen(Lens, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(22.5, 23.5), QPointF(28, 29));
}

QImage icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(size / 32.0, size / 32.0);
    drawIcon(p);
    return image;
}

// The banner: a sea-to-shallow band with the icon on the left, the name and a
// short line under it.
QImage banner()
{
    QImage image(249, 46, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient band(0, 0, 249, 0);
    band.setColorAt(0, Sea);
    band.setColorAt(1, Shallow);
    p.fillRect(image.rect(), band);

    p.save();
    p.translate(5, 5);
    p.scale(36 / 32.0, 36 / 32.0);
    drawIcon(p);
    p.restore();

    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Paper);
    QFont name(QStringLiteral("Liberation Serif"));
    name.setPixelSize(26);
    name.setBold(true);
    p.setFont(name);
    p.drawText(QRect(50, 1, 195, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quorlin"));
    QFont line(QStringLiteral("Liberation Sans"));
    line.setPixelSize(11);
    p.setFont(line);
    p.drawText(QRect(52, 29, 195, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("keeps an eye on your web pages"));
    return image;
}

bool writeText(const QString &path, const char *text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text) >= 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool ok = writeText(dir + QStringLiteral("/icon.svg"), IconSvg) &&
                    icon(32).save(dir + QStringLiteral("/icon.png")) &&
                    banner().save(dir + QStringLiteral("/banner.png"));
    return ok ? 0 : 1;
}
