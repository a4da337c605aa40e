// Reading server world saves: item sections, key lines, multis, items turned into statics,
// the copy file, and saves that are damaged or hostile.
//
// The data directory is built by hand: a tile data file with a few named statics, a multi
// index and data file, and for Felucca a statics index whose block 125 * 512 + 187 (the
// block of cell (1000, 1500)) holds one static. Felucca's other files are missing, which
// reads as empty land and no statics.
#include "core/worldfixture.h"
#include "sampleworld/catalog.h"
#include "sampleworld/sampleworld.h"
#include "sampleworld/terrain.h"
#include "sampleworld/worldsave.h"
#include "support/testenv.h"
#include "tiles/tiledata.h"
#include "world/blockcache.h"
#include "world/facet.h"
#include "world/worldsave.h"

#include <QtTest>

#include <memory>

namespace {

constexpr int kFelucca = 0;
constexpr int kBlocksY = 512;
constexpr int kBlock = 125 * kBlocksY + 187; // cell (1000, 1500)
constexpr int kLantern = 3703;
constexpr int kPillar = 100, kBeam = 101, kPost = 102;
constexpr quint8 kPillarHue = 7; // the tile-data hue of the pillar

struct Component {
    quint16 id;
    qint16 dx, dy, dz;
    quint32 flags;
};

// Static record r of the tile data: flags, hue at 13, height at 16, name at 17.
void putStatic(QByteArray &tiledata, int id, const QByteArray &name, quint8 hue)
{
    const qint64 at = 428032 + qint64(id / 32) * 1188 + 4 + (id % 32) * 37;
    tiledata[at + 13] = char(hue);
    tiledata[at + 16] = 1;
    for (int i = 0; i < name.size() && i < 20; ++i)
        tiledata[at + 17 + i] = name[i];
}

QByteArray multiData(const QList<Component> &parts)
{
    QByteArray b(parts.size() * 12, '\0');
    for (int i = 0; i < parts.size(); ++i) {
        fixture::put16(b, 12 * i, parts[i].id);
        fixture::put16(b, 12 * i + 2, quint16(parts[i].dx));
        fixture::put16(b, 12 * i + 4, quint16(parts[i].dy));
        fixture::put16(b, 12 * i + 6, quint16(parts[i].dz));
        fixture::put32(b, 12 * i + 8, qint32(parts[i].flags));
    }
    return b;
}

// Multi 0 is missing (offset -1); multi 1 has five components, of which the ones with
// flags exactly 1 are placed; multi 2 claims more bytes than multi.mul holds.
const QList<Component> kMulti1{{kPillar, 0, 0, 0, 1},  {kBeam, 1, 0, 3, 0},  {kPost, -2, 1, 4, 1},
                               {kBeam, 0, 2, 0, 2},    {kPost, -1001, 0, 0, 1}};
const QList<Component> kMulti2{{kPost, 1, 1, 1, 1}};

bool writeDataDirectory(const QString &dir)
{
    QDir().mkpath(dir);
    QByteArray tiledata(428032 + 116 * 1188, '\0');
    putStatic(tiledata, kLantern, "lantern", 0);
    putStatic(tiledata, kPillar, "pillar", kPillarHue);
    putStatic(tiledata, kBeam, "beam", 0);
    putStatic(tiledata, kPost, "post", 0);
    const QByteArray one = multiData(kMulti1);
    const QByteArray two = multiData(kMulti2);
    const QByteArray idx = fixture::indexRecord(-1, -1) + fixture::indexRecord(0, qint32(one.size()))
        + fixture::indexRecord(qint32(one.size()), 10 * 12);
    // Felucca: one static (id 500 at cell (1002, 1501), z 1, hue 2) in block kBlock.
    QByteArray staidx;
    for (int b = 0; b < kBlock; ++b)
        staidx += fixture::indexRecord(-1, -1);
    staidx += fixture::indexRecord(0, 7);
    return fixture::writeFile(dir + "/tiledata.mul", tiledata) && fixture::writeFile(dir + "/multi.idx", idx)
        && fixture::writeFile(dir + "/multi.mul", one + two) && fixture::writeFile(dir + "/staidx0.mul", staidx)
        && fixture::writeFile(dir + "/statics0.mul", fixture::staticRecords({{500, 2, 5, 1, 2}}));
}

// The eight lines of the plain item, with extra lines put before the closing brace.
QByteArray itemLines(const QByteArray &header = "SECTION WORLDITEM", const QByteArray &extra = {})
{
    return header + "\n{\nID 3703\nX 1000\nY 1500\nZ 5\nCOLOR 33\n" + extra + "}\n";
}

QByteArray simplifiedLines(const QByteArray &text)
{
    QByteArray out;
    for (const QByteArray &l : text.split('\n'))
        out += l.simplified() + '\n';
    // split gives one empty piece after a final line feed; it is no line of the file.
    if (text.endsWith('\n'))
        out.chop(1);
    return out;
}

QList<Tile> allItems(const Facet &facet)
{
    QList<Tile> out;
    for (const auto &cells : facet.items())
        for (const TileStack &stack : cells)
            for (const Tile &t : stack)
                out.append(t);
    return out;
}

// Every item as (x, y, id, z) with its cell from the block and key it is filed under.
QList<QList<int>> itemPlaces(const Facet &facet)
{
    QList<QList<int>> out;
    for (auto b = facet.items().cbegin(); b != facet.items().cend(); ++b)
        for (auto c = b->cbegin(); c != b->cend(); ++c)
            for (const Tile &t : c.value())
                out.append({(b.key() / kBlocksY) * 8 + cellKeyX(c.key()), (b.key() % kBlocksY) * 8 + cellKeyY(c.key()),
                            t.id(), t.z()});
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

class WorldSaveTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void itemSectionHeaders_data();
    void itemSectionHeaders();
    void plainItemIsAddedAndCopied();
    void skippedItemsAddNothingAndAreCopied_data();
    void skippedItemsAddNothingAndAreCopied();
    void typeStaticAppendsARecordAndLeavesTheCopy();
    void multiPlacesComponentsWithFlagsOne();
    void multiOfTypeStaticBecomesRecords();
    void namesFromTheSaveOrTheTileData();
    void outOfRangeHeightsAndHues();
    void secondSaveReplacesTheFirstInThatFacetOnly();
    void numberedAndOtherSectionHeaders();
    void generatedServerSaveLoadsItsWorldItems();
    void unreadableSaveChangesNothing();
    void unwritableCopyChangesNothing();
    void stoppedReadChangesNothing_data();
    void stoppedReadChangesNothing();
    void appendStaticRecordChecksTheCell();
    void itemsNeverBecomeStaticsThroughTheEditStore();

private:
    WorldSaveResult read(const QByteArray &text, Facet *facet = nullptr);
    QString savePath() const { return m_env->root() + "/world.wsc"; }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<Facet> m_facet;
    std::unique_ptr<TileData> m_tiles;
};

void WorldSaveTest::init()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(writeDataDirectory(dir));
    TestEnvironment::useDataDirectory(dir);
    m_facet = std::make_unique<Facet>(kFelucca);
    m_tiles = std::make_unique<TileData>();
}

