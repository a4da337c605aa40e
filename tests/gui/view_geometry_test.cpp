// Where cells, land and statics go on the screen, texture sizes, height colours, the 3D eye,
// the atlas border and how the draw list groups its calls. No window needed.
#include "view/drawlist.h"
#include "view/glmapwidget.h"
#include "view/glwidget.h"
#include "view/mapgeometry.h"
#include "view/textureatlas.h"
#include "tiles/artstore.h"
#include "tiles/colour.h"

#include <QtTest>

#include <map>
#include <set>

using mapgeometry::Corner;

Q_DECLARE_METATYPE(TileQuad)
Q_DECLARE_METATYPE(mapgeometry::LandHeights)

namespace {
TileQuad quad(Corner a, Corner b, Corner c, Corner d)
{
    TileQuad q;
    q.c = {a, b, c, d};
    return q;
}
mapgeometry::LandHeights heights(int z0, int zS, int zE, int zSE)
{
    mapgeometry::LandHeights h;
    h.z0 = z0;
    h.zS = zS;
    h.zE = zE;
    h.zSE = zSE;
    return h;
}
} // namespace

class ViewGeometryTest : public QObject
{
    Q_OBJECT
private slots:
    void cellOffset_data();
    void cellOffset();
    void landCorners_data();
    void landCorners();
    void regionSizes_data();
    void regionSizes();
    void walkVisitsRowsBackToFront();
    void walkFitsTheWindow_data();
    void walkFitsTheWindow();
    void staticCorners_data();
    void staticCorners();
    void textureSides_data();
    void textureSides();
    void textureImageKeepsTopLeftAtTop();
    void heightColours_data();
    void heightColours();
    void eyePositions_data();
    void eyePositions();
    void clipLimitsAreInclusive();
    void diamondBecomesSquare();
    void uniformLandArtStaysUniform_data();
    void uniformLandArtStaysUniform();
    void atlasBorderRepeatsOppositeEdges();
    void drawListRunsKeepOrder();
};

void ViewGeometryTest::cellOffset_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("sx");
    QTest::addColumn<int>("sy");
    QTest::newRow("centre") << 100 << 200 << 0 << 0;
    QTest::newRow("one in +x: right and down") << 101 << 200 << 22 << -22;
    QTest::newRow("one in +y: left and down") << 100 << 201 << -22 << -22;
    QTest::newRow("+x +y: straight down") << 101 << 201 << 0 << -44;
    QTest::newRow("-x -y: straight up") << 99 << 199 << 0 << 44;
    QTest::newRow("far, negative cell") << -5 << 190 << -2090 << 2530;
}

void ViewGeometryTest::cellOffset()
{
    QFETCH(int, x);
    QFETCH(int, y);
    int sx = 1, sy = 1;
    GLMapWidget::cellOffset(x, y, 100, 200, sx, sy);
    QTEST(sx, "sx");
    QTEST(sy, "sy");
}

void ViewGeometryTest::landCorners_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("textured");
    QTest::addColumn<mapgeometry::LandHeights>("h");
    QTest::addColumn<TileQuad>("expected");
    QTest::addColumn<bool>("stretched");

    const TileQuad flat = quad({0, 0, 0}, {-22, -22, 0}, {22, -22, 0}, {0, -44, 0});
    QTest::newRow("flat ignores heights") << 0 << true << heights(10, 20, 30, 40) << flat << false;
    QTest::newRow("iso textured uneven stretches")
        << 1 << true << heights(5, 6, 7, 8) << quad({0, 20, 0}, {-22, 2, 0}, {22, 6, 0}, {0, -12, 0}) << true;
    QTest::newRow("iso textured level is a plain diamond")
        << 1 << true << heights(5, 5, 5, 5) << quad({0, 20, 0}, {-22, -2, 0}, {22, -2, 0}, {0, -24, 0})
        << false;
    QTest::newRow("iso untextured stays at its own height")
        << 1 << false << heights(5, 6, 7, 8) << quad({0, 20, 0}, {-22, -2, 0}, {22, -2, 0}, {0, -24, 0})
        << false;
    QTest::newRow("3d textured always stretched, even level")
        << 2 << true << heights(3, 3, 3, 3) << quad({0, 0, 12}, {-22, -22, 12}, {22, -22, 12}, {0, -44, 12})
        << true;
    QTest::newRow("3d textured heights on the depth axis")
        << 2 << true << heights(1, 2, 3, -4) << quad({0, 0, 4}, {-22, -22, 8}, {22, -22, 12}, {0, -44, -16})
        << true;
    QTest::newRow("3d untextured flat at own height")
        << 2 << false << heights(1, 2, 3, -4) << quad({0, 0, 4}, {-22, -22, 4}, {22, -22, 4}, {0, -44, 4})
        << false;
}

