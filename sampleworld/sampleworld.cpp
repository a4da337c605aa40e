#include "sampleworld.h"

#include "artwork.h"
#include "catalog.h"
#include "output.h"
#include "palette.h"
#include "terrain.h"
#include "uop.h"
#include "worldsave.h"

#include <QDir>
#include <algorithm>
#include <optional>

namespace sampleworld {

QList<int> layoutFacets(Layout layout)
{
    return layout == Layout::Later ? QList<int>{0, 1, 2, 3, 4, 5} : QList<int>{0, 1, 2, 3};
}

QString facetName(int facet)
{
    static const char *const names[] = {"Felucca", "Trammel", "Ilshenar", "Malas", "Tokuno", "Ter Mur"};
    return facet >= 0 && facet < 6 ? QString::fromLatin1(names[facet]) : QString();
}

int mainFileNumber(int facet, Layout layout)
{
    return layout == Layout::Early && facet == 1 ? 0 : facet;
}

QString mapFileName(int facet, const Options &options)
{
    const int n = mainFileNumber(facet, options.layout);
    if (options.layout == Layout::Later && !options.mulMaps.contains(facet))
        return QStringLiteral("map%1LegacyMUL.uop").arg(n);
    return QStringLiteral("map%1.mul").arg(n);
}

int facetBlocksX(int facet, Layout layout)
{
    const bool later = layout == Layout::Later;
    switch (facet) {
    case 0:
    case 1: return later ? 896 : 768;
    case 2: return 288;
    case 3: return 320;
    case 4: return later ? 181 : 0;
    case 5: return later ? 160 : 0;
    default: return 0;
    }
}

int facetBlocksY(int facet, Layout layout)
{
    const bool later = layout == Layout::Later;
    switch (facet) {
    case 0:
    case 1: return 512;
    case 2: return 200;
    case 3: return 256;
    case 4: return later ? 181 : 0;
    case 5: return later ? 512 : 0;
    default: return 0;
    }
}

// first-view.ini: where the editor opens this world when nothing else says where, so a
// first start shows a house rather than the empty corner at (0, 0).
static QByteArray firstViewFile(int facet, const Site &site)
{
    QByteArray out;
    out += "; Where Tessaryn first opens this sample world: on the house nearest the origin,\n";
    out += "; in isometric projection with the statics shown.\n";
    out += "[View]\n";
    out += "Facet=" + QByteArray::number(facet) + "\n";
    out += "X=" + QByteArray::number((site.minX + site.maxX) / 2) + "\n";
    out += "Y=" + QByteArray::number((site.minY + site.maxY) / 2) + "\n";
    out += "Projection=1\n";
    out += "Statics=true\n";
    return out;
}

static void fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
}

static bool checkOptions(const Options &options, QString *error)
{
    const QList<int> known = layoutFacets(options.layout);
    const QString range = QStringLiteral("(facets are 0 to %1)").arg(known.last());
    for (int f : options.facets)
        if (!known.contains(f)) {
            fail(error, QStringLiteral("unknown facet %1 %2").arg(f).arg(range));
            return false;
        }
    if (!options.mulMaps.isEmpty() && options.layout != Layout::Later) {
        fail(error, QStringLiteral("plain maps instead of containers are a choice of the later layout only"));
        return false;
    }
    for (int f : options.mulMaps)
        if (!known.contains(f)) {
            fail(error, QStringLiteral("unknown facet %1 among the plain maps %2").arg(f).arg(range));
            return false;
        }
    if (options.outDir.isEmpty()) {
        fail(error, QStringLiteral("no output directory given"));
        return false;
    }
    return true;
}

