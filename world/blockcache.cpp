#include "world/blockcache.h"
#include "world/datadirectory.h"
#include "world/facet.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

BlockCache::BlockCache() = default;

bool BlockCache::setFacet(Facet *facet, QString *error)
{
    const bool stored = flush(error);
    ++m_edits;
    if (m_facet && facet && (!m_changedLand.empty() || !m_changedStatics.empty())) {
        // What the flush could not write is the only copy of those edits.
        Kept &kept = m_kept[m_facet];
        for (int block : m_changedLand) {
            LandBlock b;
            if (m_land.take(block, &b))
                kept.land[block] = std::move(b);
        }
        for (int block : m_changedStatics) {
            StaticBlock b;
            if (m_statics.take(block, &b))
                kept.statics[block] = std::move(b);
        }
    }
    m_changedLand.clear();
    m_changedStatics.clear();
    if (!facet)
        m_kept.clear();
    m_facet = facet;
    m_blocksY = facet ? facet->blocksY() : 0;
    m_blocksX = facet ? facet->blocksX() : 0;
    m_land.clear();
    m_statics.clear();
    forgetMemos();
    // The tile data comes from the data directory as it is when the facet changes; while the
    // directory is gone, the tile data read before serves better than none.
    if (!m_tileData.isOpen() || QFileInfo(dataDirectory()).isDir())
        m_tileData.open();

    // Blocks kept for this facet are newer than anything on disk: cached and changed again.
    const auto it = m_kept.find(facet);
    if (it != m_kept.end()) {
        for (auto &[block, b] : it->second.land) {
            m_land.insert(block, std::move(b));
            m_changedLand.insert(block);
        }
        for (auto &[block, b] : it->second.statics) {
            m_statics.insert(block, std::move(b));
            m_changedStatics.insert(block);
        }
        m_kept.erase(it);
    }
    return stored;
}

void BlockCache::setCapacity(int blocks)
{
    m_capacity = std::clamp(blocks, MinCapacity, MaxCapacity);
    shrinkLand(m_capacity);
    shrinkStatics(m_capacity);
}

int BlockCache::capacityForCells(qint64 cells)
{
    // A region of n cells covers about n / 64 whole blocks plus a border of blocks it cuts.
    // The view's region is a square turned by 45 degrees in cell space; its border costs
    // about sqrt(n) / 2 blocks (measured: 72 blocks at scale 1, 882 at scale 0.25, for 54
    // and 815 whole ones), and 16 more keep a margin.
    if (cells <= 0)
        return MinCapacity;
    const double n = double(cells);
    const double blocks = n / 64.0 + std::sqrt(n) / 2.0 + 16.0;
    return int(std::clamp(std::ceil(blocks), double(MinCapacity), double(MaxCapacity)));
}

void BlockCache::forgetMemos()
{
    m_memoLand = m_memoStatics = -1;
    m_memoLandBlock = nullptr;
    m_memoStaticsBlock = nullptr;
}

bool BlockCache::evictLand(bool write)
{
    if (m_land.size() == 0)
        return true;
    const int key = m_land.leastRecentKey();
    if (m_changedLand.count(key) && m_facet) {
        QString why;
        if (!write || !m_facet->storeLandBlock(key, *m_land.peek(key), &why)) {
            if (write)
                m_lastError = why;
            // Kept, and made the most recent entry so the next eviction tries another
            // block; the memo stands for the most recent entry and no longer does.
            m_land.object(key);
            m_memoLand = -1;
            m_memoLandBlock = nullptr;
            return false;
        }
        m_changedLand.erase(key);
    }
    m_land.take(key);
    if (key == m_memoLand) {
        m_memoLand = -1;
        m_memoLandBlock = nullptr;
    }
    return true;
}

bool BlockCache::evictStatics(bool write)
{
    if (m_statics.size() == 0)
        return true;
    const int key = m_statics.leastRecentKey();
    if (m_changedStatics.count(key) && m_facet) {
        QString why;
        if (!write || !m_facet->storeStaticBlock(key, *m_statics.peek(key), &why)) {
            if (write)
                m_lastError = why;
            m_statics.object(key);
            m_memoStatics = -1;
            m_memoStaticsBlock = nullptr;
            return false;
        }
        m_changedStatics.erase(key);
    }
    m_statics.take(key);
    if (key == m_memoStatics) {
        m_memoStatics = -1;
        m_memoStaticsBlock = nullptr;
    }
    return true;
}