void ViewGeometryTest::landCorners()
{
    QFETCH(int, mode);
    QFETCH(bool, textured);
    QFETCH(mapgeometry::LandHeights, h);
    TileQuad q;
    const bool stretched = mapgeometry::landCorners(mode, textured, h, q);
    QTEST(q, "expected");
    QTEST(stretched, "stretched");
}

void ViewGeometryTest::regionSizes_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("halfCols");
    QTest::addColumn<int>("halfRows");
    QTest::newRow("1") << 1.0 << 21 << 41;
    QTest::newRow("2") << 2.0 << 11 << 21;
    QTest::newRow("0.5") << 0.5 << 41 << 81;
    QTest::newRow("0.3 truncates") << 0.3 << 67 << 134;
}

void ViewGeometryTest::regionSizes()
{
    QFETCH(double, scale);
    const mapgeometry::Region r = mapgeometry::regionFor(scale);
    QTEST(r.halfCols, "halfCols");
    QTEST(r.halfRows, "halfRows");
    qint64 visited = 0;
    mapgeometry::walkRegion(r, 500, 500, [&](int, int) { ++visited; return true; });
    QCOMPARE(visited, qint64(4) * r.halfCols * r.halfRows);
    if (scale == 1.0) {
        QCOMPARE(r.rows(), 82);
        QCOMPARE(r.columns(), 42);
        QCOMPARE(visited, qint64(3444));
    }
}

void ViewGeometryTest::walkVisitsRowsBackToFront()
{
    const mapgeometry::Region r = mapgeometry::regionFor(1.0);
    std::vector<QPoint> cells;
    mapgeometry::walkRegion(r, 1000, 1000, [&](int x, int y) { cells.emplace_back(x, y); return true; });
    // k = trunc(0.5 * sqrt(21^2 + 41^2)) = 23; row 0 starts at (1000 - 47 + 1, 1000).
    QCOMPARE(cells.front(), QPoint(954, 1000));
    const auto offset = [](QPoint c) {
        int sx, sy;
        GLMapWidget::cellOffset(c.x(), c.y(), 1000, 1000, sx, sy);
        return QPoint(sx, sy);
    };
    for (int row = 0; row < r.rows(); ++row) {
        for (int j = 1; j < r.columns(); ++j) {
            const QPoint a = offset(cells[size_t(row * r.columns() + j - 1)]);
            const QPoint b = offset(cells[size_t(row * r.columns() + j)]);
            QCOMPARE(b - a, QPoint(44, 0)); // left to right, 44 apart
        }
        if (row > 0) {
            const QPoint prev = offset(cells[size_t((row - 1) * r.columns())]);
            const QPoint cur = offset(cells[size_t(row * r.columns())]);
            QCOMPARE(cur.y() - prev.y(), -22); // each row 22 lower
            QCOMPARE(std::abs(cur.x() - prev.x()), 22);
        }
    }
    // The centre cell is among them, once.
    QCOMPARE(std::count(cells.begin(), cells.end(), QPoint(1000, 1000)), 1);
}

