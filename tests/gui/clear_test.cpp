// Clearing a rectangle in the map view: land becomes id 0 at z 0, statics go while world-save
// items stay, the selections of the cleared kinds are emptied, corners are held to the facet,
// and the cleared cells are drawn anew.
//
// The world: the small Felucca of smallworld.h (land in cells 0..23) with statics on the
// cells named below and a world-save item on (1, 1).
#include "gui/smallworld.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "world/facet.h"

#include <QtTest>

using smallworld::landId;
using smallworld::landZ;

namespace {

const QList<smallworld::Static> kStatics{{100, 0, 0, 0}, {101, 0, 0, 5}, {102, 1, 1, 0}, {103, 2, 3, -2},
                                         {104, 3, 0, 0}, {105, 0, 4, 0}, {106, 3, 4, 1}};

int staticCount(BlockCache &cache, int x, int y)
{
    int n = 0;
    for (const Tile &t : cache.statics(x, y))
        n += t.isStatic() ? 1 : 0;
    return n;
}

bool near(QRgb c, int r, int g, int b, int tolerance = 3)
{
    return std::abs(qRed(c) - r) <= tolerance && std::abs(qGreen(c) - g) <= tolerance
        && std::abs(qBlue(c) - b) <= tolerance;
}

} // namespace

class ClearTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void landOfOneCell();
    void staticsOfARectangleKeepItemsAndLand();
    void bothKinds();
    void cornersHeldToTheFacet();
    void nothingForEmptyRectanglesOrUnknownModes();
    void clearedCellIsDrawnAnew();

private:
    void selectSome();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void ClearTest::init()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(smallworld::write(dir, kStatics, {}));
    TestEnvironment::useDataDirectory(dir);
    m_view = std::make_unique<GLMapWidget>();
    const QString save = m_env->root() + "/items.wsc";
    QVERIFY(smallworld::writeFile(save, "SECTION WORLDITEM\n{\nID 3703\nX 1\nY 1\nZ 3\n}\n"));
    QVERIFY(m_view->readWorldSaveFile(save).ok);
}

void ClearTest::cleanup()
{
    m_view.reset();
    m_env.reset();
}

void ClearTest::selectSome()
{
    m_view->landSelection[5][5] = landId(5, 5);
    m_view->landSelection[1][1] = landId(1, 1);
    m_view->staticSelection[3][4][1].append(106);
}

void ClearTest::landOfOneCell()
{
    selectSome();
    m_view->clearTiles(0, 10, 10, 10, 10);
    BlockCache &cache = m_view->blockCache();
    for (int x = 9; x <= 11; ++x) {
        for (int y = 9; y <= 11; ++y) {
            const Tile t = cache.land(x, y);
            const bool cleared = x == 10 && y == 10;
            QCOMPARE(t.id(), cleared ? 0 : landId(x, y));
            QCOMPARE(t.z(), cleared ? 0 : landZ(x, y));
        }
    }
    QVERIFY(m_view->landSelection.isEmpty());
    QCOMPARE(m_view->staticSelection.size(), 1);
    // The change reaches the edit store like any other.
    cache.flush();
    QCOMPARE(m_view->facet(0).loadLandBlock(1 * smallworld::BlocksY + 1, true).at(cellKey(10, 10)).z(), 0);
}

void ClearTest::staticsOfARectangleKeepItemsAndLand()
{
    selectSome();
    const auto landSelection = m_view->landSelection;
    m_view->clearTiles(1, 0, 0, 2, 3);
    BlockCache &cache = m_view->blockCache();
    for (int x = 0; x <= 2; ++x)
        for (int y = 0; y <= 3; ++y) {
            QCOMPARE(staticCount(cache, x, y), 0);
            QCOMPARE(cache.land(x, y).id(), landId(x, y));
            QCOMPARE(cache.land(x, y).z(), landZ(x, y));
        }
    // The world-save item on (1, 1) stays; statics just outside stay.
    QCOMPARE(cache.statics(1, 1).size(), 1);
    QVERIFY(cache.statics(1, 1).at(0).isItem());
    QCOMPARE(staticCount(cache, 3, 0), 1);
    QCOMPARE(staticCount(cache, 0, 4), 1);
    QCOMPARE(staticCount(cache, 3, 4), 1);
    QCOMPARE(m_view->landSelection, landSelection);
    QVERIFY(m_view->staticSelection.isEmpty());

    // Written away and read back, the block has the two outside statics and the item only.
    cache.flush();
    const StaticBlock block = m_view->facet(0).loadStaticBlock(0, true, true);
    QCOMPARE(block.tileCount(), 4);
    QCOMPARE(m_view->facet(0).loadStaticBlock(0, true, false).tileCount(), 3);
}

