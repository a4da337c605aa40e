// The map view drawing a small hand-made world: pixels read back from the framebuffer,
// the walk's bookkeeping, the once-only diagnostic for missing static art, and input that
// arrives while a walk lets events run.
//
// The world: Ilshenar (facet 2) with one written land block, block 402 = cells 16..23 x
// 16..23, and statics in the same block. Every other block reads as land id 0 at z 0.
// Colour values are the client's 5-5-5 format.
#include <functional>
#include "gui/viewfixture.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "world/datadirectory.h"

#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace viewfixture;

constexpr int kBlock = 2 * 200 + 2; // bx 2, by 2 in a facet 200 blocks high
constexpr int kRedStatic = 100, kGreenStatic = 101, kBlueStatic = 102, kNoArtStatic = 200;

// land: cell -> (id, z) for the cells of block 402 that differ from id 3 at z 0.
bool writeWorld(const QString &dir, const QMap<QPair<int, int>, QPair<int, int>> &land, const QList<Static> &statics)
{
    World w;
    w.facet = 2;
    w.land = land;
    w.landBlocks = {kBlock};
    w.statics = statics;
    // Art: only the statics have images.
    w.art = {{kRedStatic, solidStatic(20, 30, kRed)},
             {kGreenStatic, solidStatic(20, 30, kGreen)},
             {kBlueStatic, solidStatic(20, 30, kBlue)}};
    return writeWorld(dir, w);
}

// Window pixel of a scene point at scale 1, no rotation, flat: the widget is 400 x 300.
QPoint window(int sx, int sy) { return QPoint(200 + sx, 150 - sy); }
// The middle of cell (x, y)'s diamond, centre (20, 20).
QPoint cellMiddle(int x, int y)
{
    int sx, sy;
    GLMapWidget::cellOffset(x, y, 20, 20, sx, sy);
    return window(sx, sy - 22);
}

bool near(QRgb c, int r, int g, int b, int tolerance = 3)
{
    return std::abs(qRed(c) - r) <= tolerance && std::abs(qGreen(c) - g) <= tolerance
        && std::abs(qBlue(c) - b) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

} // namespace

class ViewRenderTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void heightColoursOfKnownCells();
    void gridColourOnACellEdge();
    void landClipHidesButKeepsTheQuad();
    void noDrawLandHiddenOnlyWithStatics();
    void staticDrawnOverItsLand();
    void staticsOfACellInDrawingOrder();
    void staticClipAndStaticsOff();
    void selectedLandIsYellowInColourMode();
    void missingStaticArtReportedOnce();
    void walkCountsCellsOutsideTheFacet();
    void landQuadTakesOwnHeightAtTheEdge();
    void inputDuringAWalkWaitsUntilItEnds();
    void anUnchangedViewIsNotWalkedAgain();

