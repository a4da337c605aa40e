// Draws the program's own pictures (application image and tool images) into resources/images.
// Run by hand after changing a picture: make_images <resources/images> [<packaging>]; with the
// second folder it also writes the desktop icon there (the application image at 128 x 128,
// a size the icon theme knows).
#include <QDir>
#include <QFont>
#include <QGradient>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>
#include <iterator>

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

// ---- Tool images: 22 x 22, drawn in pixel coordinates so thin lines land on pixel centres. ----

constexpr int kTool = 22;

struct ToolPainter : QPainter {
    explicit ToolPainter(QImage *img) : QPainter(img) { setRenderHint(QPainter::Antialiasing); }
};

const QColor kOutline(40, 40, 48);
const QColor kGrassLight(120, 190, 80);
const QColor kGrassDark(70, 140, 55);
const QColor kEarth(150, 110, 70);
const QColor kEarthDark(110, 78, 48);

QPolygonF diamond(QPointF centre, double halfWidth, double halfHeight)
{
    return QPolygonF({QPointF(centre.x(), centre.y() - halfHeight), QPointF(centre.x() + halfWidth, centre.y()),
                      QPointF(centre.x(), centre.y() + halfHeight), QPointF(centre.x() - halfWidth, centre.y())});
}

// A small tree: the stand-in for any static object on the map.
void drawTree(QPainter &p, QPointF foot, double size)
{
    const double trunkW = size * 0.22;
    p.setPen(QPen(QColor(70, 45, 25), 0.8));
    p.setBrush(QColor(125, 82, 45));
    p.drawRect(QRectF(foot.x() - trunkW / 2, foot.y() - size * 0.42, trunkW, size * 0.42));
    QPainterPath crown;
    crown.addEllipse(QPointF(foot.x(), foot.y() - size * 0.62), size * 0.36, size * 0.34);
    crown.addEllipse(QPointF(foot.x() - size * 0.2, foot.y() - size * 0.45), size * 0.22, size * 0.2);
    crown.addEllipse(QPointF(foot.x() + size * 0.2, foot.y() - size * 0.45), size * 0.22, size * 0.2);
    crown = crown.simplified();
    QLinearGradient g(foot.x() - size * 0.3, foot.y() - size, foot.x() + size * 0.3, foot.y() - size * 0.3);
    g.setColorAt(0, QColor(110, 200, 90));
    g.setColorAt(1, QColor(30, 110, 40));
    p.setPen(QPen(QColor(20, 70, 25), 0.9));
    p.setBrush(g);
    p.drawPath(crown);
}

// A dashed selection rectangle, black dashes over white so it shows on any ground.
void drawMarquee(QPainter &p, const QRectF &r)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.2));
    p.drawRect(r);
    QPen dash(QColor(20, 20, 20), 1.2);
    dash.setDashPattern({2.0, 2.0});
    p.setPen(dash);
    p.drawRect(r);
}

// A floppy disk; the letter (when given) names which files it writes.
QImage diskImage(const QString &letter, const QColor &letterColour)
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    QPainterPath body;
    body.moveTo(2.5, 3.5);
    body.arcTo(QRectF(2.5, 2.5, 2, 2), 180, -90);
    body.lineTo(17, 2.5);
    body.lineTo(19.5, 5);
    body.lineTo(19.5, 18.5);
    body.arcTo(QRectF(17.5, 17.5, 2, 2), 0, -90);
    body.lineTo(3.5, 19.5);
    body.arcTo(QRectF(2.5, 17.5, 2, 2), 270, -90);
    body.closeSubpath();
    QLinearGradient g(0, 2, 0, 20);
    g.setColorAt(0, QColor(80, 120, 200));
    g.setColorAt(1, QColor(35, 65, 140));
    p.setPen(QPen(QColor(20, 35, 80), 1));
    p.setBrush(g);
    p.drawPath(body);
    // Metal shutter with its window.
    p.setPen(QPen(QColor(90, 90, 100), 0.8));
    p.setBrush(QColor(205, 210, 220));
    p.drawRect(QRectF(6.5, 2.5, 9, 6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(50, 60, 90));
    p.drawRect(QRectF(12, 3.5, 2.2, 4));
    // Label.
    p.setPen(QPen(QColor(150, 150, 160), 0.8));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(4.5, 11.5, 13, 8));
    if (letter.isEmpty()) {
        p.setPen(QPen(QColor(160, 160, 170), 0.8));
        p.drawLine(QPointF(6, 14.5), QPointF(16, 14.5));
        p.drawLine(QPointF(6, 16.8), QPointF(16, 16.8));
    } else {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(9);
        f.setBold(true);
        p.setFont(f);
        p.setPen(letterColour);
        p.drawText(QRectF(4.5, 11.5, 13, 8.5), Qt::AlignCenter, letter);
    }
    return img;
}