void ViewGeometryTest::walkFitsTheWindow_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("degree");
    QTest::addColumn<double>("angle");
    QTest::newRow("flat, small window") << 0 << 640 << 480 << 1.0 << 0.0 << 129.0;
    QTest::newRow("flat, wide screen, zoomed out") << 0 << 2560 << 1600 << 0.5 << 0.0 << 129.0;
    QTest::newRow("flat, 4K, turned 30") << 0 << 3840 << 2160 << 1.0 << 30.0 << 129.0;
    QTest::newRow("flat, zoomed in, turned 90") << 0 << 1024 << 768 << 2.0 << 90.0 << 129.0;
    QTest::newRow("isometric, high and low land") << 1 << 1280 << 1024 << 2.0 << 0.0 << 129.0;
    QTest::newRow("isometric, turned 45") << 1 << 1920 << 1080 << 0.5 << 45.0 << 129.0;
    QTest::newRow("3D, default") << 2 << 1280 << 1024 << 1.0 << 0.0 << 129.0;
    QTest::newRow("3D, turned 45") << 2 << 1280 << 1024 << 1.0 << 45.0 << 129.0;
    QTest::newRow("3D, turned 90, low tilt") << 2 << 1024 << 768 << 1.0 << 90.0 << 40.0;
    QTest::newRow("3D, turned 180, steep") << 2 << 2560 << 1600 << 0.5 << 180.0 << 180.0;
    QTest::newRow("3D, turned 300, level") << 2 << 640 << 480 << 1.0 << 300.0 << 0.0;
}

void ViewGeometryTest::walkFitsTheWindow()
{
    QFETCH(int, mode);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, scale);
    QFETCH(double, degree);
    QFETCH(double, angle);
    mapgeometry::ViewSpec view;
    view.mode = mode;
    view.width = width;
    view.height = height;
    view.scale = scale;
    view.degree = degree;
    view.angle = angle;
    const mapgeometry::WalkPlan plan = mapgeometry::walkPlan(view);
    const double a = degree * M_PI / 180.0, t = mapgeometry::tiltRadians(angle);
    // Where a scene point shows in the view box (y upwards), the depth it has in 3D, and
    // how far behind the screen a cell lies (what the 3D walk orders by).
    const auto screen = [&](double x, double y, double z) {
        const double qx = x * std::cos(a) - y * std::sin(a), qy = x * std::sin(a) + y * std::cos(a);
        if (mode != 2)
            return std::array<double, 3>{qx * scale, (qy + (mode == 1 ? z : 0)) * scale, 0};
        return std::array<double, 3>{qx * scale, (qy * std::sin(t) + z * std::cos(t)) * scale,
                                     (qy * std::cos(t) - z * std::sin(t)) * scale};
    };

    std::set<std::pair<int, int>> visited;
    std::vector<std::pair<int, int>> order;
    mapgeometry::walkPlanCells(plan, 0, 0, 0, 0, [&](int x, int y) {
        visited.insert({x, y});
        order.emplace_back(x, y);
        return true;
    });
    QVERIFY(!visited.empty());
    QCOMPARE(order.size(), visited.size()); // each cell once
    QCOMPARE(qint64(visited.size()) <= mapgeometry::planCells(plan), true);

    // Every window point shows a walked cell, whatever the height of the land there: no band
    // at any edge. (A view along the ground shows land edge-on; its depth is checked below.)
    const double st = std::sin(t), ct = std::cos(t);
    if (mode != 2 || st > 0.05) {
        int missing = 0;
        QPoint firstMissing;
        for (int wy = 0; wy <= height; wy += 8) {
            for (int wx = 0; wx <= width; wx += 8) {
                const double X = (wx - width / 2) / scale, Y = (height / 2 - wy) / scale;
                for (const int z : {-128 * 4, 0, 127 * 4}) {
                    double qx = X, qy = Y;
                    if (mode == 2)
                        qy = (Y - z * ct) / st;
                    const double px = qx * std::cos(a) + qy * std::sin(a);
                    const double py = -qx * std::sin(a) + qy * std::cos(a) - (mode == 1 ? z : 0);
                    const int cx = int(std::floor((px - py) / 44.0)), cy = int(std::floor((-px - py) / 44.0));
                    if (!visited.count({cx, cy}) && missing++ == 0)
                        firstMissing = QPoint(wx, wy);
                }
            }
        }
        QVERIFY2(missing == 0, qPrintable(QStringLiteral("%1 window points show no walked cell, first (%2, %3)")
                                              .arg(missing).arg(firstMissing.x()).arg(firstMissing.y())));
    }

    // Nothing far outside: every walked cell can reach into the window with the heights and
    // statics the margins allow (plus one cell), and lies inside the frame's depth.
    const double side = mapgeometry::kStaticSide + 44, up = mapgeometry::kLandLiftHigh + mapgeometry::kStaticReach + 44;
    const double down = -mapgeometry::kLandLiftLow + 44;
    int outside = 0;
    for (const auto &c : visited) {
        int sx = 0, sy = 0;
        mapgeometry::cellOffset(c.first, c.second, 0, 0, sx, sy);
        bool reaches = false;
        for (double z = -down; z <= up && !reaches; z += 11) {
            for (const double dx : {-side, 0.0, side}) {
                const double lift = mode == 0 ? std::max(0.0, z) : z;
                const auto p = mode == 2 ? screen(sx + dx * std::cos(a), sy - 22 - dx * std::sin(a), lift)
                                         : screen(sx, sy - 22, 0);
                // Flat and isometric: lifts go along the scene's own up, turned with it.
                const double ox = mode == 2 ? 0 : (dx * std::cos(a) - lift * std::sin(a)) * scale;
                const double oy = mode == 2 ? 0 : (dx * std::sin(a) + lift * std::cos(a)) * scale;
                // Slack: the cell's own diamond, whose box the walk's rows test.
                const double slack = 66 * scale;
                if (std::abs(p[0] + ox) <= width / 2 + slack && std::abs(p[1] + oy) <= height / 2 + slack
                    && std::abs(p[2]) <= plan.depth)
                    reaches = true;
            }
        }
        if (!reaches)
            ++outside;
    }
    QVERIFY2(outside == 0, qPrintable(QStringLiteral("%1 of %2 walked cells cannot show").arg(outside).arg(visited.size())));

    // Back to front: of two neighbours, the one walked later is never farther away (3D),
    // never higher up the unturned scene (flat and isometric, whose picture turns whole).
    std::map<std::pair<int, int>, size_t> when;
    for (size_t i = 0; i < order.size(); ++i)
        when[order[i]] = i;
    const auto behind = [&](const std::pair<int, int> &c) {
        int sx = 0, sy = 0;
        mapgeometry::cellOffset(c.first, c.second, 0, 0, sx, sy);
        return mode == 2 ? screen(sx, sy - 22, 0)[2] / scale : double(sy);
    };
    for (const auto &[c, i] : when) {
        for (const auto &n : {std::make_pair(c.first + 1, c.second), std::make_pair(c.first, c.second + 1)}) {
            const auto it = when.find(n);
            if (it == when.end())
                continue;
            const auto &early = i < it->second ? c : n;
            const auto &late = i < it->second ? n : c;
            QVERIFY2(behind(late) <= behind(early) + 1e-6,
                     qPrintable(QStringLiteral("(%1, %2) walked after (%3, %4)")
                                    .arg(late.first).arg(late.second).arg(early.first).arg(early.second)));
        }
    }
}

