// Picking on a small hand-made world: what a pick rectangle hits and how the hits are sorted
// by the selection kinds, what the clips leave pickable, the band of cells a rectangle
// covers, the buffer overflow, the cell under a point and the rubber band on the screen.
// Window positions come from the view geometry (centre cell, scale, rotation, widget size).
//
// The world: Ilshenar (facet 2), block 402 = cells 16..23 x 16..23 written, land id 3 at
// z 0 except (21, 20) at z 42 and (19, 21) with id 5; statics 100 twice at (18, 20) z 0,
// 101 at (22, 18) z 0, 102 at (18, 22) z 30, each a solid 20 x 30 image.
#include "gui/viewfixture.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"

#include <QMouseEvent>
#include <QtTest>

using namespace viewfixture;

namespace {

constexpr int kTwice = 100, kSingle = 101, kHigh = 102;
constexpr int kStaticW = 20, kStaticH = 30;

using LandHits = GLMapWidget::LandHits;
using StaticHits = GLMapWidget::StaticHits;

// The click rectangle the view picks around a point: (x - 1, y - 1) to (x + 1, y + 2).
int pickAround(GLMapWidget &v, const QPoint &p)
{
    return v.pickRect(p.x() - 1, p.y() - 1, p.x() + 1, p.y() + 2);
}

void sendMouse(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
    QCoreApplication::sendEvent(w, &e);
}

bool isWhite(QRgb c) { return qRed(c) > 240 && qGreen(c) > 240 && qBlue(c) > 240; }

// White within one pixel of p.
bool whiteNear(const QImage &img, const QPoint &p)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (img.valid(p + QPoint(dx, dy)) && isWhite(img.pixel(p + QPoint(dx, dy))))
                return true;
    return false;
}

} // namespace

class ViewPickingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void selectModeSortsTheHits_data();
    void selectModeSortsTheHits();
    void clippedLandIsHitClippedStaticsAreNot();
    void rectanglePicksEveryCellItTouches();
    void overflowSelectsNothing();
    void cellAtOnASharedEdgeGivesTheCellDrawnFirst();
    void cellAtCoversTheLastWalkOnly();
    void bandIsDrawnInWindowSpace();

private:
    QImage frame() { return m_view->grabFramebuffer(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void ViewPickingTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    World w;
    w.facet = 2;
    w.landBlocks = {2 * 200 + 2};
    w.land = {{{21, 20}, {3, 42}}, {{19, 21}, {5, 0}}};
    w.statics = {{kTwice, 18, 20, 0}, {kTwice, 18, 20, 0}, {kSingle, 22, 18, 0}, {kHigh, 18, 22, 30}};
    w.art = {{kTwice, solidStatic(kStaticW, kStaticH, kRed)},
             {kSingle, solidStatic(kStaticW, kStaticH, kGreen)},
             {kHigh, solidStatic(kStaticW, kStaticH, kBlue)}};
    QVERIFY(writeWorld(dir, w));
    TestEnvironment::useDataDirectory(dir);

    m_view = std::make_unique<GLMapWidget>();
    m_view->resize(480, 360);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->setMapid(2);
}

void ViewPickingTest::cleanupTestCase()
{
    m_view.reset();
    m_env.reset();
}

void ViewPickingTest::init()
{
    GLMapWidget *v = m_view.get();
    v->resize(480, 360);
    v->setMode(0);
    v->setScale(1.0);
    v->setDegree(0.0);
    v->setCenter(20, 20);
    v->setTerrain(true);
    v->setTerrainMode(1);
    v->setStatics(true);
    v->setAltitudes(false);
    v->setGrid(false);
    v->enableLandAbove(false);
    v->enableStaticAbove(false);
    v->setSelectMode(3);
    v->landSelection.clear();
    v->staticSelection.clear();
    frame();
}

void ViewPickingTest::selectModeSortsTheHits_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("degree");
    QTest::newRow("none") << 0 << 1.0 << 0.0;
    QTest::newRow("land") << 1 << 1.0 << 0.0;
    QTest::newRow("statics") << 2 << 1.0 << 0.0;
    QTest::newRow("both") << 3 << 1.0 << 0.0;
    QTest::newRow("both, zoomed and turned") << 3 << 2.0 << 30.0;
}

