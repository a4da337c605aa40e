// The map document end to end on the sample world: every kind of edit taken back and done
// again to the byte across a facet switch and a save, and the edits that were lost or landed
// in the wrong place before (a hue-only change, a selection of another facet, a world save
// read twice, typed text that is no number, a folder without client files).
#include "support/testenv.h"
#include "tiles/tilenumber.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/facetsaver.h"
#include "world/mapdocument.h"
#include "world/multiplacement.h"

#include <QFile>
#include <QtTest>

#include <algorithm>
#include <functional>

namespace {
constexpr int kIlshenar = 2;
constexpr int kMalas = 3;
constexpr int kCells = 48; // the part of the facet the tests look at: 6 x 6 blocks from
constexpr int OX = 1000;   // (OX, OY), inland where the sample world has its plants
constexpr int OY = 800;

// What the blocks of the corner hold, as the client files would get it: land records,
// static records (with hues) and the world-save items of each block.
QByteArray cornerBytes(MapDocument &doc)
{
    QByteArray out;
    BlockCache &cache = doc.cache();
    for (int bx = 0; bx < kCells / 8; ++bx) {
        for (int by = 0; by < kCells / 8; ++by) {
            const int block = (OX / 8 + bx) * cache.blocksY() + OY / 8 + by;
            QByteArray land(LandBlock::RecordSize, '\0');
            cache.landBlock(block).encodeInto(land);
            out += land + cache.staticBlock(block).encode();
            const StaticBlock &s = cache.staticBlock(block);
            for (const CellKey key : s.keys())
                for (const Tile &t : s.at(key))
                    if (t.isItem())
                        out += QByteArray::number(t.id()) + ',' + QByteArray::number(t.z()) + ';';
            out += '|';
        }
    }
    return out;
}

// The first cells of the corner with statics (x, y, the first static there).
struct Placed {
    int x, y;
    Tile tile;
};
QList<Placed> staticsInCorner(MapDocument &doc, int count)
{
    QList<Placed> out;
    for (int x = OX + 1; x < OX + kCells - 10 && out.size() < count; ++x)
        for (int y = OY + 1; y < OY + kCells - 10 && out.size() < count; ++y) {
            const TileStack s = doc.cache().statics(x, y);
            if (!s.isEmpty() && s[0].isStatic())
                out.append({x, y, s[0]});
        }
    return out;
}

void selectStatics(MapDocument &doc, const QList<Placed> &placed)
{
    for (const Placed &p : placed)
        MapDocument::addSelected(doc.staticSelection(), p.x, p.y, p.tile.z(), p.tile.id());
}

void selectLand(MapDocument &doc, int x1, int y1, int x2, int y2)
{
    for (int x = OX + x1; x <= OX + x2; ++x)
        for (int y = OY + y1; y <= OY + y2; ++y)
            doc.landSelection()[x][y] = doc.cache().land(x, y).id();
}

// A world save with one item that becomes a static (TYPE 255) and one that stays an item.
bool writeWorldSave(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
        && f.write(QStringLiteral("SECTION WORLDITEM 1\n{\nID 3703\nX %1\nY %2\nZ 5\nCOLOR 33\nTYPE 255\n}\n"
                                  "SECTION WORLDITEM 2\n{\nID 3703\nX %3\nY %4\nZ 7\n}\n")
                       .arg(OX + 10).arg(OY + 10).arg(OX + 12).arg(OY + 20).toLatin1())
        > 0;
}

int staticsWithId(MapDocument &doc, int x, int y, int id)
{
    int n = 0;
    for (const Tile &t : doc.cache().statics(x, y))
        n += t.isStatic() && t.id() == id;
    return n;
}

// The cells x1..x2, y1..y2 of the corner as a target of the Insert entries.
MapDocument::LandSelection cellsOf(MapDocument &doc, int x1, int y1, int x2, int y2)
{
    MapDocument::LandSelection cells;
    for (int x = OX + x1; x <= OX + x2; ++x)
        for (int y = OY + y1; y <= OY + y2; ++y)
            cells[x][y] = doc.cache().land(x, y).id();
    return cells;
}

bool selected(MapDocument &doc, int x, int y, int z, int id)
{
    return doc.staticSelection().value(x).value(y).value(z).contains(id);
}

// The selected statics as the map holds them now; one that is not there is missing.
QList<Tile> selectedStatics(MapDocument &doc)
{
    QList<Tile> out;
    const MapDocument::StaticSelection &sel = doc.staticSelection();
    for (auto ix = sel.cbegin(); ix != sel.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const TileStack s = doc.cache().statics(ix.key(), iy.key());
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz)
                for (const int id : *iz) {
                    const int at = MapDocument::findSelectedStatic(s, id, iz.key());
                    if (at >= 0)
                        out.append(s[at]);
                }
        }
    return out;
}

