// The generator's palette file and its sample world save, read the way the editor reads them.
#include "sampleworld/readback.h"
#include "sampleworld/palette.h"
#include "sampleworld/sampleworld.h"
#include "sampleworld/terrain.h"
#include "sampleworld/worldsave.h"

#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <memory>

using namespace readback;
namespace sw = sampleworld;

Q_DECLARE_METATYPE(sw::Layout)

namespace {

// ---- Palette: a small element tree, then the palette's reading rules over it.

struct Node {
    QString name;  // upper case: the palette compares element names without case
    QXmlStreamAttributes attributes;
    QString text;
    QList<Node> children;
};

bool parseXml(const QByteArray &bytes, Node *root, QString *error)
{
    QXmlStreamReader xml(bytes);
    QList<Node *> open;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            Node node{xml.name().toString().toUpper(), xml.attributes(), {}, {}};
            if (open.isEmpty()) {
                *root = node;
                open.append(root);
            } else {
                open.last()->children.append(node);
                open.append(&open.last()->children.last());
            }
            break;
        }
        case QXmlStreamReader::EndElement: open.removeLast(); break;
        case QXmlStreamReader::Characters:
            if (!open.isEmpty())
                open.last()->text += xml.text();
            break;
        default: break;
        }
    }
    *error = xml.hasError() ? xml.errorString() : QString();
    return !xml.hasError();
}

int number(const QString &text)
{
    const QString t = text.simplified().toUpper();
    bool ok = false;
    const int n = t.startsWith(QLatin1String("0X")) ? t.mid(2).toInt(&ok, 16) : t.toInt(&ok, 10);
    return ok ? n : 0;
}

struct Entry {
    QList<int> tiles;
    QString label;
    int icon;
    int group;  // -1: straight inside a tile set, never shown
    bool random;
};

struct Kind {
    QList<Entry> entries;
    QStringList tileSets;
    QStringList images;       // image attributes of the tile sets that have one
    QStringList groupNames;   // by group number
    int misplaced = 0;        // GROUP, TILE or RANDOM with no tile set above it
};

void populate(const Node &element, int group, bool inTileSet, Kind *kind)
{
    for (const Node &child : element.children) {
        const bool entry = child.name == "TILE" || child.name == "RANDOM";
        if (!inTileSet && (entry || child.name == "GROUP")) {
            ++kind->misplaced;
            continue;
        }
        if (child.name == "TILESET") {
            kind->tileSets.append(child.attributes.value("name").toString());
            if (child.attributes.hasAttribute("image"))
                kind->images.append(child.attributes.value("image").toString().simplified());
            populate(child, -1, true, kind);
        } else if (child.name == "GROUP") {
            const int id = int(kind->groupNames.size());
            kind->groupNames.append(child.attributes.value("name").toString());
            populate(child, id, true, kind);
        } else if (child.name == "TILE") {
            const int id = number(child.text);
            kind->entries.append({{id}, "0x" + QString::number(id, 16), id, group, false});
        } else if (child.name == "RANDOM") {
            Entry e{{}, child.attributes.value("name").toString(),
                    number(child.attributes.hasAttribute("image") ? child.attributes.value("image").toString() : "0"),
                    group, true};
            for (const Node &tile : child.children)
                if (tile.name == "TILE")
                    e.tiles.append(number(tile.text));
            kind->entries.append(e);
        }
    }
}

struct Palette {
    Kind land, statics;
};

Palette readPalette(const QByteArray &bytes)
{
    Node root;
    QString error;
    if (!parseXml(bytes, &root, &error))
        qWarning("palette: %s", qPrintable(error));
    Palette p;
    for (const Node &sets : std::as_const(root.children))
        if (sets.name == "TILESETS")
            for (const Node &section : sets.children) {
                if (section.name == "LAND")
                    populate(section, -1, false, &p.land);
                else if (section.name == "STATICS")
                    populate(section, -1, false, &p.statics);
            }
    return p;
}

const Entry *findRandom(const Kind &kind, const QString &label)
{
    for (const Entry &e : kind.entries)
        if (e.random && e.label == label)
            return &e;
    return nullptr;
}

// ---- World save: sections and key lines, with numbered item sections.

struct Section {
    QString header;
    bool item;
    QMap<QString, QString> keys;
};

