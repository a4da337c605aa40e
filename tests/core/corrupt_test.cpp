// Damaged client and working files: cut short, filled with noise or holding impossible
// offsets, they must read as (partly) empty blocks and never crash or read out of bounds.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "world/blockcache.h"
#include "world/facet.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace fixture;

namespace {
const char *const kFiles[] = {"map2.mul", "staidx2.mul", "statics2.mul", "mapdif2.mul", "mapdifl2.mul",
                              "stadif2.mul", "stadifi2.mul", "stadifl2.mul", "tiledata.mul"};

// Reads every block the files could describe and a band of cells through a cache, edits a
// few cells and reads them back. Returns the number of tiles seen so the work is not idle.
int exercise()
{
    Facet f(2);
    int tiles = 0;
    for (int b = -2; b < mainBlocks + 8; ++b) {
        const LandBlock land = f.loadLandBlock(b, true);
        if (land.size() != 64)
            qFatal("land block %d has %d cells", b, int(land.size()));
        tiles += f.loadStaticBlock(b, true, true).tileCount();
        f.readStaticsRaw(b);
    }
    for (int b : f.landDifferenceList().keys())
        tiles += f.loadLandBlock(b, true).size();
    BlockCache cache;
    cache.setFacet(&f);
    for (int y = 0; y < 8 * 12; ++y)
        for (int x = 0; x < 10; ++x)
            tiles += cache.cellTiles(x, y).size() + (cache.land(x, y).id() >= 0 ? 1 : 0);
    cache.setLand(3, 3, 2, 70, 5);
    TileInfo info;
    info.id = 0xFFFE;
    info.kind = TileKind::Static;
    cache.setStatic(3, 3, 0, Tile(info, -7), Tile());
    cache.flush();
    if (cache.land(3, 3).id() != 70 || cache.statics(3, 3).findStatic(Tile(info, -7)) < 0)
        qFatal("an edit did not survive its working file");
    f.workingBlocks(0);
    f.workingBlocks(1);
    return tiles;
}

QByteArray damage(QByteArray bytes, QRandomGenerator &rng)
{
    const int mode = int(rng.bounded(3));
    if (mode != 1 && !bytes.isEmpty()) // cut
        bytes.truncate(int(rng.bounded(bytes.size() + 1)));
    if (mode != 0 && !bytes.isEmpty()) { // noise over a stretch
        const int from = int(rng.bounded(bytes.size()));
        const int len = int(rng.bounded(std::min<qsizetype>(bytes.size() - from, 4096) + 1));
        for (int i = 0; i < len; ++i)
            bytes[from + i] = char(rng.bounded(256));
    }
    return bytes;
}
} // namespace

class CorruptTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString pristine;
    QString client;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        pristine = env->root() + QStringLiteral("/pristine");
        client = env->root() + QStringLiteral("/client");
        QVERIFY(writeFacet2(pristine));
        QByteArray td(428032 + 3 * 1188, '\0');
        for (int i = 0; i < td.size(); i += 13)
            td[i] = char('a' + i % 26);
        QVERIFY(writeFile(pristine + "/tiledata.mul", td));
    }
    void init()
    {
        QVERIFY(copyDirectory(pristine, client));
        TestEnvironment::useDataDirectory(client);
    }
    void cleanupTestCase() { env.reset(); }

    void pristineFilesRead() { QVERIFY(exercise() > 0); }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *name : kFiles)
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void damagedFiles()
    {
        QFETCH(QString, file);
        const QByteArray original = readFile(pristine + QLatin1Char('/') + file);
        QRandomGenerator rng(qHash(file));
        for (int round = 0; round < 25; ++round) {
            QVERIFY(writeFile(client + QLatin1Char('/') + file, damage(original, rng)));
            exercise();
        }
        QVERIFY(QDir(env->tempDir()).entryList(QDir::Files).isEmpty());
    }

    // Index records that point anywhere: past the end, before the start, longer than the
    // file, or astronomically long.
    void impossibleIndexRecords_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("length");
        QTest::newRow("past end") << 1000 << 7;
        QTest::newRow("negative offset") << -5 << 7;
        QTest::newRow("negative length") << 0 << -7;
        QTest::newRow("huge length") << 0 << 0x7fffffff;
        QTest::newRow("huge offset") << 0x7ffffff0 << 0x7fffffff;
        QTest::newRow("overlong") << 0 << 7 * 1000;
        QTest::newRow("zero length") << 0 << 0;
    }
    void impossibleIndexRecords()
    {
        QFETCH(int, offset);
        QFETCH(int, length);
        QByteArray idx = readFile(pristine + "/staidx2.mul");
        idx.replace(12, 12, indexRecord(offset, length));
        QVERIFY(writeFile(client + "/staidx2.mul", idx));
        QVERIFY(writeFile(client + "/stadifi2.mul", indexRecord(offset, length) + indexRecord(offset, length)));
        Facet f(2);
        QCOMPARE(f.readStaticsRaw(1), QByteArray());
        QCOMPARE(f.readStaticsRaw(4), QByteArray());
        QVERIFY(f.loadStaticBlock(1, true, true).isEmpty());
        QCOMPARE(f.readStaticsRaw(2), staticRecords(mainStatics(2)));
    }

    // Working files changed behind the program's back: a land file of the wrong length
    // falls back to the client files; statics noise reads as whatever whole records it holds.
    void damagedWorkingFiles()
    {
        Facet f(2);
        QRandomGenerator rng(99);
        for (int round = 0; round < 40; ++round) {
            QVERIFY(f.storeLandBlock(1, f.loadLandBlock(1, false)));
            QVERIFY(f.storeStaticBlock(1, f.loadStaticBlock(1, false, false)));
            QByteArray noise(int(rng.bounded(400)), '\0');
            for (char &c : noise)
                c = char(rng.bounded(256));
            QVERIFY(writeFile(f.workingFilePath(1, round % 2), noise));
            const LandBlock land = f.loadLandBlock(1, true);
            QCOMPARE(land.size(), 64);
            if (round % 2 == 0 && noise.size() != 196)
                QCOMPARE(land.at(0).id(), 64);
            const StaticBlock statics = f.loadStaticBlock(1, true, true);
            QVERIFY(statics.tileCount() <= noise.size() / 7 || round % 2 == 0);
            QVERIFY(f.storeLandBlock(1, land));
            QCOMPARE(QFileInfo(f.workingFilePath(1, 0)).size(), 196);
        }
    }
};

QTEST_GUILESS_MAIN(CorruptTest)
#include "corrupt_test.moc"