// Files every facet shares: tile data, art, textures, hues, multis, the palette.
static bool writeSharedFiles(const Options &options, QList<WrittenFile> *written, QString *error)
{
    const QString &dir = options.outDir;
    const Layout layout = options.layout;
    if (!writeWholeFile(dir, QStringLiteral("tiledata.mul"), tileDataFile(layout), written, error))
        return false;
    QByteArray index, data;
    if (layout == Layout::Later) {
        const QList<ArtRecord> records = artRecords(layout);
        QList<UopEntry> entries;
        for (const ArtRecord &r : records)
            entries.append({QStringLiteral("build/artlegacymul/%1.tga").arg(r.index, 8, 10, QLatin1Char('0')).toLatin1(),
                            r.bytes.constData(), r.bytes.size()});
        UopShape shape;
        shape.seed = 0xa47u;
        if (!writeUop(dir, QStringLiteral("artLegacyMUL.uop"), entries, shape, written, error))
            return false;
    } else {
        artFiles(&index, &data);
        if (!writeWholeFile(dir, QStringLiteral("artidx.mul"), index, written, error)
            || !writeWholeFile(dir, QStringLiteral("art.mul"), data, written, error))
            return false;
    }
    textureFiles(&index, &data);
    if (!writeWholeFile(dir, QStringLiteral("texidx.mul"), index, written, error)
        || !writeWholeFile(dir, QStringLiteral("texmaps.mul"), data, written, error))
        return false;
    if (!writeWholeFile(dir, QStringLiteral("hues.mul"), huesFile(), written, error))
        return false;
    multiFiles(&index, &data, layout);
    if (!writeWholeFile(dir, QStringLiteral("multi.idx"), index, written, error)
        || !writeWholeFile(dir, QStringLiteral("multi.mul"), data, written, error))
        return false;
    if (!writeWholeFile(dir, QStringLiteral("radarcol.mul"), radarColourFile(layout), written, error))
        return false;
    // The palette names its category icons relative to itself, so they go beside it.
    if (!writeWholeFile(dir, QStringLiteral("palette.xml"), paletteFile(layout), written, error))
        return false;
    for (const PaletteIcon &icon : paletteIcons())
        if (!writeWholeFile(dir, icon.name, icon.png, written, error))
            return false;
    return true;
}

bool write(const Options &options, QString *error, QList<WrittenFile> *written)
{
    if (!checkOptions(options, error))
        return false;
    if (!QDir().mkpath(options.outDir)) {
        fail(error, QStringLiteral("cannot create directory %1").arg(options.outDir));
        return false;
    }
    const QString &dir = options.outDir;
    if (!writeSharedFiles(options, written, error))
        return false;

    if (options.layout == Layout::Later) {
        QList<int> facets = options.facets;
        std::sort(facets.begin(), facets.end());
        facets.erase(std::unique(facets.begin(), facets.end()), facets.end());
        // Trammel is Felucca's world with its own blocks here and there, written into its
        // own main files; the world is built once for both.
        std::optional<FacetWorld> felucca;
        MainFiles feluccaFiles;
        for (int f : facets) {
            const bool uop = !options.mulMaps.contains(f);
            std::optional<FacetWorld> own;
            if (f > 1) {
                own.emplace(f, options.seed, Layout::Later);
                if (!writeMainFiles(dir, f, own->mainFiles(), uop, written, error))
                    return false;
            } else {
                if (!felucca) {
                    felucca.emplace(0, options.seed, Layout::Later);
                    feluccaFiles = felucca->mainFiles();
                }
                const MainFiles files = f == 0 ? feluccaFiles : withDifferences(feluccaFiles, felucca->differences(1));
                if (!writeMainFiles(dir, f, files, uop, written, error))
                    return false;
                if (f == 0
                    && !writeWholeFile(dir, QStringLiteral("sample.wsc"), worldSaveFile(*felucca, options.seed), written,
                                       error))
                    return false;
            }
            const FacetWorld &world = own ? *own : *felucca;
            if (f == facets.first()
                && !writeWholeFile(dir, QStringLiteral("first-view.ini"), firstViewFile(f, houseSite(world)), written, error))
                return false;
        }
        return true;
    }

    // Felucca and Trammel share one world; build each world once.
    const int firstFacet = options.facets.isEmpty() ? -1
                                                   : *std::min_element(options.facets.begin(), options.facets.end());
    for (int main : {0, 2, 3}) {
        QList<int> facets;
        for (int f : options.facets)
            if ((f == 1 ? 0 : f) == main && !facets.contains(f))
                facets.append(f);
        if (facets.isEmpty())
            continue;
        std::sort(facets.begin(), facets.end());
        const FacetWorld world(main, options.seed);
        if (!writeMainFiles(dir, main, world.mainFiles(), false, written, error))
            return false;
        for (int f : facets)
            if (!world.writeDifferenceFiles(dir, f, written, error))
                return false;
        if (main == 0 && facets.contains(0)
            && !writeWholeFile(dir, QStringLiteral("sample.wsc"), worldSaveFile(world, options.seed), written, error))
            return false;
        if ((firstFacet == 1 ? 0 : firstFacet) == main
            && !writeWholeFile(dir, QStringLiteral("first-view.ini"), firstViewFile(firstFacet, houseSite(world)),
                               written, error))
            return false;
    }
    return true;
}