QList<Section> readSections(const QByteArray &bytes, QStringList *problems)
{
    static const QRegularExpression itemHeader(QStringLiteral("^SECTION WORLDITEM( [0-9]+)?$"));
    QList<Section> out;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines[i]).simplified();
        if (!line.startsWith(QLatin1String("SECTION ")))
            continue;
        Section s{line, itemHeader.match(line).hasMatch(), {}};
        if (i + 1 >= lines.size() || QString::fromLatin1(lines[i + 1]).simplified() != "{") {
            problems->append(line + ": no opening brace on the next line");
            continue;
        }
        for (i += 2; i < lines.size(); ++i) {
            const QString keyLine = QString::fromLatin1(lines[i]).simplified();
            if (keyLine.startsWith('}'))
                break;
            const qsizetype space = keyLine.indexOf(' ');
            const QString key = space < 0 ? keyLine : keyLine.left(space);
            if (s.keys.contains(key))
                problems->append(line + ": key " + key + " twice");
            s.keys.insert(key, space < 0 ? QString() : keyLine.mid(space + 1));
        }
        out.append(s);
    }
    return out;
}

int value(const Section &s, const char *key, int fallback)
{
    bool ok = false;
    const int n = s.keys.value(QLatin1String(key)).toInt(&ok);
    return s.keys.contains(QLatin1String(key)) ? (ok ? n : 0) : fallback;
}
qint64 serial(const Section &s) { return s.keys.value("SERIAL").toLongLong(); }
qint64 container(const Section &s) { return s.keys.contains("CONT") ? s.keys.value("CONT").toLongLong() : -1; }

// Felucca's world without writing its 77 MB of land: the save only needs the terrain and
// building plots round one house.
const sw::FacetWorld &felucca(quint32 seed)
{
    static QMap<quint32, std::shared_ptr<sw::FacetWorld>> worlds;
    if (!worlds.contains(seed))
        worlds.insert(seed, std::make_shared<sw::FacetWorld>(0, seed));
    return *worlds.value(seed);
}

} // namespace

class ExtrasTest : public QObject {
    Q_OBJECT

private slots:
    void paletteSections()
    {
        const QByteArray bytes = sw::paletteFile();
        QXmlStreamReader check(bytes);
        while (!check.atEnd())
            check.readNext();
        QVERIFY2(!check.hasError(), qPrintable(check.errorString()));

        const Palette p = readPalette(bytes);
        for (const Kind *kind : {&p.land, &p.statics}) {
            QVERIFY(!kind->tileSets.isEmpty());
            QCOMPARE(kind->misplaced, 0);
            int randoms = 0;
            QSet<int> filled;
            for (const Entry &e : kind->entries) {
                // Entries straight inside a tile set would never be shown.
                QVERIFY2(e.group >= 0, qPrintable(e.label));
                filled.insert(e.group);
                if (e.random) {
                    ++randoms;
                    QVERIFY2(e.tiles.size() >= 2, qPrintable(e.label));
                    QVERIFY2(e.tiles.contains(e.icon), qPrintable(e.label));
                    QVERIFY(!e.label.isEmpty());
                }
            }
            QVERIFY(randoms >= 1);
            // Every group shows something when it is clicked.
            QCOMPARE(filled.size(), kind->groupNames.size());
        }
        // Some tile sets carry an icon, and one goes without.
        QVERIFY(!p.land.images.isEmpty() && !p.statics.images.isEmpty());
        QVERIFY(p.statics.images.size() < p.statics.tileSets.size());
    }

    void paletteRandomSets_data()
    {
        QTest::addColumn<bool>("land");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QList<int>>("tiles");
        QTest::newRow("grass") << true << "grass" << QList<int>{3, 4, 5, 6};
        QTest::newRow("water") << true << "water" << QList<int>{16, 17, 18, 19};
        QTest::newRow("forest") << false << "forest" << QList<int>{16, 17, 18};
        QTest::newRow("rocks") << false << "rocks" << QList<int>{32, 33, 34};
    }
    void paletteRandomSets()
    {
        QFETCH(bool, land);
        QFETCH(QString, label);
        QFETCH(QList<int>, tiles);
        const Palette p = readPalette(sw::paletteFile());
        const Entry *e = findRandom(land ? p.land : p.statics, label);
        QVERIFY(e);
        QCOMPARE(e->tiles, tiles);
    }

    // Every id names a tile with art, and every tile with art can be picked on its own.
    void paletteCoversTheArt_data()
    {
        QTest::addColumn<sw::Layout>("layout");
        QTest::newRow("early") << sw::Layout::Early;
        QTest::newRow("later") << sw::Layout::Later;
    }
    void paletteCoversTheArt()
    {
        QFETCH(sw::Layout, layout);
        const Palette p = readPalette(sw::paletteFile(layout));
        const struct {
            const Kind &kind;
            QList<int> art;
            const char *what;
        } kinds[] = {{p.land, sw::landIdsWithArt(), "land"}, {p.statics, sw::staticIdsWithArt(layout), "static"}};
        for (const auto &k : kinds) {
            QSet<int> singles;
            for (const Entry &e : k.kind.entries) {
                for (int id : e.tiles)
                    QVERIFY2(k.art.contains(id), qPrintable(QStringLiteral("%1 %2").arg(k.what).arg(id)));
                QVERIFY2(k.art.contains(e.icon), qPrintable(QStringLiteral("%1 icon %2").arg(k.what).arg(e.icon)));
                if (!e.random)
                    singles.insert(e.tiles.first());
            }
            for (int id : k.art)
                QVERIFY2(singles.contains(id), qPrintable(QStringLiteral("%1 %2 missing").arg(k.what).arg(id)));
        }
    }

