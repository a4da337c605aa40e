// Draws the program's own pictures (application image and tool images) into resources/images.
// Run by hand after changing a picture: make_images <resources/images>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>

namespace {
QImage canvas(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

// A diamond of ground cells seen from above at an angle: the mark of the program.
QImage applicationImage()
{
    QImage img = canvas(130);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[] = {QColor(58, 122, 196), QColor(86, 160, 72), QColor(200, 180, 110),
                              QColor(120, 110, 100)};
    for (int cy = 0; cy < 4; ++cy) {
        for (int cx = 0; cx < 4; ++cx) {
            const double x = 65 + (cx - cy) * 15;
            const double y = 20 + (cx + cy) * 15;
            QPolygonF cell({QPointF(x, y), QPointF(x + 15, y + 15), QPointF(x, y + 30), QPointF(x - 15, y + 15)});
            p.setBrush(colours[(cx * 3 + cy * 5) % 4]);
            p.setPen(QPen(QColor(20, 30, 20), 1.5));
            p.drawPolygon(cell);
        }
    }
    QFont f(QStringLiteral("DejaVu Sans"), 40, QFont::Bold);
    p.setFont(f);
    p.setPen(QColor(250, 240, 210));
    p.drawText(QRect(0, 60, 130, 70), Qt::AlignCenter, QStringLiteral("T"));
    return img;
}

bool save(const QImage &img, const QString &dir, const QString &name)
{
    if (!img.save(dir + QLatin1Char('/') + name, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(name));
        return false;
    }
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources/images");
    QDir().mkpath(dir);
    bool ok = save(applicationImage(), dir, QStringLiteral("tz.png"));
    return ok ? 0 : 1;
}
