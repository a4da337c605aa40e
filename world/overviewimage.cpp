#include "world/overviewimage.h"
#include "tiles/artstore.h"
#include "tiles/texturestore.h"
#include "tiles/tiledata.h"
#include "world/blockcache.h"
#include "world/datadirectory.h"
#include "world/facet.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <limits>

// ---- colours -------------------------------------------------------------------------------

OverviewColours::OverviewColours()
    : m_land(RadarColours::StaticBase, Unknown), m_statics(0x10000, Unknown), m_adjust(0x10000, -1)
{
    const QString dir = dataDirectory();
    const QString path = dir + QStringLiteral("/radarcol.mul");
    if (!dir.isEmpty() && QFileInfo::exists(path))
        m_radar.load(path, &m_loadError);
}

OverviewColours::~OverviewColours() = default;

ArtStore &OverviewColours::art()
{
    if (!m_art)
        m_art = std::make_unique<ArtStore>();
    return *m_art;
}

TextureStore &OverviewColours::textures()
{
    if (!m_textures)
        m_textures = std::make_unique<TextureStore>();
    return *m_textures;
}

int OverviewColours::meanColour(const QImage &image)
{
    if (image.isNull())
        return -1;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < argb.height(); ++y) {
        const quint32 *line = reinterpret_cast<const quint32 *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const quint32 p = line[x];
            if ((p >> 24) == 0)
                continue;
            // Each channel at its full 8-bit range (the low bits repeat the high ones), as a
            // colour table made from pictures of the art has it.
            const auto full = [](quint32 c) { return qint64(c | (c >> 5)); };
            r += full((p >> 16) & 0xFF);
            g += full((p >> 8) & 0xFF);
            b += full(p & 0xFF);
            ++n;
        }
    }
    if (n == 0)
        return -1;
    // The 8-bit mean, cut down, narrowed to 5 bits: a one-colour image gives back its own
    // stored colour.
    const auto narrow = [n](qint64 sum) { return int((sum / n) >> 3) & 31; };
    return (narrow(r) << 10) | (narrow(g) << 5) | narrow(b);
}

quint16 OverviewColours::land(int id, TileData &tileData)
{
    if (id < 0 || id >= RadarColours::StaticBase)
        return 0;
    qint32 &c = m_land[size_t(id)];
    if (c == Unknown) {
        if (m_radar.has(id)) {
            c = m_radar.landColour(id);
        } else {
            c = meanColour(art().landArt(id, 255));
            if (c < 0) {
                const int texture = qint16(tileData.landTile(id).texture());
                if (texture > 0)
                    c = meanColour(textures().texture(texture, Hue(), 255));
            }
            c = std::max(c, 0);
        }
    }
    return quint16(c);
}

int OverviewColours::staticColour(int id, TileData &)
{
    if (id < 0 || id > 0xFFFF)
        return -1;
    qint32 &c = m_statics[size_t(id)];
    if (c == Unknown)
        c = m_radar.has(RadarColours::StaticBase + id) ? m_radar.staticColour(id)
                                                        : meanColour(art().staticArt(id, 255));
    return c;
}

int OverviewColours::staticAdjust(int id, TileData &tileData)
{
    if (id < 0 || id > 0xFFFF)
        return 1;
    qint8 &a = m_adjust[size_t(id)];
    if (a < 0) {
        const Tile t = tileData.staticTile(id);
        a = qint8(t.adjust());
    }
    return a;
}

// ---- the image -----------------------------------------------------------------------------

