#include "world/blockcache.h"
#include "world/facet.h"

#include <algorithm>
#include <cmath>

BlockCache::BlockCache() = default;

void BlockCache::setFacet(Facet *facet)
{
    flush();
    m_facet = facet;
    m_blocksY = facet ? facet->blocksY() : 0;
    m_blocksX = facet ? facet->blocksX() : 0;
    m_land.clear();
    m_statics.clear();
    m_memoLand = m_memoStatics = -1;
    m_memoLandBlock = nullptr;
    m_memoStaticsBlock = nullptr;
    // The tile data comes from the data directory as it is when the facet changes.
    m_tileData.open();
}

void BlockCache::setCapacity(int blocks)
{
    m_capacity = std::clamp(blocks, MinCapacity, MaxCapacity);
    while (m_land.size() > m_capacity)
        evictLand();
    while (m_statics.size() > m_capacity)
        evictStatics();
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

void BlockCache::evictLand()
{
    if (m_land.size() == 0)
        return;
    const int key = m_land.leastRecentKey();
    LandBlock block;
    m_land.take(key, &block);
    if (m_changedLand.erase(key) && m_facet)
        m_facet->storeLandBlock(key, block);
    if (key == m_memoLand) {
        m_memoLand = -1;
        m_memoLandBlock = nullptr;
    }
}

void BlockCache::evictStatics()
{
    if (m_statics.size() == 0)
        return;
    const int key = m_statics.leastRecentKey();
    StaticBlock block;
    m_statics.take(key, &block);
    if (m_changedStatics.erase(key) && m_facet)
        m_facet->storeStaticBlock(key, block);
    if (key == m_memoStatics) {
        m_memoStatics = -1;
        m_memoStaticsBlock = nullptr;
    }
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
    while (m_land.size() >= m_capacity)
        evictLand();
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
    while (m_statics.size() >= m_capacity)
        evictStatics();
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
    m_changedStatics.insert(block);
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

void BlockCache::flush()
{
    m_memoLand = m_memoStatics = -1;
    m_memoLandBlock = nullptr;
    m_memoStaticsBlock = nullptr;
    if (!m_facet)
        return;
    for (int block : m_changedLand) {
        LandBlock b;
        if (m_land.take(block, &b))
            m_facet->storeLandBlock(block, b);
    }
    m_changedLand.clear();
    for (int block : m_changedStatics) {
        StaticBlock b;
        if (m_statics.take(block, &b))
            m_facet->storeStaticBlock(block, b);
    }
    m_changedStatics.clear();
}