using Operation = std::function<void(MapDocument &, const QString &worldSave)>;
// What must hold right after the operation beside its bytes (the selection it leaves).
using Check = std::function<void(MapDocument &)>;
} // namespace
Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(Check)

class DocumentTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString dir;

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        dir = env->copyOfSample();
        TestEnvironment::useDataDirectory(dir);
    }
    void cleanup() { env.reset(); }

    void undoAndRedoAreExact_data();
    void undoAndRedoAreExact();
    void mends();
};

void DocumentTest::undoAndRedoAreExact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Check>("check");
    const auto row = [](const char *tag, const char *name, Operation op, Check check = {}) {
        QTest::newRow(tag) << QString::fromLatin1(name) << op << check;
    };
    row("delete land and statics", "Delete", [](MapDocument &d, const QString &) {
        selectLand(d, 3, 3, 20, 12); // over block borders
        selectStatics(d, staticsInCorner(d, 6));
        d.deleteSelection();
    });
    row("move statics", "Move", [](MapDocument &d, const QString &) {
        selectStatics(d, staticsInCorner(d, 5));
        d.moveStatics(7, -1, false);
    });
    row("copy statics", "Copy", [](MapDocument &d, const QString &) {
        selectStatics(d, staticsInCorner(d, 5));
        d.moveStatics(1, 9, true);
    });
    row("raise", "Raise", [](MapDocument &d, const QString &) {
        selectLand(d, 0, 0, 9, 9);
        selectStatics(d, staticsInCorner(d, 4));
        d.changeElevation(3);
    });
    row("lower", "Lower", [](MapDocument &d, const QString &) {
        selectLand(d, 14, 14, 17, 30);
        d.changeElevation(-200);
    });
    row("clear rectangle", "Clear Tiles", [](MapDocument &d, const QString &) {
        d.clearRectangle(2, OX - 5, OY + 6, OX + 30, OY + 19);
    });
    // A stroke as the view makes it: the edit open from the press to the release, one
    // document call per cell the pointer enters.
    row("paint stroke", "Paint", [](MapDocument &d, const QString &) {
        d.beginEdit(QStringLiteral("Paint"));
        for (int i = 0; i < 40; ++i)
            QVERIFY(d.paintLand(OX + 2 + i, OY + 5 + i / 3, {0x44, 0x45, 0x46}, {HeightChange::By, i - 20}));
        // A set that draws an id out of range paints nothing.
        QVERIFY(!d.paintLand(OX + 3, OY + 30, {0x4000}, {}));
        d.endEdit();
    }, [](MapDocument &d) {
        QCOMPARE(d.history(kIlshenar).count(), 1);
        const Tile t = d.cache().land(OX + 41, OY + 18);
        QVERIFY(t.id() >= 0x44 && t.id() <= 0x46);
    });
    row("paint statics stroke", "Paint", [](MapDocument &d, const QString &) {
        d.beginEdit(QStringLiteral("Paint"));
        for (int i = 0; i < 20; ++i)
            QVERIFY(d.paintStatic(OX + 4 + i, OY + 40 - i, {0x0E3D}, {HeightChange::To, 9}));
        d.endEdit();
    }, [](MapDocument &d) {
        const TileStack s = d.cache().statics(OX + 10, OY + 34);
        QVERIFY(std::any_of(s.begin(), s.end(),
                            [](const Tile &t) { return t.id() == 0x0E3D && t.z() == 9 && t.hue() == 0; }));
    });
    row("insert land", "Insert", [](MapDocument &d, const QString &) {
        const MapDocument::LandSelection cells = cellsOf(d, 5, 5, 12, 9);
        QVERIFY(!d.insertLand(cells, 0x4000)); // refused whole: not even an empty step
        QVERIFY(!d.canUndo());
        QVERIFY(d.insertLand(cells, 0x0003));
    });
    row("insert static", "Insert", [](MapDocument &d, const QString &) {
        const MapDocument::LandSelection cells = cellsOf(d, 6, 6, 9, 17);
        QVERIFY(!d.insertStatic(cells, 0xFFFF));
        QVERIFY(d.insertStatic(cells, 0x0E3D));
    }, [](MapDocument &d) {
        QVERIFY(staticsWithId(d, OX + 9, OY + 17, 0x0E3D) > 0);
    });
    row("apply land to selection", "Apply to Selection", [](MapDocument &d, const QString &) {
        selectLand(d, 2, 2, 19, 11);
        d.applyToSelection(0, {0x10, 0x11}, {HeightChange::By, -4});
    });
    row("apply statics to selection", "Apply to Selection", [](MapDocument &d, const QString &) {
        selectLand(d, 20, 2, 27, 8);
        d.applyToSelection(1, {0x0E3D}, {});
    }, [](MapDocument &d) {
        QVERIFY(staticsWithId(d, OX + 27, OY + 8, 0x0E3D) > 0);
        QCOMPARE(d.landSelection().size(), 8); // the selection stays as it was
    });
    row("altitude of selection", "Altitude", [](MapDocument &d, const QString &) {
        const QList<Placed> placed = staticsInCorner(d, 4);
        selectStatics(d, placed);
        selectLand(d, 0, 0, 4, 4);
        d.setAltitude(d.landSelection(), d.staticSelection(), {HeightChange::By, 5}, true);
    }, [](MapDocument &d) {
        // The selection follows the statics to their new heights.
        const QList<Tile> now = selectedStatics(d);
        QCOMPARE(now.size(), 4);
    });
    row("altitude set", "Altitude", [](MapDocument &d, const QString &) {
        MapDocument::LandSelection land;
        land[OX + 30][OY + 30] = 0;
        d.setAltitude(land, {}, {HeightChange::To, -128}, false);
    }, [](MapDocument &d) {
        QCOMPARE(d.cache().land(OX + 30, OY + 30).z(), -128);
    });
    // 20 x 20 cells of Malas with their statics copied as the clipboard carries them and
    // pasted into the corner of Ilshenar: the land and statics read back the same, at
    // heights over the target's land as they stood over the source's (relative), or at the
    // very heights they were copied at (absolute). The two corners' land heights differ, so
    // a paste that took the wrong heights is seen.
    for (const auto heights : {MapDocument::PasteHeights::Relative, MapDocument::PasteHeights::Absolute}) {
        const bool relative = heights == MapDocument::PasteHeights::Relative;
        row(relative ? "paste an area from another facet, heights relative"
                     : "paste an area from another facet, heights absolute",
            "Paste", [heights, relative](MapDocument &d, const QString &) {
            QVERIFY(d.setFacet(kMalas));
            const QList<Placed> seen = staticsInCorner(d, 1);
            QVERIFY2(!seen.isEmpty(), "Malas has statics in the corner");
            const int sx = seen[0].x - 5, sy = seen[0].y - 5, side = 20;
            const auto staticsOf = [&d](int x, int y, int dz) {
                QStringList out;
                for (const Tile &t : d.cache().statics(x, y))
                    if (t.isStatic())
                        out << QStringLiteral("%1/%2/%3").arg(t.id()).arg(t.z() + dz).arg(t.hue());
                return out;
            };
            const int sourceZ = relative ? d.cache().land(sx, sy).z() : 0;
            QStringList copied;
            int placed = 0;
            for (int x = sx; x < sx + side; ++x)
                for (int y = sy; y < sy + side; ++y) {
                    d.landSelection()[x][y] = d.cache().land(x, y).id();
                    for (const Tile &t : d.cache().statics(x, y))
                        if (t.isStatic())
                            MapDocument::addSelected(d.staticSelection(), x, y, t.z(), t.id());
                    const Tile l = d.cache().land(x, y);
                    QStringList cell = staticsOf(x, y, -sourceZ);
                    placed += 1 + int(cell.size());
                    copied << QStringLiteral("%1/%2 [%3]").arg(l.id()).arg(l.z() - sourceZ).arg(cell.join(' '));
                }
            const int cornerZ = d.cache().land(sx, sy).z();
            const QByteArray xml = d.copySelection();
            QVERIFY(xml.startsWith("<tessaryn>\n    <export "));
            QVERIFY(xml.contains("<tile id="));

            QVERIFY(d.setFacet(kIlshenar));
            const int tx = OX + 20, ty = OY + 20;
            QVERIFY2(d.cache().land(tx, ty).z() != cornerZ, "the corners' land heights differ");
            const int targetZ = relative ? d.cache().land(tx, ty).z() : 0;
            QStringList had;
            for (int x = tx; x < tx + side; ++x)
                for (int y = ty; y < ty + side; ++y)
                    had << staticsOf(x, y, -targetZ).join(' ');
            QString error;
            QCOMPARE(d.pasteArea(xml, tx, ty, heights, &error), placed);
            QStringList now;
            int i = 0;
            for (int x = tx; x < tx + side; ++x)
                for (int y = ty; y < ty + side; ++y, ++i) {
                    // What stood there stays; the copy joins it.
                    QStringList cell = staticsOf(x, y, -targetZ);
                    for (const QString &old : had[i].split(' ', Qt::SkipEmptyParts))
                        cell.removeOne(old);
                    std::sort(cell.begin(), cell.end());
                    QStringList want = copied[i].section('[', 1).chopped(1).split(' ', Qt::SkipEmptyParts);
                    std::sort(want.begin(), want.end());
                    const Tile l = d.cache().land(x, y);
                    now << QStringLiteral("%1/%2 [%3]").arg(l.id()).arg(l.z() - targetZ).arg(cell.join(' '));
                    copied[i] = copied[i].section('[', 0, 0) + '[' + want.join(' ') + ']';
                }
            QCOMPARE(now, copied);
            // The cells the area names are the square, from its corner.
            const std::vector<QPoint> cells = MapDocument::areaCells(xml);
            QCOMPARE(int(cells.size()), side * side);
            QCOMPARE(cells.front(), QPoint(0, 0));
            QCOMPARE(cells.back(), QPoint(side - 1, side - 1));
            // Text that holds nothing to paste is refused without a step.
            const int steps = d.history(kIlshenar).count();
            QCOMPARE(d.pasteArea("<tessaryn><export/></tessaryn>", tx, ty, heights, &error), -1);
            QCOMPARE(d.history(kIlshenar).count(), steps);
            QVERIFY(MapDocument::areaCells("<tessaryn><export/></tessaryn>").empty());
            });
    }
    row("hue", "Hue", [](MapDocument &d, const QString &) {
        selectStatics(d, staticsInCorner(d, 3));
        d.setHue(d.staticSelection(), 0x21);
    }, [](MapDocument &d) {
        const QList<Tile> now = selectedStatics(d);
        QCOMPARE(now.size(), 3);
        for (const Tile &t : now)
            QCOMPARE(int(t.hue()), 0x21);
    });
    row("properties of a static", "Properties", [](MapDocument &d, const QString &) {
        const Placed p = staticsInCorner(d, 1).value(0);
        selectStatics(d, {p});
        d.setProperties(1, p.x, p.y, p.tile.id(), p.tile.z(), p.tile.z() + 1, 0x21);
        // A static that is not there any more is left alone, in no step of its own.
        const TileStack s = d.cache().statics(p.x, p.y);
        QVERIFY(std::none_of(s.begin(), s.end(),
                             [&](const Tile &t) { return t.id() == p.tile.id() && t.z() == p.tile.z() - 50; }));
        d.setProperties(1, p.x, p.y, p.tile.id(), p.tile.z() - 50, 0, 0);
    }, [](MapDocument &d) {
        QCOMPARE(d.history(kIlshenar).count(), 1);
        const QList<Tile> now = selectedStatics(d);
        QCOMPARE(now.size(), 1);
        QCOMPARE(int(now[0].hue()), 0x21);
    });
    row("properties of land", "Properties", [](MapDocument &d, const QString &) {
        d.setProperties(0, OX + 8, OY + 8, 0x0007, 0, 44, 0);
    });
    row("import multi", "Import Multi", [](MapDocument &d, const QString &) {
        // A ".mlt" multi over a block border: one component hidden, one of a high id, both
        // left out.
        QList<MultiComponent> components;
        for (int i = 0; i < 6; ++i)
            components.append({quint16(0x0E3D + i % 2), qint16(i - 2), qint16(1 - i), qint16(i * 2),
                               quint32(1) | (quint32(0x30 + i) << 16)});
        components.append({0x0E3D, 3, 3, 0, quint32(0x30) << 16});
        components.append({0x8001, 2, 2, 0, 1});
        selectStatics(d, staticsInCorner(d, 2)); // emptied first
        const int ax = OX + 7, ay = OY + 8;
        const MultiAnchor at{ax, ay, d.cache().land(ax, ay).z(), d.cache().blocksX() * 8, d.cache().blocksY() * 8};
        const std::optional<std::vector<CellPlacement>> cells = placeComponents(components, at, true, d.tileData());
        QVERIFY(cells && cells->size() == 6);
        d.placeMulti(*cells, true);
    }, [](MapDocument &d) {
        const int ax = OX + 7, ay = OY + 8, z = d.cache().land(ax, ay).z();
        int cells = 0;
        for (const auto &column : d.staticSelection())
            cells += column.size();
        QCOMPARE(cells, 6);
        for (int i = 0; i < 6; ++i)
            QVERIFY2(selected(d, ax + i - 2, ay + 1 - i, std::clamp(z + i * 2, -128, 127), 0x0E3D + i % 2), qPrintable(QString::number(i)));
    });
    row("world save statics", "World Save", [](MapDocument &d, const QString &save) {
        QVERIFY(d.loadWorldSave(save).ok);
    });
}

