// Tiles and the drawing order of a cell's stack.
#include "world/tile.h"

#include <QtTest>

#include <vector>

namespace {
Tile make(TileKind kind, int id, int z, quint32 flags = 0, int height = 0, quint16 hue = 0)
{
    TileInfo info;
    info.id = id;
    info.kind = kind;
    info.flags = flags;
    info.height = quint8(height);
    info.hue = hue;
    return Tile(info, z);
}
Tile land(int id, int z) { return make(TileKind::Land, id, z); }
Tile stat(int id, int z, quint32 flags = 0, int height = 0) { return make(TileKind::Static, id, z, flags, height); }
Tile item(int id, int z, quint32 flags = 0, int height = 0) { return make(TileKind::Item, id, z, flags, height); }

QList<int> ids(const TileStack &s)
{
    QList<int> out;
    for (const Tile &t : s)
        out.append(t.id());
    return out;
}

TileStack stackOf(std::initializer_list<Tile> tiles)
{
    TileStack s;
    for (const Tile &t : tiles)
        s.insert(t);
    return s;
}
} // namespace

class TileTest : public QObject
{
    Q_OBJECT
private slots:
    void emptyTile()
    {
        const Tile t;
        QCOMPARE(t.id(), -1);
        QVERIFY(t.isEmpty());
        QCOMPARE(t.z(), 0);
        QVERIFY(t.name().isEmpty());
        QCOMPARE(t.flags(), 0u);
    }

