#pragma once
#include "tiles/tiledata.h"
#include "world/lrucache.h"
#include "world/tile.h"

#include <set>

class Facet;

// The one way the editor looks at and changes the map: cell accessors over the land and
// statics blocks of the current facet, kept in two least-recently-used caches with a
// one-entry memo in front of each. Changed blocks reach the facet's working files when they
// leave the cache or on flush.
//
// Capacity: at least 100 blocks per kind, the whole of what a normal view shows. The view
// raises it with setCapacity (capacityForCells of its visible region) when zoomed out, so
// a second walk over the same region decodes nothing; MaxCapacity bounds it. A land block
// holds 64 tiles (about 4 KiB) and a statics block 64 small stacks (about 14 KiB plus the
// rare stack of more than three tiles), so at the bound the caches hold under 40 MiB.
class BlockCache
{
public:
    static constexpr int MinCapacity = 100;
    static constexpr int MaxCapacity = 2048;

    BlockCache();
    BlockCache(const BlockCache &) = delete;
    BlockCache &operator=(const BlockCache &) = delete;

    // Flushes, then makes facet current and empties both caches: no block of the previous
    // facet can be returned for the new one. Null leaves the cache without a facet.
    void setFacet(Facet *facet);
    Facet *facet() const { return m_facet; }
    int blocksX() const { return m_blocksX; }
    int blocksY() const { return m_blocksY; }

    // Blocks per kind the caches keep, clamped to MinCapacity..MaxCapacity. Lowering it
    // evicts (writing changed blocks away) down to the new size.
    void setCapacity(int blocks);
    int capacity() const { return m_capacity; }
    // A capacity that holds every block a region of the given number of cells touches.
    static int capacityForCells(qint64 cells);

    // The cached block; valid until the next fetch that may evict it. A block number outside
    // the facet gives an empty block that is not cached.
    const LandBlock &landBlock(int block);
    const StaticBlock &staticBlock(int block);

    // The cell's land tile; the empty tile (id -1) outside the facet.
    Tile land(int x, int y);
    // mode 0: tile of id, keep z; 1: keep tile, set z; 2: tile of id and z; other: unchanged.
    // Marks the block changed. Outside the facet nothing happens.
    void setLand(int x, int y, int mode, int id, int z);
    // The cell's statics (creating an empty entry for the cell); empty outside the facet.
    TileStack statics(int x, int y);
    // The cell's statics with its land tile in drawing order; empty outside the facet.
    TileStack cellTiles(int x, int y);
    // Marks the block changed, then mode 0 inserts a; 1 removes the static equal to a (same
    // id and z); 2 removes a and inserts b; other modes change nothing. Outside the facet
    // nothing happens.
    void setStatic(int x, int y, int mode, const Tile &a, const Tile &b);

    // Writes every changed block to the edit store and drops it from the cache.
    void flush();

    const std::set<int> &changedLand() const { return m_changedLand; }
    const std::set<int> &changedStatics() const { return m_changedStatics; }
    int cachedLandBlocks() const { return m_land.size(); }
    int cachedStaticBlocks() const { return m_statics.size(); }
    // Blocks decoded from the facet so far (cache misses), per kind.
    int landLoads() const { return m_landLoads; }
    int staticLoads() const { return m_staticLoads; }

    TileData &tileData() { return m_tileData; }

private:
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < m_blocksX * 8 && y < m_blocksY * 8; }
    bool validBlock(int block) const { return block >= 0 && block < m_blocksX * m_blocksY; }
    LandBlock *fetchLand(int block);
    StaticBlock *fetchStatics(int block);
    void evictLand();
    void evictStatics();

    Facet *m_facet = nullptr;
    std::set<int> m_changedLand;
    std::set<int> m_changedStatics;
    LruCache<LandBlock> m_land;
    LruCache<StaticBlock> m_statics;
    int m_blocksY = 0;
    int m_blocksX = 0;
    TileData m_tileData;
    int m_memoLand = -1;
    LandBlock *m_memoLandBlock = nullptr;
    int m_memoStatics = -1;
    StaticBlock *m_memoStaticsBlock = nullptr;
    int m_capacity = MinCapacity;
    int m_landLoads = 0;
    int m_staticLoads = 0;
};