void DocumentTest::undoAndRedoAreExact()
{
    QFETCH(QString, name);
    QFETCH(Operation, operation);
    QFETCH(Check, check);
    const QString save = env->root() + "/world.wsc";
    QVERIFY(writeWorldSave(save));

    MapDocument doc;
    QVERIFY(doc.setFacet(kIlshenar));
    const QByteArray before = cornerBytes(doc);
    operation(doc, save);
    if (QTest::currentTestFailed())
        return;
    const QByteArray after = cornerBytes(doc);
    QVERIFY2(after != before, "the operation changed nothing");
    QCOMPARE(doc.undoName(), name);
    if (check) {
        check(doc);
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(doc.hasUnsavedChanges());

    // Kept across a switch to another facet and back, whose history is its own.
    QVERIFY(doc.setFacet(kMalas));
    QVERIFY(!doc.canUndo());
    QVERIFY(doc.setFacet(kIlshenar));
    QCOMPARE(cornerBytes(doc), after);

    // A save into the difference files is the new save point.
    QString error;
    QVERIFY2(saveFacet(doc.cache(), doc.facet(kIlshenar), nullptr, 1, {}, &error), qPrintable(error));
    doc.markSaved(kIlshenar);
    QVERIFY(!doc.hasUnsavedChanges());
    QCOMPARE(cornerBytes(doc), after);

    QVERIFY(doc.undo());
    QCOMPARE(cornerBytes(doc), before);
    QVERIFY(doc.isModified(kIlshenar));
    QCOMPARE(doc.redoName(), name);
    QVERIFY(doc.redo());
    QCOMPARE(cornerBytes(doc), after);
    QVERIFY(!doc.hasUnsavedChanges()); // back at the save point: nothing to ask at close

    // Undone once more, the bytes reach the working files and read back the same from a
    // new look at the facet's files.
    QVERIFY(doc.undo());
    QVERIFY(doc.storeChanges());
    QVERIFY(doc.setFacet(kMalas) && doc.setFacet(kIlshenar));
    QCOMPARE(cornerBytes(doc), before);
}

void DocumentTest::mends()
{
    QString error;
    {
        // A static whose only change is its hue reaches the difference files.
        MapDocument doc;
        QVERIFY(doc.setFacet(kIlshenar));
        const Placed p = staticsInCorner(doc, 1).value(0);
        QVERIFY(p.tile.hue() != 0x55);
        {
            MapDocument::Edit edit(doc, QStringLiteral("Hue"));
            Tile hued = p.tile;
            hued.setHue(0x55);
            doc.cache().setStatic(p.x, p.y, 2, p.tile, hued);
        }
        QVERIFY2(saveFacet(doc.cache(), doc.facet(kIlshenar), nullptr, 1, {}, &error), qPrintable(error));
        Facet saved(kIlshenar);
        const TileStack stack = saved.loadStaticBlock(blockNumber(p.x, p.y, saved.blocksY()), false, false)
                                    .at(cellKey(p.x, p.y));
        QVERIFY(p.x > 0);
    QVERIFY(std::any_of(stack.begin(), stack.end(),
                            [&](const Tile &t) { return t.id() == p.tile.id() && t.hue() == 0x55; }));
    }
    {
        // A selection belongs to its facet: Delete on another facet touches nothing there,
        // and the selection is still there on its own facet.
        MapDocument doc;
        QVERIFY(doc.setFacet(kIlshenar));
        selectLand(doc, 0, 0, 7, 7);
        selectStatics(doc, staticsInCorner(doc, 3));
        QVERIFY(doc.setFacet(kMalas));
        QVERIFY(doc.landSelection().isEmpty() && doc.staticSelection().isEmpty());
        const QByteArray malas = cornerBytes(doc);
        doc.deleteSelection();
        QCOMPARE(cornerBytes(doc), malas);
        QVERIFY(!doc.canUndo());
        QVERIFY(doc.setFacet(kIlshenar));
        QCOMPARE(doc.landSelection().size(), 8);
        QCOMPARE(doc.staticSelection(kIlshenar).size(), doc.staticSelection().size());
    }
    {
        // The same world save read twice adds its TYPE 255 static once; undone twice, the
        // cell is as it was.
        const QString save = env->root() + "/twice.wsc";
        QVERIFY(writeWorldSave(save));
        MapDocument doc;
        QVERIFY(doc.setFacet(kIlshenar));
        const int before = staticsWithId(doc, OX + 10, OY + 10, 3703);
        QCOMPARE(doc.loadWorldSave(save).statics, 1);
        QCOMPARE(doc.loadWorldSave(save).statics, 0);
        QCOMPARE(staticsWithId(doc, OX + 10, OY + 10, 3703), before + 1);
        QVERIFY(doc.undo() && doc.undo());
        QCOMPARE(staticsWithId(doc, OX + 10, OY + 10, 3703), before);
        QVERIFY(doc.facet(kIlshenar).items().isEmpty());
    }
    // Typed text that is no number is refused rather than read as 0.
    const QList<QPair<QString, std::optional<int>>> typed = {
        {"12", 12}, {" 0x1f ", 31}, {"0X4000", 0x4000}, {"abc", std::nullopt}, {"", std::nullopt},
        {"0x", std::nullopt}, {"12a", std::nullopt}, {"+3", 3}};
    for (const auto &[text, number] : typed)
        QVERIFY2(parseTileNumber(text) == number, qPrintable(text));
    // A folder without client files is refused with the reason.
    QVERIFY(isClientDirectory(dir));
    QVERIFY(QDir().mkpath(env->root() + "/empty"));
    QVERIFY(!isClientDirectory(env->root() + "/empty", &error));
    QVERIFY2(error.contains("tiledata.mul"), qPrintable(error));
}

QTEST_GUILESS_MAIN(DocumentTest)
#include "document_test.moc"
