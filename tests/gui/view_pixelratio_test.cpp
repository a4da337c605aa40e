// The map view on a scaled screen: window positions (the widget's own pixels) and GL
// (device pixels) meet in hover, picking, painting and pasting. Runs at a device pixel
// ratio of 1.5 unless QT_SCALE_FACTOR says otherwise (the build runs it again at 2).
//
// The world: Ilshenar (facet 2), block 402 = cells 16..23 x 16..23 written, land id 3 at
// z 0 everywhere; static 110 at (19, 19), a red tree of 30 x 48 pixels: a crown over the
// top third, a trunk of 6 pixels below, transparent around both. Cells 0..199 x 192..391
// are a ramp of land id 5 at z = x - 100, against the facet's left edge; every other cell
// reads as land id 0 at z 0.
#include "gui/viewfixture.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace viewfixture;

namespace {

constexpr int kPaintId = 7;
constexpr int kPasteId = 9;
constexpr int kTree = 110, kTreeW = 30, kTreeH = 48;
constexpr int kTreeX = 19, kTreeY = 19;
constexpr int kRampId = 5;
constexpr QRect kRamp(0, 192, 200, 200);
int rampZ(double x) { return int(x) - 100; }

// Window position (y downwards, unrounded) where the frame puts scene point (sx, sy, sz):
// turned, scaled, then tilted in 3D; the box is centred on the widget.
QPointF windowAt(const GLMapWidget &v, double sx, double sy, double sz)
{
    const double a = v.degree() * M_PI / 180.0, s = v.scale();
    double x = (sx * std::cos(a) - sy * std::sin(a)) * s, y = (sx * std::sin(a) + sy * std::cos(a)) * s;
    if (v.mode() == mapgeometry::ThreeD) {
        const auto m = mapgeometry::viewMatrix3D(v.angle(), v.distance());
        const double z = sz * s, ex = m[0] * x + m[4] * y + m[8] * z, ey = m[1] * x + m[5] * y + m[9] * z;
        x = ex;
        y = ey;
    }
    return QPointF(v.width() / 2.0 + x, v.height() / 2.0 - y);
}

// Where the far frame draws ground point (gx, gy) of the ramp (cells, real numbers): the
// overview's mesh stands its corners at their cells' heights, which on the ramp lie in one
// plane, so every mesh of it, however coarse, lifts (gx, gy) by 4 (gx - 100).
QPointF rampPoint(const GLMapWidget &v, double gx, double gy)
{
    const double dx = gx - v.currentX(), dy = gy - v.currentY();
    const double lift = v.mode() == mapgeometry::Flat ? 0.0 : 4.0 * (gx - 100);
    const bool depthAxis = v.mode() == mapgeometry::ThreeD;
    return windowAt(v, 22 * (dx - dy), -22 * (dx + dy) + (depthAxis ? 0 : lift), depthAxis ? lift : 0);
}

// Window point p lies in the drawn diamond of ramp cell (x, y), or on its edge.
bool inRampCell(const GLMapWidget &v, int x, int y, const QPointF &p)
{
    const QPointF c[4] = {rampPoint(v, x, y), rampPoint(v, x + 1, y), rampPoint(v, x + 1, y + 1),
                          rampPoint(v, x, y + 1)};
    const auto cross = [](const QPointF &a, const QPointF &b) { return a.x() * b.y() - a.y() * b.x(); };
    const double turn = cross(c[1] - c[0], c[2] - c[1]) > 0 ? 1.0 : -1.0;
    for (int i = 0; i < 4; ++i) {
        const QPointF e = c[(i + 1) % 4] - c[i];
        // A thousandth of a pixel of room: the view's matrices are floats.
        if (turn * cross(e, p - c[i]) < -1e-3 * std::hypot(e.x(), e.y()))
            return false;
    }
    return true;
}

// The tree's opaque run of image row y: [first, first + length).
QPair<int, int> treeRun(int y)
{
    if (y < kTreeH / 3)
        return {3, kTreeW - 6};
    return {kTreeW / 2 - 3, 6};
}

// A static image with one run per row, the rest of each row transparent.
QByteArray treeImage(quint16 colour)
{
    QByteArray b;
    put32(b, 0);
    put16(b, kTreeW);
    put16(b, kTreeH);
    QByteArray rows;
    QList<int> offsets;
    for (int y = 0; y < kTreeH; ++y) {
        offsets << int(rows.size() / 2);
        const auto run = treeRun(y);
        put16(rows, run.first);
        put16(rows, run.second);
        for (int x = 0; x < run.second; ++x)
            put16(rows, colour);
        put16(rows, 0);
        put16(rows, 0);
    }
    for (const int o : offsets)
        put16(b, o);
    return b + rows;
}

void send(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void click(QWidget *w, const QPoint &p)
{
    send(w, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    send(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

} // namespace

class ViewPixelRatioTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pointerFindsItsCell_data();
    void pointerFindsItsCell();
    void picksWhereTheImageShows_data();
    void picksWhereTheImageShows();
    void farPointerFindsTheCellDrawn_data();
    void farPointerFindsTheCellDrawn();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void ViewPixelRatioTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    World w;
    w.facet = 2;
    w.landBlocks = {2 * 200 + 2};
    w.statics = {{kTree, kTreeX, kTreeY, 0}};
    w.art = {{kTree, treeImage(kRed)}};
    for (int y = kRamp.top(); y <= kRamp.bottom(); ++y)
        for (int x = kRamp.left(); x <= kRamp.right(); ++x)
            w.land[{x, y}] = {kRampId, rampZ(x)};
    QVERIFY(writeWorld(dir, w));
    TestEnvironment::useDataDirectory(dir);

    m_view = std::make_unique<GLMapWidget>();
    m_view->resize(480, 360);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->setMapid(2);
    m_view->setTerrainMode(1);
    const double wanted = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    QCOMPARE(m_view->devicePixelRatioF(), wanted);
    QCOMPARE(m_view->grabFramebuffer().size(), m_view->framebufferSize());
}

void ViewPixelRatioTest::cleanupTestCase()
{
    m_view.reset();
    m_env.reset();
}

void ViewPixelRatioTest::pointerFindsItsCell_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("degree");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPoint>("cell");
    // Cells away from the centre, so an error that grows with the distance shows.
    QTest::newRow("flat, centre") << 0 << 0.0 << 1.0 << QPoint(20, 20);
    QTest::newRow("flat, far corner") << 0 << 0.0 << 1.0 << QPoint(22, 17);
    QTest::newRow("flat, zoomed in") << 0 << 0.0 << 2.0 << QPoint(18, 21);
    QTest::newRow("flat, turned") << 0 << 30.0 << 1.0 << QPoint(17, 19);
    QTest::newRow("isometric") << 1 << 0.0 << 1.0 << QPoint(21, 18);
    QTest::newRow("isometric, turned, zoomed") << 1 << 45.0 << 1.5 << QPoint(17, 22);
}

void ViewPixelRatioTest::pointerFindsItsCell()
{
    QFETCH(int, mode);
    QFETCH(double, degree);
    QFETCH(double, scale);
    QFETCH(QPoint, cell);
    GLMapWidget &v = *m_view;
    v.setMode(mode);
    v.setDegree(degree);
    v.setScale(scale);
    v.setCenter(20, 20);
    v.grabFramebuffer();
    const QPoint at = landPoint(v, cell.x(), cell.y());

    // Hover reports the cell under the pointer.
    QSignalSpy hover(&v, &GLMapWidget::currentTile);
    send(&v, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    QCOMPARE(hover.count(), 1);
    QCOMPARE(QPoint(hover[0][0].toInt(), hover[0][1].toInt()), cell);

    // A click selects that land cell and no other.
    v.setSelectMode(1);
    v.landSelection.clear();
    click(&v, at);
    QCOMPARE(v.landSelection.size(), 1);
    QCOMPARE(v.landSelection.firstKey(), cell.x());
    QCOMPARE(v.landSelection.first().keys(), QList<int>{cell.y()});
    v.landSelection.clear();

    // A click in paint mode paints that cell and leaves its neighbours.
    QCOMPARE(v.blockCache().land(cell.x(), cell.y()).id(), 3);
    v.setPaint(0, {kPaintId}, QString());
    QCOMPARE(v.switchPaintMode(), 0);
    click(&v, at);
    QCOMPARE(v.switchPaintMode(), -1);
    QCOMPARE(v.blockCache().land(cell.x(), cell.y()).id(), kPaintId);
    for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
        QCOMPARE(v.blockCache().land(cell.x() + d.x(), cell.y() + d.y()).id(), 3);

    // A paste armed far away outlines that cell once the pointer is on it, and a click
    // pastes there.
    QGuiApplication::clipboard()->setText(
        QStringLiteral("<tessaryn><export x=\"0\" y=\"0\" z=\"0\"><land id=\"%1\" x=\"0\" y=\"0\" z=\"0\"/>"
                       "</export></tessaryn>")
            .arg(kPasteId));
    v.armPaste(QPoint(0, 0));
    send(&v, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    v.grabFramebuffer();
    const std::vector<QPoint> outlined = v.pastePreviewCells();
    QCOMPARE(QList<QPoint>(outlined.begin(), outlined.end()), QList<QPoint>{cell});
    click(&v, at);
    QVERIFY(!v.pasteArmed());
    QCOMPARE(v.blockCache().land(cell.x(), cell.y()).id(), kPasteId);
    for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
        QCOMPARE(v.blockCache().land(cell.x() + d.x(), cell.y() + d.y()).id(), 3);
}

void ViewPixelRatioTest::picksWhereTheImageShows_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("degree");
    QTest::addColumn<double>("scale");
    QTest::newRow("flat") << 0 << 0.0 << 1.0;
    QTest::newRow("flat, zoomed in, turned") << 0 << 30.0 << 2.0;
    QTest::newRow("isometric, zoomed out") << 1 << 0.0 << 0.75;
}

// Every window pixel on lines across the tree's trunk and crown: a click selects the tree
// exactly where the picture shows it, and never on the grass inside its rectangle. A band
// over the transparent margin alone takes nothing; one that reaches the trunk takes the
// tree. What the picture shows is read from the frame itself, at this device pixel ratio.
void ViewPixelRatioTest::picksWhereTheImageShows()
{
    QFETCH(int, mode);
    QFETCH(double, degree);
    QFETCH(double, scale);
    GLMapWidget &v = *m_view;
    v.setMode(mode);
    v.setDegree(degree);
    v.setScale(scale);
    v.setCenter(20, 20);
    v.setStatics(true);
    v.setSelectMode(2);
    v.landSelection.clear();
    v.staticSelection.clear();
    const QImage img = v.grabFramebuffer();
    const double r = v.devicePixelRatioF();

    // The tree's rectangle as drawn, in window pixels.
    TileQuad q;
    mapgeometry::staticCorners(mode, kTreeW, kTreeH, 0, 0, q);
    const QPoint top = cellTop(v, kTreeX, kTreeY);
    const auto at = [&](double sx, double sy) { return windowPoint(v, top.x() + sx, top.y() + sy); };
    QRect box;
    for (const auto &c : q.c)
        box |= QRect(at(c.x, c.y), QSize(1, 1));
    const double midX = (q.c[0].x + q.c[2].x) / 2.0;
    const QPoint trunk = at(midX, q.c[0].y + kTreeH / 3.0);      // image row 2h/3
    const QPoint crown = at(midX, q.c[0].y + kTreeH * 5.0 / 6.0); // image row h/6

    // A window pixel is "tree" or "grass" when every device pixel it touches shows that
    // colour; edge pixels the filtering blends are neither.
    const auto colourAt = [&](const QPoint &p) {
        return img.pixelColor(int(std::floor((p.x() + 0.5) * r)), int(std::floor((p.y() + 0.5) * r)));
    };
    const QColor treeColour = colourAt(trunk);
    const QColor grassColour = colourAt(box.topLeft() - QPoint(4, 4));
    const auto near = [](const QColor &a, const QColor &b) {
        return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24
            && std::abs(a.blue() - b.blue()) < 24;
    };
    QVERIFY2(!near(treeColour, grassColour), "the tree must stand out from the grass");
    QVERIFY(treeColour.red() > 200 && treeColour.green() < 60);
    enum Shows { Blend, Tree, Grass };
    const auto shows = [&](const QPoint &p) {
        bool allTree = true, allGrass = true;
        for (int j = int(std::floor(p.y() * r)); j < int(std::ceil((p.y() + 1) * r)); ++j)
            for (int i = int(std::floor(p.x() * r)); i < int(std::ceil((p.x() + 1) * r)); ++i) {
                const QColor c = img.pixelColor(i, j);
                allTree = allTree && near(c, treeColour);
                allGrass = allGrass && near(c, grassColour);
            }
        return allTree ? Tree : allGrass ? Grass : Blend;
    };
    const auto treeSelected = [&] {
        return v.staticSelection.value(kTreeX).value(kTreeY).value(0) == QList<int>{kTree};
    };

    for (const QPoint &line : {trunk, crown}) {
        int trees = 0, grassInBox = 0;
        for (int x = box.left() - 3; x <= box.right() + 3; ++x) {
            const QPoint p(x, line.y());
            const Shows s = shows(p);
            if (s == Blend)
                continue;
            v.staticSelection.clear();
            click(&v, p);
            QVERIFY2(treeSelected() == (s == Tree),
                     qPrintable(QStringLiteral("pixel (%1, %2) shows %3").arg(x).arg(line.y()).arg(s == Tree ? "the tree" : "grass")));
            trees += s == Tree;
            grassInBox += s == Grass && box.contains(p);
        }
        QVERIFY2(trees >= 3 && grassInBox >= 3, "the line must cross the tree and its transparent margin");
    }

    // A band three pixels high from left of the rectangle to just before the trunk's first
    // pixel that is not grass; then one that reaches into the trunk.
    int firstNotGrass = box.left() - 3;
    const auto grassColumn = [&](int x) {
        for (int dy = -1; dy <= 1; ++dy)
            if (shows(QPoint(x, trunk.y() + dy)) != Grass)
                return false;
        return true;
    };
    while (firstNotGrass <= box.right() && grassColumn(firstNotGrass))
        ++firstNotGrass;
    const int bandEnd = firstNotGrass - 2;
    QVERIFY2(bandEnd > box.left() + 2, "the band must lie over the tree's transparent margin");
    const auto band = [&](int toX) {
        v.staticSelection.clear();
        const QPoint from(box.left() - 3, trunk.y() - 1), to(toX, trunk.y() + 1);
        send(&v, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        send(&v, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        send(&v, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    };
    band(bandEnd);
    QVERIFY(v.staticSelection.isEmpty());
    band(trunk.x());
    QVERIFY(treeSelected());

    v.staticSelection.clear();
    v.setStatics(false);
    v.setSelectMode(1);
}

void ViewPixelRatioTest::farPointerFindsTheCellDrawn_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("degree");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("angle");
    QTest::newRow("flat") << 0 << 0.0 << 0.05 << 129.0;
    QTest::newRow("flat, turned, farther") << 0 << 30.0 << 0.01 << 129.0;
    QTest::newRow("isometric") << 1 << 0.0 << 0.05 << 129.0;
    QTest::newRow("isometric, turned") << 1 << 30.0 << 0.05 << 129.0;
    QTest::newRow("isometric, turned, farther") << 1 << 300.0 << 0.01 << 129.0;
    QTest::newRow("3D") << 2 << 0.0 << 0.05 << 129.0;
    QTest::newRow("3D, turned, flatter, farther") << 2 << 200.0 << 0.01 << 80.0;
    QTest::newRow("3D, turned, flatter") << 2 << 200.0 << 0.05 << 80.0;
}

// Zoomed out onto the overview, the pointer over ramp cells, at the window pixel nearest the
// middle of each as drawn: cellAt gives the cell whose drawn diamond holds that pixel, with
// its land id, and hover reports it. (The pixel is not the middle itself: far out one pixel
// spans up to a few cells, and the neighbour whose diamond holds it is the right answer.)
// The cells keep well away from the ramp's edges, whose steps the mesh draws over a
// coarse square, and from the land the ramp's edges hide in 3D. A pointer beyond the
// facet's edge, farther out than any lift reaches, finds no cell.
void ViewPixelRatioTest::farPointerFindsTheCellDrawn()
{
    QFETCH(int, mode);
    QFETCH(double, degree);
    QFETCH(double, scale);
    QFETCH(double, angle);
    GLMapWidget &v = *m_view;
    v.setMode(mode);
    v.setDegree(degree);
    v.setScale(scale);
    v.setAngle(angle);
    v.setCenter(64, 290);
    QVERIFY(OverviewLayer::drawsAt(v.scale()));
    QVERIFY(!v.overview().image().isNull()); // built whole: its heights are the mesh's
    v.grabFramebuffer();
    QVERIFY(v.drawnQuads().empty());

    for (const QPoint cell : {QPoint(64, 290), QPoint(30, 240), QPoint(120, 330), QPoint(40, 330), QPoint(110, 240)}) {
        const QPointF middle = rampPoint(v, cell.x() + 0.5, cell.y() + 0.5);
        const QPoint at(int(std::lround(middle.x())), int(std::lround(middle.y())));
        QVERIFY(v.rect().contains(at));
        const GLMapWidget::CellHit hit = v.cellAt(at.x(), at.y());
        const QString where = QStringLiteral("cell (%1, %2) at (%3, %4): hit (%5, %6)")
                                  .arg(cell.x()).arg(cell.y()).arg(at.x()).arg(at.y()).arg(hit.x).arg(hit.y);
        QVERIFY2(hit.isValid(), qPrintable(where));
        QVERIFY2(std::abs(hit.x - cell.x()) <= 3 && std::abs(hit.y - cell.y()) <= 3, qPrintable(where));
        QVERIFY2(inRampCell(v, hit.x, hit.y, at), qPrintable(where));
        QCOMPARE(hit.id, kRampId);

        const QPoint before = v.hoverCell();
        QSignalSpy hover(&v, &GLMapWidget::currentTile);
        send(&v, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        if (QPoint(hit.x, hit.y) != before) {
            QCOMPARE(hover.count(), 1);
            QCOMPARE(hover[0][0].toInt(), hit.x);
            QCOMPARE(hover[0][1].toInt(), hit.y);
            QCOMPARE(hover[0][2].toInt(), kRampId);
        }
        QCOMPARE(v.hoverCell(), QPoint(hit.x, hit.y));
    }

    const QPointF beyond = windowAt(v, 22 * (-32 - 64), -22 * (-32 - 64), 0); // ground (-32, 290) at z 0
    const QPoint out(int(std::lround(beyond.x())), int(std::lround(beyond.y())));
    QVERIFY(v.rect().contains(out));
    QVERIFY(!v.cellAt(out.x(), out.y()).isValid());

    v.setAngle(129.0);
}

int main(int argc, char **argv)
{
    // Before the application exists: the ratio is fixed when the screens are made.
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "1.5");
    QApplication app(argc, argv);
    ViewPixelRatioTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "view_pixelratio_test.moc"