private:
    QImage frame() { return m_view->grabFramebuffer(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void ViewRenderTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    const QMap<QPair<int, int>, QPair<int, int>> land{
        {{21, 20}, {3, 127}}, {{20, 21}, {3, -44}}, {{19, 19}, {2, 0}}, {{21, 19}, {3, 42}}};
    const QList<Static> statics{{kRedStatic, 19, 21, 5}, {kGreenStatic, 19, 21, 0}, {kBlueStatic, 22, 20, 0},
                                {kNoArtStatic, 22, 22, 0}, {kNoArtStatic, 22, 22, 0}};
    QVERIFY(writeWorld(dir, land, statics));
    TestEnvironment::useDataDirectory(dir);

    m_view = std::make_unique<GLMapWidget>();
    m_view->resize(400, 300);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->setMapid(2);
    m_view->setCenter(20, 20);
}

void ViewRenderTest::cleanupTestCase()
{
    m_view.reset();
    m_env.reset();
}

void ViewRenderTest::init()
{
    GLMapWidget *v = m_view.get();
    v->setMode(0);
    v->setScale(1.0);
    v->setDegree(0.0);
    v->setCenter(20, 20);
    v->setTerrain(true);
    v->setTerrainMode(1);
    v->setStatics(false);
    v->setGrid(false);
    v->enableLandAbove(false);
    v->enableStaticAbove(false);
    v->landSelection.clear();
    v->staticSelection.clear();
}

void ViewRenderTest::heightColoursOfKnownCells()
{
    const QImage img = frame();
    const QRgb z0 = img.pixel(cellMiddle(20, 20));
    QVERIFY2(near(z0, 0, 129, 0), qPrintable(describe(z0))); // green 44/87
    const QRgb z127 = img.pixel(cellMiddle(21, 20));
    QVERIFY2(near(z127, 0, 0, 255), qPrintable(describe(z127)));
    const QRgb zm44 = img.pixel(cellMiddle(20, 21));
    QVERIFY2(near(zm44, 9, 41, 0), qPrintable(describe(zm44))); // 3/87 red, 14/87 green
}

void ViewRenderTest::gridColourOnACellEdge()
{
    m_view->setGridColor(0xFFFF0000u);
    m_view->setGrid(true);
    const QImage img = frame();
    // Middle of the top-left edge of the centre cell, from (0, 0) to (-22, -22).
    const QPoint edge = window(-11, -11);
    int red = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            red += near(img.pixel(edge + QPoint(dx, dy)), 255, 0, 0, 10);
    QVERIFY(red >= 1);
    // Away from the edges the cell keeps its height colour.
    QVERIFY(near(img.pixel(cellMiddle(20, 20)), 0, 129, 0));
    m_view->setGridColor(0xFFFFFFFFu);
}

void ViewRenderTest::landClipHidesButKeepsTheQuad()
{
    const QPoint at = cellMiddle(21, 19); // land at z 42
    m_view->setLandAbove(42);
    m_view->enableLandAbove(true);
    QVERIFY(!near(frame().pixel(at), 0, 0, 0)); // at the limit: still drawn
    m_view->setLandAbove(41);
    const QImage img = frame();
    QVERIFY2(near(img.pixel(at), 0, 0, 0), qPrintable(describe(img.pixel(at))));
    QVERIFY(near(img.pixel(cellMiddle(20, 20)), 0, 129, 0)); // z 0 untouched
    // The hidden cell is still in the list, with its names, for picking.
    bool listed = false;
    for (const DrawList::Entry &e : m_view->drawList().entries())
        listed = listed || (e.x == 21 && e.y == 19 && e.kind == DrawList::Land && e.z == 42 && e.id == 3);
    QVERIFY(listed);
}

void ViewRenderTest::noDrawLandHiddenOnlyWithStatics()
{
    const QPoint at = cellMiddle(19, 19); // land id 2
    QVERIFY(near(frame().pixel(at), 0, 129, 0));
    m_view->setStatics(true);
    QVERIFY(near(frame().pixel(at), 0, 0, 0));
    QVERIFY(near(frame().pixel(cellMiddle(20, 20)), 0, 129, 0));
}

void ViewRenderTest::staticDrawnOverItsLand()
{
    // Cell (22, 20) holds a 20 x 30 blue static standing on its bottom corner.
    int sx, sy;
    GLMapWidget::cellOffset(22, 20, 20, 20, sx, sy);
    const QPoint at = window(sx, sy - 30);
    QVERIFY(near(frame().pixel(at), 0, 129, 0));
    m_view->setStatics(true);
    const QRgb c = frame().pixel(at);
    QVERIFY2(near(c, 0, 0, 248), qPrintable(describe(c)));
}

void ViewRenderTest::staticsOfACellInDrawingOrder()
{
    // Cell (19, 21): red at z 5 comes first in the file, green at z 0 second; by height the
    // green one is drawn first and the red one over it.
    m_view->setStatics(true);
    int sx, sy;
    GLMapWidget::cellOffset(19, 21, 20, 20, sx, sy);
    const QRgb c = frame().pixel(window(sx, sy - 30));
    QVERIFY2(near(c, 248, 0, 0), qPrintable(describe(c)));
    std::vector<int> ids;
    for (const DrawList::Entry &e : m_view->drawList().entries())
        if (e.x == 19 && e.y == 21)
            ids.push_back(e.id);
    QCOMPARE(ids, (std::vector<int>{3, kGreenStatic, kRedStatic}));
}

void ViewRenderTest::staticClipAndStaticsOff()
{
    m_view->setStatics(true);
    m_view->setStaticAbove(4);
    m_view->enableStaticAbove(true);
    int sx, sy;
    GLMapWidget::cellOffset(19, 21, 20, 20, sx, sy);
    // The red static at z 5 is clipped: the green one shows, and red is not in the list.
    QVERIFY(near(frame().pixel(window(sx, sy - 30)), 0, 248, 0));
    for (const DrawList::Entry &e : m_view->drawList().entries())
        QVERIFY(e.id != kRedStatic);
    m_view->enableStaticAbove(false);
    m_view->setStatics(false);
    QVERIFY(near(frame().pixel(window(sx, sy - 30)), 0, 129, 0));
}

void ViewRenderTest::selectedLandIsYellowInColourMode()
{
    m_view->landSelection[20][20] = 3;
    const QImage img = frame();
    QVERIFY(near(img.pixel(cellMiddle(20, 20)), 255, 255, 0));
    QVERIFY(near(img.pixel(cellMiddle(21, 20)), 0, 0, 255));
    QVERIFY(m_view->isLandSelected(20, 20));
    QVERIFY(!m_view->isLandSelected(20, 21));
}

void ViewRenderTest::missingStaticArtReportedOnce()
{
    // Cell (22, 22) holds two statics whose art is missing: one line for the pair, and
    // none on later frames.
    m_view->clearTextures(); // earlier frames reported it already
    QTemporaryFile out;
    QVERIFY(out.open());
    std::fflush(stdout);
    const int saved = dup(1);
    dup2(out.handle(), 1);
    m_view->setStatics(true);
    frame();
    frame();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    out.seek(0);
    QCOMPARE(QString::fromLatin1(out.readAll()), QStringLiteral("failed to get image for static 0xc8\n"));
}

void ViewRenderTest::walkCountsCellsOutsideTheFacet()
{
    // The walk never goes outside the facet: at its corner it visits about a quarter of
    // what it visits in the middle, and lets events run once per 2000 cells.
    GLMapWidget *v = m_view.get();
    v->makeCurrent();
    v->setScale(0.25);
    v->drawMap(0, 40, 40, facetBlocksX(2), facetBlocksY(2));
    const auto middle = v->walkStats();
    v->drawMap(0, 0, 0, facetBlocksX(2), facetBlocksY(2));
    const auto stats = v->walkStats();
    v->setScale(1.0);
    QCOMPARE(middle.visited, middle.inside);
    QCOMPARE(middle.eventPoints, int(middle.visited / 2000));
    QVERIFY(middle.eventPoints >= 1);
    QCOMPARE(stats.visited, stats.inside);
    QVERIFY2(stats.inside * 3 < middle.inside && stats.inside * 5 > middle.inside,
             qPrintable(QStringLiteral("%1 at the corner, %2 in the middle").arg(stats.inside).arg(middle.inside)));
    QCOMPARE(qint64(v->drawnQuads().size()), stats.inside);
    for (const auto &q : v->drawnQuads())
        QVERIFY(q.x >= 0 && q.y >= 0);
    v->doneCurrent();
}

void ViewRenderTest::landQuadTakesOwnHeightAtTheEdge()
{
    GLMapWidget *v = m_view.get();
    TileInfo info;
    info.id = 3;
    info.texture = 1; // textured: would bend over uneven neighbours
    const Tile edge(info, 10);
    TileQuad q;
    // The facet's last cell: every neighbour is outside and counts as the cell's own z.
    QVERIFY(!v->landQuad(2303, 1599, edge, q, 1));
    QCOMPARE(q.bottom().y, 40 - 44);
    // Inside, its neighbours (land z 0) pull the corners down.
    QVERIFY(v->landQuad(17, 17, edge, q, 1));
    QCOMPARE(q.top().y, 40);
    QCOMPARE(q.bottom().y, -44);
    // An empty tile counts as height 0.
    QVERIFY(!v->landQuad(17, 17, Tile(), q, 1));
    QCOMPARE(q.top().y, 0);
}

void ViewRenderTest::inputDuringAWalkWaitsUntilItEnds()
{
    GLMapWidget *v = m_view.get();
    v->setStatics(true);
    frame();
    QVERIFY(v->staticTextureCount() > 0);
    const int walksBefore = v->walkStats().walks;

    bool busyInside = false, deferredRan = false, deferredSawIdle = false;
    int walksAfterNestedRepaint = -1, texturesInside = -1, facetInside = -1;
    QMetaObject::invokeMethod(
        v,
        [&] {
            busyInside = v->isBusy();
            v->runWhenIdle([&] {
                deferredRan = true;
                deferredSawIdle = !v->isBusy();
            });
            v->clearTextures(); // the walk still draws from them
            v->setMapid(3);     // the walk reads facet 2's blocks
            v->repaint();       // a second walk must not start inside the first
            walksAfterNestedRepaint = v->walkStats().walks;
            texturesInside = v->staticTextureCount();
            facetInside = v->mapid();
        },
        Qt::QueuedConnection);

    // A walk outside painting, as a pick runs it: zoomed out, its cells let events run.
    v->makeCurrent();
    v->setScale(0.25);
    v->drawMap(0, 40, 40, facetBlocksX(2), facetBlocksY(2));
    v->setScale(1.0);
    v->doneCurrent();
    QVERIFY(busyInside);
    QCOMPARE(walksAfterNestedRepaint, walksBefore + 1);
    QVERIFY(texturesInside > 0);
    QCOMPARE(facetInside, 2);
    QVERIFY(!deferredRan);
    QVERIFY(!v->isBusy());

    // Once idle, the deferred work runs in order, and the refused paint comes back.
    QTRY_VERIFY(deferredRan);
    QVERIFY(deferredSawIdle);
    QCOMPARE(v->staticTextureCount(), 0);
    QCOMPARE(v->mapid(), 3);
    QTRY_VERIFY(v->walkStats().walks > walksBefore + 1);
    v->setMapid(2);
}

void ViewRenderTest::anUnchangedViewIsNotWalkedAgain()
{
    // A repaint of the same view draws the last list again: no walk, no block decoded, the
    // same picture. Each change of what decides the list is walked anew, once, and the
    // picture is then the one a fresh walk gives.
    GLMapWidget *v = m_view.get();
    v->setStatics(true);
    v->setCenter(21, 21);
    const auto signature = [v] {
        QList<qint64> out;
        for (const DrawList::Entry &e : v->drawList().entries())
            out << e.x << e.y << e.kind << e.z << e.id << e.texture;
        for (const DrawList::Vertex &p : v->drawList().vertices())
            out << qint64(p.x) << qint64(p.y) << p.r << p.g << p.b << p.a;
        return out;
    };
    const struct {
        const char *what;
        std::function<void()> change;
    } changes[] = {
        {"nothing", [] {}},
        {"centre", [v] { v->setCenter(20, 21); }},
        {"scale", [v] { v->setScale(0.5); }},
        {"projection", [v] { v->setMode(1); }},
        {"turn", [v] { v->setDegree(30); }},
        {"grid", [v] { v->setGrid(true); }},
        {"grid colour", [v] { v->setGridColor(0xff00ff00u); }},
        {"statics off", [v] { v->setStatics(false); }},
        {"terrain images", [v] { v->setTerrainMode(0); }},
        {"land clip",
         [v] {
             v->setLandAbove(10);
             v->enableLandAbove(true);
         }},
        {"land selected", [v] { v->landSelection[20][20] = 3; }},
        {"land edited", [v] { v->blockCache().setLand(20, 20, 1, 0, 50); }},
        {"textures dropped", [v] { v->clearTextures(); }},
        {"window size", [v] { v->resize(420, 300); }},
    };
    for (const auto &c : changes) {
        frame();
        const QImage before = frame();
        const auto stats = v->walkStats();
        const int loads = v->blockCache().landLoads() + v->blockCache().staticLoads();
        c.change();
        const QImage after = frame();
        const bool changed = QByteArray(c.what) != "nothing";
        QVERIFY2(v->walkFinished(), c.what);
        QCOMPARE(v->walkStats().walks - stats.walks, changed ? 1 : 0);
        if (!changed) {
            QCOMPARE(v->walkStats().reused - stats.reused, 1);
            QCOMPARE(v->blockCache().landLoads() + v->blockCache().staticLoads(), loads);
            QCOMPARE(after, before);
        }
        // A frame more walks nothing; a walk of its own gives the list the frame drew.
        const int walks = v->walkStats().walks;
        QCOMPARE(frame(), after);
        QCOMPARE(v->walkStats().walks, walks);
        const auto drawn = signature();
        v->makeCurrent();
        v->drawMap(v->mode(), v->currentX(), v->currentY(), facetBlocksX(2), facetBlocksY(2));
        v->doneCurrent();
        QVERIFY2(signature() == drawn, c.what);
    }
    v->resize(400, 300);
    v->blockCache().setLand(20, 20, 1, 0, 0);
    v->setGridColor(0xffffffffu);
    v->setLandAbove(127);
    v->enableLandAbove(false);
    v->setTerrainMode(1);
    v->setStatics(false);
    frame();
}

QTEST_MAIN(ViewRenderTest)
#include "view_render_test.moc"