void WorldSaveTest::cleanup()
{
    m_facet.reset();
    m_tiles.reset();
    m_env.reset();
}

WorldSaveResult WorldSaveTest::read(const QByteArray &text, Facet *facet)
{
    if (!fixture::writeFile(savePath(), text))
        qFatal("could not write the world save");
    return readWorldSave(facet ? *facet : *m_facet, savePath(), *m_tiles);
}

void WorldSaveTest::itemSectionHeaders_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("item");
    QTest::newRow("words alone") << QByteArray("SECTION WORLDITEM") << true;
    QTest::newRow("numbered") << QByteArray("SECTION WORLDITEM 5") << true;
    QTest::newRow("zero") << QByteArray("SECTION WORLDITEM 0") << true;
    QTest::newRow("long number") << QByteArray("SECTION WORLDITEM 123456789012345678901234") << true;
    QTest::newRow("letters") << QByteArray("SECTION WORLDITEM abc") << false;
    QTest::newRow("number and letters") << QByteArray("SECTION WORLDITEM 5x") << false;
    QTest::newRow("two numbers") << QByteArray("SECTION WORLDITEM 5 6") << false;
    QTest::newRow("signed") << QByteArray("SECTION WORLDITEM -5") << false;
    QTest::newRow("trailing space") << QByteArray("SECTION WORLDITEM ") << false;
    QTest::newRow("longer word") << QByteArray("SECTION WORLDITEMS") << false;
    QTest::newRow("character") << QByteArray("SECTION WORLDCHAR 0") << false;
    QTest::newRow("lower case") << QByteArray("section worlditem") << false;
}

