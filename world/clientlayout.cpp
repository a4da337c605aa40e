#include "world/clientlayout.h"
#include "world/uopfile.h"
#include "tiles/tiledata.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>

namespace {

constexpr qint64 kBlockBytes = 196;
constexpr qint64 kEarlyLand = TileData::StaticRegion;
constexpr qint64 kEarlyGroup = TileData::StaticGroupSize;
constexpr qint64 kLaterLand = TileData::LaterStaticRegion;
constexpr qint64 kLaterGroup = TileData::LaterStaticGroupSize;

QString bytes(qint64 n)
{
    return groupedNumber(n) + QStringLiteral(" bytes");
}

QString number(qint64 n)
{
    return groupedNumber(n);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The size for the facet a map's byte count gives, or false when it fits none of its widths.
bool widthOf(int facet, qint64 size, int blocksY, int *blocksX)
{
    const qint64 row = kBlockBytes * blocksY;
    if (size <= 0 || size % row != 0)
        return false;
    const QList<int> widths = ClientLayout::knownWidths(facet);
    const qint64 w = size / row;
    if (!widths.contains(int(w)))
        return false;
    *blocksX = int(w);
    return true;
}

struct Cache {
    QMutex mutex;
    QHash<QString, std::shared_ptr<const ClientLayout>> layouts;
};

Cache &cache()
{
    static Cache c;
    return c;
}

} // namespace

QString groupedNumber(qint64 n)
{
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return n < 0 ? QLatin1Char('-') + digits : digits;
}

QString ClientLayout::facetName(int facet)
{
    static const char *const names[] = {"Felucca", "Trammel", "Ilshenar", "Malas", "Tokuno", "Ter Mur"};
    return facet >= 0 && facet < FacetCount ? QString::fromLatin1(names[facet]) : QString();
}

int ClientLayout::tableBlocksX(int facet)
{
    static const int widths[] = {768, 768, 288, 320, 181, 160};
    return facet >= 0 && facet < FacetCount ? widths[facet] : 0;
}

int ClientLayout::tableBlocksY(int facet)
{
    static const int heights[] = {512, 512, 200, 256, 181, 512};
    return facet >= 0 && facet < FacetCount ? heights[facet] : 0;
}

QList<int> ClientLayout::knownWidths(int facet)
{
    if (facet == 0 || facet == 1)
        return {768, 896};
    if (facet >= 2 && facet < FacetCount)
        return {tableBlocksX(facet)};
    return {};
}

qint64 ClientLayout::tileDataSize(TileDataLayout layout, int staticGroups)
{
    switch (layout) {
    case TileDataLayout::Early: return kEarlyLand + staticGroups * kEarlyGroup;
    case TileDataLayout::Later: return kLaterLand + staticGroups * kLaterGroup;
    default: return 0;
    }
}

const FacetLayout &ClientLayout::facet(int f) const
{
    return f >= 0 && f < m_facets.size() ? m_facets.at(f) : m_none;
}

QString ClientLayout::saveRefusal(int f, int mode) const
{
    if (!m_dirProblem.isEmpty())
        return m_dirProblem;
    if (f < 0 || f >= FacetCount)
        return QStringLiteral("There is no facet %1").arg(f);
    const FacetLayout &fl = m_facets.at(f);
    if (!fl.problem.isEmpty() && (fl.present() || mode == 0))
        return fl.problem;
    return m_tileDataProblem;
}

ClientLayout ClientLayout::detect(const QString &dir)
{
    ClientLayout l;
    l.m_dir = dir;
    const QFileInfo info(dir);
    l.m_readable = !dir.isEmpty() && info.isDir() && info.isReadable();
    if (dir.isEmpty())
        l.m_dirProblem = QStringLiteral("No data directory is set; choose the client's directory first");
    else if (!l.m_readable)
        l.m_dirProblem = QStringLiteral("The data directory %1 does not exist or cannot be read").arg(native(dir));
    const QString base = dir + QLatin1Char('/');
    auto exists = [&](const QString &name) { return l.m_readable && QFileInfo(base + name).isFile(); };
    auto sizeOf = [&](const QString &name) { return QFileInfo(base + name).size(); };

    bool anyMap = false;
    for (int f = 0; f < FacetCount; ++f) {
        FacetLayout fl;
        fl.facet = f;
        fl.name = facetName(f);
        const bool ownTrammel = f == 1 && (exists(QStringLiteral("map1.mul")) || exists(QStringLiteral("map1LegacyMUL.uop")));
        fl.mainNumber = f == 1 && !ownTrammel ? 0 : f;
        fl.sharesMain = f == 1 && !ownTrammel;
        fl.blocksX = tableBlocksX(f);
        fl.blocksY = tableBlocksY(f);
        const QString mul = QStringLiteral("map%1.mul").arg(fl.mainNumber);
        const QString uop = QStringLiteral("map%1LegacyMUL.uop").arg(fl.mainNumber);
        bool readable = true;
        if (exists(uop)) {
            // What a current client reads; a map<N>.mul beside it is an old copy.
            fl.mapFile = uop;
            fl.mapIsUop = true;
            QString why;
            if (auto tables = UopMap::readTables(base + uop, fl.mainNumber, &why)) {
                fl.mapSize = tables->size;
                fl.mapTables = std::move(tables);
            } else {
                readable = false;
                fl.problem = why;
            }
            if (exists(mul))
                fl.notes.append(QStringLiteral("%1 lies beside %2 and is not read").arg(mul, uop));
        } else if (exists(mul)) {
            fl.mapFile = mul;
            fl.mapSize = sizeOf(mul);
        }
        if (!fl.present()) {
            fl.problem = QStringLiteral("No map for %1: neither %2 nor %3 is in %4")
                             .arg(fl.name, mul, uop, native(dir));
        } else if (readable) {
            anyMap = true;
            const qint64 row = kBlockBytes * fl.blocksY;
            const qint64 smallest = row * knownWidths(f).first();
            if (widthOf(f, fl.mapSize, fl.blocksY, &fl.blocksX)) {
                fl.sizeFromMap = true;
            } else if (fl.mapSize < smallest) {
                // A map shorter than any client's: its missing blocks read as empty land, as
                // they always have; a main save writes them out in full.
                fl.notes.append(QStringLiteral("%1 holds %2 of the %3 blocks of %4; the others read as empty")
                                    .arg(fl.mapFile, number(fl.mapSize / kBlockBytes), number(smallest / kBlockBytes),
                                         fl.name));
            } else {
                QStringList expected;
                for (int w : knownWidths(f))
                    expected.append(bytes(row * w) + QStringLiteral(" (%1 x %2 cells)").arg(w * 8).arg(fl.blocksY * 8));
                fl.problem = QStringLiteral("%1 holds %2, which fits no size of %3 (expected %4)")
                                 .arg(native(base + fl.mapFile), bytes(fl.mapSize), fl.name,
                                      expected.join(QStringLiteral(" or ")));
                // Shown at the width that holds all of it, so nothing is hidden; never saved.
                for (int w : knownWidths(f)) {
                    fl.blocksX = w;
                    if (row * w >= fl.mapSize)
                        break;
                }
            }
        }
        if (exists(fl.staticsIndexFile())) {
            fl.staticsIndexSize = sizeOf(fl.staticsIndexFile());
            if (fl.problem.isEmpty() && fl.staticsIndexSize > fl.blockCount() * 12)
                fl.problem = QStringLiteral("%1 holds %2 records, but the map of %3 has %4 blocks")
                                 .arg(native(base + fl.staticsIndexFile()), number(fl.staticsIndexSize / 12), fl.name,
                                      number(fl.blockCount()));
        }
        fl.hasStaticsData = exists(fl.staticsDataFile());
        fl.hasDifferences = exists(QStringLiteral("mapdifl%1.mul").arg(f)) || exists(QStringLiteral("stadifl%1.mul").arg(f));
        if (fl.present() && !fl.problem.isEmpty())
            l.m_warnings.append(fl.problem);
        l.m_facets.append(fl);
    }

    if (exists(QStringLiteral("tiledata.mul"))) {
        const qint64 size = sizeOf(QStringLiteral("tiledata.mul"));
        l.m_tileDataSize = size;
        if (TileData::isLaterSize(size))
            l.m_tileData = TileDataLayout::Later;
        else if (size >= kEarlyLand && (size - kEarlyLand) % kEarlyGroup == 0)
            l.m_tileData = TileDataLayout::Early;
        else {
            l.m_tileData = TileDataLayout::Unknown;
            l.m_tileDataProblem = QStringLiteral("%1 holds %2, which fits no tile-data layout (expected %3 + a "
                                                 "multiple of 1,188 bytes, or %4 + a multiple of 1,316 bytes)")
                                      .arg(native(base + QStringLiteral("tiledata.mul")), bytes(size),
                                           number(kEarlyLand), number(kLaterLand));
            l.m_warnings.append(l.m_tileDataProblem);
        }
    }
    if (exists(QStringLiteral("artLegacyMUL.uop")))
        l.m_art = ArtSource::Uop;
    else if (exists(QStringLiteral("artidx.mul")) && exists(QStringLiteral("art.mul")))
        l.m_art = ArtSource::Mul;
    l.m_radarcol = exists(QStringLiteral("radarcol.mul"));

    if (l.m_readable && !anyMap) {
        bool truncated = false;
        for (const FacetLayout &fl : l.m_facets)
            truncated = truncated || fl.present();
        if (!truncated) {
            l.m_dirProblem = QStringLiteral("The data directory %1 holds no map of any facet (map0.mul or "
                                            "map0LegacyMUL.uop and the like)")
                                 .arg(native(dir));
            l.m_warnings.prepend(l.m_dirProblem);
        }
    } else if (!dir.isEmpty() && !l.m_readable) {
        l.m_warnings.prepend(l.m_dirProblem);
    }
    return l;
}

std::shared_ptr<const ClientLayout> ClientLayout::of(const QString &dir)
{
    Cache &c = cache();
    {
        QMutexLocker lock(&c.mutex);
        const auto it = c.layouts.constFind(dir);
        if (it != c.layouts.constEnd())
            return it.value();
    }
    return refresh(dir);
}

std::shared_ptr<const ClientLayout> ClientLayout::refresh(const QString &dir)
{
    auto layout = std::make_shared<const ClientLayout>(detect(dir));
    Cache &c = cache();
    QMutexLocker lock(&c.mutex);
    c.layouts.insert(dir, layout);
    return layout;
}