void ViewGeometryTest::staticCorners_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("z");
    QTest::addColumn<int>("tileHeight");
    QTest::addColumn<TileQuad>("expected");

    QTest::newRow("44x44 flat: diamond, z ignored")
        << 0 << 44 << 44 << 50 << 0 << quad({-22, -22, 0}, {0, -44, 0}, {22, -22, 0}, {0, 0, 0});
    QTest::newRow("44x44 iso: diamond lifted 4 per z")
        << 1 << 44 << 44 << 5 << 0 << quad({-22, -2, 0}, {0, -24, 0}, {22, -2, 0}, {0, 20, 0});
    QTest::newRow("44x44 3d: diamond at depth 4z")
        << 2 << 44 << 44 << 5 << 3 << quad({-22, -22, 20}, {0, -44, 20}, {22, -22, 20}, {0, 0, 20});
    QTest::newRow("44x45 flat: 47 wide upright")
        << 0 << 44 << 45 << 50 << 0 << quad({-23, -44, 0}, {24, -44, 0}, {24, 1, 0}, {-23, 1, 0});
    QTest::newRow("odd width 45: 47 wide")
        << 0 << 45 << 10 << 0 << 0 << quad({-23, -44, 0}, {24, -44, 0}, {24, -34, 0}, {-23, -34, 0});
    QTest::newRow("iso z 50 is 200 higher")
        << 1 << 20 << 30 << 50 << 0 << quad({-11, 156, 0}, {12, 156, 0}, {12, 186, 0}, {-11, 186, 0});
    QTest::newRow("3d height 0 lies on the ground")
        << 2 << 20 << 30 << 2 << 0 << quad({-11, -44, 8}, {12, -44, 8}, {12, -14, 8}, {-11, -14, 8});
    QTest::newRow("3d with height stands up")
        << 2 << 20 << 30 << 2 << 9 << quad({-11, -44, 8}, {12, -44, 8}, {12, -44, 38}, {-11, -44, 38});
    QTest::newRow("no image: no area")
        << 1 << 0 << 0 << 0 << 0 << quad({-1, -44, 0}, {2, -44, 0}, {2, -44, 0}, {-1, -44, 0});
}