void ViewPickingTest::selectModeSortsTheHits()
{
    QFETCH(int, mode);
    QFETCH(double, scale);
    QFETCH(double, degree);
    GLMapWidget &v = *m_view;
    v.setScale(scale);
    v.setDegree(degree);
    v.setSelectMode(mode);
    frame();

    // On the image of the two equal statics at (18, 20): the land under them and both
    // statics are recorded whatever the mode; the mode decides what is kept, and the two
    // statics make one entry.
    const int n = pickAround(v, staticPoint(v, 18, 20, kStaticW, kStaticH));
    QCOMPARE(n, 3);
    LandHits land;
    StaticHits statics;
    statics[1][1][1] = {1}; // whatever the caller passes is replaced
    v.collectHits(n, land, statics);

    LandHits wantLand;
    if (mode & 1)
        wantLand[18][20] = 3;
    StaticHits wantStatics;
    if (mode & 2)
        wantStatics[18][20][0] = {kTwice};
    QCOMPARE(land, wantLand);
    QCOMPARE(statics, wantStatics);
}

void ViewPickingTest::clippedLandIsHitClippedStaticsAreNot()
{
    GLMapWidget &v = *m_view;
    LandHits land;
    StaticHits statics;

    // Land at z 42 above a land limit of 41: drawn transparent, still hit.
    v.setLandAbove(41);
    v.enableLandAbove(true);
    frame();
    v.collectHits(pickAround(v, landPoint(v, 21, 20)), land, statics);
    QCOMPARE(land.value(21).value(20, -1), 3);

    // The static at z 30 above a statics limit of 20: not drawn, not hit.
    const QPoint high = staticPoint(v, 18, 22, kStaticW, kStaticH);
    v.collectHits(pickAround(v, high), land, statics);
    QCOMPARE(statics.value(18).value(22).value(30), QList<int>{kHigh});
    v.setStaticAbove(20);
    v.enableStaticAbove(true);
    v.collectHits(pickAround(v, high), land, statics);
    QVERIFY(statics.isEmpty());
    QCOMPARE(land.value(18).value(22, -1), 3); // the land under it is hit as before
    v.enableStaticAbove(false);

    // Statics switched off are not drawn and not hit either.
    v.setStatics(false);
    v.collectHits(pickAround(v, high), land, statics);
    QVERIFY(statics.isEmpty());
}

void ViewPickingTest::rectanglePicksEveryCellItTouches()
{
    GLMapWidget &v = *m_view;
    v.setStatics(false);
    v.setSelectMode(1);
    frame();
    // From near the middle of (19, 19) to near the middle of (21, 19), kept off the
    // diamonds' edges so no cell merely touches the rectangle.
    const QPoint a = landPoint(v, 19, 19, 5, -5);
    const QPoint b = landPoint(v, 21, 19, -5, 5);
    LandHits land;
    StaticHits statics;
    v.collectHits(v.pickRect(a.x(), a.y(), b.x(), b.y()), land, statics);

    // A diamond meets the rectangle when the rectangle's nearest point lies within 22
    // units of the diamond's middle, measured along both axes together.
    const double left = std::min(a.x(), b.x()) - v.width() / 2, right = std::max(a.x(), b.x()) - v.width() / 2;
    const double top = v.height() / 2 - std::min(a.y(), b.y()), bottom = v.height() / 2 - std::max(a.y(), b.y());
    LandHits want;
    for (int x = 15; x <= 25; ++x) {
        for (int y = 15; y <= 25; ++y) {
            const QPoint t = cellTop(v, x, y);
            const double mx = t.x(), my = t.y() - 22;
            const double dx = std::max({left - mx, 0.0, mx - right});
            const double dy = std::max({bottom - my, 0.0, my - top});
            if (dx + dy < 22)
                want[x][y] = (x == 19 && y == 21) ? 5 : 3;
        }
    }
    QVERIFY(want.size() >= 3);
    QCOMPARE(land, want);
}

