// Byte layout of the generated client files, read back by hand.
#include "sampleworld/readback.h"
#include "sampleworld/sampleworld.h"

#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace readback;
namespace sw = sampleworld;

class FilesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString dir() const { return m_dir.path(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        sw::Options options;
        options.outDir = dir();
        options.facets = {2, 3};
        options.seed = 7;
        QString error;
        QVERIFY2(sw::write(options, &error), qPrintable(error));
    }

    void fileSizes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("size");
        QTest::newRow("map2") << "map2.mul" << qint64(288 * 200 * 196);
        QTest::newRow("map3") << "map3.mul" << qint64(320 * 256 * 196);
        QTest::newRow("staidx2") << "staidx2.mul" << qint64(288 * 200 * 12);
        QTest::newRow("staidx3") << "staidx3.mul" << qint64(320 * 256 * 12);
        QTest::newRow("tiledata") << "tiledata.mul" << qint64(428032 + sw::StaticGroups * 1188);
        QTest::newRow("hues") << "hues.mul" << qint64(sw::HueGroups * 708);
        QTest::newRow("artidx") << "artidx.mul" << qint64((0x4000 + sw::StaticGroups * 32) * 12);
        QTest::newRow("texidx") << "texidx.mul" << qint64(sw::land::TextureCount * 12);
        QTest::newRow("multi.idx") << "multi.idx" << qint64(sw::multi::Count * 12);
    }
    void fileSizes()
    {
        QFETCH(QString, file);
        QFETCH(qint64, size);
        QCOMPARE(QFileInfo(QDir(dir()).filePath(file)).size(), size);
    }

    void landBlocks_data()
    {
        QTest::addColumn<int>("facet");
        QTest::newRow("Ilshenar") << 2;
        QTest::newRow("Malas") << 3;
    }
    void landBlocks()
    {
        QFETCH(int, facet);
        const QByteArray map = load(dir(), QStringLiteral("map%1.mul").arg(facet));
        const int blocks = sw::facetBlocksX(facet) * sw::facetBlocksY(facet);
        QCOMPARE(map.size(), qsizetype(blocks) * 196);
        const QList<int> landIds = sw::landIdsWithArt();
        QSet<int> drawable(landIds.begin(), landIds.end());
        drawable.insert(sw::land::NoDraw);
        QHash<int, int> seen;  // terrain's first id -> cells
        int lowest = 127, highest = -128;
        for (int b = 0; b < blocks; ++b) {
            if (i32(map, qsizetype(b) * 196) != b)
                QFAIL(qPrintable(QStringLiteral("block %1 has header %2").arg(b).arg(i32(map, qsizetype(b) * 196))));
            for (int c = 0; c < 64; ++c) {
                const int id = i16(map, qsizetype(b) * 196 + 4 + 3 * c);
                const int z = i8(map, qsizetype(b) * 196 + 6 + 3 * c);
                if (!drawable.contains(id))
                    QFAIL(qPrintable(QStringLiteral("block %1 cell %2: land id %3 has no art").arg(b).arg(c).arg(id)));
                const int terrain = id < sw::land::Grass ? id : id < sw::land::Water ? sw::land::Grass : id / 8 * 8;
                ++seen[terrain];
                if (terrain == sw::land::Water)
                    QCOMPARE(z, -5);
                lowest = std::min(lowest, z);
                highest = std::max(highest, z);
            }
        }
        // A world, not a test pattern: every terrain is present in some quantity.
        for (int terrain : {sw::land::Grass, sw::land::Water, sw::land::Sand, sw::land::Dirt, sw::land::Rock,
                            sw::land::Mountain, sw::land::Cave, sw::land::NoDraw})
            QVERIFY2(seen.value(terrain) > 1000, qPrintable(QStringLiteral("terrain %1: %2 cells").arg(terrain).arg(seen.value(terrain))));
        QCOMPARE(lowest, -5);
        QVERIFY(highest >= 80 && highest <= 100);
    }

    void staticsIndex_data() { landBlocks_data(); }
    void staticsIndex()
    {
        QFETCH(int, facet);
        const QByteArray idx = load(dir(), QStringLiteral("staidx%1.mul").arg(facet));
        const QByteArray data = load(dir(), QStringLiteral("statics%1.mul").arg(facet));
        const QByteArray map = load(dir(), QStringLiteral("map%1.mul").arg(facet));
        const QList<int> staticIds = sw::staticIdsWithArt();
        const QSet<int> drawable(staticIds.begin(), staticIds.end());
        QHash<int, int> counts;
        qint64 end = 0;
        int empty = 0;
        for (int b = 0; b < idx.size() / 12; ++b) {
            const Index r = index(idx, b);
            QCOMPARE(r.extra, 0);
            if (r.offset == -1) {
                QCOMPARE(r.length, -1);
                ++empty;
                continue;
            }
            // Blocks follow each other without gaps or overlaps.
            QCOMPARE(qint64(r.offset), end);
            QVERIFY(r.length > 0 && r.length % 7 == 0);
            end = qint64(r.offset) + r.length;
            QVERIFY(end <= data.size());
            for (qint64 at = r.offset; at < end; at += 7) {
                const int id = u16(data, at), x = i8(data, at + 2), y = i8(data, at + 3), z = i8(data, at + 4);
                QVERIFY2(drawable.contains(id), qPrintable(QStringLiteral("static id %1").arg(id)));
                QVERIFY(x >= 0 && x < 8 && y >= 0 && y < 8);
                // Nothing is sunk into the ground it stands on.
                const int landZ = i8(map, qsizetype(b) * 196 + 6 + 3 * (y * 8 + x));
                QVERIFY2(z >= landZ, qPrintable(QStringLiteral("block %1 (%2,%3): static z %4 below land %5").arg(b).arg(x).arg(y).arg(z).arg(landZ)));
                ++counts[id];
            }
        }
        QCOMPARE(end, qint64(data.size()));
        QVERIFY(empty > 0);
        for (int id : {sw::item::OakTree, sw::item::Leaves, sw::item::PineTree, sw::item::Bush, sw::item::Rock,
                       sw::item::Door, sw::item::Roof})
            QVERIFY2(counts.value(id) > 0, qPrintable(QStringLiteral("no static %1").arg(id)));
        QVERIFY(counts.value(sw::item::WoodFloor) + counts.value(sw::item::StoneFloor) > 0);
    }

    void differenceFiles_data() { landBlocks_data(); }
    void differenceFiles()
    {
        QFETCH(int, facet);
        const QString n = QString::number(facet);
        const QByteArray map = load(dir(), "map" + n + ".mul");
        const QByteArray dif = load(dir(), "mapdif" + n + ".mul");
        const QByteArray list = load(dir(), "mapdifl" + n + ".mul");
        QCOMPARE(list.size() % 4, 0);
        QCOMPARE(dif.size(), list.size() / 4 * 196);
        QSet<int> firsts;
        bool duplicate = false;
        for (int i = 0; i < list.size() / 4; ++i) {
            const int block = i32(list, i * 4);
            QVERIFY(block >= 0 && block < sw::facetBlocksX(facet) * sw::facetBlocksY(facet));
            QCOMPARE(i32(dif, i * 196), block);
            if (firsts.contains(block)) {
                duplicate = true;
                continue;
            }
            firsts.insert(block);
            // The entry that counts really changes the block.
            QVERIFY(dif.mid(i * 196, 196) != map.mid(qsizetype(block) * 196, 196));
        }
        QVERIFY(duplicate);
        QVERIFY(firsts.size() >= 3);

        const QByteArray sIndex = load(dir(), "stadifi" + n + ".mul");
        const QByteArray sData = load(dir(), "stadif" + n + ".mul");
        const QByteArray sList = load(dir(), "stadifl" + n + ".mul");
        QCOMPARE(sIndex.size() / 12, sList.size() / 4);
        QSet<int> staticBlocks;
        duplicate = false;
        int cleared = 0;
        for (int i = 0; i < sList.size() / 4; ++i) {
            const int block = i32(sList, i * 4);
            duplicate |= staticBlocks.contains(block);
            staticBlocks.insert(block);
            const Index r = index(sIndex, i);
            if (r.offset == -1) {
                ++cleared;
                continue;
            }
            QVERIFY(r.length > 0 && r.length % 7 == 0);
            QVERIFY(r.offset + r.length <= sData.size());
        }
        QVERIFY(duplicate);
        QVERIFY(cleared <= 2);
        QVERIFY(staticBlocks.size() >= 3);
    }

    void tileDataRecords()
    {
        const QByteArray td = load(dir(), "tiledata.mul");
        // Land id 33 is record 1 of group 1: 836 + 4 + 26.
        QCOMPARE(landRecord(33), qsizetype(866));
        QCOMPARE(name(td, 866 + 6), QStringLiteral("dirt"));
        QCOMPARE(name(td, landRecord(sw::land::NoDraw) + 6), QStringLiteral("NoDraw"));
        const struct {
            int id;
            const char *name;
            bool textured;
        } lands[] = {{sw::land::Grass, "grass", true},      {sw::land::Water + 3, "water", true},
                     {sw::land::Sand, "sand", false},       {sw::land::Rock + 1, "rock", true},
                     {sw::land::Mountain, "mountain", true}, {sw::land::Snow, "snow", true},
                     {sw::land::Cave, "cave", false}};
        const QByteArray texIdx = load(dir(), "texidx.mul");
        for (const auto &l : lands) {
            QCOMPARE(name(td, landRecord(l.id) + 6), QString::fromLatin1(l.name));
            const int texture = u16(td, landRecord(l.id) + 4);
            QCOMPARE(texture != 0, l.textured);
            if (l.textured)
                QVERIFY(index(texIdx, texture).offset >= 0);
        }
        QVERIFY(u32(td, landRecord(sw::land::Water)) & 0x80);  // wet

        // Static id 0 sits at 428032 + 4.
        QCOMPARE(staticRecord(0), qsizetype(428036));
        QCOMPARE(name(td, staticRecord(sw::item::NoDraw) + 17), QStringLiteral("nodraw"));
        const qsizetype wall = staticRecord(sw::item::WeatheredWall);
        QCOMPARE(td.mid(wall + 17, 20), QByteArray("weathered stone wall"));
        QCOMPARE(u8(td, wall + 16), quint8(20));
        QVERIFY(u32(td, staticRecord(sw::item::WoodFloor)) & 1);
        QVERIFY(u32(td, staticRecord(sw::item::StoneWallX)) & 1);
        QVERIFY(u32(td, staticRecord(sw::item::WindowGlass)) & 8);
        QVERIFY(u32(td, staticRecord(sw::item::Leaves)) & 8);
        QVERIFY(!(u32(td, staticRecord(sw::item::OakTree)) & 8));
        QVERIFY(u8(td, staticRecord(sw::item::OakTree) + 16) > u8(td, staticRecord(sw::item::Bush) + 16));
        // Every static with art has a name.
        for (int id : sw::staticIdsWithArt())
            QVERIFY2(!name(td, staticRecord(id) + 17).isEmpty(), qPrintable(QString::number(id)));
    }

    void landArt()
    {
        const QByteArray idx = load(dir(), "artidx.mul");
        const QByteArray art = load(dir(), "art.mul");
        QCOMPARE(index(idx, sw::land::NoDraw).offset, -1);
        for (int id : sw::landIdsWithArt()) {
            const Index r = index(idx, id);
            QCOMPARE(r.length, 2024);
            QVERIFY(r.offset >= 0 && r.offset + r.length <= art.size());
        }
        // The middle of the diamond: row 21 (42 pixels from column 0) at column 22 is
        // colour 2 * (1 + 2 + ... + 20) + 22 = 442.
        auto centre = [&](int id) { return rgb(u16(art, index(idx, id).offset + 2 * 442)); };
        int highBit = 0;
        auto average = [&](int id) {
            Rgb sum{0, 0, 0};
            for (int i = 0; i < 1012; ++i) {
                const Rgb c = rgb(u16(art, index(idx, id).offset + 2 * i));
                highBit += u16(art, index(idx, id).offset + 2 * i) >> 15;
                sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
            }
            return Rgb{sum.r / 1012, sum.g / 1012, sum.b / 1012};
        };
        const Rgb water = average(sw::land::Water), grass = average(sw::land::Grass);
        const Rgb sand = average(sw::land::Sand), rock = average(sw::land::Rock);
        QVERIFY(water.b > water.r + 60 && water.b > water.g + 40);
        QVERIFY(grass.g > grass.r + 30 && grass.g > grass.b + 30);
        QVERIFY(sand.r > sand.b + 50 && sand.g > sand.b + 40);
        QVERIFY(std::abs(rock.r - rock.b) < 20 && rock.r > 80);
        QCOMPARE(highBit, 0);
        const Rgb voidColour = centre(sw::land::Void);
        QCOMPARE(voidColour.r + voidColour.g + voidColour.b, 0);
    }

    void staticArt()
    {
        const QByteArray idx = load(dir(), "artidx.mul");
        const QByteArray art = load(dir(), "art.mul");
        QCOMPARE(index(idx, 0x4000 + sw::item::NoDraw).offset, -1);
        QCOMPARE(index(idx, 0x4000).offset, -1);
        for (int id : sw::staticIdsWithArt()) {
            const Index r = index(idx, 0x4000 + id);
            QVERIFY(r.offset >= 0 && r.offset + r.length <= art.size());
            const qsizetype start = r.offset;
            const int w = i16(art, start + 4), h = i16(art, start + 6);
            QVERIFY(w > 0 && w <= 64 && h > 0 && h <= 128);
            const qsizetype table = start + 8, data = table + 2 * h;
            int pixels = 0;
            for (int y = 0; y < h; ++y) {
                qsizetype at = data + 2 * qsizetype(u16(art, table + 2 * y));
                int x = 0;
                for (;;) {
                    QVERIFY(at + 4 <= start + r.length);
                    const int skip = i16(art, at), run = i16(art, at + 2);
                    at += 4;
                    if (skip + run == 0)
                        break;
                    QVERIFY2(skip >= 0 && run > 0 && x + skip + run <= w,
                             qPrintable(QStringLiteral("static %1 row %2 overruns").arg(id).arg(y)));
                    x += skip + run;
                    pixels += run;
                    at += 2 * run;
                }
            }
            QVERIFY2(pixels > w * h / 20, qPrintable(QStringLiteral("static %1 is nearly empty").arg(id)));
        }
        auto size = [&](int id) {
            const qsizetype at = index(idx, 0x4000 + id).offset;
            return QSize(i16(art, at + 4), i16(art, at + 6));
        };
        QVERIFY(size(sw::item::OakTree).height() > 2 * size(sw::item::OakTree).width() - 10);
        QVERIFY(size(sw::item::Rock).width() > size(sw::item::Rock).height());
        QCOMPARE(size(sw::item::WoodFloor), QSize(44, 44));
    }

    void textures()
    {
        const QByteArray idx = load(dir(), "texidx.mul");
        const QByteArray tex = load(dir(), "texmaps.mul");
        QCOMPARE(index(idx, 0).offset, -1);
        // Texture 2 makes a land tile a no-draw tile: no drawn land may use it, or its
        // cells turn black as soon as statics are shown.
        QCOMPARE(index(idx, 2).offset, -1);
        const QByteArray td = load(dir(), "tiledata.mul");
        for (int id : sw::landIdsWithArt())
            QVERIFY2(u16(td, landRecord(id) + 4) != 2, qPrintable(QStringLiteral("land %1").arg(id)));
        int large = 0, small = 0;
        for (int t = 1; t < sw::land::TextureCount; ++t) {
            if (t == 2)
                continue;
            const Index r = index(idx, t);
            QVERIFY(r.offset >= 0 && r.offset + r.length <= tex.size());
            QCOMPARE(r.length, r.extra == 1 ? 128 * 128 * 2 : 64 * 64 * 2);
            (r.extra == 1 ? large : small)++;
        }
        QVERIFY(large > 0 && small > 0);
        QCOMPARE(index(idx, sw::land::MountainTexture).extra, 1);
    }

    void hues()
    {
        const QByteArray hues = load(dir(), "hues.mul");
        QCOMPARE(hues.size() % 708, 0);
        QSet<QString> names;
        for (int n = 0; n < hues.size() / 708 * 8; ++n) {
            const qsizetype entry = qsizetype(n / 8) * 708 + 4 + (n % 8) * 88;
            auto brightness = [&](int i) {
                const Rgb c = rgb(u16(hues, entry + 2 * i));
                return c.r + c.g + c.b;
            };
            for (int i = 1; i < 32; ++i)
                QVERIFY2(brightness(i) >= brightness(i - 1), qPrintable(QStringLiteral("hue %1 step %2").arg(n + 1).arg(i)));
            QVERIFY(brightness(31) > brightness(0) + 300);
            names.insert(name(hues, entry + 68));
        }
        QCOMPARE(names.size(), hues.size() / 708 * 8);  // every hue has its own name
    }

    void multis()
    {
        const QByteArray idx = load(dir(), "multi.idx");
        const QByteArray mul = load(dir(), "multi.mul");
        const QByteArray td = load(dir(), "tiledata.mul");
        QCOMPARE(index(idx, sw::multi::Missing).offset, -1);
        for (int m : {sw::multi::House, sw::multi::Tent, sw::multi::Tower}) {
            const Index r = index(idx, m);
            QVERIFY(r.offset >= 0 && r.length > 0 && r.length % 12 == 0 && r.offset + r.length <= mul.size());
            int hidden = 0;
            for (qsizetype at = r.offset; at < r.offset + r.length; at += 12) {
                const int id = u16(mul, at);
                QVERIFY(!name(td, staticRecord(id) + 17).isEmpty());
                QVERIFY(std::abs(i16(mul, at + 2)) < 8 && std::abs(i16(mul, at + 4)) < 8);
                if (i32(mul, at + 8) == 0)
                    ++hidden;
            }
            QCOMPARE(hidden, m == sw::multi::House ? 1 : 0);
        }
        // The house's hidden component is its first one.
        QCOMPARE(u16(mul, index(idx, sw::multi::House).offset), quint16(sw::item::NoDraw));
        QCOMPARE(i32(mul, index(idx, sw::multi::House).offset + 8), 0);
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "files_test.moc"