void ViewGeometryTest::staticCorners()
{
    QFETCH(int, mode);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, z);
    QFETCH(int, tileHeight);
    TileQuad q;
    mapgeometry::staticCorners(mode, w, h, z, tileHeight, q);
    QTEST(q, "expected");
}

void ViewGeometryTest::textureSides_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("texture");
    QTest::newRow("17x100") << QSize(17, 100) << QSize(32, 128);
    QTest::newRow("300x300") << QSize(300, 300) << QSize(256, 256);
    QTest::newRow("1x16") << QSize(1, 16) << QSize(16, 16);
    QTest::newRow("64 kept") << QSize(64, 64) << QSize(64, 64);
    QTest::newRow("65x129") << QSize(65, 129) << QSize(128, 256);
}

void ViewGeometryTest::textureSides()
{
    QFETCH(QSize, image);
    QImage img(image, QImage::Format_ARGB32);
    img.fill(Qt::red);
    const QImage t = GLWidget::textureImage(img);
    QTEST(t.size(), "texture");
    QCOMPARE(t.format(), QImage::Format_RGBA8888);
    QCOMPARE(GLWidget::textureSide(image.width()), t.width());
    QVERIFY(GLWidget::textureImage(QImage()).isNull());
}

void ViewGeometryTest::textureImageKeepsTopLeftAtTop()
{
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::blue);
    img.setPixel(0, 0, 0xFFFF0000u);
    const QImage t = GLWidget::textureImage(img);
    // GL reads rows bottom first: the image's top row is the texture's last.
    const uchar *last = t.constScanLine(15);
    QCOMPARE(int(last[0]), 255);
    QCOMPARE(int(last[2]), 0);
    const uchar *first = t.constScanLine(0);
    QCOMPARE(int(first[0]), 0);
    QCOMPARE(int(first[2]), 255);
}

void ViewGeometryTest::heightColours_data()
{
    QTest::addColumn<int>("z");
    QTest::addColumn<float>("r");
    QTest::addColumn<float>("g");
    QTest::addColumn<float>("b");
    QTest::newRow("0") << 0 << 0.0f << 44.0f / 87 << 0.0f;
    QTest::newRow("-44") << -44 << 3.0f / 87 << 14.0f / 87 << 0.0f;
    QTest::newRow("127") << 127 << 0.0f << 0.0f << 1.0f;
    QTest::newRow("-128 red") << -128 << 1.0f << 0.0f << 0.0f;
    QTest::newRow("-43 green band") << -43 << 0.0f << 1.0f / 87 << 0.0f;
    QTest::newRow("41 green band") << 41 << 0.0f << 85.0f / 87 << 0.0f;
    QTest::newRow("42 blue band") << 42 << 0.0f << 0.0f << 2.0f / 87;
}

void ViewGeometryTest::heightColours()
{
    QFETCH(int, z);
    const auto c = mapgeometry::heightColour(z);
    QTEST(c[0], "r");
    QTEST(c[1], "g");
    QTEST(c[2], "b");
    QCOMPARE(c[3], 1.0f);
}

void ViewGeometryTest::eyePositions_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<int>("distance");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("z");
    QTest::newRow("129, 4") << 129.0 << 4 << -3.0009 << 2.6447;
    QTest::newRow("0, 4: along the ground") << 0.0 << 4 << -4.0 << 0.0;
}

void ViewGeometryTest::eyePositions()
{
    QFETCH(double, angle);
    QFETCH(int, distance);
    QFETCH(double, y);
    QFETCH(double, z);
    const auto eye = mapgeometry::eyePosition(angle, distance);
    QCOMPARE(eye[0], 0.0);
    QVERIFY2(std::abs(eye[1] - y) < 1e-4, qPrintable(QString::number(eye[1])));
    QVERIFY2(std::abs(eye[2] - z) < 1e-4, qPrintable(QString::number(eye[2])));
}