namespace {

// The colour of the top static among raw static records (the one drawn last), -1 per cell
// without a coloured static; land colours fill the rest.
void colourBlock(const QByteArray &land, const QByteArray &statics, TileData &tileData,
                 OverviewColours &colours, quint16 out[64])
{
    int best[64];
    int bestColour[64];
    std::fill(std::begin(best), std::end(best), std::numeric_limits<int>::min());
    std::fill(std::begin(bestColour), std::end(bestColour), -1);
    const int count = int(statics.size() / StaticBlock::RecordSize);
    const uchar *p = reinterpret_cast<const uchar *>(statics.constData());
    for (int r = 0; r < count; ++r, p += StaticBlock::RecordSize) {
        const int x = qint8(p[2]), y = qint8(p[3]);
        if (x < 0 || x > 7 || y < 0 || y > 7)
            continue;
        const int id = qFromLittleEndian<quint16>(p);
        const int sortZ = qint8(p[4]) + colours.staticAdjust(id, tileData);
        const int i = y * 8 + x;
        if (sortZ < best[i])
            continue; // a later record of equal place is drawn after: >= takes it
        best[i] = sortZ;
        bestColour[i] = colours.staticColour(id, tileData);
    }
    const bool wholeLand = land.size() == LandBlock::RecordSize;
    const uchar *l = reinterpret_cast<const uchar *>(land.constData()) + 4;
    for (int i = 0; i < 64; ++i) {
        if (bestColour[i] >= 0)
            out[i] = quint16(bestColour[i]);
        else
            out[i] = colours.land(wholeLand ? qFromLittleEndian<quint16>(l + 3 * i) : 0, tileData);
    }
}

} // namespace

void OverviewImage::build(Facet &facet, TileData &tileData, OverviewColours &colours, BlockCache *cache)
{
    const int bx = facet.blocksX(), by = facet.blocksY();
    m_facet = facet.facetNumber();
    m_blocksY = by;
    m_image = QImage(bx * 8, by * 8, QImage::Format_RGB555);
    m_blocksColoured = 0;
    if (m_image.isNull()) {
        ++m_revision;
        return;
    }
    m_image.fill(0);
    QByteArray land, statics;
    quint16 cells[64];
    for (int b = 0; b < bx * by; ++b) {
        if (!facet.readWorkingFile(b, land, Facet::LandKind) || land.size() != LandBlock::RecordSize)
            land = facet.readLandRaw(b);
        if (!facet.readWorkingFile(b, statics, Facet::StaticsKind))
            statics = facet.readStaticsRaw(b);
        colourBlock(land, statics, tileData, colours, cells);
        const int x0 = (b / by) * 8, y0 = (b % by) * 8;
        for (int i = 0; i < 64; ++i)
            setCell(x0 + (i & 7), y0 + (i >> 3), cells[i]);
    }
    m_blocksColoured = bx * by;
    ++m_revision;
    if (cache && cache->facet() == &facet) {
        QList<int> changed;
        for (int b : cache->changedLand())
            changed.append(b);
        for (int b : cache->changedStatics())
            changed.append(b);
        const int built = m_blocksColoured;
        update(*cache, changed, colours);
        m_blocksColoured = built;
    }
}

QRect OverviewImage::update(BlockCache &cache, const QList<int> &blocks, OverviewColours &colours)
{
    QRect changed;
    m_blocksColoured = 0;
    if (m_image.isNull() || m_blocksY <= 0)
        return changed;
    const int blockCount = (m_image.width() / 8) * m_blocksY;
    TileData &tileData = cache.tileData();
    std::vector<int> sorted(blocks.begin(), blocks.end());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (int b : sorted) {
        if (b < 0 || b >= blockCount)
            continue;
        const LandBlock landBlock = cache.landBlock(b); // copied: the next fetch may evict it
        const StaticBlock &staticBlock = cache.staticBlock(b);
        const int x0 = (b / m_blocksY) * 8, y0 = (b % m_blocksY) * 8;
        for (int i = 0; i < 64; ++i) {
            const CellKey key = cellKeyAt(i);
            int colour = -1;
            // A stack is in drawing order: its last static is the top one. World-save items
            // belong to no file and are left out, as the build leaves them out.
            const TileStack &stack = staticBlock.at(key);
            for (int k = stack.size() - 1; k >= 0 && colour < 0; --k) {
                if (stack[k].isStatic()) {
                    colour = colours.staticColour(stack[k].id(), tileData);
                    break;
                }
            }
            if (colour < 0) {
                const Tile &t = landBlock.at(key);
                colour = colours.land(t.isEmpty() ? 0 : t.id(), tileData);
            }
            setCell(x0 + cellKeyX(key), y0 + cellKeyY(key), quint16(colour));
        }
        changed |= QRect(x0, y0, 8, 8);
        ++m_blocksColoured;
    }
    if (m_blocksColoured > 0)
        ++m_revision;
    return changed;
}

quint16 OverviewImage::colourAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return 0;
    return reinterpret_cast<const quint16 *>(m_image.constScanLine(y))[x];
}
