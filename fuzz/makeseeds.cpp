// fuzz_seeds WORLD HAND OUT: cuts seed inputs for every fuzz target from a generated sample
// world (whole small files, single art and texture entries, the records of a few blocks),
// adds the hand-written seeds of HAND/<target>/ in the layout their target reads, and writes
// them all to OUT/<target>/. The layouts are those the targets read; see each target.
#include "fuzz/fuzzsupport.h"
#include "world/uopfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QtEndian>

#include <algorithm>
#include <cstdio>

namespace {
QString g_world;
QString g_hand;
QString g_out;
int g_written = 0;

QByteArray readWorld(const QString &name)
{
    QFile file(g_world + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "fuzz_seeds: cannot read %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    return file.readAll();
}

void seed(const QString &target, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(g_out + QLatin1Char('/') + target);
    if (!fuzz::writeFile(g_out + QLatin1Char('/') + target + QLatin1Char('/') + name, bytes)) {
        std::fprintf(stderr, "fuzz_seeds: cannot write seed %s/%s\n", qPrintable(target), qPrintable(name));
        std::exit(1);
    }
    ++g_written;
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray le32(qint32 v)
{
    char b[4];
    qToLittleEndian<qint32>(v, b);
    return QByteArray(b, 4);
}

struct Record {
    qint32 offset, length, extra;
};

Record recordAt(const QByteArray &index, int i)
{
    if (qsizetype(i + 1) * 12 > index.size())
        return {-1, -1, -1};
    const auto *p = reinterpret_cast<const uchar *>(index.constData()) + i * 12;
    return {qFromLittleEndian<qint32>(p), qFromLittleEndian<qint32>(p + 4), qFromLittleEndian<qint32>(p + 8)};
}

QByteArray entryOf(const QByteArray &data, const Record &r)
{
    if (r.offset < 0 || r.length <= 0 || r.offset + qsizetype(r.length) > data.size())
        return QByteArray();
    return data.mid(r.offset, r.length);
}

// An index and data file holding just the given entries, offsets counted anew.
void subset(const QByteArray &index, const QByteArray &data, const QList<int> &ids, QByteArray *outIndex,
            QByteArray *outData)
{
    for (int id : ids) {
        const Record r = recordAt(index, id);
        const QByteArray entry = entryOf(data, r);
        if (entry.isEmpty()) {
            outIndex->append(le32(-1) + le32(-1) + le32(r.extra));
            continue;
        }
        outIndex->append(le32(qint32(outData->size())) + le32(r.length) + le32(r.extra));
        outData->append(entry);
    }
}

void tileDataSeeds()
{
    const QByteArray file = readWorld(QStringLiteral("tiledata.mul"));
    const qsizetype land = 428032, landGroup = 836, staticGroup = 1188;
    const QByteArray statics = file.mid(land);
    seed(QStringLiteral("tiledata"), QStringLiteral("sparse-4-land-all-static"),
         bytesOf({1}) + fuzz::joinPieces({file.left(4 * landGroup), statics.left(8 * staticGroup)}));
    seed(QStringLiteral("tiledata"), QStringLiteral("sparse-cut-records"),
         bytesOf({1}) + fuzz::joinPieces({file.left(2 * landGroup + 100), statics.left(2 * staticGroup + 600)}));
    seed(QStringLiteral("tiledata"), QStringLiteral("land-only"), bytesOf({0}) + file.left(3 * landGroup));
}

// The sample's tile data in the later layout: every record's 32-bit flags widened to 64 bits.
QByteArray widened(const QByteArray &groups, int records, int recordSize)
{
    QByteArray out;
    const int groupSize = 4 + records * recordSize;
    for (qsizetype g = 0; g + groupSize <= groups.size(); g += groupSize) {
        out.append(groups.mid(g, 4));
        for (int r = 0; r < records; ++r) {
            const QByteArray record = groups.mid(g + 4 + qsizetype(r) * recordSize, recordSize);
            out.append(record.left(4) + QByteArray(4, char(r % 3 ? 0 : 0x10)) + record.mid(4));
        }
    }
    return out;
}

void laterTileDataSeeds()
{
    const QByteArray file = readWorld(QStringLiteral("tiledata.mul"));
    const QByteArray land = widened(file.left(4 * 836), 32, 26);
    const QByteArray statics = widened(file.mid(428032, 6 * 1188), 32, 37);
    seed(QStringLiteral("tiledata64"), QStringLiteral("four-land-six-static"), bytesOf({0}) + fuzz::joinPieces({land, statics}));
    seed(QStringLiteral("tiledata64"), QStringLiteral("cut-records"),
         bytesOf({6}) + fuzz::joinPieces({land.left(964 + 100), statics.left(1316 + 500)}));
}

// A container holding the entries given, the second and later ones behind non-zero metadata
// lengths, zlib-compressed where asked; its table lies behind the data.
QByteArray container(const QList<QPair<QByteArray, QByteArray>> &entries, const QList<bool> &zlib)
{
    QByteArray data;
    QByteArray table = le32(qint32(entries.size())) + QByteArray(8, '\0');
    constexpr int header = 28;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArray &bytes = entries[i].second;
        const bool packed = zlib.value(i);
        const QByteArray stored = packed ? qCompress(bytes).mid(4) : bytes;
        const int meta = i == 0 ? 0 : 8;
        const qint64 offset = header + data.size();
        data.append(QByteArray(meta, char(0xA5)) + stored);
        char e[34] = {};
        qToLittleEndian<quint64>(quint64(offset), e);
        qToLittleEndian<quint32>(quint32(meta), e + 8);
        qToLittleEndian<quint32>(quint32(stored.size()), e + 12);
        qToLittleEndian<quint32>(quint32(bytes.size()), e + 16);
        qToLittleEndian<quint64>(uopHash(entries[i].first), e + 20);
        qToLittleEndian<quint16>(packed ? 1 : 0, e + 32);
        table.append(e, 34);
    }
    char head[header] = {};
    qToLittleEndian<quint32>(UopFile::Magic, head);
    qToLittleEndian<quint32>(5, head + 4);
    qToLittleEndian<quint64>(quint64(header + data.size()), head + 12);
    qToLittleEndian<quint32>(quint32(entries.size()), head + 20);
    qToLittleEndian<quint32>(quint32(entries.size()), head + 24);
    return QByteArray(head, header) + data + table;
}

void uopSeeds()
{
    const QByteArray map = readWorld(QStringLiteral("map2.mul"));
    const QByteArray blocks = map.left(3 * 196);
    seed(QStringLiteral("uop"), QStringLiteral("map-stored"), bytesOf({1}) + container({{UopMap::chunkName(0, 0), blocks}}, {}));
    seed(QStringLiteral("uop"), QStringLiteral("map-zlib"), bytesOf({1}) + container({{UopMap::chunkName(0, 0), blocks}}, {true}));
    seed(QStringLiteral("uop"), QStringLiteral("entries"),
         bytesOf({0}) + container({{UopMap::chunkName(0, 1), map.mid(196, 196)}, {UopMap::chunkName(0, 0), blocks}}, {false, true}));

    const QByteArray index = readWorld(QStringLiteral("artidx.mul"));
    const QByteArray art = readWorld(QStringLiteral("art.mul"));
    QList<QPair<QByteArray, QByteArray>> entries;
    for (int i = 0; i < 0x4000 && entries.size() < 2; ++i)
        if (const QByteArray e = entryOf(art, recordAt(index, i)); !e.isEmpty())
            entries.append({"build/artlegacymul/" + QByteArray::number(entries.size()).rightJustified(8, '0') + ".tga", e});
    int statics = 0;
    for (int i = 0x4000; i < index.size() / 12 && statics < 2; ++i)
        if (const QByteArray e = entryOf(art, recordAt(index, i)); !e.isEmpty() && e.size() < 3000)
            entries.append({"build/artlegacymul/" + QByteArray::number(0x4000 + statics++).rightJustified(8, '0') + ".tga", e});
    seed(QStringLiteral("uop"), QStringLiteral("art"), bytesOf({2}) + container(entries, {false, true, false, true}));
}

void hueSeeds()
{
    const QByteArray file = readWorld(QStringLiteral("hues.mul"));
    seed(QStringLiteral("hues"), QStringLiteral("ten-groups"), file.left(10 * 708));
    seed(QStringLiteral("hues"), QStringLiteral("cut-in-entry"), file.left(2 * 708 + 4 + 3 * 88 + 40));
}

void artSeeds()
{
    const QByteArray index = readWorld(QStringLiteral("artidx.mul"));
    const QByteArray data = readWorld(QStringLiteral("art.mul"));
    const QByteArray header = bytesOf({0, 0}); // hue byte and alpha filled in below
    QList<int> lands, statics;
    for (int i = 0; i < 0x4000 && lands.size() < 3; ++i)
        if (!entryOf(data, recordAt(index, i)).isEmpty())
            lands.append(i);
    // Statics of several sizes: the smallest entries first, so seeds stay short.
    QList<QPair<int, int>> sized;
    for (int i = 0x4000; i < index.size() / 12; ++i) {
        const QByteArray e = entryOf(data, recordAt(index, i));
        if (!e.isEmpty() && e.size() <= 6000)
            sized.append({int(e.size()), i});
    }
    std::sort(sized.begin(), sized.end());
    for (qsizetype k = 0; k < sized.size() && statics.size() < 4; k += std::max<qsizetype>(1, sized.size() / 4))
        statics.append(sized[k].second);

    int n = 0;
    for (int id : lands) {
        const QByteArray entry = entryOf(data, recordAt(index, id));
        seed(QStringLiteral("art"), QStringLiteral("land-%1").arg(id), bytesOf({0, n % 4, 255}) + le32(0) + entry);
        ++n;
    }
    for (int id : statics) {
        const QByteArray entry = entryOf(data, recordAt(index, id));
        seed(QStringLiteral("art"), QStringLiteral("static-%1").arg(id - 0x4000), bytesOf({1, n % 4, 200}) + le32(0) + entry);
        ++n;
    }
    QByteArray landIndex, staticIndex, bytes;
    subset(index, data, lands.mid(0, 2), &landIndex, &bytes);
    QByteArray staticData;
    QList<int> someStatics = statics.mid(0, 2);
    // The statics' offsets continue after the land entries in the one data file.
    for (int id : someStatics) {
        const Record r = recordAt(index, id);
        const QByteArray entry = entryOf(data, r);
        staticIndex.append(le32(qint32(bytes.size())) + le32(r.length) + le32(r.extra));
        bytes.append(entry);
    }
    seed(QStringLiteral("art"), QStringLiteral("files"), bytesOf({2, 1, 255}) + le32(0)
         + fuzz::joinPieces({landIndex, staticIndex, bytes}));
}

void textureSeeds()
{
    const QByteArray index = readWorld(QStringLiteral("texidx.mul"));
    const QByteArray data = readWorld(QStringLiteral("texmaps.mul"));
    QList<int> small;
    for (int i = 0; i < index.size() / 12; ++i) {
        const Record r = recordAt(index, i);
        if (r.extra != 1 && !entryOf(data, r).isEmpty())
            small.append(i);
    }
    if (!small.isEmpty()) {
        seed(QStringLiteral("texture"), QStringLiteral("entry-64"),
             bytesOf({0, 0, 254}) + entryOf(data, recordAt(index, small.first())));
        seed(QStringLiteral("texture"), QStringLiteral("entry-128-short"),
             bytesOf({0, 1, 255}) + entryOf(data, recordAt(index, small.first())).left(5000));
        QByteArray i2, d2;
        subset(index, data, small.mid(0, 1), &i2, &d2);
        // A second record that claims a large texture the data cuts short.
        i2.append(le32(qint32(d2.size() / 2)) + le32(128 * 128 * 2) + le32(1));
        seed(QStringLiteral("texture"), QStringLiteral("files"), bytesOf({1, 0}) + fuzz::joinPieces({i2, d2}));
    }
}

struct FacetFiles {
    QByteArray map, staidx, statics;
};

// The statics records of block b of the sample's facet 2.
QByteArray staticsOf(const FacetFiles &f, int b)
{
    return entryOf(f.statics, recordAt(f.staidx, b));
}

// A run of blocks that holds statics, moved to the start of the files.
FacetFiles firstBlocks(const FacetFiles &f, int start, int count)
{
    FacetFiles out;
    out.map = f.map.mid(qsizetype(start) * 196, qsizetype(count) * 196);
    for (int b = start; b < start + count; ++b) {
        const QByteArray s = staticsOf(f, b);
        if (s.isEmpty())
            out.staidx.append(le32(-1) + le32(-1) + le32(0));
        else
            out.staidx.append(le32(qint32(out.statics.size())) + le32(qint32(s.size())) + le32(0));
        out.statics.append(s);
    }
    return out;
}

void blockSeeds()
{
    FacetFiles f{readWorld(QStringLiteral("map2.mul")), readWorld(QStringLiteral("staidx2.mul")),
                 readWorld(QStringLiteral("statics2.mul"))};
    // The busiest blocks of a stretch of the map, and the block where that stretch starts.
    QList<QPair<int, int>> busy;
    for (int b = 0; b < f.staidx.size() / 12; ++b)
        busy.append({int(staticsOf(f, b).size()), b});
    std::sort(busy.begin(), busy.end(), [](auto a, auto b) { return a.first > b.first; });
    for (int k = 0; k < 3 && k < busy.size(); ++k) {
        const int b = busy[k].second;
        seed(QStringLiteral("blocks"), QStringLiteral("statics-%1").arg(b), bytesOf({1}) + staticsOf(f, b).left(7 * 200));
        seed(QStringLiteral("blocks"), QStringLiteral("land-%1").arg(b), bytesOf({0}) + f.map.mid(qsizetype(b) * 196, 196));
    }
    seed(QStringLiteral("blocks"), QStringLiteral("statics-cut"), bytesOf({1}) + staticsOf(f, busy[0].second).left(7 * 5 + 3));

    const int start = busy.isEmpty() ? 0 : std::max(0, busy[0].second - 8);
    const FacetFiles run = firstBlocks(f, start, 16);
    const QByteArray mapdif = readWorld(QStringLiteral("mapdif2.mul"));
    const QByteArray mapdifl = readWorld(QStringLiteral("mapdifl2.mul"));
    const QByteArray stadif = readWorld(QStringLiteral("stadif2.mul"));
    const QByteArray stadifi = readWorld(QStringLiteral("stadifi2.mul"));
    const QByteArray stadifl = readWorld(QStringLiteral("stadifl2.mul"));
    seed(QStringLiteral("facet"), QStringLiteral("ilshenar-diff"),
         fuzz::joinPieces({bytesOf({2, 0}), run.map, run.staidx, run.statics, mapdif, mapdifl, stadif, stadifi, stadifl}));
    seed(QStringLiteral("facet"), QStringLiteral("trammel-main-only"),
         fuzz::joinPieces({bytesOf({1, 1}), run.map, run.staidx, run.statics, {}, {}, {}, {}, {}}));
    seed(QStringLiteral("facet"), QStringLiteral("diff-blocks-asked"),
         fuzz::joinPieces({bytesOf({3, 0, 0, 0}) + le32(5) + le32(-1) + le32(320 * 256), run.map.left(196 * 3 + 50),
                           run.staidx.left(12 * 5 + 4), run.statics, mapdif, mapdifl, stadif, stadifi, stadifl}));

    // The edit store: a block's land record and statics as its working files.
    const int b = busy.isEmpty() ? 0 : busy[0].second;
    const QByteArray control = bytesOf({2}) + le32(b) + bytesOf({0, 0x05, 40, 0x45, 7, 0x85, 1, 0xC9, 200, 0x41, 9});
    const QByteArray names = "5t0.tsy2\n12t1.tsy2\n00012t1.tsy2\nabc\n-3t0.tsy2\n7t0.tsy20\n";
    seed(QStringLiteral("editstore"), QStringLiteral("block-with-edits"),
         fuzz::joinPieces({control, f.map.mid(qsizetype(b) * 196, 196), staticsOf(f, b).left(7 * 100), names, mapdifl, stadifl}));
    seed(QStringLiteral("editstore"), QStringLiteral("short-land-file"),
         fuzz::joinPieces({bytesOf({0}) + le32(-7) + bytesOf({1}), f.map.mid(0, 100), QByteArray(), "1t0.tsy0\n", {}, {}}));
}

// The hand-written files of HAND/<target>/, by name.
QList<QPair<QString, QByteArray>> handSeeds(const QString &target)
{
    QList<QPair<QString, QByteArray>> out;
    const QDir dir(g_hand + QLatin1Char('/') + target);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            out.append({name, file.readAll()});
    }
    return out;
}

void paletteSeeds()
{
    seed(QStringLiteral("palette"), QStringLiteral("sample-palette.xml"), readWorld(QStringLiteral("palette.xml")));
    for (const auto &[name, bytes] : handSeeds(QStringLiteral("palette")))
        seed(QStringLiteral("palette"), name, bytes);
}

// World saves are written by hand; the multis they name come from the sample world.
void worldSaveSeeds()
{
    const QByteArray index = readWorld(QStringLiteral("multi.idx"));
    const QByteArray data = readWorld(QStringLiteral("multi.mul"));
    int facet = 0;
    for (const auto &[name, bytes] : handSeeds(QStringLiteral("wsc"))) {
        seed(QStringLiteral("wsc"), name, fuzz::joinPieces({bytesOf({facet++ % 4}), bytes, index, data}));
        seed(QStringLiteral("wsc"), name + QStringLiteral("-no-multis"), fuzz::joinPieces({bytesOf({2}), bytes, {}, {}}));
    }
}

// The sample's multis whole, one multi alone, and files cut short; ".mlt" files made from the
// same components with their flags split into visible and a hue.
void multiSeeds()
{
    const QByteArray index = readWorld(QStringLiteral("multi.idx"));
    const QByteArray data = readWorld(QStringLiteral("multi.mul"));
    seed(QStringLiteral("multi"), QStringLiteral("sample"), fuzz::joinPieces({index, data}));
    QByteArray oneIndex, oneData;
    QList<int> numbers;
    for (int n = 0; n < index.size() / 12; ++n)
        if (!entryOf(data, recordAt(index, n)).isEmpty())
            numbers.append(n);
    subset(index, data, numbers.mid(0, 1), &oneIndex, &oneData);
    seed(QStringLiteral("multi"), QStringLiteral("one"), fuzz::joinPieces({oneIndex, oneData}));
    // Lengths past the data, a record cut in the middle, an index cut inside a record.
    seed(QStringLiteral("multi"), QStringLiteral("cut"),
         fuzz::joinPieces({index + le32(qint32(data.size() / 2)) + le32(0x7FFFFFF0) + le32(0) + le32(3),
                           data.left(data.size() / 2 + 5)}));

    if (numbers.isEmpty())
        return;
    QByteArray mlt = entryOf(data, recordAt(index, numbers.first()));
    for (qsizetype at = 0; at + 12 <= mlt.size(); at += 12) {
        const bool placed = mlt[at + 8] || mlt[at + 9] || mlt[at + 10] || mlt[at + 11];
        const QByteArray split = bytesOf({placed ? 1 : 0, 0, int(at / 12 % 256), 0});
        mlt.replace(at + 8, 4, split);
    }
    seed(QStringLiteral("mlt"), QStringLiteral("sample-multi"), mlt.left(12 * 40));
    seed(QStringLiteral("mlt"), QStringLiteral("cut-record"), mlt.left(12 * 3 + 7));
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: fuzz_seeds WORLD HAND OUT\n");
        return 2;
    }
    g_world = QString::fromLocal8Bit(argv[1]);
    g_hand = QString::fromLocal8Bit(argv[2]);
    g_out = QString::fromLocal8Bit(argv[3]);
    tileDataSeeds();
    laterTileDataSeeds();
    uopSeeds();
    hueSeeds();
    artSeeds();
    textureSeeds();
    blockSeeds();
    paletteSeeds();
    worldSaveSeeds();
    multiSeeds();
    std::printf("fuzz_seeds: %d seeds in %s\n", g_written, qPrintable(g_out));
    return 0;
}