// Magnifying glass.
QImage findImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    p.setPen(QPen(QColor(90, 60, 30), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13.5, 13.5), QPointF(19.5, 19.5));
    QRadialGradient glass(QPointF(7.5, 7.5), 7);
    glass.setColorAt(0, QColor(235, 245, 255));
    glass.setColorAt(1, QColor(150, 190, 230));
    p.setPen(QPen(QColor(50, 55, 65), 2));
    p.setBrush(glass);
    p.drawEllipse(QPointF(9, 9), 6, 6);
    p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5.5, 5.5, 7, 7), 100 * 16, 70 * 16);
    return img;
}

// Ground cells seen straight from above: a flat diamond of 3 x 3 cells.
QImage flatImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    const double step = 3.3;
    p.setPen(QPen(QColor(30, 70, 30), 0.8));
    for (int cy = 0; cy < 3; ++cy) {
        for (int cx = 0; cx < 3; ++cx) {
            const QPointF c(11 + (cx - cy) * step, 4.4 + (cx + cy) * step + step);
            p.setBrush((cx + cy) % 2 ? kGrassDark : kGrassLight);
            p.drawPolygon(diamond(c, step, step));
        }
    }
    p.setPen(QPen(kOutline, 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(diamond(QPointF(11, 11), 3 * step, 3 * step));
    return img;
}

// Columns of ground at different heights, as the client draws them.
QImage isoImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    const double hw = 5, hh = 2.5;
    const int heights[2][2] = {{7, 4}, {4, 1}};
    p.setPen(QPen(kOutline, 0.8));
    for (int sum = 0; sum <= 2; ++sum) {
        for (int i = 0; i < 2; ++i) {
            const int j = sum - i;
            if (j < 0 || j > 1)
                continue;
            const double cx = 11 + (i - j) * hw;
            const double cy = 12 + (i + j) * hh;
            const double top = cy - heights[i][j];
            QPolygonF left({QPointF(cx - hw, top), QPointF(cx, top + hh), QPointF(cx, cy + hh), QPointF(cx - hw, cy)});
            QPolygonF right({QPointF(cx + hw, top), QPointF(cx, top + hh), QPointF(cx, cy + hh), QPointF(cx + hw, cy)});
            p.setBrush(kEarth);
            p.drawPolygon(left);
            p.setBrush(kEarthDark);
            p.drawPolygon(right);
            p.setBrush(sum == 1 ? kGrassDark : kGrassLight);
            p.drawPolygon(diamond(QPointF(cx, top), hw, hh));
        }
    }
    return img;
}

