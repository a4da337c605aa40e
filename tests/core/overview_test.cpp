// The overview of a facet end to end: the colours built from a generated sample world's
// files against the tiles the block cache gives for the same cells, with the directory's
// radarcol.mul, without it and with one that cannot be a colour table; then edits through
// the map document and the blocks they recolour.
#include "support/testenv.h"
#include "tiles/radarcolors.h"
#include "world/blockcache.h"
#include "world/facet.h"
#include "world/mapdocument.h"
#include "world/overviewimage.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <memory>

namespace {

// The generator's own colour table, read byte by byte: entry index -> 5-5-5 colour.
std::vector<quint16> radarTable(const QString &dir)
{
    QFile f(dir + "/radarcol.mul");
    std::vector<quint16> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray b = f.readAll();
    for (int i = 0; i + 1 < b.size(); i += 2)
        out.push_back(qFromLittleEndian<quint16>(b.constData() + i) & 0x7FFF);
    return out;
}

// The tile a cell shows from above, as the map view's walk sees it: the last static of the
// cell's stack, else its land. Radar index: land id, or 0x4000 + static id.
int topTileIndex(BlockCache &cache, int x, int y)
{
    const TileStack tiles = cache.cellTiles(x, y);
    for (int i = tiles.size() - 1; i >= 0; --i) {
        if (tiles[i].isStatic())
            return 0x4000 + tiles[i].id();
    }
    for (const Tile &t : tiles) {
        if (t.isLand())
            return t.id();
    }
    return 0;
}

using Edit = std::function<void(MapDocument &, int x, int y)>;

} // namespace
Q_DECLARE_METATYPE(Edit)

class OverviewTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString withRadar, withoutRadar, badRadar;
    std::vector<quint16> table;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        withRadar = env->copyOfSample("with");
        withoutRadar = env->copyOfSample("without");
        badRadar = env->copyOfSample("bad");
        table = radarTable(withRadar);
        QVERIFY(table.size() > 0x4000);
        QVERIFY(QFile::remove(withoutRadar + "/radarcol.mul"));
        QFile bad(badRadar + "/radarcol.mul");
        QVERIFY(bad.resize(0x4000 * 2 - 2)); // short of the land colours
    }

    void radarFileSizes_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << qint64(0) << false;
        QTest::newRow("odd") << qint64(0x4000 * 2 + 513) << false;
        QTest::newRow("land ids only") << qint64(0x4000 * 2) << true;
        QTest::newRow("short of land") << qint64(0x4000 * 2 - 2) << false;
        QTest::newRow("early statics") << qint64((0x4000 + 256) * 2) << true;
        QTest::newRow("current client") << qint64(163768) << true;
        QTest::newRow("every static id") << qint64((0x4000 + 0x10000) * 2) << true;
        QTest::newRow("one past every id") << qint64((0x4000 + 0x10000) * 2 + 2) << false;
    }
    void radarFileSizes()
    {
        QFETCH(qint64, size);
        QFETCH(bool, accepted);
        const QString path = env->root() + "/radarcol-size.mul";
        QByteArray bytes(size, '\0');
        for (qint64 i = 0; i + 1 < size; i += 2)
            qToLittleEndian<quint16>(quint16(i / 2 * 7), bytes.data() + i);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == size);
        f.close();
        RadarColours radar;
        QString error;
        QCOMPARE(radar.load(path, &error), accepted);
        QCOMPARE(radar.isLoaded(), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        if (accepted) {
            QCOMPARE(radar.count(), int(size / 2));
            QCOMPARE(int(radar.colour(radar.count() - 1)), ((radar.count() - 1) * 7) & 0x7FFF);
            QVERIFY(!radar.has(radar.count()));
        } else {
            QVERIFY2(error.contains("radarcol-size.mul") && error.contains(QString::number(size)), qPrintable(error));
        }
    }

    void coloursOfCells_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<int>("facet");
        QTest::addColumn<bool>("radar");
        QTest::newRow("Ilshenar, radarcol.mul") << "with" << 2 << true;
        QTest::newRow("Malas, radarcol.mul") << "with" << 3 << true;
        QTest::newRow("Ilshenar, art means") << "without" << 2 << false;
        QTest::newRow("Malas, refused radarcol.mul") << "bad" << 3 << false;
    }
    void coloursOfCells()
    {
        QFETCH(QString, which);
        QFETCH(int, facet);
        QFETCH(bool, radar);
        const QString dir = which == "with" ? withRadar : which == "without" ? withoutRadar : badRadar;
        TestEnvironment::useDataDirectory(dir);
        MapDocument doc;
        QVERIFY(doc.setFacet(facet));
        OverviewColours colours;
        QCOMPARE(colours.usesRadarColours(), radar);
        QCOMPARE(colours.loadError().isEmpty(), which != "bad");
        OverviewImage image;
        const int loadsBefore = doc.cache().landLoads() + doc.cache().staticLoads();
        image.build(doc.facet(facet), doc.tileData(), colours, &doc.cache());
        QCOMPARE(doc.cache().landLoads() + doc.cache().staticLoads(), loadsBefore); // not through the cache
        const int w = doc.cache().blocksX() * 8, h = doc.cache().blocksY() * 8;
        QCOMPARE(image.width(), w);
        QCOMPARE(image.height(), h);
        QCOMPARE(image.facetNumber(), facet);

        // A spread over the facet, and the cells of blocks the difference files replace.
        QList<QPoint> cells;
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 40; ++j)
                cells.append(QPoint((i * 997 + j * 61) % w, (j * 541 + i * 13) % h));
        int landListed = 0, staticsListed = 0;
        const Facet &f = doc.facet(facet);
        for (auto it = f.landDifferenceList().cbegin(); it != f.landDifferenceList().cend() && landListed < 8; ++it, ++landListed)
            for (int k = 0; k < 64; k += 9)
                cells.append(QPoint((it.key() / doc.cache().blocksY()) * 8 + k % 8, (it.key() % doc.cache().blocksY()) * 8 + k / 8));
        for (auto it = f.staticsDifferenceList().cbegin(); it != f.staticsDifferenceList().cend() && staticsListed < 8; ++it, ++staticsListed)
            for (int k = 0; k < 64; ++k)
                cells.append(QPoint((it.key() / doc.cache().blocksY()) * 8 + k % 8, (it.key() % doc.cache().blocksY()) * 8 + k / 8));
        // The sample has both kinds of difference.
        QVERIFY2(landListed > 0 && staticsListed > 0, qPrintable(QString("%1 %2").arg(landListed).arg(staticsListed)));

        int statics = 0, lands = 0;
        QSet<quint16> seen;
        for (const QPoint &c : cells) {
            const int index = topTileIndex(doc.cache(), c.x(), c.y());
            QVERIFY(index >= 0 && size_t(index) < table.size());
            // The generator's table is the mean of each tile's art, as the art fallback is.
            const quint16 expected = table[size_t(index)];
            QVERIFY2(image.colourAt(c.x(), c.y()) == expected,
                     qPrintable(QString("cell %1,%2 tile index 0x%3: %4, expected %5")
                                    .arg(c.x()).arg(c.y()).arg(index, 0, 16)
                                    .arg(image.colourAt(c.x(), c.y())).arg(expected)));
            // Beside the colour, the height the isometric and 3D overview lift the cell by.
            QCOMPARE(image.heightAt(c.x(), c.y()), doc.cache().land(c.x(), c.y()).z());
            (index >= 0x4000 ? statics : lands) += 1;
            seen.insert(expected);
        }
        QVERIFY2(statics > 50 && lands > 500, qPrintable(QString("%1 statics, %2 land").arg(statics).arg(lands)));
        QVERIFY(seen.size() > 8);
    }

    void editsRecolourTheirBlocks_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("blocks");
        QTest::newRow("insert a static") << Edit([](MapDocument &d, int x, int y) {
            MapDocument::LandSelection cells;
            cells[x][y] = 0;
            QVERIFY(d.insertStatic(cells, 0x0010));
        }) << 1;
        QTest::newRow("paint land") << Edit([](MapDocument &d, int x, int y) {
            MapDocument::Edit edit(d, "Paint");
            QVERIFY(d.paintLand(x + 1, y + 2, {0x0003}, {}));
            QVERIFY(d.paintLand(x + 2, y + 2, {0x0003}, {}));
        }) << 1;
        QTest::newRow("clear across four blocks") << Edit([](MapDocument &d, int x, int y) {
            d.clearRectangle(2, x + 6, y + 6, x + 9, y + 9);
        }) << 4;
    }
    void editsRecolourTheirBlocks()
    {
        QFETCH(Edit, edit);
        QFETCH(int, blocks);
        TestEnvironment::useDataDirectory(withRadar);
        MapDocument doc;
        QVERIFY(doc.setFacet(2));
        OverviewColours colours;
        OverviewImage image;
        image.build(doc.facet(2), doc.tileData(), colours, &doc.cache());
        const QImage before = image.image().copy();
        QSignalSpy told(&doc, &MapDocument::blocksChanged);

        const int x = 8 * 40, y = 8 * 50; // a block corner well inside Ilshenar
        edit(doc, x, y);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0][0].toInt(), 2);
        const QList<int> changed = told[0][1].value<QList<int>>();
        QCOMPARE(changed.size(), blocks);
        const quint64 revision = image.revision();
        const QRect rect = image.update(doc.cache(), changed, colours);
        QCOMPARE(image.blocksColoured(), blocks);
        QVERIFY(image.revision() > revision);
        QCOMPARE(rect.width() * rect.height(), 64 * blocks);

        // Every cell of the changed blocks shows its tile now; no other cell moved.
        int differing = 0;
        for (int cy = 0; cy < image.height(); ++cy)
            for (int cx = 0; cx < image.width(); ++cx) {
                const bool in = rect.contains(cx, cy);
                const quint16 now = image.colourAt(cx, cy);
                if (!in) {
                    if (now != reinterpret_cast<const quint16 *>(before.constScanLine(cy))[cx])
                        QFAIL(qPrintable(QString("cell %1,%2 outside the edit changed").arg(cx).arg(cy)));
                    continue;
                }
                QCOMPARE(now, table[size_t(topTileIndex(doc.cache(), cx, cy))]);
                differing += now != reinterpret_cast<const quint16 *>(before.constScanLine(cy))[cx];
            }
        QVERIFY(differing > 0);
        // A new build sees the same (the edit's blocks are still only in the cache).
        OverviewImage fresh;
        fresh.build(doc.facet(2), doc.tileData(), colours, &doc.cache());
        QVERIFY(fresh.image() == image.image());
        // Built piece by piece, last piece first, the same again, heights and all.
        OverviewImage pieces;
        pieces.begin(doc.facet(2));
        QVERIFY(pieces.piecesX() * pieces.piecesY() > 4);
        for (int i = pieces.piecesX() * pieces.piecesY() - 1; i >= 0; --i) {
            QVERIFY(!pieces.isComplete());
            pieces.buildPiece(doc.facet(2), doc.tileData(), colours, &doc.cache(), i % pieces.piecesX(),
                              i / pieces.piecesX());
        }
        QVERIFY(pieces.isComplete());
        QVERIFY(pieces.image() == image.image());
        for (int cy = rect.top() - 1; cy <= rect.bottom() + 1; ++cy)
            for (int cx = rect.left() - 1; cx <= rect.right() + 1; ++cx) {
                QCOMPARE(pieces.heightAt(cx, cy), doc.cache().land(cx, cy).z());
                QCOMPARE(image.heightAt(cx, cy), doc.cache().land(cx, cy).z());
            }

        // Undo tells the same blocks and brings the picture back.
        QVERIFY(doc.undo());
        QCOMPARE(told.size(), 2);
        QCOMPARE(told[1][1].value<QList<int>>(), changed);
        image.update(doc.cache(), changed, colours);
        QVERIFY(image.image() == before);
    }
};

QTEST_GUILESS_MAIN(OverviewTest)
#include "overview_test.moc"