void WorldSaveTest::itemSectionHeaders()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, item);
    QCOMPARE(isItemSectionHeader(line), item);
}

void WorldSaveTest::plainItemIsAddedAndCopied()
{
    const QByteArray text = itemLines();
    const WorldSaveResult r = read(text);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.items, 1);
    QCOMPARE(r.statics, 0);
    QCOMPARE(itemPlaces(*m_facet), (QList<QList<int>>{{1000, 1500, kLantern, 5}}));
    const Tile t = allItems(*m_facet).first();
    QVERIFY(t.isItem());
    QCOMPARE(t.hue(), quint16(33));
    QCOMPARE(t.name(), QStringLiteral("lantern"));
    QVERIFY(m_facet->items().contains(kBlock));

    QCOMPARE(r.copyPath, savePath() + ".tsy");
    QCOMPARE(fixture::readFile(r.copyPath), text);
    // No working file: the item lives only in memory, merged into the block when it is read.
    QVERIFY(m_facet->workingSet(Facet::StaticsKind).isEmpty());
    const StaticBlock merged = m_facet->loadStaticBlock(kBlock, true, true);
    QCOMPARE(merged.tileCount(), 2);
    QVERIFY(merged.at(cellKey(1000, 1500)).at(0).isItem());
    QCOMPARE(m_facet->loadStaticBlock(kBlock, true, false).tileCount(), 1);
}

void WorldSaveTest::skippedItemsAddNothingAndAreCopied_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray base = "ID 3703\nZ 5\n";
    const auto item = [](const QByteArray &keys) { return "SECTION WORLDITEM 1\n{\n" + keys + "}\n"; };
    QTest::newRow("in a container") << itemLines("SECTION WORLDITEM", "CONT 1073741825\n");
    QTest::newRow("no ID") << item("X 1000\nY 1500\n");
    QTest::newRow("no X") << item(base + "Y 1500\n");
    QTest::newRow("no Y") << item(base + "X 1000\n");
    QTest::newRow("X past the facet") << item(base + "X 6144\nY 1500\n");
    QTest::newRow("Y past the facet") << item(base + "X 1000\nY 4096\n");
    QTest::newRow("negative X") << item(base + "X -3\nY 1500\n");
    QTest::newRow("X beyond 64 bits") << item(base + "X 99999999999999999999999\nY 1500\n");
    QTest::newRow("Y beyond 32 bits") << item(base + "X 1000\nY 4294968796\n");
    QTest::newRow("missing multi") << item("ID 16384\nX 1000\nY 1500\n");
    QTest::newRow("multi past the index") << item("ID 16387\nX 1000\nY 1500\n");
    QTest::newRow("huge multi") << item("ID 9223372036854775807\nX 1000\nY 1500\n");
    QTest::newRow("cut off block") << QByteArray("SECTION WORLDITEM 3\n{\nID 3703\nX 1000\nY 15");
    QTest::newRow("block never opened") << QByteArray("SECTION WORLDITEM\nID 3703\nX 1000\nY 1500\n}\n");
    QTest::newRow("type 255 in a container") << itemLines("SECTION WORLDITEM", "TYPE 255\nCONT 5\n");
}

void WorldSaveTest::skippedItemsAddNothingAndAreCopied()
{
    QFETCH(QByteArray, text);
    const QByteArray before = "// a comment\n";
    const WorldSaveResult r = read(before + text);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.items, 0);
    QCOMPARE(r.statics, 0);
    QVERIFY(m_facet->items().isEmpty());
    QVERIFY(m_facet->workingSet(Facet::StaticsKind).isEmpty());
    QCOMPARE(fixture::readFile(r.copyPath), simplifiedLines(before + text));
}

