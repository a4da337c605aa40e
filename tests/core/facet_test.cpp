// A facet's file set: which files it reads, difference lists, block precedence, index
// bounds, the data directory and missing files.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/indexfile.h"

#include <QtTest>

using namespace fixture;

class FacetTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString dir;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        dir = env->root() + QStringLiteral("/client");
        QVERIFY(writeFacet2(dir));
        // Felucca and Trammel: shared main files of 4 blocks, their own difference files.
        QByteArray map0;
        for (int b = 0; b < 4; ++b)
            map0 += landRecord(b, 100 * b);
        QVERIFY(writeFile(dir + "/map0.mul", map0));
        QVERIFY(writeFile(dir + "/staidx0.mul", indexRecord(-1, -1) + indexRecord(0, 7)));
        QVERIFY(writeFile(dir + "/statics0.mul", staticRecords({{77, 2, 2, 0, 0}})));
        QVERIFY(writeFile(dir + "/mapdif0.mul", landRecord(1, 5000)));
        QVERIFY(writeFile(dir + "/mapdifl0.mul", list({1})));
        QVERIFY(writeFile(dir + "/mapdif1.mul", landRecord(2, 6000)));
        QVERIFY(writeFile(dir + "/mapdifl1.mul", list({2})));
        QVERIFY(writeFile(dir + "/stadif1.mul", staticRecords({{88, 3, 3, 0, 0}})));
        QVERIFY(writeFile(dir + "/stadifi1.mul", indexRecord(0, 7)));
        QVERIFY(writeFile(dir + "/stadifl1.mul", list({1})));
    }
    void init() { TestEnvironment::useDataDirectory(dir); }
    void cleanupTestCase() { env.reset(); }

    void sizes()
    {
        Facet f(2);
        QCOMPARE(f.facetNumber(), 2);
        QCOMPARE(f.blocksX(), 288);
        QCOMPARE(f.blocksY(), 200);
        QCOMPARE(f.mainFileNumber(), 2);
        QCOMPARE(Facet(1).mainFileNumber(), 0);
        Facet none(6); // facets go up to 5 (Ter Mur)
        QCOMPARE(none.blocksX(), 0);
        QCOMPARE(none.loadLandBlock(0, true).at(0).id(), 0);
        QVERIFY(none.loadStaticBlock(0, true, true).isEmpty());
    }

    // Felucca and Trammel read the same main files but each its own difference files.
    void feluccaAndTrammelShareMainFiles()
    {
        Facet fel(0), tram(1);
        QCOMPARE(fel.readLandRaw(3), landRecord(3, 300));
        QCOMPARE(tram.readLandRaw(3), landRecord(3, 300));
        QCOMPARE(fel.readLandRaw(1), landRecord(1, 5000));
        QCOMPARE(tram.readLandRaw(1), landRecord(1, 100));
        QCOMPARE(fel.readLandRaw(2), landRecord(2, 200));
        QCOMPARE(tram.readLandRaw(2), landRecord(2, 6000));
        QCOMPARE(fel.readStaticsRaw(1), staticRecords({{77, 2, 2, 0, 0}}));
        QCOMPARE(tram.readStaticsRaw(1), staticRecords({{88, 3, 3, 0, 0}}));
        QVERIFY(fel.staticsDifferenceList().isEmpty());
    }

    // A list 5, 9, 5: the first entry of a block wins.
    void differenceLists()
    {
        Facet f(2);
        QCOMPARE(f.landDifferenceList(), (QMap<qint32, qint64>{{5, 0}, {9, 196}}));
        QCOMPARE(f.staticsDifferenceList(), (QMap<qint32, qint32>{{4, 0}, {7, 1}}));
        QCOMPARE(f.readLandRaw(5), landRecord(5, 12000));
        QCOMPARE(f.readLandRaw(9), landRecord(9, 12100));
        QCOMPARE(f.loadLandBlock(5, true).at(cellKey(1, 0)).id(), 12001);
    }

    void withoutDifferenceFiles()
    {
        Facet f(2, false);
        QVERIFY(f.landDifferenceList().isEmpty());
        QVERIFY(f.staticsDifferenceList().isEmpty());
        QCOMPARE(f.readLandRaw(5), landRecord(0x10005, 64 * 5));
        QCOMPARE(f.readStaticsRaw(7), staticRecords(mainStatics(7)));
    }

    void staticsSources()
    {
        Facet f(2);
        QCOMPARE(f.readStaticsRaw(1), staticRecords(mainStatics(1)));
        QCOMPARE(f.readStaticsRaw(3), QByteArray()); // main index offset -1
        QCOMPARE(f.readStaticsRaw(4), staticRecords({{0x9000, 1, 1, 3, 0x4321}}));
        QCOMPARE(f.readStaticsRaw(7), QByteArray()); // emptied by its difference record
        QCOMPARE(f.readStaticsRaw(mainBlocks), QByteArray()); // past the index
        QCOMPARE(f.readStaticsRaw(-1), QByteArray());
        QVERIFY(f.loadStaticBlock(3, true, true).isEmpty());
        const StaticBlock b1 = f.loadStaticBlock(1, false, false);
        QCOMPARE(b1.at(cellKey(1, 0)).size(), 2);
        QCOMPARE(b1.at(cellKey(0, 1)).at(0).id(), 3001);
        QCOMPARE(f.loadStaticBlock(4, false, false).at(cellKey(1, 1)).at(0).id(), 0x9000);
    }

    // Past the end of the land file, and at negative numbers, a block reads as empty land.
    void landPastEnd()
    {
        Facet f(2);
        const QByteArray zero(196, '\0');
        QCOMPARE(f.readLandRaw(mainBlocks), zero);
        QCOMPARE(f.readLandRaw(57599), zero);
        QCOMPARE(f.readLandRaw(-3), zero);
        QCOMPARE(f.readLandRaw(mainBlocks - 1), landRecord(0x10000 + mainBlocks - 1, 64 * (mainBlocks - 1)));
    }

    // Working file over difference files over main files; without the edit store the
    // working file is passed by.
    void precedence()
    {
        Facet f(2);
        LandBlock b = f.loadLandBlock(9, true);
        TileInfo info;
        info.id = 4242;
        b.insert(cellKey(2, 3), Tile(info, 17));
        QVERIFY(f.storeLandBlock(9, b));
        QCOMPARE(f.loadLandBlock(9, true).at(cellKey(2, 3)).id(), 4242);
        QCOMPARE(f.loadLandBlock(9, true).at(cellKey(2, 3)).z(), 17);
        QCOMPARE(f.loadLandBlock(9, false).at(cellKey(2, 3)).id(), 12100 + 26);

        StaticBlock s = f.loadStaticBlock(4, true, false);
        s.entry(cellKey(1, 1)).clear();
        QVERIFY(f.storeStaticBlock(4, s));
        QVERIFY(f.loadStaticBlock(4, true, false).at(cellKey(1, 1)).isEmpty());
        QCOMPARE(f.loadStaticBlock(4, false, false).at(cellKey(1, 1)).size(), 1);
    }

    // Storing a decoded block unchanged writes its source bytes, header included.
    void landStoreKeepsBytes()
    {
        Facet f(2);
        for (int b : {2, 5}) {
            QVERIFY(f.storeLandBlock(b, f.loadLandBlock(b, true)));
            QCOMPARE(readFile(f.workingFilePath(b, 0)), f.readLandRaw(b));
        }
        // and a stored change keeps the header of the earlier working file
        LandBlock changed = f.loadLandBlock(2, true);
        changed.insert(0, Tile());
        QVERIFY(f.storeLandBlock(2, changed));
        QCOMPARE(readFile(f.workingFilePath(2, 0)).left(4), landRecord(0x10002, 0).left(4));
    }

    void itemsMerged()
    {
        Facet f(2);
        TileInfo info;
        info.id = 0x2006;
        info.kind = TileKind::Item;
        TileStack items;
        items.insert(Tile(info, 10));
        f.items()[1][cellKey(1, 0)] = items;
        f.items()[1][0x00090000] = items; // no cell of the block: ignored
        const StaticBlock with = f.loadStaticBlock(1, true, true);
        QCOMPARE(with.at(cellKey(1, 0)).size(), 3);
        QCOMPARE(with.at(cellKey(1, 0)).at(2).id(), 0x2006);
        QCOMPARE(with.tileCount(), 4);
        QCOMPARE(f.loadStaticBlock(1, true, false).at(cellKey(1, 0)).size(), 2);
    }

    // reopen reads the lists afresh.
    void reopenReloadsLists()
    {
        const QString other = env->root() + QStringLiteral("/client2");
        QVERIFY(writeFacet2(other));
        TestEnvironment::useDataDirectory(other);
        Facet f(2);
        QVERIFY(writeFile(other + "/mapdifl2.mul", list({9, 5, 8})));
        QCOMPARE(f.landDifferenceList().size(), 2);
        f.reopen();
        QCOMPARE(f.landDifferenceList(), (QMap<qint32, qint64>{{9, 0}, {5, 196}, {8, 392}}));
        QCOMPARE(f.readLandRaw(9), landRecord(5, 12000));
        QCOMPARE(f.readLandRaw(8), landRecord(5, 12200));
        QVERIFY(writeFile(other + "/mapdifl2.mul", list({1, 2, 3, 4})));
        f.reopen();
        QCOMPARE(f.readLandRaw(4), QByteArray(196, '\0')); // record past the end of mapdif2
    }

    // A directory that does not exist gives empty facets, and nothing is written into it.
    void missingDirectory()
    {
        const QString missing = env->root() + QStringLiteral("/nowhere");
        TestEnvironment::useDataDirectory(missing);
        {
            Facet f(2);
            const LandBlock land = f.loadLandBlock(202, true);
            QCOMPARE(land.size(), 64);
            QCOMPARE(land.at(cellKey(5, 4)).id(), 0);
            QCOMPARE(land.at(cellKey(5, 4)).z(), 0);
            QVERIFY(f.loadStaticBlock(202, true, true).isEmpty());
            QVERIFY(f.landDifferenceList().isEmpty());
            QVERIFY(f.storeLandBlock(202, land));
            QVERIFY(f.hasWorkingFiles(1));
        }
        QVERIFY(!QFileInfo::exists(missing));
    }

    void indexFileBounds()
    {
        QVERIFY(writeFile(dir + "/test.idx", indexRecord(1, 2, 3) + indexRecord(40, 50, 60) + QByteArray(11, '\x01')));
        IndexFile idx;
        idx.open(QStringLiteral("test.idx"));
        QCOMPARE(idx.fileName(), QStringLiteral("test.idx"));
        QCOMPARE(idx.count(), 2);
        QCOMPARE(idx.offset(1), 40);
        QCOMPARE(idx.length(1), 50);
        QCOMPARE(idx.extra(1), 60);
        QCOMPARE(idx.offset(0), 1);
        for (int i : {2, 3, 1000, -1, -12}) {
            const IndexRecord r = idx.record(i);
            QCOMPARE(r.offset, -1);
            QCOMPARE(r.length, -1);
            QCOMPARE(r.extra, -1);
        }
        IndexFile missing;
        missing.open(QStringLiteral("absent.idx"));
        QCOMPARE(missing.count(), 0);
        QCOMPARE(missing.offset(0), -1);
    }

    // The user's setting first; the default directory of the environment only without one.
    void dataDirectoryOrder()
    {
        qputenv("TESSARYN_DEFAULT_DIR", "/default/world");
        TestEnvironment::useDataDirectory(QStringLiteral("/does/not/exist"));
        QCOMPARE(dataDirectory(), QStringLiteral("/does/not/exist"));
        TestEnvironment::useDataDirectory(QString());
        QCOMPARE(dataDirectory(), QStringLiteral("/default/world"));
        qunsetenv("TESSARYN_DEFAULT_DIR");
        QCOMPARE(dataDirectory(), QString());
        setDataDirectory(dir);
        QCOMPARE(dataDirectory(), dir);
    }
};

QTEST_GUILESS_MAIN(FacetTest)
#include "facet_test.moc"