// A box seen in perspective, tilted away from the viewer.
QImage view3DImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    // Ground plane in perspective.
    QPolygonF ground({QPointF(6, 13), QPointF(16, 13), QPointF(21, 20.5), QPointF(1, 20.5)});
    QLinearGradient gg(0, 13, 0, 21);
    gg.setColorAt(0, QColor(95, 160, 75));
    gg.setColorAt(1, QColor(60, 125, 50));
    p.setPen(QPen(QColor(30, 70, 30), 0.8));
    p.setBrush(gg);
    p.drawPolygon(ground);
    p.setPen(QPen(QColor(40, 90, 35, 200), 0.7));
    p.drawLine(QPointF(11, 13), QPointF(11, 20.5));
    p.drawLine(QPointF(8.5, 13), QPointF(6, 20.5));
    p.drawLine(QPointF(13.5, 13), QPointF(16, 20.5));
    p.drawLine(QPointF(3.5, 16.6), QPointF(18.5, 16.6));
    // The box: front, top and right faces converging away.
    const QPointF f0(5, 8), f1(13, 8), f2(13, 17), f3(5, 17);
    const QPointF b0(9, 3), b1(17, 3), b2(17, 11.5);
    p.setPen(QPen(QColor(25, 35, 70), 0.9));
    p.setBrush(QColor(110, 150, 225));
    p.drawPolygon(QPolygonF({f0, b0, b1, f1}));
    p.setBrush(QColor(50, 80, 160));
    p.drawPolygon(QPolygonF({f1, b1, b2, f2}));
    QLinearGradient fg(0, 8, 0, 17);
    fg.setColorAt(0, QColor(85, 125, 210));
    fg.setColorAt(1, QColor(65, 100, 190));
    p.setBrush(fg);
    p.drawPolygon(QPolygonF({f0, f1, f2, f3}));
    return img;
}

QImage staticsImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    // A patch of ground under the tree, so the picture reads as "objects on the map".
    p.setPen(QPen(QColor(30, 70, 30), 0.8));
    p.setBrush(kGrassLight);
    p.drawPolygon(diamond(QPointF(11, 17.5), 9.5, 4));
    drawTree(p, QPointF(11, 18.5), 17.5);
    return img;
}

QImage gridImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 235, 215));
    p.drawRoundedRect(QRectF(1.5, 1.5, 19, 19), 2, 2);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(40, 90, 150), 1));
    for (int v = 2; v <= 18; v += 4) {
        p.drawLine(v, 2, v, 18);
        p.drawLine(2, v, 18, v);
    }
    return img;
}

// Scissors, for the clipping controls.
QImage scissorsImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    // Blades: two long slim wedges crossing at the pivot.
    const QColor blade(215, 220, 230), bladeEdge(55, 60, 75);
    p.setPen(QPen(bladeEdge, 1));
    p.setBrush(blade);
    p.drawPolygon(QPolygonF({QPointF(7.6, 13.8), QPointF(17.5, 1), QPointF(15.8, 7), QPointF(10.6, 14.6)}));
    p.drawPolygon(QPolygonF({QPointF(14.4, 13.8), QPointF(4.5, 1), QPointF(6.2, 7), QPointF(11.4, 14.6)}));
    p.setBrush(QColor(60, 60, 70));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(11, 10.4), 1.1, 1.1);
    // Finger rings.
    p.setPen(QPen(QColor(190, 40, 40), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(6.5, 17), 3.2, 3.2);
    p.drawEllipse(QPointF(15.5, 17), 3.2, 3.2);
    return img;
}

// Outlined text: legible over any ground.
void drawLabel(QPainter &p, const QRectF &box, const QString &text, int pixelSize, const QColor &fill)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(true);
    QPainterPath path;
    path.addText(0, 0, f, text);
    const QRectF b = path.boundingRect();
    path.translate(box.center() - b.center());
    p.setPen(QPen(QColor(20, 20, 20), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(path);
}

// A ground cell with its height written on it.
QImage altitudeImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    p.setPen(QPen(QColor(30, 70, 30), 0.9));
    p.setBrush(kGrassLight);
    p.drawPolygon(diamond(QPointF(11, 14.5), 10, 6.5));
    drawLabel(p, QRectF(3, 0, 16, 11), QStringLiteral("z"), 13, QColor(255, 225, 80));
    drawLabel(p, QRectF(3, 10.5, 16, 8), QStringLiteral("12"), 9, Qt::white);
    return img;
}

QImage selectStaticsImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    drawTree(p, QPointF(11, 18), 15);
    drawMarquee(p, QRectF(2.5, 2.5, 17, 17));
    return img;
}