void WorldSaveTest::typeStaticAppendsARecordAndLeavesTheCopy()
{
    const QByteArray text = "// before\n" + itemLines("SECTION WORLDITEM 0", "TYPE 255\nNAME marker\n")
        + "\n" + itemLines("SECTION WORLDITEM 1");
    const WorldSaveResult r = read(text);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.statics, 1);
    QCOMPARE(r.items, 1); // the second item only

    QByteArray bytes;
    QVERIFY(m_facet->readWorkingFile(kBlock, bytes, Facet::StaticsKind));
    // The block's static from the main files, then the new record.
    QCOMPARE(bytes, fixture::staticRecords({{500, 2, 5, 1, 2}, {kLantern, 0, 4, 5, 33}}));
    QCOMPARE(fixture::readFile(r.copyPath), "// before\n\n" + itemLines("SECTION WORLDITEM 1"));
    // Decoded anew, the block shows it as a static beside the other item.
    const TileStack cell = m_facet->loadStaticBlock(kBlock, true, true).at(cellKey(1000, 1500));
    QCOMPARE(cell.size(), 2);
    QCOMPARE(int(std::count_if(cell.begin(), cell.end(), [](const Tile &t) { return t.isStatic(); })), 1);

    // Read again (the copy has no marker, but the save still has it): the block holds the
    // record already, so nothing is appended twice.
    const WorldSaveResult again = read(text);
    QVERIFY(again.ok);
    QCOMPARE(again.statics, 0);
    QVERIFY(m_facet->readWorkingFile(kBlock, bytes, Facet::StaticsKind));
    QCOMPARE(bytes, fixture::staticRecords({{500, 2, 5, 1, 2}, {kLantern, 0, 4, 5, 33}}));
}

void WorldSaveTest::multiPlacesComponentsWithFlagsOne()
{
    const WorldSaveResult r = read("SECTION WORLDITEM\n{\nID 16385\nX 1000\nY 1500\nZ 5\nCOLOR 40\nNAME tent\n}\n");
    QVERIFY2(r.ok, qPrintable(r.error));
    // Flags 1 only, and not the component that would lie west of the map's edge.
    QCOMPARE(itemPlaces(*m_facet), (QList<QList<int>>{{998, 1501, kPost, 9}, {1000, 1500, kPillar, 5}}));
    for (const Tile &t : allItems(*m_facet)) {
        QVERIFY(t.isItem());
        QCOMPARE(t.name(), t.id() == kPillar ? QStringLiteral("pillar") : QStringLiteral("post"));
        QCOMPARE(t.hue(), quint16(t.id() == kPillar ? kPillarHue : 0));
    }
    QCOMPARE(r.items, 2);

    // Multi 2 claims ten records; multi.mul holds one past its offset.
    QVERIFY(read("SECTION WORLDITEM\n{\nID 16386\nX 10\nY 10\n}\n").ok);
    QCOMPARE(itemPlaces(*m_facet), (QList<QList<int>>{{11, 11, kPost, 1}}));
}

void WorldSaveTest::multiOfTypeStaticBecomesRecords()
{
    // Anchored on the west edge of a block: the post lands in the block to the west.
    const WorldSaveResult r = read("SECTION WORLDITEM\n{\nID 16385\nX 1000\nY 1500\nZ 5\nTYPE 255\n}\n");
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.statics, 2);
    QCOMPARE(r.items, 0);
    QByteArray here, west;
    QVERIFY(m_facet->readWorkingFile(kBlock, here, Facet::StaticsKind));
    QVERIFY(m_facet->readWorkingFile(kBlock - kBlocksY, west, Facet::StaticsKind));
    QCOMPARE(here, fixture::staticRecords({{500, 2, 5, 1, 2}, {kPillar, 0, 4, 5, kPillarHue}}));
    QCOMPARE(west, fixture::staticRecords({{kPost, 6, 5, 9, 0}}));
    QCOMPARE(fixture::readFile(r.copyPath), QByteArray());
}

void WorldSaveTest::namesFromTheSaveOrTheTileData()
{
    QVERIFY(read(itemLines("SECTION WORLDITEM", "NAME #\n") + itemLines("SECTION WORLDITEM", "NAME  a   brass  lamp \n")
                 + itemLines("SECTION WORLDITEM", "NAME Fl\xf6te\n") + itemLines("SECTION WORLDITEM", "NAME\n"))
                .ok);
    QStringList names;
    for (const Tile &t : allItems(*m_facet))
        names.append(t.name());
    names.sort();
    QCOMPARE(names, (QStringList{"Fl\u00f6te", "a brass lamp", "lantern", "lantern"}));
}