    void noDraw_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("texture");
        QTest::addColumn<bool>("noDraw");
        QTest::newRow("land 2") << 0 << 2 << 0 << true;
        QTest::newRow("land texture 2") << 0 << 5 << 2 << true;
        QTest::newRow("land 1") << 0 << 1 << 0 << false;
        QTest::newRow("static 1") << 1 << 1 << 0 << true;
        QTest::newRow("static 2") << 1 << 2 << 0 << false;
        QTest::newRow("static texture 2 ignored") << 1 << 5 << 2 << false;
        QTest::newRow("static 0x2197") << 1 << 0x2197 << 0 << false;
        QTest::newRow("static 0x2198") << 1 << 0x2198 << 0 << true;
        QTest::newRow("static 0x21A4") << 1 << 0x21A4 << 0 << true;
        QTest::newRow("static 0x21A5") << 1 << 0x21A5 << 0 << false;
        QTest::newRow("item 0x21BC") << 2 << 0x21BC << 0 << true;
        QTest::newRow("item 0x21BB") << 2 << 0x21BB << 0 << false;
    }
    void noDraw()
    {
        QFETCH(int, kind);
        QFETCH(int, id);
        QFETCH(int, texture);
        QFETCH(bool, noDraw);
        Tile t = make(TileKind(kind), id, 0);
        t.info().texture = quint16(texture);
        QCOMPARE(t.isNoDraw(), noDraw);
    }

    void kindsAndFlags()
    {
        Tile t = stat(10, 3, Tile::Translucent);
        QVERIFY(t.isStatic() && !t.isLand() && !t.isItem());
        QVERIFY(t.isTranslucent());
        QVERIFY(!t.isBackground());
        t.setItem();
        QVERIFY(t.isItem() && !t.isStatic());
        QVERIFY(land(3, 0).isLand());
    }

    // Equality compares static-ness, id and z; hue and tile-data fields do not count.
    void equality()
    {
        QVERIFY(stat(5, 1) == make(TileKind::Static, 5, 1, Tile::Background, 9, 33));
        QVERIFY(stat(5, 1) != stat(5, 2));
        QVERIFY(stat(5, 1) != stat(6, 1));
        QVERIFY(stat(5, 1) != item(5, 1));
        QVERIFY(land(5, 1) == item(5, 1)); // neither is a static
    }

    void sortKeys_data()
    {
        QTest::addColumn<Tile>("tile");
        QTest::addColumn<int>("adjust");
        QTest::addColumn<int>("tier");
        QTest::newRow("land") << land(3, 4) << 0 << 0;
        QTest::newRow("static background flat") << stat(3, 4, Tile::Background, 0) << 0 << 1;
        QTest::newRow("static flat") << stat(3, 4, 0, 0) << 1 << 1;
        QTest::newRow("static background tall") << stat(3, 4, Tile::Background, 5) << 1 << 1;
        QTest::newRow("static tall") << stat(3, 4, 0, 5) << 2 << 1;
        QTest::newRow("item") << item(3, 4, 0, 5) << 2 << 2;
        QTest::newRow("item 0x2006") << item(0x2006, 4) << 1 << 4;
        QTest::newRow("static 0x2006") << stat(0x2006, 4) << 1 << 1;
    }
    void sortKeys()
    {
        QFETCH(Tile, tile);
        QFETCH(int, adjust);
        QFETCH(int, tier);
        QCOMPARE(tile.adjust(), adjust);
        QCOMPARE(tile.tier(), tier);
        QCOMPARE(tile.sortZ(), 4 + adjust);
    }

    // The examples of the drawing order, each as the stack the tiles build when inserted in
    // the order given.
    void drawingOrder_data()
    {
        QTest::addColumn<TileStack>("stack");
        QTest::addColumn<QList<int>>("expected");
        // equal z: the background static (adjust 0) goes under the other (adjust 1)
        QTest::newRow("background under")
            << stackOf({stat(1001, 3), stat(1002, 3, Tile::Background)}) << QList<int>{1002, 1001};
        // static at z 5 with adjust 2 and land at z 7 share sortZ 7: land first
        QTest::newRow("land before static of its sortZ")
            << stackOf({stat(1001, 5, 0, 4), land(7, 7)}) << QList<int>{7, 1001};
        // 0x2006 after every item and static of the same sortZ, whatever came first
        QTest::newRow("0x2006 last")
            << stackOf({item(0x2006, 4), stat(1001, 4), item(1002, 4), stat(1003, 3, 0, 1)})
            << QList<int>{1001, 1003, 1002, 0x2006};
        // statics of equal sortZ keep insertion order (z 6 adjust 0, z 5 adjust 1)
        QTest::newRow("statics keep order")
            << stackOf({stat(1001, 6, Tile::Background), stat(1002, 5)}) << QList<int>{1001, 1002};
        QTest::newRow("statics keep order, reversed")
            << stackOf({stat(1002, 5), stat(1001, 6, Tile::Background)}) << QList<int>{1002, 1001};
        // items equal in sortZ, tier and adjust: the later-added one goes underneath
        QTest::newRow("later item underneath")
            << stackOf({item(1001, 5), item(1002, 5), item(1003, 5)}) << QList<int>{1003, 1002, 1001};
        // items of equal sortZ go by adjust, not by insertion
        QTest::newRow("items by adjust")
            << stackOf({item(1001, 5, 0, 3), item(1002, 6)}) << QList<int>{1002, 1001};
        // flat static at z 10 (sortZ 11) between land at z 10 and a tall static at z 10 (12)
        QTest::newRow("flat static between land and tall static")
            << stackOf({stat(1002, 10, 0, 6), stat(1001, 10), land(3, 10)}) << QList<int>{3, 1001, 1002};
        // statics, then items at equal sortZ, whatever the insertion order
        QTest::newRow("tiers") << stackOf({item(1001, 2), stat(1002, 2), land(3, 3)})
                               << QList<int>{3, 1002, 1001};
        QTest::newRow("sortZ first") << stackOf({stat(1001, 9), item(1002, -3), land(3, 40)})
                                     << QList<int>{1002, 1001, 3};
    }
    void drawingOrder()
    {
        QFETCH(TileStack, stack);
        QFETCH(QList<int>, expected);
        QCOMPARE(ids(stack), expected);
    }

    // withInserted (how a cell's land joins its statics) places exactly like insert.
    void withInsertedMatchesInsert()
    {
        const TileStack base = stackOf({stat(1001, 0), stat(1002, 5, Tile::Background), item(1003, 5),
                                        stat(1004, 9, 0, 2)});
        for (int z = -2; z <= 13; ++z) {
            TileStack inserted = base;
            inserted.insert(land(3, z));
            QCOMPARE(ids(base.withInserted(land(3, z))), ids(inserted));
        }
        QCOMPARE(ids(base), (QList<int>{1001, 1002, 1003, 1004}));
    }

    // Two identical statics keep insertion order; removing one takes the first.
    void removeTakesFirstEqualStatic()
    {
        Tile a = stat(1001, 4);
        a.setHue(7);
        Tile b = stat(1001, 4);
        b.setHue(9);
        TileStack s = stackOf({a, b});
        QVERIFY(s.removeStatic(stat(1001, 4)));
        QCOMPARE(s.size(), 1);
        QCOMPARE(s.at(0).hue(), quint16(9));
    }

    // Removal finds a static by id and z: another static of the same sortZ stays, and items
    // are never removed.
    void removeMatchesIdAndZ()
    {
        TileStack s = stackOf({stat(1001, 4), stat(1002, 4), item(1003, 4)});
        QCOMPARE(s.findStatic(stat(1002, 4)), 1);
        QVERIFY(s.removeStatic(stat(1002, 4)));
        QCOMPARE(ids(s), (QList<int>{1001, 1003}));
        QVERIFY(!s.removeStatic(stat(1003, 4)));
        QVERIFY(!s.removeStatic(stat(1001, 5)));
        QCOMPARE(ids(s), (QList<int>{1001, 1003}));
    }

    // Finding the place by halving, and merging many tiles at once, give exactly the order
    // of the one-by-one walk along the stack: statics after their equals, items before.
    void fastInsertionKeepsTheOrder_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("zRange");
        QTest::addColumn<int>("itemShare"); // in percent
        QTest::addColumn<quint32>("seed");
        QTest::newRow("equal statics") << 300 << 1 << 0 << 1u;
        QTest::newRow("equal items") << 300 << 1 << 100 << 2u;
        QTest::newRow("statics and items on few heights") << 2000 << 3 << 50 << 3u;
        QTest::newRow("many heights, few items") << 5000 << 40 << 10 << 4u;
        QTest::newRow("short, under the merge size") << 12 << 2 << 50 << 5u;
    }
    void fastInsertionKeepsTheOrder()
    {
        QFETCH(int, count);
        QFETCH(int, zRange);
        QFETCH(int, itemShare);
        QFETCH(quint32, seed);
        quint32 state = seed;
        const auto next = [&state](quint32 n) {
            state = state * 1664525u + 1013904223u;
            return (state >> 8) % n;
        };
        // The hue tags each tile with its position in the input; ids, flags and heights vary
        // the tiers and adjustments, 0x2006 being the item drawn on top.
        std::vector<Tile> input;
        for (int i = 0; i < count; ++i) {
            const TileKind kind = int(next(100)) < itemShare ? TileKind::Item : TileKind::Static;
            const int id = next(8) == 0 ? Tile::ItemTopId : 100 + int(next(4));
            input.push_back(make(kind, id, int(next(quint32(zRange))), next(2) ? quint32(Tile::Background) : 0u,
                                 int(next(2)), quint16(i)));
        }
        const auto hues = [](const TileStack &st) {
            QList<int> out;
            for (const Tile &t : st)
                out.append(t.hue());
            return out;
        };
        // The walk the stack has always done.
        QList<Tile> walked;
        for (const Tile &t : input) {
            qsizetype p = 0;
            while (p < walked.size() && !TileStack::goesBefore(t, walked[p]))
                ++p;
            walked.insert(p, t);
        }
        QList<int> expected;
        for (const Tile &t : walked)
            expected.append(t.hue());

        TileStack one, all, half;
        for (const Tile &t : input)
            one.insert(t);
        all.insertAll(input.data(), input.data() + input.size());
        const size_t mid = input.size() / 2;
        for (size_t i = 0; i < mid; ++i)
            half.insert(input[i]);
        half.insertAll(input.data() + mid, input.data() + input.size());
        QCOMPARE(hues(one), expected);
        QCOMPARE(hues(all), expected);
        QCOMPARE(hues(half), expected);
    }

    // Stacks longer than the inline room keep their order and copy whole.
    void longStacks()
    {
        TileStack s;
        for (int i = 0; i < 20; ++i)
            s.insert(stat(2000 + i, 19 - i));
        QCOMPARE(s.size(), 20);
        const TileStack copy = s;
        for (int i = 0; i < 20; ++i)
            QCOMPARE(copy.at(i).id(), 2019 - i);
    }
};

QTEST_APPLESS_MAIN(TileTest)
#include "tile_test.moc"