void ClearTest::bothKinds()
{
    selectSome();
    m_view->clearTiles(2, 1, 1, 3, 1);
    BlockCache &cache = m_view->blockCache();
    for (int x = 1; x <= 3; ++x) {
        QCOMPARE(cache.land(x, 1).id(), 0);
        QCOMPARE(cache.land(x, 1).z(), 0);
        QCOMPARE(staticCount(cache, x, 1), 0);
    }
    QCOMPARE(cache.statics(1, 1).size(), 1); // the item
    QCOMPARE(staticCount(cache, 3, 0), 1);
    QCOMPARE(cache.land(1, 2).id(), landId(1, 2));
    QVERIFY(m_view->landSelection.isEmpty());
    QVERIFY(m_view->staticSelection.isEmpty());
}

void ClearTest::cornersHeldToTheFacet()
{
    BlockCache &cache = m_view->blockCache();
    cache.setLand(6143, 4095, 2, 5, 9);
    cache.setLand(6141, 4095, 2, 5, 9);
    cache.flush();
    // Far past the facet: the loops stop at its last column and row.
    m_view->clearTiles(0, 6142, 4094, 100000, 100000);
    QCOMPARE(cache.changedLand(), (std::set<int>{767 * smallworld::BlocksY + 511}));
    QCOMPARE(cache.land(6143, 4095).id(), 0);
    QCOMPARE(cache.land(6143, 4095).z(), 0);
    QCOMPARE(cache.land(6141, 4095).z(), 9);
    cache.flush();

    // Negative corners are held at 0: cell (0, 0) only.
    m_view->clearTiles(0, -100000, -100000, 0, 0);
    QCOMPARE(cache.changedLand(), (std::set<int>{0}));
    QCOMPARE(cache.land(0, 0).z(), 0);
    QCOMPARE(cache.land(1, 0).z(), landZ(1, 0));
}

void ClearTest::nothingForEmptyRectanglesOrUnknownModes()
{
    selectSome();
    BlockCache &cache = m_view->blockCache();
    m_view->clearTiles(2, 5, 5, 4, 5);
    m_view->clearTiles(2, 5, 5, 5, 4);
    m_view->clearTiles(-1, 0, 0, 3, 3);
    m_view->clearTiles(3, 0, 0, 3, 3);
    QVERIFY(cache.changedLand().empty());
    QVERIFY(cache.changedStatics().empty());
    QCOMPARE(staticCount(cache, 0, 0), 2);
    QCOMPARE(m_view->landSelection.size(), 2);
    QCOMPARE(m_view->staticSelection.size(), 1);
}

void ClearTest::clearedCellIsDrawnAnew()
{
    m_view->resize(400, 300);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->setMode(0);
    m_view->setScale(1.0);
    m_view->setDegree(0.0);
    m_view->setTerrainMode(1);
    m_view->setCenter(10, 10);
    const QPoint middle(200, 150 + 22); // the centre cell's diamond
    QCOMPARE(landZ(10, 10), -5);
    const QRgb before = m_view->grabFramebuffer().pixel(middle);
    QVERIFY(!near(before, 0, 129, 0));
    m_view->clearTiles(0, 10, 10, 10, 10);
    const QRgb after = m_view->grabFramebuffer().pixel(middle);
    QVERIFY2(near(after, 0, 129, 0), qPrintable(QString::number(after, 16))); // z 0 is this green
}

QTEST_MAIN(ClearTest)
#include "clear_test.moc"