void WorldSaveTest::outOfRangeHeightsAndHues()
{
    QVERIFY(read("SECTION WORLDITEM\n{\nID 3703\nX 1\nY 1\nZ 500\nCOLOR 70000\n}\n"
                 "SECTION WORLDITEM\n{\nID 3703\nX 2\nY 1\nZ -99999999999999999999\nCOLOR -4\n}\n"
                 "SECTION WORLDITEM\n{\nID 3703\nX 3\nY 1\nZ five\nCOLOR 0x21\n}\n"
                 "SECTION WORLDITEM\n{\nID 16385\nX 4\nY 4\nZ 126\nTYPE 255\n}\n")
                .ok);
    QCOMPARE(itemPlaces(*m_facet), (QList<QList<int>>{{1, 1, kLantern, 127}, {2, 1, kLantern, -128}, {3, 1, kLantern, 0}}));
    QList<int> hues;
    for (const Tile &t : allItems(*m_facet))
        hues.append(t.hue());
    std::sort(hues.begin(), hues.end());
    QCOMPARE(hues, (QList<int>{0, 0, 65535}));
    // 126 + 4 does not wrap round to a negative height in the record.
    QByteArray bytes;
    QVERIFY(m_facet->readWorkingFile(0, bytes, Facet::StaticsKind));
    QCOMPARE(bytes, fixture::staticRecords({{kPillar, 4, 4, 126, kPillarHue}, {kPost, 2, 5, 127, 0}}));
}

void WorldSaveTest::secondSaveReplacesTheFirstInThatFacetOnly()
{
    Facet malas(3);
    QVERIFY(read(itemLines(), &malas).ok);
    QVERIFY(read(itemLines()).ok);
    QVERIFY(read("SECTION WORLDITEM\n{\nID 3703\nX 20\nY 30\n}\n").ok);
    QCOMPARE(itemPlaces(*m_facet), (QList<QList<int>>{{20, 30, kLantern, 0}}));
    QCOMPARE(allItems(malas).size(), 1);
    QCOMPARE(malas.items().firstKey(), blockNumber(1000, 1500, malas.blocksY()));
    // A save without items empties the facet's items.
    QVERIFY(read("EOF\n").ok);
    QVERIFY(m_facet->items().isEmpty());
    QCOMPARE(allItems(malas).size(), 1);
}

void WorldSaveTest::numberedAndOtherSectionHeaders()
{
    const QByteArray other = itemLines("SECTION WORLDITEM abc");
    const WorldSaveResult r = read(itemLines("SECTION WORLDITEM 5") + other + itemLines("SECTION WORLDITEM 5 6"));
    QVERIFY(r.ok);
    QCOMPARE(r.items, 1);
    QCOMPARE(fixture::readFile(r.copyPath), itemLines("SECTION WORLDITEM 5") + other + itemLines("SECTION WORLDITEM 5 6"));
}