// Every entry is tried at most once: when the edit store refuses, the changed blocks stay
// and the cache holds more than its capacity rather than lose them. After one refusal the
// other changed blocks are passed over unwritten; a full disk costs a frame one failed
// write per block it loads, not one per changed block.
void BlockCache::shrinkLand(int limit)
{
    bool write = true;
    for (int tries = m_land.size(); m_land.size() > limit && tries > 0; --tries)
        write = evictLand(write) && write;
}

void BlockCache::shrinkStatics(int limit)
{
    bool write = true;
    for (int tries = m_statics.size(); m_statics.size() > limit && tries > 0; --tries)
        write = evictStatics(write) && write;
}

LandBlock *BlockCache::fetchLand(int block)
{
    if (block == m_memoLand)
        return m_memoLandBlock;
    if (!m_facet || !validBlock(block))
        return nullptr;
    if (LandBlock *hit = m_land.object(block)) {
        // The memo always names the block used last, which is also the most recent entry
        // of the cache, so answering from it never disturbs the use order.
        m_memoLand = block;
        m_memoLandBlock = hit;
        return hit;
    }
    shrinkLand(m_capacity - 1);
    ++m_landLoads;
    LandBlock *loaded = m_land.insert(block, m_facet->loadLandBlock(block, true));
    m_memoLand = block;
    m_memoLandBlock = loaded;
    return loaded;
}

StaticBlock *BlockCache::fetchStatics(int block)
{
    if (block == m_memoStatics)
        return m_memoStaticsBlock;
    if (!m_facet || !validBlock(block))
        return nullptr;
    if (StaticBlock *hit = m_statics.object(block)) {
        // The memo always names the block used last, which is also the most recent entry
        // of the cache, so answering from it never disturbs the use order.
        m_memoStatics = block;
        m_memoStaticsBlock = hit;
        return hit;
    }
    shrinkStatics(m_capacity - 1);
    ++m_staticLoads;
    StaticBlock *loaded = m_statics.insert(block, m_facet->loadStaticBlock(block, true, true));
    m_memoStatics = block;
    m_memoStaticsBlock = loaded;
    return loaded;
}

const LandBlock &BlockCache::landBlock(int block)
{
    static const LandBlock empty;
    const LandBlock *b = fetchLand(block);
    return b ? *b : empty;
}

const StaticBlock &BlockCache::staticBlock(int block)
{
    static const StaticBlock empty;
    const StaticBlock *b = fetchStatics(block);
    return b ? *b : empty;
}

Tile BlockCache::land(int x, int y)
{
    if (!inside(x, y))
        return Tile();
    const LandBlock *b = fetchLand(blockNumber(x, y, m_blocksY));
    return b ? b->at(cellKey(x, y)) : Tile();
}

void BlockCache::setLand(int x, int y, int mode, int id, int z)
{
    if (!inside(x, y))
        return;
    const int block = blockNumber(x, y, m_blocksY);
    LandBlock *b = fetchLand(block);
    if (!b)
        return;
    if (m_recorder)
        m_recorder->landTouched(block, *b);
    const CellKey key = cellKey(x, y);
    Tile t = b->at(key);
    switch (mode) {
    case 0: {
        const int keep = t.z();
        t = m_tileData.landTile(id);
        t.setZ(keep);
        break;
    }
    case 1:
        t.setZ(z);
        break;
    case 2:
        t = m_tileData.landTile(id);
        t.setZ(z);
        break;
    default:
        break;
    }
    b->insert(key, t);
    m_changedLand.insert(block);
    ++m_edits;
}

TileStack BlockCache::statics(int x, int y)
{
    if (!inside(x, y))
        return TileStack();
    StaticBlock *b = fetchStatics(blockNumber(x, y, m_blocksY));
    return b ? b->entry(cellKey(x, y)) : TileStack();
}

TileStack BlockCache::cellTiles(int x, int y)
{
    if (!inside(x, y))
        return TileStack();
    const int block = blockNumber(x, y, m_blocksY);
    const CellKey key = cellKey(x, y);
    StaticBlock *s = fetchStatics(block);
    const LandBlock *l = fetchLand(block);
    if (!s || !l)
        return TileStack();
    return s->entry(key).withInserted(l->at(key));
}