namespace {

// A facet's world with what its difference files replace, for answering probes.
class ProbeModel {
public:
    // Trammel is Felucca's world in both layouts: through its difference files in the
    // early one, with those blocks in its own main files in the later one.
    ProbeModel(const Options &options, int facet)
        : m_world(facet == 1 ? 0 : facet, options.seed, options.layout)
    {
        if (options.layout == Layout::Early || facet == 1)
            m_differences = m_world.differences(facet);
    }

    const FacetWorld &world() const { return m_world; }
    int width() const { return m_world.blocksX() * 8; }
    int height() const { return m_world.blocksY() * 8; }

    // The block as a reader sees it: the first difference entry of the block wins.
    void block(int bx, int by, LandCell cells[64], std::vector<StaticRecord> *statics) const
    {
        const int number = bx * m_world.blocksY() + by;
        m_world.landBlock(bx, by, cells);
        for (const Differences::Land &l : m_differences.land)
            if (l.block == number) {
                std::copy(l.cells.begin(), l.cells.end(), cells);
                break;
            }
        // The main statics are placed on the main land, whatever the difference files say.
        LandCell mainCells[64];
        m_world.landBlock(bx, by, mainCells);
        m_world.staticsBlock(bx, by, mainCells, statics);
        for (const Differences::Statics &st : m_differences.statics)
            if (st.block == number) {
                *statics = st.records;
                break;
            }
    }

    Probe cell(int x, int y, const QString &what) const
    {
        LandCell cells[64];
        std::vector<StaticRecord> records;
        block(x / 8, y / 8, cells, &records);
        Probe p;
        p.x = x;
        p.y = y;
        p.what = what;
        const LandCell &c = cells[(y % 8) * 8 + x % 8];
        p.landId = c.id;
        p.landZ = c.z;
        for (const StaticRecord &r : records)
            if (r.x == x % 8 && r.y == y % 8)
                p.statics.append({r.id, r.z, r.hue});
        return p;
    }

    const Differences &differences() const { return m_differences; }

private:
    FacetWorld m_world;
    Differences m_differences;
};

} // namespace

Probe probeCell(const Options &options, int facet, int x, int y)
{
    if (!layoutFacets(options.layout).contains(facet))
        return Probe{};
    const ProbeModel model(options, facet);
    if (x < 0 || y < 0 || x >= model.width() || y >= model.height())
        return Probe{};
    return model.cell(x, y, QStringLiteral("cell"));
}