void WorldSaveTest::generatedServerSaveLoadsItsWorldItems()
{
    // The generator's own Felucca save, tile data and multis: numbered sections, SERIAL,
    // AMOUNT and CONT lines, characters, items in barrels, a tent and a TYPE 255 stone.
    namespace sw = sampleworld;
    const QString dir = m_env->root() + "/sample";
    QByteArray index, data;
    sw::multiFiles(&index, &data);
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(fixture::writeFile(dir + "/tiledata.mul", sw::tileDataFile()));
    QVERIFY(fixture::writeFile(dir + "/multi.idx", index) && fixture::writeFile(dir + "/multi.mul", data));
    TestEnvironment::useDataDirectory(dir);
    Facet felucca(kFelucca);
    TileData tiles;
    const QByteArray text = sw::worldSaveFile(sw::FacetWorld(0, 1), 1);
    QVERIFY(fixture::writeFile(savePath(), text));
    const WorldSaveResult r = readWorldSave(felucca, savePath(), tiles);
    QVERIFY2(r.ok, qPrintable(r.error));

    const auto tent = sw::tentComponents();
    const int tentParts = int(std::count_if(tent.begin(), tent.end(), [](const sw::Component &c) { return c.flags == 1; }));
    QVERIFY(tentParts > 0);
    QCOMPARE(r.items, 30 + tentParts);
    QCOMPARE(r.statics, 1);
    QCOMPARE(r.skipped, 8); // the barrels' contents
    const QList<Tile> items = allItems(felucca);
    QCOMPARE(items.size(), 30 + tentParts);
    const auto count = [&items](int id) { return int(std::count_if(items.begin(), items.end(), [id](const Tile &t) { return t.id() == id; })); };
    // Three barrels on the ground and one in the tent; the tent's nine roof tiles.
    QCOMPARE(count(sw::item::Barrel), 4);
    QCOMPARE(count(sw::item::TentRoof), 9);
    QVERIFY(std::any_of(items.begin(), items.end(), [](const Tile &t) { return t.name() == "The Sample Inn"; }));

    // The copy is the save without the stone's section.
    const QByteArray copy = fixture::readFile(r.copyPath);
    QVERIFY(!copy.contains("TYPE 255"));
    QCOMPARE(copy.count("SECTION WORLDITEM"), text.count("SECTION WORLDITEM") - 1);
    QCOMPARE(copy.count('\n'), text.count('\n') - 13);
    QCOMPARE(copy.count("SECTION WORLDCHAR"), 3);
}

void WorldSaveTest::unreadableSaveChangesNothing()
{
    QVERIFY(read(itemLines()).ok);
    const QByteArray earlierCopy = fixture::readFile(savePath() + ".tsy");
    const WorldSaveResult r = readWorldSave(*m_facet, m_env->root() + "/missing.wsc", *m_tiles);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith("The world save could not be opened: "), qPrintable(r.error));
    QCOMPARE(allItems(*m_facet).size(), 1);
    QVERIFY(!QFile::exists(m_env->root() + "/missing.wsc.tsy"));
    QCOMPARE(fixture::readFile(savePath() + ".tsy"), earlierCopy);
}

void WorldSaveTest::unwritableCopyChangesNothing()
{
    QVERIFY(read(itemLines()).ok);
    // A directory where the copy should go: it can be neither written nor replaced.
    const QString other = m_env->root() + "/other.wsc";
    QVERIFY(QDir().mkpath(other + ".tsy"));
    QVERIFY(fixture::writeFile(other, itemLines("SECTION WORLDITEM", "TYPE 255\n") + "SECTION WORLDITEM\n{\nID 3703\nX 1\nY 1\n}\n"));
    const WorldSaveResult r = readWorldSave(*m_facet, other, *m_tiles);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith("The copy " + other + ".tsy could not be written: "), qPrintable(r.error));
    QCOMPARE(itemPlaces(*m_facet), (QList<QList<int>>{{1000, 1500, kLantern, 5}}));
    // The stone did not become a static: loading the save again later must not add it twice.
    QCOMPARE(m_facet->loadStaticBlock(kBlock, true, false).tileCount(), 1);
}

// A read the user cancels, or whose multis would place more components than the user
// agrees to, leaves the facet's items, its working files and the earlier copy as they were.
void WorldSaveTest::stoppedReadChangesNothing_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("items");
    QTest::addColumn<qint64>("asked"); // components the question names; -1: no question
    QTest::newRow("cancelled while reading") << true << 20000 << qint64(-1);
    // Multi 3: 20000 components on the anchor cell; 501 tents of it place 10,020,000.
    QTest::newRow("too many multi components declined") << false << 501 << qint64(10020000);
}

