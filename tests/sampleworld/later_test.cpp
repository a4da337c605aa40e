// The later client layout, read back by hand: UOP containers found entry by entry through
// their name hashes, the sizes of every file, 64-bit tile data, and the generator's probe
// cells compared with what the files hold, difference files applied.
#include "sampleworld/readback.h"
#include "sampleworld/sampleworld.h"
#include "sampleworld/uop.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>

using namespace readback;
namespace sw = sampleworld;

Q_DECLARE_METATYPE(sw::Layout)

namespace {

// Everything a reader needs of one facet's files: its land as the main map holds it, the
// statics index and data, and the difference files where there are any.
struct FacetFiles {
    QByteArray map, staticsIndex, statics;
    QByteArray landList, landDif, staticsList, staticsDifIndex, staticsDif;
    int blocksY = 0;
    QString problem;
};

// The map of a facet from whichever file the directory has: a container, reassembled from
// its chunks by name, or a plain map.
QByteArray readMap(const QString &dir, int n, QString *problem)
{
    const QByteArray container = load(dir, QStringLiteral("map%1LegacyMUL.uop").arg(n));
    if (container.isEmpty())
        return load(dir, QStringLiteral("map%1.mul").arg(n));
    const UopFile uop = UopFile::read(container);
    if (!uop.problem.isEmpty()) {
        *problem = uop.problem;
        return {};
    }
    QByteArray map;
    for (int chunk = 0;; ++chunk) {
        const QByteArray name = QStringLiteral("build/map%1legacymul/%2.dat").arg(n).arg(chunk, 8, 10, QLatin1Char('0')).toLatin1();
        const auto it = uop.entries.constFind(sw::uopNameHash(name));
        if (it == uop.entries.constEnd())
            break;
        map += container.mid(qsizetype(it->offset + it->headerLength), it->compressedSize);
    }
    if (qsizetype(uop.entries.size()) != (map.size() + 4096 * 196 - 1) / (4096 * 196))
        *problem = QStringLiteral("map%1: %2 entries, %3 bytes of chunks found by name").arg(n).arg(uop.entries.size()).arg(map.size());
    return map;
}

FacetFiles readFacet(const QString &dir, int facet, sw::Layout layout)
{
    FacetFiles f;
    const int n = sw::mainFileNumber(facet, layout);
    f.map = readMap(dir, n, &f.problem);
    f.staticsIndex = load(dir, QStringLiteral("staidx%1.mul").arg(n));
    f.statics = load(dir, QStringLiteral("statics%1.mul").arg(n));
    const QString own = QString::number(facet);
    f.landList = load(dir, "mapdifl" + own + ".mul");
    f.landDif = load(dir, "mapdif" + own + ".mul");
    f.staticsList = load(dir, "stadifl" + own + ".mul");
    f.staticsDifIndex = load(dir, "stadifi" + own + ".mul");
    f.staticsDif = load(dir, "stadif" + own + ".mul");
    // The height of a facet never changed; its width is what the map's size says.
    f.blocksY = sw::facetBlocksY(facet, layout);
    return f;
}

sw::Probe readCell(const FacetFiles &f, int x, int y)
{
    const int block = x / 8 * f.blocksY + y / 8, cell = (y % 8) * 8 + x % 8;
    sw::Probe p;
    p.x = x;
    p.y = y;
    qsizetype land = qsizetype(block) * 196;
    const QByteArray *landFile = &f.map;
    for (int i = 0; i < f.landList.size() / 4; ++i)
        if (i32(f.landList, i * 4) == block) {
            landFile = &f.landDif;
            land = qsizetype(i) * 196;
            break;
        }
    p.landId = i16(*landFile, land + 4 + 3 * cell);
    p.landZ = i8(*landFile, land + 6 + 3 * cell);

    Index r = index(f.staticsIndex, block);
    const QByteArray *data = &f.statics;
    for (int i = 0; i < f.staticsList.size() / 4; ++i)
        if (i32(f.staticsList, i * 4) == block) {
            r = index(f.staticsDifIndex, i);
            data = &f.staticsDif;
            break;
        }
    if (r.offset >= 0)
        for (qsizetype at = r.offset; at < qsizetype(r.offset) + r.length; at += 7)
            if (u8(*data, at + 2) == x % 8 && u8(*data, at + 3) == y % 8)
                p.statics.append({u16(*data, at), i8(*data, at + 4), u16(*data, at + 5)});
    return p;
}

QString describe(const sw::Probe &p)
{
    QStringList statics;
    for (const sw::ProbeStatic &s : p.statics)
        statics.append(QStringLiteral("%1@%2/%3").arg(s.id).arg(s.z).arg(s.hue));
    return QStringLiteral("(%1,%2) land %3@%4 statics [%5]").arg(p.x).arg(p.y).arg(p.landId).arg(p.landZ).arg(statics.join(' '));
}

} // namespace

class LaterTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_later, m_early;
    sw::Options m_laterOptions, m_earlyOptions;

    const sw::Options &options(sw::Layout layout) const
    {
        return layout == sw::Layout::Later ? m_laterOptions : m_earlyOptions;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_later.isValid() && m_early.isValid());
        // Trammel's map as a plain 7168-wide map1.mul beside the other facets' containers,
        // as some clients have it.
        m_laterOptions.outDir = m_later.path();
        m_laterOptions.facets = sw::layoutFacets(sw::Layout::Later);
        m_laterOptions.layout = sw::Layout::Later;
        m_laterOptions.mulMaps = {1};
        m_laterOptions.seed = 5;
        m_earlyOptions.outDir = m_early.path();
        m_earlyOptions.facets = {2, 3};
        m_earlyOptions.seed = 5;
        for (const sw::Options *o : {&m_laterOptions, &m_earlyOptions}) {
            QElapsedTimer timer;
            timer.start();
            QString error;
            QVERIFY2(sw::write(*o, &error), qPrintable(error));
            qInfo("%s layout written in %lld ms", o->layout == sw::Layout::Later ? "later" : "early", timer.elapsed());
        }
    }

    // The published vectors of hashlittle2 with both initial values 0, and the names of
    // the files: the hash is the only key by which a container's entries are found.
    void nameHashes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<quint64>("key");
        QTest::newRow("empty") << QByteArray("") << quint64(0xDEADBEEFDEADBEEFULL);
        QTest::newRow("four score") << QByteArray("Four score and seven years ago") << quint64(0xCE7226E617770551ULL);
    }
    void nameHashes()
    {
        QFETCH(QByteArray, name);
        QFETCH(quint64, key);
        QCOMPARE(sw::uopNameHash(name), key);
    }

    void fileSizes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("size");  // -1: the later layout has no such file
        QTest::newRow("tiledata") << "tiledata.mul" << qint64(3188736);
        QTest::newRow("radarcol") << "radarcol.mul" << qint64((0x4000 + 65536) * 2);
        QTest::newRow("map1 plain, 7168 wide") << "map1.mul" << qint64(89915392);
        QTest::newRow("staidx0") << "staidx0.mul" << qint64(5505024);
        QTest::newRow("staidx1") << "staidx1.mul" << qint64(5505024);
        QTest::newRow("staidx2") << "staidx2.mul" << qint64(691200);
        QTest::newRow("staidx3") << "staidx3.mul" << qint64(983040);
        QTest::newRow("staidx4") << "staidx4.mul" << qint64(393132);
        QTest::newRow("staidx5") << "staidx5.mul" << qint64(983040);
        QTest::newRow("texidx") << "texidx.mul" << qint64(sw::land::TextureCount * 12);
        QTest::newRow("hues") << "hues.mul" << qint64(sw::HueGroups * 708);
        QTest::newRow("no map0.mul") << "map0.mul" << qint64(-1);
        QTest::newRow("no map1 container") << "map1LegacyMUL.uop" << qint64(-1);
        QTest::newRow("no art.mul") << "art.mul" << qint64(-1);
        QTest::newRow("no artidx.mul") << "artidx.mul" << qint64(-1);
        QTest::newRow("no difference list") << "mapdifl0.mul" << qint64(-1);
    }
    void fileSizes()
    {
        QFETCH(QString, file);
        QFETCH(qint64, size);
        const QFileInfo info(QDir(m_later.path()).filePath(file));
        QCOMPARE(info.exists() ? info.size() : qint64(-1), size);
    }

    // Every container from its header through its tables to every named entry.
    void containers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("tables");
        QTest::addColumn<qint64>("bytes");  // of all entries together
        for (int facet : {0, 2, 3, 4, 5}) {
            const qint64 blocks = qint64(sw::facetBlocksX(facet, sw::Layout::Later)) * sw::facetBlocksY(facet, sw::Layout::Later);
            QStringList names;
            for (qint64 chunk = 0; chunk * 4096 < blocks; ++chunk)
                names.append(QStringLiteral("build/map%1legacymul/%2.dat").arg(facet).arg(chunk, 8, 10, QLatin1Char('0')));
            const int tables = facet == 0 ? 2 : facet == 2 ? 4 : 1;
            QTest::newRow(qPrintable(sw::facetName(facet))) << QStringLiteral("map%1LegacyMUL.uop").arg(facet) << names
                                                             << tables << blocks * 196;
        }
        QStringList art;
        for (int id : sw::landIdsWithArt())
            art.append(QStringLiteral("build/artlegacymul/%1.tga").arg(id, 8, 10, QLatin1Char('0')));
        for (int id : sw::staticIdsWithArt(sw::Layout::Later))
            art.append(QStringLiteral("build/artlegacymul/%1.tga").arg(0x4000 + id, 8, 10, QLatin1Char('0')));
        QTest::newRow("art") << "artLegacyMUL.uop" << art << 1 << qint64(-1);
    }
    void containers()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        QFETCH(int, tables);
        QFETCH(qint64, bytes);
        const QByteArray b = load(m_later.path(), file);
        const UopFile uop = UopFile::read(b);
        QVERIFY2(uop.problem.isEmpty(), qPrintable(uop.problem));
        QCOMPARE(uop.magic, quint32(0x0050594D));
        QCOMPARE(uop.version, quint32(5));
        QCOMPARE(uop.signature, quint32(0xFD23EC43));
        QCOMPARE(qsizetype(uop.declared), names.size());
        QCOMPARE(uop.tableOffsets.size(), qsizetype(tables));
        QCOMPARE(uop.entries.size(), names.size());

        // Every name finds its entry; the entries' bytes lie inside the file, apart from
        // each other and from the header and tables.
        struct Span {
            quint64 from, to;
        };
        QList<Span> spans{{0, 28}};
        for (quint64 t : uop.tableOffsets)
            spans.append({t, t + 12 + quint64(uop.capacity) * 34});
        qint64 total = 0;
        for (const QString &name : names) {
            const auto it = uop.entries.constFind(sw::uopNameHash(name.toLatin1()));
            QVERIFY2(it != uop.entries.constEnd(), qPrintable(name));
            QCOMPARE(it->compression, quint16(0));
            QCOMPARE(it->compressedSize, it->decompressedSize);
            spans.append({it->offset, it->offset + it->headerLength + it->compressedSize});
            total += it->compressedSize;
            if (name.startsWith("build/map")) {
                const qsizetype at = qsizetype(it->offset + it->headerLength);
                const int chunk = name.section('/', 2).left(8).toInt();
                QVERIFY2(it->compressedSize == 4096 * 196 || name == names.last(), qPrintable(name));
                // A chunk begins with the header of its first block, numbered from the
                // start of the facet.
                QCOMPARE(i32(b, at), chunk * 4096);
            }
        }
        std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &c) { return a.from < c.from; });
        for (qsizetype i = 1; i < spans.size(); ++i)
            QVERIFY2(spans[i].from >= spans[i - 1].to, qPrintable(QStringLiteral("%1 overlaps").arg(spans[i].from)));
        QVERIFY(spans.last().to <= quint64(b.size()));
        if (bytes >= 0)
            QCOMPARE(total, bytes);
        // The tables are not where a reader walking the file from the front would meet
        // them first: the first table of the chain lies behind the data.
        QVERIFY(uop.tableOffsets.first() > uop.tableOffsets.last() || tables == 1);
        QVERIFY(uop.firstTable > 0x200);
    }

    // What the generator says is at its probe cells is what a reader of the files finds,
    // for every facet of both layouts.
    void probesMatchTheFiles_data()
    {
        QTest::addColumn<sw::Layout>("layout");
        QTest::addColumn<int>("facet");
        for (int f : sw::layoutFacets(sw::Layout::Later))
            QTest::newRow(qPrintable("later " + sw::facetName(f))) << sw::Layout::Later << f;
        for (int f : {2, 3})
            QTest::newRow(qPrintable("early " + sw::facetName(f))) << sw::Layout::Early << f;
    }
    void probesMatchTheFiles()
    {
        QFETCH(sw::Layout, layout);
        QFETCH(int, facet);
        const sw::Options &o = options(layout);
        const FacetFiles files = readFacet(o.outDir, facet, layout);
        QVERIFY2(files.problem.isEmpty(), qPrintable(files.problem));
        QCOMPARE(files.map.size() / 196 / files.blocksY, qsizetype(sw::facetBlocksX(facet, layout)));
        QCOMPARE(files.staticsIndex.size(), files.map.size() / 196 * 12);

        const QList<sw::Probe> probes = sw::probeCells(o, facet);
        int withStatics = 0, high = 0, east = 0, fromDifferences = 0;
        for (const sw::Probe &p : probes) {
            const sw::Probe read = readCell(files, p.x, p.y);
            QVERIFY2(read.landId == p.landId && read.landZ == p.landZ && read.statics == p.statics,
                     qPrintable(p.what + ": files " + describe(read) + ", generator " + describe(p)));
            withStatics += !p.statics.isEmpty();
            high += std::any_of(p.statics.begin(), p.statics.end(), [](const sw::ProbeStatic &s) { return s.id > 0x3FFF; });
            east += p.x >= 6144;
            fromDifferences += p.what.contains("difference files") || p.what.contains("Trammel's own");
        }
        QVERIFY(withStatics >= 2);
        QCOMPARE(high > 0, layout == sw::Layout::Later);
        QCOMPARE(east >= 3, sw::facetBlocksX(facet, layout) * 8 > 6144);
        QCOMPARE(fromDifferences >= 3, layout == sw::Layout::Early || facet == 1);
        const sw::Probe single = sw::probeCell(o, facet, probes.first().x, probes.first().y);
        QVERIFY(single.statics == probes.first().statics && single.landId == probes.first().landId);
    }

    // Trammel has its own world in the later layout, and the later tile data and multis
    // carry what the early ones cannot.
    void laterTilesAndFacets()
    {
        const QString dir = m_later.path();
        const FacetFiles felucca = readFacet(dir, 0, sw::Layout::Later), trammel = readFacet(dir, 1, sw::Layout::Later);
        // Trammel is Felucca's world with a few blocks of its own, in its own files.
        QCOMPARE(felucca.map.size(), trammel.map.size());
        int blocksOwn = 0;
        for (qsizetype at = 0; at < felucca.map.size(); at += 196)
            blocksOwn += std::memcmp(felucca.map.constData() + at, trammel.map.constData() + at, 196) != 0;
        QVERIFY2(blocksOwn >= 3 && blocksOwn <= 16, qPrintable(QString::number(blocksOwn)));
        int differ = 0;
        for (const sw::Probe &p : sw::probeCells(m_laterOptions, 1)) {
            const sw::Probe a = readCell(felucca, p.x, p.y), b = readCell(trammel, p.x, p.y);
            differ += a.landId != b.landId || a.landZ != b.landZ || !(a.statics == b.statics);
        }
        QVERIFY(differ >= 3);

        const QByteArray td = load(dir, "tiledata.mul");
        const TileLayout t = TileLayout::of(td.size());
        QVERIFY(t.wide);
        QCOMPARE(t.staticGroups, sw::LaterStaticGroups);
        QCOMPARE(name(td, t.land(sw::land::Water) + t.landName()), QStringLiteral("water"));
        QCOMPARE(u16(td, t.land(sw::land::Water) + 8), quint16(sw::land::WaterTexture));
        QVERIFY(u32(td, t.land(sw::land::Water)) & 0x80);
        const struct {
            int id;
            const char *name;
            bool high;
        } statics[] = {{sw::item::WeatheredWall, "weathered stone wall", false}, {sw::item::Roof, "roof", false},
                       {sw::later::Fern, "fern", true},  {sw::later::Bamboo, "bamboo", true},
                       {sw::later::Crystal, "crystal", true}, {sw::later::Lantern, "lantern post", true}};
        const QByteArray radar = load(dir, "radarcol.mul");
        const QByteArray artBytes = load(dir, "artLegacyMUL.uop");
        const UopFile art = UopFile::read(artBytes);
        // The container holds the records art.mul holds, byte for byte.
        const QByteArray earlyIndex = load(m_early.path(), "artidx.mul"), earlyArt = load(m_early.path(), "art.mul");
        QList<int> earlyRecords = sw::landIdsWithArt();
        for (int id : sw::staticIdsWithArt())
            earlyRecords.append(0x4000 + id);
        for (int record : earlyRecords) {
            const QByteArray tga = QStringLiteral("build/artlegacymul/%1.tga").arg(record, 8, 10, QLatin1Char('0')).toLatin1();
            const UopEntry e = art.entries.value(sw::uopNameHash(tga));
            const Index r = index(earlyIndex, record);
            QVERIFY2(artBytes.mid(qsizetype(e.offset + e.headerLength), e.compressedSize) == earlyArt.mid(r.offset, r.length),
                     tga.constData());
        }
        for (const auto &s : statics) {
            const qsizetype at = t.statics(s.id);
            QCOMPARE(td.mid(at + t.staticName(), 20).left(int(qstrlen(s.name))), QByteArray(s.name));
            QCOMPARE(u32(td, at + 4) != 0, s.high);  // flag bits 32-63
            QVERIFY(u8(td, at + t.staticHeight()) > 0);
            QVERIFY(u16(radar, qsizetype(0x4000 + s.id) * 2) != 0);
            const QByteArray tga = QStringLiteral("build/artlegacymul/%1.tga").arg(0x4000 + s.id, 8, 10, QLatin1Char('0')).toLatin1();
            QVERIFY2(art.entries.contains(sw::uopNameHash(tga)), tga.constData());
        }
        QCOMPARE(u32(td, t.statics(sw::item::OakTree)) & 0x40, quint32(0x40));  // low bits as early
        QCOMPARE(u16(radar, 0), quint16(0));  // void is black
        QVERIFY(u16(radar, 2 * sw::land::Grass) != 0);

        // Multi components of 16 bytes: the id and offsets of each still line up.
        const QByteArray idx = load(dir, "multi.idx"), mul = load(dir, "multi.mul");
        for (int m : {sw::multi::House, sw::multi::Tent, sw::multi::Tower}) {
            const Index r = index(idx, m);
            QVERIFY(r.length > 0 && r.length % 16 == 0 && r.offset + r.length <= mul.size());
            for (qsizetype at = r.offset; at < r.offset + r.length; at += 16) {
                QVERIFY(!name(td, t.statics(u16(mul, at)) + t.staticName()).isEmpty());
                QVERIFY(std::abs(i16(mul, at + 2)) < 8 && std::abs(i16(mul, at + 4)) < 8);
            }
        }
    }
};

QTEST_GUILESS_MAIN(LaterTest)
#include "later_test.moc"