void BlockCache::setStatic(int x, int y, int mode, const Tile &a, const Tile &b)
{
    if (!inside(x, y))
        return;
    const int block = blockNumber(x, y, m_blocksY);
    StaticBlock *s = fetchStatics(block);
    if (!s)
        return;
    if (m_recorder)
        m_recorder->staticsTouched(block, *s);
    m_changedStatics.insert(block);
    ++m_edits;
    TileStack &stack = s->entry(cellKey(x, y));
    switch (mode) {
    case 0:
        stack.insert(a);
        break;
    case 1:
        stack.removeStatic(a);
        break;
    case 2:
        stack.removeStatic(a);
        stack.insert(b);
        break;
    default:
        break;
    }
}

void BlockCache::putLandBlock(int block, const LandBlock &land)
{
    if (LandBlock *b = fetchLand(block)) {
        *b = land;
        m_changedLand.insert(block);
        ++m_edits;
    }
}

void BlockCache::putStaticBlock(int block, const StaticBlock &statics)
{
    if (StaticBlock *b = fetchStatics(block)) {
        *b = statics;
        m_changedStatics.insert(block);
        ++m_edits;
    }
}

void BlockCache::insertStatics(int x, int y, const Tile *first, const Tile *last)
{
    if (!inside(x, y) || first == last)
        return;
    const int block = blockNumber(x, y, m_blocksY);
    StaticBlock *s = fetchStatics(block);
    if (!s)
        return;
    if (m_recorder)
        m_recorder->staticsTouched(block, *s);
    m_changedStatics.insert(block);
    ++m_edits;
    s->entry(cellKey(x, y)).insertAll(first, last);
}

bool BlockCache::flush(QString *error)
{
    return store(true, error);
}

bool BlockCache::writeChanged(QString *error)
{
    return store(false, error);
}

bool BlockCache::store(bool drop, QString *error)
{
    if (drop)
        forgetMemos();
    QString first;
    auto failed = [&first](const QString &why) {
        if (first.isEmpty())
            first = why;
    };
    if (m_facet) {
        for (auto it = m_changedLand.begin(); it != m_changedLand.end();) {
            QString why;
            const LandBlock *b = m_land.peek(*it);
            if (b && !m_facet->storeLandBlock(*it, *b, &why)) {
                failed(why);
                ++it;
                continue;
            }
            if (drop)
                m_land.take(*it);
            it = m_changedLand.erase(it);
        }
        for (auto it = m_changedStatics.begin(); it != m_changedStatics.end();) {
            QString why;
            const StaticBlock *b = m_statics.peek(*it);
            if (b && !m_facet->storeStaticBlock(*it, *b, &why)) {
                failed(why);
                ++it;
                continue;
            }
            if (drop)
                m_statics.take(*it);
            it = m_changedStatics.erase(it);
        }
    }
    for (auto k = m_kept.begin(); k != m_kept.end();) {
        Facet *facet = k->first;
        for (auto it = k->second.land.begin(); it != k->second.land.end();) {
            QString why;
            if (facet->storeLandBlock(it->first, it->second, &why)) {
                it = k->second.land.erase(it);
            } else {
                failed(why);
                ++it;
            }
        }
        for (auto it = k->second.statics.begin(); it != k->second.statics.end();) {
            QString why;
            if (facet->storeStaticBlock(it->first, it->second, &why)) {
                it = k->second.statics.erase(it);
            } else {
                failed(why);
                ++it;
            }
        }
        k = k->second.land.empty() && k->second.statics.empty() ? m_kept.erase(k) : std::next(k);
    }
    m_lastError = first;
    if (first.isEmpty())
        return true;
    if (error)
        *error = first;
    return false;
}

bool BlockCache::hasUnstoredChanges() const
{
    return !m_changedLand.empty() || !m_changedStatics.empty() || !m_kept.empty();
}

int BlockCache::keptBlocks(const Facet *facet) const
{
    const auto it = m_kept.find(facet);
    return it == m_kept.end() ? 0 : int(it->second.land.size() + it->second.statics.size());
}