void WorldSaveTest::stoppedReadChangesNothing()
{
    QFETCH(bool, cancel);
    QFETCH(int, items);
    QFETCH(qint64, asked);
    const QString dir = m_env->root() + "/client";
    QList<Component> big;
    for (int i = 0; i < 20000; ++i)
        big.append({kPost, 0, 0, qint16(i % 7), 1});
    const QByteArray one = multiData(kMulti1), two = multiData(kMulti2), three = multiData(big);
    QVERIFY(fixture::writeFile(dir + "/multi.idx", fixture::indexRecord(-1, -1) + fixture::indexRecord(0, qint32(one.size()))
                                                    + fixture::indexRecord(qint32(one.size()), 10 * 12)
                                                    + fixture::indexRecord(qint32(one.size() + two.size()), qint32(three.size()))));
    QVERIFY(fixture::writeFile(dir + "/multi.mul", one + two + three));

    QVERIFY(read(itemLines("SECTION WORLDITEM", "TYPE 255\n") + itemLines()).ok);
    const QByteArray earlierCopy = fixture::readFile(savePath() + ".tsy");
    const QList<QList<int>> earlierItems = itemPlaces(*m_facet);
    QByteArray earlierStatics;
    QVERIFY(m_facet->readWorkingFile(kBlock, earlierStatics, Facet::StaticsKind));

    QByteArray text;
    for (int i = 0; i < items; ++i)
        text += "SECTION WORLDITEM\n{\nID " + QByteArray::number(cancel ? kLantern : 0x4003) + "\nX 1000\nY 1500\nZ 5\n"
            + (i % 2 ? "TYPE 255\n" : "") + "}\n";
    QVERIFY(fixture::writeFile(savePath(), text));
    int reports = 0;
    qint64 question = -1;
    const WorldSaveResult r = readWorldSave(
        *m_facet, savePath(), *m_tiles,
        [&](qint64 done, qint64 total) {
            ++reports;
            return !(cancel && done > 0 && done < total);
        },
        [&](qint64 components) {
            question = components;
            return false;
        });
    QCOMPARE(question, asked);
    QVERIFY(!r.ok);
    QVERIFY(r.cancelled);
    QCOMPARE(reports > 0, cancel);
    QCOMPARE(itemPlaces(*m_facet), earlierItems);
    QByteArray statics;
    QVERIFY(m_facet->readWorkingFile(kBlock, statics, Facet::StaticsKind));
    QCOMPARE(statics, earlierStatics);
    QCOMPARE(m_facet->workingSet(Facet::StaticsKind).size(), 1);
    QCOMPARE(fixture::readFile(savePath() + ".tsy"), earlierCopy);
}

void WorldSaveTest::appendStaticRecordChecksTheCell()
{
    Tile t = m_tiles->staticTile(kPost);
    t.setZ(-3);
    t.setHue(0x8123);
    QString error;
    QVERIFY(!appendStaticRecord(*m_facet, 6144, 0, t, &error));
    QCOMPARE(error, QStringLiteral("Cell (6144, 0) lies outside the facet."));
    QVERIFY(!appendStaticRecord(*m_facet, -1, 0, t));
    QVERIFY(m_facet->workingSet(Facet::StaticsKind).isEmpty());

    QVERIFY(appendStaticRecord(*m_facet, 6143, 4095, t, &error));
    QVERIFY(appendStaticRecord(*m_facet, 6136, 4088, t, &error));
    QByteArray bytes;
    QVERIFY(m_facet->readWorkingFile(767 * kBlocksY + 511, bytes, Facet::StaticsKind));
    QCOMPARE(bytes, fixture::staticRecords({{kPost, 7, 7, -3, 0x8123}, {kPost, 0, 0, -3, 0x8123}}));
}

void WorldSaveTest::itemsNeverBecomeStaticsThroughTheEditStore()
{
    QVERIFY(read(itemLines()).ok);
    // An edit in the item's block writes the block to the edit store; the item must not go
    // with it, or it would show twice (once as a static) when the block is decoded again.
    BlockCache cache;
    cache.setFacet(m_facet.get());
    cache.setStatic(1001, 1500, 0, m_tiles->staticTile(kBeam), Tile());
    cache.flush();
    QByteArray bytes;
    QVERIFY(m_facet->readWorkingFile(kBlock, bytes, Facet::StaticsKind));
    QCOMPARE(bytes, fixture::staticRecords({{kBeam, 1, 4, 0, 0}, {500, 2, 5, 1, 2}}));
    const TileStack cell = cache.statics(1000, 1500);
    QCOMPARE(cell.size(), 1);
    QVERIFY(cell.at(0).isItem());
    cache.setFacet(nullptr);
}

QTEST_GUILESS_MAIN(WorldSaveTest)
#include "worldsave_test.moc"
