// Land and statics blocks: cell keys, decoding, encoding and their round trips.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "tiles/tiledata.h"
#include "world/tile.h"

#include <QtTest>

using namespace fixture;

class BlockFormatTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TileData> tiles; // no tile-data file: ids only

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        tiles = std::make_unique<TileData>(env->root() + QStringLiteral("/none"));
    }
    void cleanupTestCase()
    {
        tiles.reset();
        env.reset();
    }

    void cellNumbering()
    {
        QCOMPARE(blockNumber(13, 20, 512), 514);
        QCOMPARE(cellKey(13, 20), (4 << 16) | 5);
        QCOMPARE(cellKeyX(cellKey(13, 20)), 5);
        QCOMPARE(cellKeyY(cellKey(13, 20)), 4);
        QCOMPARE(blockNumber(2303, 1599, 200), 287 * 200 + 199);
        QVERIFY(isCellKey(0x00070007));
        QVERIFY(!isCellKey(0x00080000));
        QVERIFY(!isCellKey(8));
        QVERIFY(!isCellKey(-1));
        for (int i = 0; i < 64; ++i)
            QCOMPARE(cellIndex(cellKeyAt(i)), i);
    }

    void landDecode()
    {
        const QByteArray raw = landRecord(0x12345678, 300);
        const LandBlock block = LandBlock::decode(raw, *tiles);
        QCOMPARE(block.size(), 64);
        // cell (5, 4) is entry 8 * 4 + 5 = 37, at byte 4 + 3 * 37 = 115
        QCOMPARE(quint8(raw[115]), quint8((300 + 37) & 0xff));
        QCOMPARE(block.at(cellKey(5, 4)).id(), 337);
        QCOMPARE(block.at(cellKey(5, 4)).z(), 5);
        QCOMPARE(block.at(cellKey(0, 0)).z(), -32);
        QVERIFY(block.at(cellKey(0, 0)).isLand());
        QCOMPARE(block.at(0x00080000).id(), -1);
        QCOMPARE(block.keys().first(), 0);
        QCOMPARE(block.keys().last(), 0x00070007);
    }

    // Any record that is not 196 bytes decodes as empty land: 64 cells of id 0 at z 0.
    void landDecodeWrongLength()
    {
        for (int n : {0, 195, 197}) {
            const LandBlock block = LandBlock::decode(QByteArray(n, '\x7f'), *tiles);
            QCOMPARE(block.size(), 64);
            for (CellKey k : block.keys()) {
                QCOMPARE(block.at(k).id(), 0);
                QCOMPARE(block.at(k).z(), 0);
            }
        }
    }

    // Re-encoding a decoded block gives back the source bytes, header and ids the tile data
    // does not know (0x4000 and up, 0xFFFF) included.
    void landRoundTrip()
    {
        QByteArray raw = landRecord(-559038737, 0);
        put16(raw, 4, 0xFFFF);
        put16(raw, 7, 0x8001);
        put16(raw, 10, 0x4000);
        const LandBlock block = LandBlock::decode(raw, *tiles);
        QCOMPARE(block.at(cellKey(0, 0)).id(), 0xFFFF);
        QCOMPARE(block.at(cellKey(1, 0)).id(), 0x8001);
        QByteArray out = raw;
        block.encodeInto(out);
        QCOMPARE(out, raw);
    }

    // Encoding writes the cells the block holds over the given record and keeps the rest.
    void landEncodeOverwritesCells()
    {
        LandBlock block;
        TileInfo info;
        info.id = 0x0102;
        block.insert(cellKey(7, 7), Tile(info, -3));
        QByteArray rec = landRecord(77, 500);
        const QByteArray before = rec;
        block.encodeInto(rec);
        QCOMPARE(rec.size(), 196);
        QCOMPARE(rec.left(193), before.left(193));
        QCOMPARE(quint8(rec[193]), quint8(0x02));
        QCOMPARE(quint8(rec[194]), quint8(0x01));
        QCOMPARE(qint8(rec[195]), qint8(-3));
    }

    void staticsDecode()
    {
        const QByteArray raw = staticRecords({{10, 7, 0, 1, 0}, {11, 0, 7, 2, 0}, {12, 3, 5, -7, 0xBEEF}});
        const StaticBlock block = StaticBlock::decode(raw, *tiles);
        QCOMPARE(block.size(), 3);
        QCOMPARE(block.at(7).at(0).id(), 10);
        QCOMPARE(block.at(458752).at(0).id(), 11);
        const Tile t = block.at(cellKey(3, 5)).at(0);
        QCOMPARE(t.z(), -7);
        QCOMPARE(t.hue(), quint16(0xBEEF));
        QVERIFY(t.isStatic());
        QVERIFY(!block.contains(0));
    }

    // Ids from 0x8000 up are unsigned and come back with the same bits.
    void staticsHighIdsRoundTrip()
    {
        const QByteArray raw = staticRecords({{0x8000, 1, 1, 0, 0}, {0xFFFF, 2, 1, 0, 5}, {0x7FFF, 2, 1, 1, 6}});
        const StaticBlock block = StaticBlock::decode(raw, *tiles);
        QCOMPARE(block.at(cellKey(1, 1)).at(0).id(), 0x8000);
        QCOMPARE(block.at(cellKey(2, 1)).at(0).id(), 0xFFFF);
        QCOMPARE(block.encode(), raw);
    }

    // Encoding goes by cell key, then stack order, whatever the order of the records read.
    void staticsEncodeOrder()
    {
        const QByteArray raw = staticRecords({{1, 4, 6, 9, 0}, {2, 3, 0, 5, 0}, {3, 4, 6, 2, 0}});
        const QByteArray sorted = staticRecords({{2, 3, 0, 5, 0}, {3, 4, 6, 2, 0}, {1, 4, 6, 9, 0}});
        QCOMPARE(StaticBlock::decode(raw, *tiles).encode(), sorted);
    }

    // A trailing partial record is ignored, and so is a record naming no cell of the block.
    void staticsMalformed()
    {
        QByteArray raw = staticRecords({{5, 1, 1, 0, 0}, {6, 8, 0, 0, 0}, {7, 0, -1, 0, 0}, {8, 2, 2, 0, 0}});
        raw += QByteArray("\x09\x00\x03", 3);
        const StaticBlock block = StaticBlock::decode(raw, *tiles);
        QCOMPARE(block.tileCount(), 2);
        QCOMPARE(block.encode(), staticRecords({{5, 1, 1, 0, 0}, {8, 2, 2, 0, 0}}));
    }

    void emptyStaticsEncodeToNothing()
    {
        StaticBlock block;
        block.entry(cellKey(1, 2));
        block.entry(cellKey(7, 7));
        QCOMPARE(block.size(), 2);
        QCOMPARE(block.encode(), QByteArray());
        QVERIFY(StaticBlock::decode(QByteArray(), *tiles).isEmpty());
    }

    // Keys outside the block never reach a cell.
    void staticsKeysOutsideBlock()
    {
        StaticBlock block;
        TileStack &scratch = block.entry(0x00080000);
        TileInfo info;
        info.id = 9;
        info.kind = TileKind::Static;
        scratch.insert(Tile(info));
        QVERIFY(block.isEmpty());
        QCOMPARE(block.encode(), QByteArray());
        block.insert(-1, scratch);
        QVERIFY(block.isEmpty());
        block.insert(cellKey(1, 1), scratch);
        block.remove(cellKey(1, 1));
        QVERIFY(block.isEmpty());
    }
};

QTEST_GUILESS_MAIN(BlockFormatTest)
#include "blockformat_test.moc"
