// Later client directories end to end: what tessaryn-tool reads from every facet of the
// generated later world, saves into its main files (plain and container maps) and its
// difference files, refusals of directories that cannot be saved exactly, and containers
// laid out in every way the format allows.
#include "core/worldfixture.h"
#include "sampleworld/sampleworld.h"
#include "support/testenv.h"
#include "world/blockcache.h"
#include "world/clientlayout.h"
#include "world/facet.h"
#include "world/facetsaver.h"
#include "world/uopfile.h"

#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace sw = sampleworld;
using fixture::put16;
using fixture::put32;
using fixture::writeFile;

namespace {

struct ToolRun {
    int exit = -1;
    QString out;
    QString err;
};

ToolRun tool(const QStringList &args)
{
    QProcess p;
    p.start(qEnvironmentVariable("TESSARYN_TOOL"), args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

using Static = std::tuple<int, int, int>; // id, z, hue

// A cell as tessaryn-tool prints it; statics sorted, since the tool lists them in drawing
// order and the generator in file order.
struct CellRead {
    int landId = -1;
    int landZ = 0;
    QList<Static> statics;
    bool operator==(const CellRead &) const = default;
};

QString describe(const CellRead &c)
{
    QString s = QStringLiteral("land %1 z %2;").arg(c.landId).arg(c.landZ);
    for (const Static &t : c.statics)
        s += QStringLiteral(" static %1 z %2 hue %3").arg(std::get<0>(t)).arg(std::get<1>(t)).arg(std::get<2>(t));
    return s;
}

CellRead toolCell(const QString &dir, int facet, int x, int y)
{
    const ToolRun run = tool({QStringLiteral("cell"), dir, QString::number(facet), QString::number(x), QString::number(y)});
    CellRead c;
    if (run.exit != 0) {
        c.landId = -100 - run.exit;
        return c;
    }
    for (const QString &line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList w = line.split(QLatin1Char(' '));
        if (w.size() == 4 && w[0] == QLatin1String("land"))
            c = CellRead{w[1].toInt(), w[3].toInt(), c.statics};
        else if (w.size() == 6 && w[0] == QLatin1String("static"))
            c.statics.append({w[1].toInt(), w[3].toInt(), w[5].toInt()});
    }
    std::sort(c.statics.begin(), c.statics.end());
    return c;
}

CellRead expected(const sw::Probe &p)
{
    CellRead c{p.landId, p.landZ, {}};
    for (const sw::ProbeStatic &s : p.statics)
        c.statics.append({s.id, s.z, s.hue});
    std::sort(c.statics.begin(), c.statics.end());
    return c;
}

// What any write to or replacement of a file changes: its inode, size and modification
// time. The savers never write a client file in place, so an unchanged stamp means the
// file was not touched.
QMap<QString, QString> stamps(const QString &dir)
{
    QMap<QString, QString> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden)) {
        struct stat st {};
        if (::stat(QFile::encodeName(dir + QLatin1Char('/') + name).constData(), &st) == 0)
            out.insert(name, QStringLiteral("%1/%2/%3.%4")
                                 .arg(qulonglong(st.st_ino))
                                 .arg(qlonglong(st.st_size))
                                 .arg(qlonglong(st.st_mtim.tv_sec))
                                 .arg(qlonglong(st.st_mtim.tv_nsec)));
    }
    return out;
}

// Names whose stamps differ between a and b, or that one of them lacks.
QStringList changed(const QMap<QString, QString> &a, const QMap<QString, QString> &b)
{
    QStringList out;
    for (auto it = a.cbegin(); it != a.cend(); ++it)
        if (b.value(it.key()) != it.value())
            out.append(it.key());
    for (auto it = b.cbegin(); it != b.cend(); ++it)
        if (!a.contains(it.key()))
            out.append(it.key());
    std::sort(out.begin(), out.end());
    return out;
}

// The byte run of a map as a map<N>.mul holds it, whatever file holds it: the file itself,
// or a container's chunks one after another.
QByteArray mapRun(const QString &path, int fileNumber)
{
    if (!path.endsWith(QLatin1String(".uop")))
        return fixture::readFile(path);
    UopMap map;
    QByteArray run;
    if (!map.open(path, fileNumber))
        return run;
    run.resize(map.size());
    if (!map.read(0, map.size(), run.data()))
        run.clear();
    return run;
}

// The first block whose cells differ between two runs of the same size (the 4-byte block
// headers are not compared: the savers write the block number there); -1 when none does.
qint64 firstDifferentBlock(const QByteArray &a, const QByteArray &b)
{
    for (qint64 at = 0; at + 196 <= a.size(); at += 196) {
        if (std::memcmp(a.constData() + at + 4, b.constData() + at + 4, 192) != 0)
            return at / 196;
    }
    return -1;
}

qint64 cellOffset(int x, int y, int blocksY)
{
    return qint64(blockNumber(x, y, blocksY)) * 196 + 4 + 3 * (8 * (y % 8) + x % 8);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool sparseFile(const QString &path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size);
}

// ---- containers written by hand -------------------------------------------------------

// How a container is laid out: entries per table, the tables placed in the file from last
// to first, chunks stored zlib-compressed, bytes of metadata before every entry's data.
struct Shape {
    quint32 capacity = 1000;
    bool tablesReversed = false;
    QList<int> zlibChunks;
    quint32 headerLength = 0;
};

// A facet-2 map (288 x 200 blocks) in "map2LegacyMUL.uop": land of block b at cell i is id
// (b * 7 + i) & 0x3FFF, z i - 32; entries listed in the tables from the last chunk to the
// first.
constexpr int kOddBlocks = 288 * 200;

QByteArray oddRecord(int b)
{
    QByteArray r(196, '\0');
    put32(r, 0, b);
    for (int i = 0; i < 64; ++i) {
        put16(r, 4 + 3 * i, quint16((b * 7 + i) & 0x3FFF));
        r[4 + 3 * i + 2] = char(qint8(i - 32));
    }
    return r;
}

bool writeOddContainer(const QString &path, const Shape &shape)
{
    const int chunks = (kOddBlocks + 4095) / 4096;
    QList<QByteArray> data;
    for (int c = 0; c < chunks; ++c) {
        QByteArray bytes;
        for (int b = c * 4096; b < std::min(kOddBlocks, (c + 1) * 4096); ++b)
            bytes += oddRecord(b);
        data.append(bytes);
    }
    const qint64 tables = (chunks + shape.capacity - 1) / shape.capacity;
    const qint64 tableBytes = 12 + qint64(shape.capacity) * 34;
    auto tableAt = [&](qint64 t) { return 0x200 + (shape.tablesReversed ? tables - 1 - t : t) * tableBytes; };
    QByteArray file(0x200 + tables * tableBytes, '\0');
    put32(file, 0, 0x0050594D);
    put32(file, 4, 5);
    put32(file, 8, qint32(0xFD23EC43));
    qToLittleEndian<quint64>(quint64(tableAt(0)), file.data() + 12);
    put32(file, 20, qint32(shape.capacity));
    put32(file, 24, chunks);
    // Data in chunk order after the tables; entries listed from the last chunk to the first.
    QList<qint64> offsets(chunks);
    QList<quint32> storedSizes(chunks);
    QByteArray body;
    for (int c = 0; c < chunks; ++c) {
        offsets[c] = file.size() + body.size();
        body += QByteArray(qsizetype(shape.headerLength), char(0xA5));
        // qCompress puts the size in front of the zlib stream; the container has none.
        const QByteArray bytes = shape.zlibChunks.contains(c) ? qCompress(data[c]).mid(4) : data[c];
        storedSizes[c] = quint32(bytes.size());
        body += bytes;
    }
    for (int k = 0; k < chunks; ++k) {
        const int c = chunks - 1 - k;
        const qint64 t = k / shape.capacity, i = k % shape.capacity;
        uchar *table = reinterpret_cast<uchar *>(file.data()) + tableAt(t);
        qToLittleEndian<quint32>(quint32(std::min<qint64>(shape.capacity, chunks - t * shape.capacity)), table);
        qToLittleEndian<quint64>(t + 1 < tables ? quint64(tableAt(t + 1)) : 0, table + 4);
        uchar *e = table + 12 + i * 34;
        qToLittleEndian<quint64>(quint64(offsets[c]), e);
        qToLittleEndian<quint32>(shape.headerLength, e + 8);
        qToLittleEndian<quint32>(storedSizes[c], e + 12);
        qToLittleEndian<quint32>(quint32(data[c].size()), e + 16);
        qToLittleEndian<quint64>(uopHash(QStringLiteral("build/map2legacymul/%1.dat").arg(c, 8, 10, QLatin1Char('0')).toLatin1()),
                                 e + 20);
        qToLittleEndian<quint16>(shape.zlibChunks.contains(c) ? 1 : 0, e + 32);
    }
    return writeFile(path, file + body);
}

} // namespace