QList<Probe> probeCells(const Options &options, int facet)
{
    QList<Probe> probes;
    if (!layoutFacets(options.layout).contains(facet))
        return probes;
    const ProbeModel model(options, facet);
    const int w = model.width(), h = model.height(), blocksY = model.world().blocksY();
    const auto add = [&](int x, int y, const QString &what) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        for (const Probe &p : std::as_const(probes))
            if (p.x == x && p.y == y)
                return;
        probes.append(model.cell(x, y, what));
    };
    const auto blockCell = [&](int block, int cx, int cy, const QString &what) {
        add(block / blocksY * 8 + cx, block % blocksY * 8 + cy, what);
    };
    add(0, 0, QStringLiteral("first cell"));
    add(w - 1, h - 1, QStringLiteral("last cell"));
    add(w - 1, 0, QStringLiteral("north-east corner"));
    add(w / 2, h / 2, QStringLiteral("middle"));
    // A map container holds 4096 blocks per entry.
    if (w / 8 * blocksY > 4096) {
        blockCell(4095, 7, 7, QStringLiteral("last cell of the first map chunk"));
        blockCell(4096, 0, 0, QStringLiteral("first cell of the second map chunk"));
    }
    const int lastChunk = (w / 8 * blocksY - 1) / 4096 * 4096;
    if (lastChunk > 0)
        blockCell(lastChunk, 3, 5, QStringLiteral("first block of the last map chunk"));
    if (w > 6144) {
        add(6144, h / 2, QStringLiteral("first column east of 6144"));
        add(6144 + 517, 1234, QStringLiteral("east of 6144"));
        // Statics in the strip the early width cannot reach.
        LandCell cells[64];
        std::vector<StaticRecord> records;
        for (int bx = 6144 / 8 + 40; bx < w / 8; bx += 7) {
            model.block(bx, blocksY / 3, cells, &records);
            if (!records.empty()) {
                add(bx * 8 + records.front().x, blocksY / 3 * 8 + records.front().y, QStringLiteral("statics east of 6144"));
                break;
            }
        }
    }

    // The first building: the cell of its plot with the most statics, and its anchor.
    if (!model.world().buildings().isEmpty()) {
        const FacetWorld::Building &b = model.world().buildings().first();
        Probe best;
        for (int y = b.minY; y <= b.maxY; ++y)
            for (int x = b.minX; x <= b.maxX; ++x) {
                const Probe p = model.cell(x, y, QStringLiteral("building"));
                if (p.statics.size() > best.statics.size())
                    best = p;
            }
        if (!best.statics.isEmpty())
            add(best.x, best.y, QStringLiteral("the most statics of a building"));
        add(b.x0, b.y0, QStringLiteral("building anchor"));
        if (options.layout == Layout::Later)
            add(b.minX, b.minY, QStringLiteral("static above 16383 (the last id)"));
    }

    // Nature: a cell with a tree and its crown, and the later statics that grow there.
    QList<int> wanted{item::Leaves};
    if (options.layout == Layout::Later) {
        wanted.append(later::Fern);
        if (facet == 4)
            wanted.append(later::Bamboo);
        if (facet == 5)
            wanted.append(later::Crystal);
    }
    LandCell cells[64];
    std::vector<StaticRecord> records;
    for (int step = 0; step < 20000 && !wanted.isEmpty(); ++step) {
        // Blocks spread over the facet by a fixed walk.
        const int bx = int(hash2(0x9b0be5u, step, 0) % quint32(w / 8));
        const int by = int(hash2(0x9b0be5u, step, 1) % quint32(blocksY));
        model.block(bx, by, cells, &records);
        for (const StaticRecord &r : records)
            if (wanted.removeOne(r.id))
                add(bx * 8 + r.x, by * 8 + r.y, QStringLiteral("static %1").arg(r.id));
    }

    // What the difference files replace (the first entry of each listed block counts),
    // or in the later layout Trammel's own blocks.
    const QString source = options.layout == Layout::Early ? QStringLiteral("the difference files")
                                                           : QStringLiteral("Trammel's own blocks");
    for (const Differences::Land &l : model.differences().land)
        blockCell(l.block, 2, 5, QStringLiteral("land of ") + source);
    for (const Differences::Statics &st : model.differences().statics) {
        if (st.records.empty()) {
            blockCell(st.block, 0, 0, QStringLiteral("statics cleared by ") + source);
            continue;
        }
        const StaticRecord &r = st.records.front();
        blockCell(st.block, r.x, r.y, QStringLiteral("statics of ") + source);
    }
    return probes;
}

} // namespace sampleworld
