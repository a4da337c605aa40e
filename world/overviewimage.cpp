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
// without a coloured static; land colours fill the rest. heights: the land's z per cell.
void colourBlock(const QByteArray &land, const QByteArray &statics, TileData &tileData,
                 OverviewColours &colours, quint16 out[64], qint8 heights[64])
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
        heights[i] = wholeLand ? qint8(l[3 * i + 2]) : qint8(0);
        if (bestColour[i] >= 0)
            out[i] = quint16(bestColour[i]);
        else
            out[i] = colours.land(wholeLand ? qFromLittleEndian<quint16>(l + 3 * i) : 0, tileData);
    }
}

} // namespace

void OverviewImage::build(Facet &facet, TileData &tileData, OverviewColours &colours, BlockCache *cache)
{
    begin(facet);
    int blocks = 0;
    for (int py = 0; py < m_piecesY; ++py)
        for (int px = 0; px < m_piecesX; ++px) {
            buildPiece(facet, tileData, colours, cache, px, py);
            blocks += m_blocksColoured;
        }
    m_blocksColoured = blocks;
    ++m_revision;
}

void OverviewImage::begin(const Facet &facet)
{
    const int bx = facet.blocksX(), by = facet.blocksY();
    m_facet = facet.facetNumber();
    m_blocksY = by;
    m_image = QImage(bx * 8, by * 8, QImage::Format_RGB555);
    m_blocksColoured = 0;
    m_piecesBuilt = 0;
    ++m_revision;
    if (m_image.isNull()) {
        m_heights.clear();
        m_pieces.clear();
        m_piecesX = m_piecesY = 0;
        return;
    }
    m_image.fill(0);
    m_heights.assign(size_t(m_image.width()) * size_t(m_image.height()), 0);
    m_piecesX = (bx + PieceBlocks - 1) / PieceBlocks;
    m_piecesY = (by + PieceBlocks - 1) / PieceBlocks;
    m_pieces.assign(size_t(m_piecesX) * size_t(m_piecesY), 0);
}

bool OverviewImage::pieceBuilt(int px, int py) const
{
    if (px < 0 || py < 0 || px >= m_piecesX || py >= m_piecesY)
        return false;
    return m_pieces[size_t(py) * size_t(m_piecesX) + size_t(px)] != 0;
}

int OverviewImage::colourBlocks(Facet &facet, TileData &tileData, OverviewColours &colours, int bx0, int by0,
                                int bx1, int by1)
{
    QByteArray land, statics;
    quint16 cells[64];
    qint8 heights[64];
    const int w = m_image.width();
    for (int bx = bx0; bx < bx1; ++bx) {
        for (int by = by0; by < by1; ++by) {
            const int b = bx * m_blocksY + by;
            if (!facet.readWorkingFile(b, land, Facet::LandKind) || land.size() != LandBlock::RecordSize)
                land = facet.readLandRaw(b);
            if (!facet.readWorkingFile(b, statics, Facet::StaticsKind))
                statics = facet.readStaticsRaw(b);
            colourBlock(land, statics, tileData, colours, cells, heights);
            const int x0 = bx * 8, y0 = by * 8;
            for (int i = 0; i < 64; ++i) {
                setCell(x0 + (i & 7), y0 + (i >> 3), cells[i]);
                m_heights[size_t(y0 + (i >> 3)) * size_t(w) + size_t(x0 + (i & 7))] = heights[i];
            }
        }
    }
    return (bx1 - bx0) * (by1 - by0);
}

QRect OverviewImage::buildPiece(Facet &facet, TileData &tileData, OverviewColours &colours, BlockCache *cache,
                                int px, int py)
{
    m_blocksColoured = 0;
    if (px < 0 || py < 0 || px >= m_piecesX || py >= m_piecesY)
        return QRect();
    const int blocksX = m_image.width() / 8;
    const int bx0 = px * PieceBlocks, by0 = py * PieceBlocks;
    const int bx1 = std::min(blocksX, bx0 + PieceBlocks), by1 = std::min(m_blocksY, by0 + PieceBlocks);
    const int built = colourBlocks(facet, tileData, colours, bx0, by0, bx1, by1);
    char &flag = m_pieces[size_t(py) * size_t(m_piecesX) + size_t(px)];
    if (!flag) {
        flag = 1;
        ++m_piecesBuilt;
    }
    ++m_revision;
    if (cache && cache->facet() == &facet) {
        // What the cache holds changed inside the piece: each column of blocks is a range of
        // block numbers.
        QList<int> changed;
        for (const std::set<int> *set : {&cache->changedLand(), &cache->changedStatics()})
            for (int bx = bx0; bx < bx1; ++bx)
                for (auto it = set->lower_bound(bx * m_blocksY + by0); it != set->end() && *it < bx * m_blocksY + by1; ++it)
                    changed.append(*it);
        if (!changed.isEmpty())
            update(*cache, changed, colours);
    }
    m_blocksColoured = built;
    return QRect(bx0 * 8, by0 * 8, (bx1 - bx0) * 8, (by1 - by0) * 8);
}

QRect OverviewImage::update(BlockCache &cache, const QList<int> &blocks, OverviewColours &colours)
{
    QRect changed;
    m_blocksColoured = 0;
    if (m_image.isNull() || m_blocksY <= 0)
        return changed;
    const int blockCount = (m_image.width() / 8) * m_blocksY;
    const int w = m_image.width();
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
            const Tile &t = landBlock.at(key);
            if (colour < 0)
                colour = colours.land(t.isEmpty() ? 0 : t.id(), tileData);
            const int x = x0 + cellKeyX(key), y = y0 + cellKeyY(key);
            setCell(x, y, quint16(colour));
            m_heights[size_t(y) * size_t(w) + size_t(x)] = t.isEmpty() ? qint8(0) : qint8(t.z());
        }
        changed |= QRect(x0, y0, 8, 8);
        ++m_blocksColoured;
    }
    if (m_blocksColoured > 0)
        ++m_revision;
    return changed;
}

int OverviewImage::heightAt(int x, int y) const
{
    if (m_heights.empty())
        return 0;
    x = std::clamp(x, 0, m_image.width() - 1);
    y = std::clamp(y, 0, m_image.height() - 1);
    return m_heights[size_t(y) * size_t(m_image.width()) + size_t(x)];
}

quint16 OverviewImage::colourAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return 0;
    return reinterpret_cast<const quint16 *>(m_image.constScanLine(y))[x];
}
