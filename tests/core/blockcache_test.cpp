// The block cache: cell access, edits, eviction, flushing and facet switching.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "world/blockcache.h"
#include "world/facet.h"

#include <QtTest>

using namespace fixture;

namespace {
Tile staticTile(int id, int z, quint32 flags = 0, int height = 0)
{
    TileInfo info;
    info.id = id;
    info.kind = TileKind::Static;
    info.flags = flags;
    info.height = quint8(height);
    return Tile(info, z);
}
QList<int> ids(const TileStack &s)
{
    QList<int> out;
    for (const Tile &t : s)
        out.append(t.id());
    return out;
}
// Cell (0, 8 * b) lies in block b of a facet 200 blocks down, for b < 200.
int cellY(int block) { return 8 * block; }
} // namespace

class BlockCacheTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString client;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        client = env->root() + QStringLiteral("/client");
        QVERIFY(writeFacet2(client));
        // Malas: 160 blocks, header and ids of their own
        QByteArray map3;
        for (int b = 0; b < 160; ++b)
            map3 += landRecord(b, 9000 + b);
        QVERIFY(writeFile(client + "/map3.mul", map3));
        QVERIFY(writeFile(client + "/staidx3.mul", indexRecord(0, 7)));
        QVERIFY(writeFile(client + "/statics3.mul", staticRecords({{555, 0, 0, 0, 0}})));
        // Land 82 and 500 in the tile data; the rest of it zero.
        QByteArray td(428032 + 1188, '\0');
        put32(td, 2 * 836 + 4 + 18 * 26, 0x40);
        put16(td, 2 * 836 + 4 + 18 * 26 + 4, 7);
        memcpy(td.data() + 2 * 836 + 4 + 18 * 26 + 6, "meadow", 6);
        memcpy(td.data() + 15 * 836 + 4 + 20 * 26 + 6, "rock", 4);
        QVERIFY(writeFile(client + "/tiledata.mul", td));
    }
    void init() { TestEnvironment::useDataDirectory(client); }
    void cleanupTestCase() { env.reset(); }

    void landOutsideFacet()
    {
        BlockCache cache;
        QCOMPARE(cache.land(0, 0).id(), -1); // no facet yet
        Facet f(2);
        cache.setFacet(&f);
        QCOMPARE(cache.land(0, 0).id(), 0);
        QCOMPARE(cache.land(-1, 0).id(), -1);
        QCOMPARE(cache.land(0, -1).id(), -1);
        QCOMPARE(cache.land(288 * 8, 0).id(), -1);
        QCOMPARE(cache.land(0, 200 * 8).id(), -1);
        QCOMPARE(cache.land(288 * 8 - 1, 200 * 8 - 1).id(), 0); // past the end of map2.mul
    }

    // Outside the facet the editing accessors change nothing and load nothing.
    void editsOutsideFacet()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        for (const QPoint p : {QPoint(-1, 5), QPoint(5, -8), QPoint(2304, 0), QPoint(0, 1600), QPoint(-9, -9)}) {
            cache.setLand(p.x(), p.y(), 2, 3, 4);
            QVERIFY(cache.statics(p.x(), p.y()).isEmpty());
            QVERIFY(cache.cellTiles(p.x(), p.y()).isEmpty());
            cache.setStatic(p.x(), p.y(), 0, staticTile(5, 0), Tile());
        }
        QVERIFY(cache.changedLand().empty());
        QVERIFY(cache.changedStatics().empty());
        QCOMPARE(cache.landLoads() + cache.staticLoads(), 0);
        QVERIFY(cache.landBlock(-1).isEmpty());
        QVERIFY(cache.staticBlock(288 * 200).isEmpty());
    }

    void landReadsCells()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        // cell (13, 20) is block 1 * 200 + 2 = 202, past the fixture; (5, 20) is block 2
        const Tile t = cache.land(5, 20);
        QCOMPARE(t.id(), 64 * 2 + 8 * 4 + 5);
        QCOMPARE(t.z(), 8 * 4 + 5 - 32);
        QCOMPARE(cache.land(13, 20).id(), 0);
    }

    void setLandModes()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        // cell (2, 2) of block 1 holds land 64 + 18 = 82, z 18 - 32 = -14
        QCOMPARE(cache.land(2, 10).name(), QStringLiteral("meadow"));
        cache.setLand(2, 10, 1, 500, 33);
        Tile t = cache.land(2, 10);
        QCOMPARE(t.id(), 82);
        QCOMPARE(t.name(), QStringLiteral("meadow"));
        QCOMPARE(t.flags(), 0x40u);
        QCOMPARE(t.texture(), quint16(7));
        QCOMPARE(t.z(), 33);
        cache.setLand(2, 10, 0, 500, 99);
        t = cache.land(2, 10);
        QCOMPARE(t.id(), 500);
        QCOMPARE(t.name(), QStringLiteral("rock"));
        QCOMPARE(t.texture(), quint16(0));
        QCOMPARE(t.z(), 33);
        cache.setLand(2, 10, 2, 82, -5);
        QCOMPARE(cache.land(2, 10).id(), 82);
        QCOMPARE(cache.land(2, 10).z(), -5);
        cache.setLand(2, 10, 7, 500, 50);
        QCOMPARE(cache.land(2, 10).id(), 82);
        QCOMPARE(cache.land(2, 10).z(), -5);
        QCOMPARE(cache.changedLand(), (std::set<int>{1}));
        QCOMPARE(cache.land(3, 10).id(), 83); // its neighbour is untouched
    }

    void staticsAndCellTiles()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        // block 1: two statics at cell (1, 0) with z 10, one at (0, 1) with z -5
        QCOMPARE(ids(cache.statics(1, 8)), (QList<int>{1001, 2001}));
        // land at (1, 8) is id 65 at z -31: it goes first
        QCOMPARE(ids(cache.cellTiles(1, 8)), (QList<int>{65, 1001, 2001}));
        // land at (0, 9): id 72, z 8 - 32 = -24, below the static at -5
        QCOMPARE(ids(cache.cellTiles(0, 9)), (QList<int>{72, 3001}));
        // the static's sortZ is -5 + 1: land at -4 ties with it and still goes first
        cache.setLand(0, 9, 1, 0, -4);
        QCOMPARE(ids(cache.cellTiles(0, 9)), (QList<int>{72, 3001}));
        cache.setLand(0, 9, 1, 0, -3);
        QCOMPARE(ids(cache.cellTiles(0, 9)), (QList<int>{3001, 72}));
        cache.setStatic(0, 9, 0, staticTile(4000, -4), Tile());
        QCOMPARE(ids(cache.cellTiles(0, 9)), (QList<int>{3001, 72, 4000}));

        // looking at an empty cell gives it an empty entry
        QVERIFY(!cache.staticBlock(1).contains(cellKey(5, 5)));
        QVERIFY(cache.statics(5, 13).isEmpty());
        QVERIFY(cache.staticBlock(1).contains(cellKey(5, 5)));
        QCOMPARE(ids(cache.cellTiles(5, 13)), (QList<int>{64 + 45}));
    }

    void setStaticModes()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        cache.setStatic(1, 8, 9, staticTile(1001, 10), Tile());
        QCOMPARE(cache.changedStatics(), (std::set<int>{1}));
        QCOMPARE(ids(cache.statics(1, 8)), (QList<int>{1001, 2001}));
        cache.setStatic(1, 8, 1, staticTile(2001, 10), Tile());
        QCOMPARE(ids(cache.statics(1, 8)), (QList<int>{1001}));
        cache.setStatic(1, 8, 1, staticTile(2001, 10), Tile()); // nothing left to find
        QCOMPARE(ids(cache.statics(1, 8)), (QList<int>{1001}));
        cache.setStatic(1, 8, 2, staticTile(1001, 10), staticTile(1500, 2));
        QCOMPARE(ids(cache.statics(1, 8)), (QList<int>{1500}));
        QCOMPARE(cache.statics(1, 8).at(0).z(), 2);
        cache.setStatic(1, 8, 0, staticTile(1600, 0, Tile::Background), Tile());
        QCOMPARE(ids(cache.statics(1, 8)), (QList<int>{1600, 1500}));
        // the change reaches the working file in drawing order
        cache.flush();
        QByteArray bytes;
        QVERIFY(f.readWorkingFile(1, bytes, 1));
        QCOMPARE(bytes, staticRecords({{1600, 1, 0, 0, 0}, {1500, 1, 0, 2, 0}, {3001, 0, 1, -5, 0}}));
    }

    // With the capacity at its floor of 100, the 101st distinct block evicts the least
    // recently used one, writing a working file only when the block was changed.
    void evictionAtFloor()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        QCOMPARE(cache.capacity(), 100);
        cache.setLand(0, cellY(0), 2, 777, 7);
        for (int b = 1; b < 100; ++b)
            cache.land(0, cellY(b));
        QCOMPARE(cache.cachedLandBlocks(), 100);
        QVERIFY(f.workingBlocks(0) == (QList<int>{5, 9}));
        cache.land(0, cellY(100));
        QCOMPARE(cache.cachedLandBlocks(), 100);
        QCOMPARE(f.workingBlocks(0), (QList<int>{0, 5, 9}));
        QVERIFY(cache.changedLand().empty());
        cache.land(0, cellY(101)); // evicts block 1, unchanged: no file
        QCOMPARE(QDir(f.workingDirectory()).entryList(QDir::Files), QStringList{"0t0.tsy2"});
        const int loads = cache.landLoads();
        QCOMPARE(cache.land(0, cellY(0)).id(), 777); // back from its working file
        QCOMPARE(cache.landLoads(), loads + 1);
    }

    // A hit makes a block the most recent; the memo answers repeated calls for the block
    // loaded last without loading it again.
    void useOrder()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        for (int b = 0; b < 100; ++b)
            cache.land(0, cellY(b));
        QCOMPARE(cache.landLoads(), 100);
        cache.land(1, cellY(99));
        cache.land(0, cellY(0));
        QCOMPARE(cache.landLoads(), 100);
        cache.land(0, cellY(100)); // evicts block 1
        cache.land(0, cellY(0));
        QCOMPARE(cache.landLoads(), 101);
        cache.land(0, cellY(1));
        QCOMPARE(cache.landLoads(), 102);
    }

    void flushWritesChangedOnly()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        cache.setLand(0, cellY(3), 2, 5, 5);
        cache.land(0, cellY(4));
        cache.setStatic(0, cellY(6), 0, staticTile(42, 1), Tile());
        cache.statics(0, cellY(8));
        cache.flush();
        QVERIFY(cache.changedLand().empty() && cache.changedStatics().empty());
        QCOMPARE(cache.cachedLandBlocks(), 1);
        QCOMPARE(cache.cachedStaticBlocks(), 1);
        QStringList files = QDir(f.workingDirectory()).entryList(QDir::Files);
        files.sort();
        QCOMPARE(files, (QStringList{"3t0.tsy2", "6t1.tsy2"}));
        QCOMPARE(readFile(f.workingFilePath(6, 1)), staticRecords({{42, 0, 0, 1, 0}}));
        QCOMPARE(cache.land(0, cellY(3)).id(), 5);
        cache.flush();
        QCOMPARE(QDir(f.workingDirectory()).entryList(QDir::Files).size(), 2);
    }

    // Switching facets writes the old facet's changes to its own store and never returns a
    // block cached for the other.
    void switchingFacets()
    {
        auto store = WorkingDirectory::create();
        Facet ilsh(2, true, store), malas(3, true, store);
        BlockCache cache;
        cache.setFacet(&ilsh);
        QCOMPARE(cache.land(0, 0).id(), 0);
        cache.setLand(0, 8, 2, 1234, 0);
        QCOMPARE(cache.statics(1, 8).size(), 2);
        cache.setFacet(&malas);
        QCOMPARE(cache.blocksX(), 320);
        QCOMPARE(cache.blocksY(), 256);
        QCOMPARE(cache.land(0, 0).id(), 9000);
        QCOMPARE(cache.land(0, 8).id(), 9001);
        QCOMPARE(ids(cache.statics(0, 0)), (QList<int>{555}));
        QVERIFY(cache.statics(1, 8).isEmpty());
        QCOMPARE(ilsh.workingBlocks(0), (QList<int>{1, 5, 9}));
        QCOMPARE(malas.workingBlocks(0), QList<int>());
        cache.setFacet(&ilsh);
        QCOMPARE(cache.land(0, 0).id(), 0);
        QCOMPARE(cache.land(0, 8).id(), 1234);
        QVERIFY(cache.statics(0, 0).isEmpty());
        cache.setFacet(nullptr);
        QCOMPARE(cache.land(0, 0).id(), -1);
    }

    void capacity()
    {
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        cache.setCapacity(10);
        QCOMPARE(cache.capacity(), BlockCache::MinCapacity);
        cache.setCapacity(1 << 30);
        QCOMPARE(cache.capacity(), BlockCache::MaxCapacity);
        cache.setCapacity(300);
        cache.setLand(8, cellY(0), 2, 1, 1); // column 1: blocks 200..399
        for (int b = 1; b < 200; ++b)
            cache.land(8, cellY(b));
        QCOMPARE(cache.cachedLandBlocks(), 200);
        cache.setCapacity(100);
        QCOMPARE(cache.cachedLandBlocks(), 100);
        QCOMPARE(f.workingBlocks(0), (QList<int>{5, 9, 200}));
        QCOMPARE(cache.land(8, cellY(199)).id(), 0);
        // capacities for regions: the floor for a small view, growing with the region, bounded
        QCOMPARE(BlockCache::capacityForCells(3444), 100);
        QVERIFY(BlockCache::capacityForCells(52164) > 52164 / 64);
        QCOMPARE(BlockCache::capacityForCells(10'000'000), BlockCache::MaxCapacity);
    }
};

QTEST_GUILESS_MAIN(BlockCacheTest)
#include "blockcache_test.moc"