void ViewGeometryTest::clipLimitsAreInclusive()
{
    ClipRange c;
    QVERIFY(!c.hides(127) && !c.hides(-128) && !c.hides(500));
    c.aboveOn = true;
    c.above = 42;
    QVERIFY(!c.hides(42));
    QVERIFY(c.hides(43));
    c.above = 41;
    QVERIFY(c.hides(42));
    c.belowOn = true;
    c.below = -3;
    QVERIFY(!c.hides(-3));
    QVERIFY(c.hides(-4));
}

void ViewGeometryTest::diamondBecomesSquare()
{
    // Land art comes decoded with the alpha it is drawn with; outside the diamond it is empty.
    const auto diamondOf = [](quint32 colour) {
        QImage diamond(44, 44, QImage::Format_ARGB32);
        diamond.fill(0);
        for (int y = 0; y < 44; ++y) {
            const int half = y < 22 ? y + 1 : 44 - y;
            for (int x = 22 - half; x < 22 + half; ++x)
                diamond.setPixel(x, y, colour);
        }
        return diamond;
    };
    const QImage opaque = GLMapWidget::squareFromDiamond(diamondOf(0xFF808080u), 255, false);
    QCOMPARE(opaque.size(), QSize(32, 32));
    QCOMPARE(quint32(opaque.pixel(16, 16)), 0xFF808080u);
    QCOMPARE(quint32(opaque.pixel(1, 30)), 0xFF808080u);
    // Every pixel of the square, patched corners included, carries the alpha.
    const QImage translucent = GLMapWidget::squareFromDiamond(diamondOf(0xE6808080u), 230, false);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            QCOMPARE(qAlpha(translucent.pixel(x, y)), 230);
    QVERIFY(std::abs(qGreen(translucent.pixel(16, 16)) - 0x80) <= 1);

    QImage diamond = diamondOf(0xFF808080u);

    // A black diamond turns fully transparent when black means "nothing".
    diamond.fill(0xFF000000u);
    const QImage holes = GLMapWidget::squareFromDiamond(diamond, 255, true);
    QCOMPARE(quint32(holes.pixel(16, 16)), 0u);
    QCOMPARE(GLMapWidget::squareFromDiamond(QImage(), 255, false).size(), QSize(32, 32));
}

void ViewGeometryTest::uniformLandArtStaysUniform_data()
{
    QTest::addColumn<quint16>("colour");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<bool>("blackTransparent");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("sand") << quint16(0x6A8C) << 255 << false << colourToArgb(0x6A8C, 255);
    QTest::newRow("white, translucent") << quint16(0x7FFF) << 230 << false << colourToArgb(0x7FFF, 230);
    QTest::newRow("black land stays black") << quint16(0x0000) << 255 << false << 0xFF000000u;
    QTest::newRow("black static is nothing") << quint16(0x0000) << 255 << true << 0u;
    QTest::newRow("dark blue static") << quint16(0x0001) << 255 << true << colourToArgb(0x0001, 255);
}