    // The written palette and its category icons, which must show the same pixels as art.mul.
    void paletteFilesBesideTheClientFiles()
    {
        QTemporaryDir dir;
        sw::Options options;
        options.outDir = dir.path();
        options.facets = {3};
        QVERIFY(sw::write(options));
        QCOMPARE(load(dir.path(), "palette.xml"), sw::paletteFile());
        // Without Felucca there is no world save.
        QVERIFY(!QFile::exists(dir.filePath("sample.wsc")));

        const QByteArray artIndex = load(dir.path(), "artidx.mul"), art = load(dir.path(), "art.mul");
        const Palette p = readPalette(load(dir.path(), "palette.xml"));
        QCOMPARE(p.land.images.size() + p.statics.images.size(), qsizetype(sw::paletteIcons().size()));
        for (const QString &name : p.land.images + p.statics.images) {
            QVERIFY2(!QDir::isAbsolutePath(name), qPrintable(name));
            const QImage icon(dir.filePath(name));
            QVERIFY2(!icon.isNull(), qPrintable(name));
        }
        // The terrain icon is grass tile 3: compare it with the diamond in art.mul.
        const QImage terrain(dir.filePath("palette-terrain.png"));
        QCOMPARE(terrain.size(), QSize(44, 44));
        const Index grass = index(artIndex, sw::land::Grass);
        QCOMPARE(grass.length, 2024);
        int i = 0;
        for (int y = 0; y < 44; ++y) {
            const int count = y < 22 ? 2 + 2 * y : 44 - 2 * (y - 22), first = y < 22 ? 21 - y : y - 22;
            if (first > 0)
                QCOMPARE(qAlpha(terrain.pixel(first - 1, y)), 0);
            for (int x = first; x < first + count; ++x, ++i) {
                const Rgb c = rgb(u16(art, grass.offset + 2 * i));
                const QRgb px = terrain.pixel(x, y);
                QVERIFY(qAlpha(px) == 255 && qRed(px) >> 3 == c.r >> 3 && qGreen(px) >> 3 == c.g >> 3
                        && qBlue(px) >> 3 == c.b >> 3);
            }
        }
        // Static icons have the size of their art.mul image.
        const QImage nature(dir.filePath("palette-nature.png"));
        const Index tree = index(artIndex, 0x4000 + sw::item::PineTree);
        QCOMPARE(nature.size(), QSize(i16(art, tree.offset + 4), i16(art, tree.offset + 6)));
    }