QImage selectTerrainImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    const double step = 2.8;
    p.setPen(QPen(QColor(30, 70, 30), 0.7));
    for (int cy = 0; cy < 3; ++cy) {
        for (int cx = 0; cx < 3; ++cx) {
            const QPointF c(11 + (cx - cy) * step, 11 - 2 * step + (cx + cy) * step);
            p.setBrush((cx + cy) % 2 ? kGrassDark : QColor(185, 160, 100));
            p.drawPolygon(diamond(c, step, step));
        }
    }
    drawMarquee(p, QRectF(2.5, 2.5, 17, 17));
    return img;
}

// An artist's palette with blobs of paint.
QImage paletteImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    QPainterPath board;
    board.addEllipse(QRectF(1.5, 3, 19, 16));
    QPainterPath notch;
    notch.addEllipse(QRectF(12.5, 12.5, 9, 7));
    QPainterPath hole;
    hole.addEllipse(QRectF(13.2, 7.6, 3, 3));
    board = board.subtracted(notch).subtracted(hole);
    QLinearGradient g(0, 3, 0, 19);
    g.setColorAt(0, QColor(230, 195, 140));
    g.setColorAt(1, QColor(190, 145, 90));
    p.setPen(QPen(QColor(110, 75, 40), 0.9));
    p.setBrush(g);
    p.drawPath(board);
    p.setPen(Qt::NoPen);
    const struct {
        QPointF at;
        QColor colour;
    } blobs[] = {{QPointF(5.3, 8.6), QColor(220, 40, 40)},  {QPointF(9.3, 6.3), QColor(250, 210, 40)},
                 {QPointF(5.2, 13.2), QColor(40, 90, 220)}, {QPointF(9.3, 15.3), QColor(50, 170, 60)}};
    for (const auto &b : blobs) {
        p.setBrush(b.colour);
        p.drawEllipse(b.at, 1.9, 1.9);
    }
    return img;
}

// A colour wheel in front of a grid: the colour of the cell grid.
QImage gridColourImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(1, 1, 14, 14));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    for (int v = 1; v <= 15; v += 7) {
        p.drawLine(v, 1, v, 15);
        p.drawLine(1, v, 15, v);
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    QConicalGradient wheel(QPointF(14.5, 14.5), 0);
    const QColor hues[] = {Qt::red, Qt::magenta, Qt::blue, Qt::cyan, Qt::green, Qt::yellow, Qt::red};
    for (int k = 0; k < 7; ++k)
        wheel.setColorAt(k / 6.0, hues[k]);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(wheel);
    p.drawEllipse(QPointF(14.5, 14.5), 6.5, 6.5);
    QRadialGradient centre(QPointF(14.5, 14.5), 4);
    centre.setColorAt(0, QColor(255, 255, 255, 230));
    centre.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(centre);
    p.drawEllipse(QPointF(14.5, 14.5), 4, 4);
    return img;
}

// Mountains, hills and water under the sky: the land surface of the map.
void drawLandscape(QPainter &p, const QRectF &r)
{
    p.save();
    p.setClipRect(r);
    QLinearGradient sky(0, r.top(), 0, r.bottom());
    sky.setColorAt(0, QColor(120, 175, 235));
    sky.setColorAt(1, QColor(200, 225, 250));
    p.fillRect(r, sky);
    const double w = r.width(), h = r.height(), x = r.left(), y = r.top();
    auto at = [&](double fx, double fy) { return QPointF(x + fx * w, y + fy * h); };
    p.setPen(QPen(QColor(70, 60, 55), 0.7));
    p.setBrush(QColor(140, 125, 115));
    p.drawPolygon(QPolygonF({at(0.05, 0.8), at(0.45, 0.18), at(0.85, 0.8)}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({at(0.45, 0.18), at(0.55, 0.34), at(0.48, 0.31), at(0.42, 0.36), at(0.36, 0.32)}));
    QPainterPath hill;
    hill.moveTo(at(0, 0.7));
    hill.quadTo(at(0.3, 0.5), at(0.6, 0.68));
    hill.quadTo(at(0.85, 0.52), at(1, 0.6));
    hill.lineTo(at(1, 1));
    hill.lineTo(at(0, 1));
    hill.closeSubpath();
    p.setPen(QPen(QColor(30, 90, 30), 0.7));
    p.setBrush(QColor(80, 160, 60));
    p.drawPath(hill);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(50, 110, 200));
    p.drawRect(QRectF(at(0, 0.86), at(1, 1)));
    p.restore();
}