void ViewGeometryTest::uniformLandArtStaysUniform()
{
    // Through the art decoder as the view gets it: every one of the square's pixels is the
    // diamond's colour, so no seam or speck shows where tiles meet.
    QFETCH(quint16, colour);
    QFETCH(int, alpha);
    QFETCH(bool, blackTransparent);
    QFETCH(quint32, expected);
    QByteArray bytes;
    for (int i = 0; i < ArtStore::kLandBytes / 2; ++i) {
        bytes.append(char(colour & 0xFF));
        bytes.append(char(colour >> 8));
    }
    const QImage diamond = ArtStore::decodeLand(bytes, Hue(), false, alpha);
    const QImage square = GLMapWidget::squareFromDiamond(diamond, alpha, blackTransparent);
    QCOMPARE(square.size(), QSize(32, 32));
    int wrong = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (quint32(square.pixel(x, y)) != expected && wrong++ == 0)
                first = QPoint(x, y);
    if (wrong > 0)
        QFAIL(qPrintable(QStringLiteral("%1 of 1024 pixels differ, first at (%2, %3): %4")
                             .arg(wrong).arg(first.x()).arg(first.y())
                             .arg(quint32(square.pixel(first)), 8, 16)));

    // The turn: the diamond's top corner goes to the square's top-left, its right corner to
    // the top-right, its left corner to the bottom-left, its bottom corner to the bottom-right.
    QImage quarters(44, 44, QImage::Format_ARGB32);
    quarters.fill(0);
    const quint32 corners[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u}; // top, right, left, bottom
    for (int y = 0; y < 44; ++y) {
        const int half = y < 22 ? y + 1 : 44 - y;
        for (int x = 22 - half; x < 22 + half; ++x) {
            const bool lower = y >= 22, righter = x >= 22;
            const int d = 22 - half; // near an end of the row: left or right corner
            const bool side = x < d + half / 2 || x >= 44 - d - half / 2;
            quarters.setPixel(x, y, side ? corners[righter ? 1 : 2] : corners[lower ? 3 : 0]);
        }
    }
    const QImage turned = GLMapWidget::squareFromDiamond(quarters, 255, false);
    QCOMPARE(quint32(turned.pixel(0, 0)), corners[0]);
    QCOMPARE(quint32(turned.pixel(31, 0)), corners[1]);
    QCOMPARE(quint32(turned.pixel(0, 31)), corners[2]);
    QCOMPARE(quint32(turned.pixel(31, 31)), corners[3]);
}

void ViewGeometryTest::atlasBorderRepeatsOppositeEdges()
{
    QImage img(3, 2, QImage::Format_RGBA8888);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            img.setPixel(x, y, qRgba(x * 10, y * 100, 0, 255));
    const QImage p = TextureAtlas::padded(img);
    const int P = TextureAtlas::Pad;
    QCOMPARE(p.size(), QSize(3 + 2 * P, 2 + 2 * P));
    const auto at = [&](int x, int y) { return p.pixel(x + P, y + P); };
    QCOMPARE(at(0, 0), img.pixel(0, 0));
    QCOMPARE(at(-1, 0), img.pixel(2, 0)); // left border: the right column
    QCOMPARE(at(3, 1), img.pixel(0, 1));  // right border: the left column
    QCOMPARE(at(1, -1), img.pixel(1, 1)); // below the first row: the last row
    QCOMPARE(at(2, 2), img.pixel(2, 0));
    QCOMPARE(at(-2, -2), img.pixel(1, 0));
}

void ViewGeometryTest::drawListRunsKeepOrder()
{
    DrawList list;
    const std::array<DrawList::Vertex, 4> v{};
    DrawList::Entry names;
    names.x = 7;
    list.add(names, DrawList::Quad, 0, v);     // untextured: takes the next page
    list.add(names, DrawList::Strip, 11, v);
    list.add(names, DrawList::Quad, 11, v);
    list.add(names, DrawList::Quad, 0, v);     // untextured inside a run of page 11
    list.add(names, DrawList::Outline, 0, v);  // lines: a run of their own
    list.add(names, DrawList::Quad, 12, v);
    list.add(names, DrawList::Quad, 11, v);    // back to page 11: a new run, order kept

    QCOMPARE(list.size(), size_t(7));
    QCOMPARE(list.triangleCount(), size_t(12));
    const auto &b = list.batches();
    QCOMPARE(b.size(), size_t(4));
    QCOMPARE(b[0].texture, 11u);
    QCOMPARE(b[0].indexCount, 24u);
    QVERIFY(b[1].lines);
    QCOMPARE(b[1].indexCount, 8u);
    QCOMPARE(b[2].texture, 12u);
    QCOMPARE(b[3].texture, 11u);
    QCOMPARE(b[3].firstIndex, 24u + 8u + 6u);
    // Strip bends along its left-right diagonal; quads split round their outline.
    const auto &i = list.indices();
    QCOMPARE(std::vector<quint32>(i.begin() + 6, i.begin() + 12), (std::vector<quint32>{4, 5, 6, 5, 6, 7}));
    QCOMPARE(std::vector<quint32>(i.begin(), i.begin() + 6), (std::vector<quint32>{0, 1, 3, 1, 2, 3}));
    QCOMPARE(list.entries()[4].firstVertex, 16u);
    QCOMPARE(list.entries()[1].texture, 11u);
}

QTEST_MAIN(ViewGeometryTest)
#include "view_geometry_test.moc"