    void worldSaveSections()
    {
        QStringList problems;
        const QList<Section> sections = readSections(sw::worldSaveFile(felucca(1), 1), &problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        int items = 0, characters = 0;
        QSet<qint64> serials;
        for (const Section &s : sections) {
            if (s.item) {
                // Numbered as servers write them, counting from 0.
                QCOMPARE(s.header, QStringLiteral("SECTION WORLDITEM %1").arg(items++));
                QVERIFY(s.keys.contains("ID") && s.keys.contains("COLOR") && s.keys.contains("Z"));
            } else {
                QCOMPARE(s.header, QStringLiteral("SECTION WORLDCHAR %1").arg(characters++));
                // Characters carry keys an item reader would misread if it did not skip them.
                QVERIFY(s.keys.contains("X") && s.keys.contains("ID"));
            }
            QVERIFY2(!serials.contains(serial(s)), qPrintable(s.header));
            serials.insert(serial(s));
        }
        QCOMPARE(items, 40);
        QCOMPARE(characters, 3);
    }

    void worldSaveItemKinds()
    {
        QStringList problems;
        const QList<Section> sections = readSections(sw::worldSaveFile(felucca(1), 1), &problems);
        QMap<qint64, Section> bySerial;
        for (const Section &s : sections)
            if (s.item)
                bySerial.insert(serial(s), s);
        int loose = 0, contained = 0, statics = 0, multis = 0, named = 0;
        QSet<qint64> containers;
        for (const Section &s : std::as_const(bySerial)) {
            const int id = value(s, "ID", -1);
            if (container(s) != -1) {
                ++contained;
                containers.insert(container(s));
                QVERIFY(bySerial.contains(container(s)));
                QCOMPARE(value(bySerial[container(s)], "ID", -1), sw::item::Barrel);
                QCOMPARE(container(bySerial[container(s)]), qint64(-1));
            } else if (value(s, "TYPE", 0) == 255) {
                ++statics;
                QVERIFY(id < 0x4000);
            } else if (id >= 0x4000) {
                ++multis;
                QCOMPARE(id, 0x4000 + sw::multi::Tent);
            } else {
                ++loose;
                QVERIFY(sw::staticIdsWithArt().contains(id));
            }
            const int hue = value(s, "COLOR", 0);
            QVERIFY(hue >= 0 && hue <= sw::HueGroups * 8);
            if (s.keys.value("NAME") != "#")
                ++named;
        }
        QCOMPARE(loose, 30);
        QCOMPARE(containers.size(), 3);
        QCOMPARE(contained, 8);
        QCOMPARE(statics, 1);
        QCOMPARE(multis, 1);
        QVERIFY(named >= 3);
        // Rocks with hues among the loose items.
        QVERIFY(std::any_of(bySerial.begin(), bySerial.end(), [](const Section &s) {
            return value(s, "ID", -1) == sw::item::Boulder && value(s, "COLOR", 0) > 0 && container(s) == -1;
        }));
    }

    // Items lie on Felucca's open land next to one building, each on its own cell at the
    // height of the ground; the tent has land under all its nine cells.
    void worldItemsOnFelucca_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 77") << 77u;
    }
    void worldItemsOnFelucca()
    {
        QFETCH(quint32, seed);
        const sw::FacetWorld &world = felucca(seed);
        QStringList problems;
        const QList<Section> sections = readSections(sw::worldSaveFile(world, seed), &problems);
        QSet<QPair<int, int>> cells;
        const int width = world.blocksX() * 8, height = world.blocksY() * 8;
        int minX = width, minY = height, maxX = -1, maxY = -1, placed = 0;
        for (const Section &s : sections) {
            if (!s.item || container(s) != -1)
                continue;
            const int x = value(s, "X", -1), y = value(s, "Y", -1), z = value(s, "Z", 0);
            const QString where = QStringLiteral("%1 at %2,%3").arg(s.header).arg(x).arg(y);
            QVERIFY2(x >= 0 && x < width && y >= 0 && y < height, qPrintable(where));
            const int reach = value(s, "ID", -1) >= 0x4000 ? 1 : 0;
            for (int dy = -reach; dy <= reach; ++dy)
                for (int dx = -reach; dx <= reach; ++dx) {
                    const sw::Ground g = world.landCell(x + dx, y + dy).ground;
                    QVERIFY2(g != sw::Ground::Water && g != sw::Ground::Void && g != sw::Ground::Mountain,
                             qPrintable(where));
                    QVERIFY2(!cells.contains({x + dx, y + dy}), qPrintable(where));
                    cells.insert({x + dx, y + dy});
                }
            QCOMPARE(z, int(world.landCell(x, y).z));
            minX = std::min(minX, x), maxX = std::max(maxX, x);
            minY = std::min(minY, y), maxY = std::max(maxY, y);
            ++placed;
        }
        QCOMPARE(placed, 32);
        // Together, round one place someone can find with Goto.
        QVERIFY2(maxX - minX <= 40 && maxY - minY <= 40,
                 qPrintable(QStringLiteral("%1,%2 to %3,%4").arg(minX).arg(minY).arg(maxX).arg(maxY)));
        const bool nearBuilding = std::any_of(world.buildings().begin(), world.buildings().end(),
                                              [&](const sw::FacetWorld::Building &b) {
            return b.minX <= maxX && minX <= b.maxX && b.minY <= maxY && minY <= b.maxY;
        });
        QVERIFY(nearBuilding);
    }

    void worldSaveDeterministic()
    {
        const QByteArray first = sw::worldSaveFile(felucca(1), 1);
        QCOMPARE(sw::worldSaveFile(sw::FacetWorld(0, 1), 1), first);
        QVERIFY(sw::worldSaveFile(felucca(77), 77) != first);
    }

    // Writing Felucca takes seconds and hundreds of megabytes of disk; only with TESSARYN_SLOW.
    void worldSaveWithFeluccaOnly()
    {
        if (qEnvironmentVariableIsEmpty("TESSARYN_SLOW"))
            QSKIP("set TESSARYN_SLOW to write Felucca and Trammel");
        QTemporaryDir felDir, tramDir;
        sw::Options options;
        options.outDir = felDir.path();
        options.facets = {0};
        QVERIFY(sw::write(options));
        QCOMPARE(load(felDir.path(), "sample.wsc"), sw::worldSaveFile(felucca(1), 1));
        options.outDir = tramDir.path();
        options.facets = {1};
        QVERIFY(sw::write(options));
        QVERIFY(QFile::exists(tramDir.filePath("map0.mul")));
        QVERIFY(!QFile::exists(tramDir.filePath("sample.wsc")));
    }
};

QTEST_GUILESS_MAIN(ExtrasTest)
#include "extras_test.moc"