void ViewPickingTest::overflowSelectsNothing()
{
    GLMapWidget &v = *m_view;
    v.resize(800, 600);
    v.setScale(0.25);
    v.setAltitudes(true); // land and label: 16 words a cell, some 8000 cells in view
    v.setStatics(false);
    v.setSelectMode(1);
    v.setCenter(200, 200); // the view full of the facet
    frame();

    // A click still picks...
    const QPoint middle = landPoint(v, 200, 200);
    QVERIFY(pickAround(v, middle) > 0);
    // ...but the whole view does not fit the buffer.
    QCOMPARE(v.pickRect(0, 0, v.width(), v.height()), -1);
    LandHits land;
    land[1][2] = 3;
    StaticHits statics;
    statics[1][2][3] = {4};
    const LandHits landBefore = land;
    const StaticHits staticsBefore = statics;
    v.collectHits(-1, land, statics);
    QCOMPARE(land, landBefore);
    QCOMPARE(statics, staticsBefore);

    // A band over the whole view leaves the selection as it was.
    v.landSelection[200][200] = 0;
    const LandHits selected = v.landSelection;
    sendMouse(&v, QEvent::MouseButtonPress, QPoint(1, 1), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(v.bandActive());
    sendMouse(&v, QEvent::MouseMove, QPoint(v.width() - 1, v.height() - 1), Qt::NoButton, Qt::LeftButton);
    sendMouse(&v, QEvent::MouseButtonRelease, QPoint(v.width() - 1, v.height() - 1), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!v.bandActive());
    QCOMPARE(v.landSelection, selected);
}

void ViewPickingTest::cellAtOnASharedEdgeGivesTheCellDrawnFirst()
{
    GLMapWidget &v = *m_view;
    // The middle of the edge between (20, 20) and (19, 20): halfway from the top corner of
    // (20, 20) to its left corner, which is the right-bottom edge of (19, 20).
    const QPoint top = cellTop(v, 20, 20);
    const QPoint edge = windowPoint(v, top.x() - 11, top.y() - 11);
    const auto &quads = v.drawnQuads();
    const auto indexOf = [&quads](int x, int y) {
        for (std::size_t i = 0; i < quads.size(); ++i)
            if (quads[i].x == x && quads[i].y == y)
                return int(i);
        return -1;
    };
    QVERIFY(indexOf(19, 20) >= 0 && indexOf(19, 20) < indexOf(20, 20)); // further back, drawn first
    const GLMapWidget::CellHit hit = v.cellAt(edge.x(), edge.y());
    QCOMPARE(QPoint(hit.x, hit.y), QPoint(19, 20));
    QCOMPARE(hit.id, 3);

    // One pixel into either diamond gives that diamond, with its own tile id.
    const GLMapWidget::CellHit inside = v.cellAt(edge.x() + 1, edge.y() + 1);
    QCOMPARE(QPoint(inside.x, inside.y), QPoint(20, 20));
    const QPoint five = landPoint(v, 19, 21);
    QCOMPARE(v.cellAt(five.x(), five.y()).id, 5);
}

void ViewPickingTest::cellAtCoversTheLastWalkOnly()
{
    GLMapWidget &v = *m_view;
    // Land switched off is still found: the walk records every land cell it visits.
    v.setTerrain(false);
    frame();
    const QPoint p = landPoint(v, 21, 20);
    const GLMapWidget::CellHit hit = v.cellAt(p.x(), p.y());
    QCOMPARE(QPoint(hit.x, hit.y), QPoint(21, 20));

    // Near the facet's corner the top of the window shows no cell at all.
    v.setTerrain(true);
    v.setCenter(1, 1);
    frame();
    const QPoint corner = cellTop(v, 0, 0);
    const QPoint beyond = windowPoint(v, corner.x(), corner.y() + 22);
    QVERIFY(beyond.y() > 0);
    const GLMapWidget::CellHit none = v.cellAt(beyond.x(), beyond.y());
    QCOMPARE(none.x, -1);
    QCOMPARE(none.y, -1);
    QCOMPARE(none.id, -1);
    const QPoint first = landPoint(v, 0, 0);
    QCOMPARE(QPoint(v.cellAt(first.x(), first.y()).x, v.cellAt(first.x(), first.y()).y), QPoint(0, 0));
}

void ViewPickingTest::bandIsDrawnInWindowSpace()
{
    GLMapWidget &v = *m_view;
    v.setStatics(false);
    v.setScale(1.5);
    v.setDegree(30);
    const QPoint a(100, 80), b(300, 240);
    sendMouse(&v, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&v, QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton);
    QVERIFY(v.bandActive());
    QCOMPARE(v.bandEnd(), QPointF(b));
    QImage img = frame();
    // The outline runs along the window rectangle whatever the zoom and turn.
    QVERIFY(whiteNear(img, QPoint((a.x() + b.x()) / 2, a.y())));
    QVERIFY(whiteNear(img, QPoint((a.x() + b.x()) / 2, b.y())));
    QVERIFY(whiteNear(img, QPoint(a.x(), (a.y() + b.y()) / 2)));
    QVERIFY(whiteNear(img, QPoint(b.x(), (a.y() + b.y()) / 2)));
    QVERIFY(!isWhite(img.pixel((a + b) / 2)));

    // Escape ends the band and the next frame no longer shows it.
    v.cancelAction();
    QVERIFY(!v.bandActive());
    img = frame();
    QVERIFY(!whiteNear(img, QPoint((a.x() + b.x()) / 2, a.y())));
}

QTEST_MAIN(ViewPickingTest)
#include "view_picking_test.moc"