Q_DECLARE_METATYPE(Shape)

class LaterClientTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    sw::Options later;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        QVERIFY2(QFileInfo(qEnvironmentVariable("TESSARYN_TOOL")).isExecutable(), "TESSARYN_TOOL names no program");
        later.outDir = env->root() + QStringLiteral("/later");
        later.layout = sw::Layout::Later;
        later.facets = {0, 1, 2, 3, 4, 5};
        later.mulMaps = {0, 3}; // a 7168-wide map0.mul and a plain Malas; the others in containers
        QString error;
        QVERIFY2(sw::write(later, &error), qPrintable(error));
    }

    // Every facet of the later world: the size the tool reports, every probed cell as the
    // generator wrote it, then one land edit and one new static saved into the main files
    // and one land edit into the difference files. After each save the tool reads the edits
    // and every other probed cell unchanged; the map keeps its size and every other cell byte;
    // no file but the save's own targets was written (for Trammel: nothing of Felucca's, no
    // backup beside them).
    void laterFacets_data()
    {
        QTest::addColumn<int>("facet");
        for (int f = 0; f < ClientLayout::FacetCount; ++f)
            QTest::newRow(qPrintable(sw::facetName(f))) << f;
    }
    void laterFacets()
    {
        QFETCH(int, facet);
        const QString dir = later.outDir;
        const int bx = sw::facetBlocksX(facet, sw::Layout::Later), by = sw::facetBlocksY(facet, sw::Layout::Later);
        const QString mapName = sw::mapFileName(facet, later);

        const ToolRun info = tool({QStringLiteral("info"), dir});
        QCOMPARE(info.exit, 0);
        QVERIFY2(info.out.contains(QStringLiteral("tile data: later, 64-bit flags")), qPrintable(info.out));
        QVERIFY2(info.out.contains(QStringLiteral("multi components: 16 bytes")), qPrintable(info.out));
        QVERIFY2(!info.out.contains(QStringLiteral("warning:")), qPrintable(info.out));
        const QString line = QStringLiteral("facet %1 %2: %3").arg(facet).arg(sw::facetName(facet), mapName);
        const QString size = QStringLiteral("%1 x %2 blocks (%3 x %4 cells), main files %5,")
                                 .arg(bx).arg(by).arg(bx * 8).arg(by * 8).arg(facet);
        bool found = false;
        for (const QString &l : info.out.split(QLatin1Char('\n')))
            found = found || (l.startsWith(line) && l.contains(size) && l.endsWith(QLatin1String("saving allowed")));
        QVERIFY2(found, qPrintable(info.out));

        const QList<sw::Probe> probes = sw::probeCells(later, facet);
        QVERIFY(probes.size() >= 4);
        for (const sw::Probe &p : probes)
            QVERIFY2(toolCell(dir, facet, p.x, p.y) == expected(p),
                     qPrintable(p.what + QStringLiteral(": ") + describe(toolCell(dir, facet, p.x, p.y))));

        TestEnvironment::useDataDirectory(dir);
        auto store = WorkingDirectory::create();
        Facet current(facet, true, store);
        QCOMPARE(current.blocksX(), bx);
        QCOMPARE(current.blocksY(), by);
        QVERIFY(!current.sharesMainFiles());
        // Trammel is saved with Felucca handed over as the sharing facet, the way the early
        // layout is saved; Felucca has an edit of its own waiting in a working file.
        std::unique_ptr<Facet> felucca;
        BlockCache cache;
        if (facet == 1) {
            felucca = std::make_unique<Facet>(0, true, store);
            QVERIFY(cache.setFacet(felucca.get()));
            cache.setLand(5, 5, 2, 99, 9);
        }
        QVERIFY(cache.setFacet(&current));

        const sw::Probe &a = probes.at(0);
        const sw::Probe &b = probes.at(probes.size() / 2);
        const sw::Probe &c = probes.last();
        const int newId = (a.landId + 101) & 0x3FFF, newZ = a.landZ == 40 ? 41 : 40;
        Tile crystal = cache.tileData().staticTile(sw::later::Crystal);
        QVERIFY2(crystal.flags() & sw::later::HighFlag, "64-bit flags of a static above id 16383");
        crystal.setZ(7);
        crystal.setHue(0x123);
        const auto before = stamps(dir);
        const QByteArray runBefore = mapRun(dir + QLatin1Char('/') + mapName, facet);
        QCOMPARE(runBefore.size(), qsizetype(bx) * by * 196);
        cache.setLand(a.x, a.y, 2, newId, newZ);
        cache.setStatic(b.x, b.y, 0, crystal, Tile());
        QString error;
        QVERIFY2(saveFacet(cache, current, felucca.get(), 0, {}, &error), qPrintable(error));

        const auto afterMain = stamps(dir);
        const QStringList mainTargets{mapName, QStringLiteral("staidx%1.mul").arg(facet), QStringLiteral("statics%1.mul").arg(facet)};
        for (const QString &name : changed(before, afterMain))
            QVERIFY2(mainTargets.contains(name), qPrintable(name));
        if (!mapName.endsWith(QLatin1String(".uop")))
            QCOMPARE(afterMain.value(mapName).section(QLatin1Char('/'), 1, 1), before.value(mapName).section(QLatin1Char('/'), 1, 1));
        QByteArray runAfter = mapRun(dir + QLatin1Char('/') + mapName, facet);
        QCOMPARE(runAfter.size(), runBefore.size());
        const qint64 at = cellOffset(a.x, a.y, by);
        QCOMPARE(qFromLittleEndian<quint16>(runAfter.constData() + at), quint16(newId));
        std::memcpy(runAfter.data() + at, runBefore.constData() + at, 3);
        QCOMPARE(firstDifferentBlock(runBefore, runAfter), qint64(-1));
        runAfter.clear();
        if (mapName.endsWith(QLatin1String(".uop"))) {
            // The same chunks under the same names, and nothing else.
            UopFile uop;
            QVERIFY(uop.open(dir + QLatin1Char('/') + mapName));
            const int chunks = int((qint64(bx) * by + 4095) / 4096);
            QCOMPARE(uop.entryCount(), chunks);
            for (int k = 0; k < chunks; ++k)
                QVERIFY(uop.find(UopMap::chunkName(facet, k)));
        }

        CellRead wantA = expected(a);
        wantA.landId = newId;
        wantA.landZ = newZ;
        CellRead wantB = expected(b);
        wantB.statics.append({sw::later::Crystal, 7, 0x123});
        std::sort(wantB.statics.begin(), wantB.statics.end());
        if (a.x == b.x && a.y == b.y)
            wantB.landId = newId, wantB.landZ = newZ;
        QCOMPARE(describe(toolCell(dir, facet, a.x, a.y)), describe(a.x == b.x && a.y == b.y ? wantB : wantA));
        QCOMPARE(describe(toolCell(dir, facet, b.x, b.y)), describe(wantB));
        for (const sw::Probe &p : probes) {
            if ((p.x == a.x && p.y == a.y) || (p.x == b.x && p.y == b.y))
                continue;
            QVERIFY2(toolCell(dir, facet, p.x, p.y) == expected(p), qPrintable(p.what));
        }
        if (felucca) {
            // Felucca's edit is still its own, waiting for its own save.
            QVERIFY(felucca->hasWorkingFilesOnDisk());
            QVERIFY(felucca->clearWorkingFiles());
        }

        // Into the difference files, which the later world does not have yet.
        const int cz = c.landZ == -20 ? -21 : -20;
        cache.setLand(c.x, c.y, 1, 0, cz);
        QVERIFY2(saveFacet(cache, current, nullptr, 1, {}, &error), qPrintable(error));
        const auto afterDiff = stamps(dir);
        const QStringList diffTargets{QStringLiteral("mapdifl%1.mul").arg(facet), QStringLiteral("mapdif%1.mul").arg(facet),
                                      QStringLiteral("stadif%1.mul").arg(facet), QStringLiteral("stadifl%1.mul").arg(facet),
                                      QStringLiteral("stadifi%1.mul").arg(facet)};
        const QStringList written = changed(afterMain, afterDiff);
        for (const QString &name : written)
            QVERIFY2(diffTargets.contains(name), qPrintable(name));
        QVERIFY(written.contains(diffTargets.at(0)));
        CellRead wantC = (c.x == a.x && c.y == a.y) ? wantA : (c.x == b.x && c.y == b.y) ? wantB : expected(c);
        wantC.landZ = cz;
        QCOMPARE(describe(toolCell(dir, facet, c.x, c.y)), describe(wantC));
        if (!(c.x == a.x && c.y == a.y))
            QCOMPARE(describe(toolCell(dir, facet, a.x, a.y)), describe(wantA));
        for (const QString &name : afterDiff.keys())
            QVERIFY2(!name.contains(QLatin1String(".tsy")), qPrintable(name));
    }

    // Directories a save must not touch: each is refused with a message naming the file and
    // what was expected, both kinds of save write nothing, and tessaryn-tool says the same.
    void refusals_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("facet");
        QTest::addColumn<QString>("message"); // %1: the directory
        QTest::addColumn<int>("toolExit");
        QTest::newRow("no map for the facet") << "map2" << 3
                                              << "No map for Malas: neither map3.mul nor map3LegacyMUL.uop is in %1" << 0;
        QTest::newRow("container cut short") << "cut container" << 4 << "%1/map4LegacyMUL.uop: " << 0;
        QTest::newRow("map of no facet size")
            << "odd map0" << 0
            << "%1/map0.mul holds 80,000,000 bytes, which fits no size of Felucca (expected 77,070,336 bytes (6144 x "
               "4096 cells) or 89,915,392 bytes (7168 x 4096 cells))"
            << 0;
        QTest::newRow("statics index longer than the map")
            << "long staidx2" << 2 << "%1/staidx2.mul holds 57,601 records, but the map of Ilshenar has 57,600 blocks" << 0;
        QTest::newRow("tile data of no known size")
            << "odd tiledata" << 2
            << "%1/tiledata.mul holds 500,000 bytes, which fits no tile-data layout (expected 428,032 + a multiple of "
               "1,188 bytes, or 493,568 + a multiple of 1,316 bytes)"
            << 0;
        QTest::newRow("empty data directory")
            << "empty" << 2 << "The data directory %1 holds no map of any facet (map0.mul or map0LegacyMUL.uop and the like)"
            << 1;
        QTest::newRow("missing data directory") << "missing" << 2 << "The data directory %1 does not exist or cannot be read" << 1;
    }
    void refusals()
    {
        QFETCH(QString, setup);
        QFETCH(int, facet);
        QFETCH(QString, message);
        QFETCH(int, toolExit);
        const QString dir = env->root() + QStringLiteral("/refused-") + QString(setup).replace(QLatin1Char(' '), QLatin1Char('-'));
        if (setup != QLatin1String("missing"))
            QVERIFY(QDir().mkpath(dir));
        const qint64 ilshenar = 288 * 200 * 196;
        if (setup == QLatin1String("map2") || setup == QLatin1String("odd tiledata") || setup == QLatin1String("long staidx2"))
            QVERIFY(sparseFile(dir + "/map2.mul", ilshenar));
        if (setup == QLatin1String("long staidx2"))
            QVERIFY(writeFile(dir + "/staidx2.mul", QByteArray((288 * 200 + 1) * 12, char(0xFF))));
        if (setup == QLatin1String("odd tiledata"))
            QVERIFY(writeFile(dir + "/tiledata.mul", QByteArray(500000, '\0')));
        if (setup == QLatin1String("odd map0"))
            QVERIFY(sparseFile(dir + "/map0.mul", 80000000));
        if (setup == QLatin1String("cut container")) {
            const QByteArray whole = fixture::readFile(later.outDir + "/map4LegacyMUL.uop");
            QVERIFY(whole.size() > 1000000);
            QVERIFY(writeFile(dir + "/map4LegacyMUL.uop", whole.left(whole.size() / 2)));
        }
        message = message.arg(native(dir));

        TestEnvironment::useDataDirectory(dir);
        const auto before = stamps(dir);
        Facet f(facet, true);
        QCOMPARE(f.saveRefusal(), f.saveRefusal());
        QVERIFY2(f.saveRefusal().startsWith(message), qPrintable(f.saveRefusal()));
        BlockCache cache;
        QVERIFY(cache.setFacet(&f));
        cache.setLand(9, 9, 2, 77, 3);
        // A facet without a map takes difference files still; nothing else takes a save.
        for (int mode : setup == QLatin1String("map2") ? QList<int>{0} : QList<int>{0, 1}) {
            QString error;
            QVERIFY(!saveFacet(cache, f, nullptr, mode, {}, &error));
            QVERIFY2(error.startsWith(message), qPrintable(error));
            QCOMPARE(changed(before, stamps(dir)), QStringList());
        }
        Facet *const facets[] = {&f};
        QVERIFY(hasUnsavedChanges(cache, facets, 1)); // the edit is kept for a save that can be made
        QVERIFY(cache.setFacet(nullptr) || true);
        f.clearWorkingFiles();

        const ToolRun info = tool({QStringLiteral("info"), dir});
        QCOMPARE(info.exit, toolExit);
        if (toolExit != 0) {
            QCOMPARE(info.err, QStringLiteral("tessaryn-tool: ") + message + QLatin1Char('\n'));
        } else if (setup == QLatin1String("map2")) {
            QVERIFY2(info.out.contains(QStringLiteral("facet 3 Malas: absent\n")), qPrintable(info.out));
            QVERIFY2(!info.out.contains(QStringLiteral("warning:")), qPrintable(info.out));
        } else {
            QVERIFY2(info.out.contains(QStringLiteral("warning: ") + message), qPrintable(info.out));
        }
    }

    // A container may spread its entries over several tables, place them out of order, keep
    // metadata before the data and compress entries: read the same in every shape, and saved
    // into a plain container with the same names that reads back with the edit and nothing else
    // changed.
    void containerShapes_data()
    {
        QTest::addColumn<Shape>("shape");
        QTest::newRow("one table") << Shape{};
        QTest::newRow("tables of four, last first") << Shape{4, true, {}, 0};
        QTest::newRow("zlib chunks") << Shape{1000, false, {0, 7, 14}, 0};
        QTest::newRow("metadata before the data") << Shape{1000, false, {}, 40};
        QTest::newRow("all of it") << Shape{3, true, {1, 14}, 12};
    }
    void containerShapes()
    {
        // Published test vectors of hashlittle2, on which every entry name depends.
        QCOMPARE(uopHash(""), Q_UINT64_C(0xDEADBEEFDEADBEEF));
        QCOMPARE(uopHash("Four score and seven years ago"), Q_UINT64_C(0xCE7226E617770551));

        QFETCH(Shape, shape);
        const QString dir = env->root() + QStringLiteral("/shape-%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(writeOddContainer(dir + "/map2LegacyMUL.uop", shape));
        // Blocks of the first, a compressed, and the short last chunk, at cells across them.
        const QList<QPair<int, int>> cells{{0, 0}, {7, 7}, {8 * (7 * 4096 / 200), 8 * (7 * 4096 % 200) + 3},
                                           {2303, 1599}, {2303 - 8, 1599}};
        for (const auto &[x, y] : cells) {
            const int b = blockNumber(x, y, 200), i = 8 * (y % 8) + x % 8;
            QCOMPARE(describe(toolCell(dir, 2, x, y)), describe(CellRead{(b * 7 + i) & 0x3FFF, i - 32, {}}));
        }

        TestEnvironment::useDataDirectory(dir);
        Facet f(2, true);
        QCOMPARE(f.blockCount(), kOddBlocks);
        BlockCache cache;
        QVERIFY(cache.setFacet(&f));
        cache.setLand(2303, 1599, 2, 4242, 12);
        QString error;
        QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
        UopFile saved;
        QVERIFY2(saved.open(dir + "/map2LegacyMUL.uop", &error), qPrintable(error));
        QCOMPARE(saved.entryCount(), 15);
        QCOMPARE(saved.tableCapacity(), shape.capacity);
        QByteArray want;
        for (int b = 0; b < kOddBlocks; ++b)
            want += oddRecord(b);
        const qint64 at = cellOffset(2303, 1599, 200);
        put16(want, at, 4242);
        want[at + 2] = char(12);
        const QByteArray run = mapRun(dir + "/map2LegacyMUL.uop", 2);
        QCOMPARE(run.size(), want.size());
        QCOMPARE(firstDifferentBlock(run, want), qint64(-1));
        QCOMPARE(describe(toolCell(dir, 2, 2303, 1599)), describe(CellRead{4242, 12, {}}));
    }
};

QTEST_GUILESS_MAIN(LaterClientTest)
#include "laterclient_test.moc"