QImage terrainImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(1.5, 2.5, 19, 17), 2.5, 2.5);
    p.save();
    p.setClipPath(shape);
    drawLandscape(p, QRectF(1, 2, 20, 18));
    p.restore();
    p.setPen(QPen(QColor(40, 60, 40), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    return img;
}

// A framed picture of the land: terrain drawn from its tile images.
QImage terrainPictureImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    QLinearGradient frame(0, 1, 22, 21);
    frame.setColorAt(0, QColor(225, 180, 80));
    frame.setColorAt(1, QColor(150, 100, 30));
    p.setPen(QPen(QColor(90, 60, 20), 1));
    p.setBrush(frame);
    p.drawRect(QRectF(1.5, 2.5, 19, 17));
    drawLandscape(p, QRectF(4.5, 5.5, 13, 11));
    p.setPen(QPen(QColor(90, 60, 20), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(4.5, 5.5, 13, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 220, 60));
    p.drawEllipse(QPointF(14.5, 8), 1.4, 1.4);
    return img;
}

// A hill coloured by height bands, from sea level to snow.
QImage terrainColourImage()
{
    QImage img = canvas(kTool);
    ToolPainter p(&img);
    QPainterPath hill;
    hill.moveTo(1, 20.5);
    hill.cubicTo(5, 18, 7, 3, 11, 2.5);
    hill.cubicTo(15, 3, 17, 18, 21, 20.5);
    hill.closeSubpath();
    const QColor bands[] = {QColor(40, 90, 200), QColor(60, 160, 70), QColor(170, 200, 70),
                            QColor(230, 200, 80), QColor(170, 110, 60), QColor(250, 250, 250)};
    const int n = int(std::size(bands));
    p.save();
    p.setClipPath(hill);
    p.setPen(Qt::NoPen);
    for (int k = 0; k < n; ++k) {
        const double top = 20.5 - (k + 1) * 18.0 / n;
        p.setBrush(bands[k]);
        p.drawRect(QRectF(0, top, 22, 18.0 / n + 0.5));
    }
    p.restore();
    p.setPen(QPen(QColor(50, 40, 30), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hill);
    return img;
}

bool save(const QImage &img, const QString &dir, const QString &name)
{
    // Names the program looks up without an extension are kept as PNG files all the same.
    const QString file = name.endsWith(QLatin1String(".png")) ? name : name + QLatin1String(".png");
    if (!img.save(dir + QLatin1Char('/') + file, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
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
    const struct {
        const char *name;
        QImage image;
    } images[] = {
        {"tz.png", applicationImage()},
        {"searchfind", findImage()},
        {"flatview.png", flatImage()},
        {"iso.png", isoImage()},
        {"3dview.png", view3DImage()},
        {"viewstaticson.png", staticsImage()},
        {"gridon.png", gridImage()},
        {"editcut", scissorsImage()},
        {"alton.png", altitudeImage()},
        {"selstaticon.png", selectStaticsImage()},
        {"selterrain.png", selectTerrainImage()},
        {"palettetest.png", paletteImage()},
        {"savetomul.png", diskImage(QStringLiteral("M"), QColor(170, 20, 20))},
        {"savetodif.png", diskImage(QStringLiteral("D"), QColor(20, 110, 40))},
        {"gridcolor.png", gridColourImage()},
        {"viewterrainon.png", terrainImage()},
        {"terrainimage.png", terrainPictureImage()},
        {"terraincolor.png", terrainColourImage()},
        {"filesave", diskImage(QString(), QColor())},
    };
    bool ok = true;
    for (const auto &entry : images)
        ok = save(entry.image, dir, QLatin1String(entry.name)) && ok;
    if (argc > 2)
        ok = save(applicationImage().scaled(128, 128, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                  QString::fromLocal8Bit(argv[2]), QStringLiteral("tessaryn-128.png"))
             && ok;
    return ok ? 0 : 1;
}
