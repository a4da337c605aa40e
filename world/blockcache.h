#pragma once
#include "tiles/tiledata.h"
#include "world/lrucache.h"
#include "world/tile.h"

#include <QString>

#include <map>
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
//
// A changed block leaves memory only once its working file is written. When the edit store
// refuses (no working directory, a full disk), the block stays cached and changed, beyond
// the capacity if need be, and every later eviction or flush tries again; lastError tells
// why it failed. Changed blocks of a facet switched away from that could not be written are
// kept for that facet and come back when it is current again.
class BlockCache
{
public:
    // Told of every cell change before it is made, with the block as it is then: what an
    // edit history needs to take the change back exactly.
    class Recorder
    {
    public:
        virtual ~Recorder() = default;
        virtual void landTouched(int block, const LandBlock &before) = 0;
        virtual void staticsTouched(int block, const StaticBlock &before) = 0;
    };

    static constexpr int MinCapacity = 100;
    static constexpr int MaxCapacity = 2048;

    BlockCache();
    BlockCache(const BlockCache &) = delete;
    BlockCache &operator=(const BlockCache &) = delete;

    // Flushes, then makes facet current and empties both caches: no block of the previous
    // facet can be returned for the new one. Changed blocks the flush could not write are
    // kept for their facet (false then, and error says why); they are cached again when that
    // facet is made current and written by a later flush. Null leaves the cache without a
    // facet and forgets every block, kept ones too: the view passes it only when it closes,
    // when its facets go with their working files. A facet with kept blocks must outlive
    // them (until they are written or the cache is set to null).
    bool setFacet(Facet *facet, QString *error = nullptr);
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
    // The same as setStatic mode 0 for every tile of [first, last) in turn, merged in at once.
    void insertStatics(int x, int y, const Tile *first, const Tile *last);

    void setRecorder(Recorder *recorder) { m_recorder = recorder; }

    // Replaces a whole block of the current facet and marks it changed, without telling the
    // recorder (undo and redo put back what it recorded). Outside the facet nothing happens.
    void putLandBlock(int block, const LandBlock &land);
    void putStaticBlock(int block, const StaticBlock &statics);

    // Writes every changed block to the edit store like flush, but keeps it cached: what
    // makes edits reach their working files soon after they are made.
    bool writeChanged(QString *error = nullptr);

    // Writes every changed block to the edit store and drops it from the cache, the blocks
    // kept for other facets too. A block whose working file cannot be written stays cached
    // and changed (or kept); false then, and error (and lastError) names the first file that
    // failed and the system's reason.
    bool flush(QString *error = nullptr);

    // Why the latest working-file write of an eviction or a flush failed; empty when there
    // was none since the last flush that wrote everything.
    QString lastError() const { return m_lastError; }
    // Changed blocks that are not in working files yet, of every facet.
    bool hasUnstoredChanges() const;
    // Blocks kept for facet, which is not the current one, because they could not be written.
    int keptBlocks(const Facet *facet) const;

    const std::set<int> &changedLand() const { return m_changedLand; }
    const std::set<int> &changedStatics() const { return m_changedStatics; }
    int cachedLandBlocks() const { return m_land.size(); }
    int cachedStaticBlocks() const { return m_statics.size(); }
    // Blocks decoded from the facet so far (cache misses), per kind.
    int landLoads() const { return m_landLoads; }
    int staticLoads() const { return m_staticLoads; }
    // Grows with every change of what the cache shows: a write to a block, a block put in
    // whole, another facet. Loading and evicting leave it alone.
    quint64 edits() const { return m_edits; }

    TileData &tileData() { return m_tileData; }

private:
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < m_blocksX * 8 && y < m_blocksY * 8; }
    bool validBlock(int block) const { return block >= 0 && block < m_blocksX * m_blocksY; }
    LandBlock *fetchLand(int block);
    StaticBlock *fetchStatics(int block);
    // Evict the least recently used block. A changed one whose working file cannot be
    // written (or, without write, is not to be written now) becomes the most recent instead,
    // and false is returned.
    bool evictLand(bool write);
    bool evictStatics(bool write);
    // Evicts until at most limit blocks remain or every block has been tried once.
    void shrinkLand(int limit);
    void shrinkStatics(int limit);
    void forgetMemos();
    bool store(bool drop, QString *error);

    // Changed blocks of a facet that is not current, kept because they could not be written.
    struct Kept {
        std::map<int, LandBlock> land;
        std::map<int, StaticBlock> statics;
    };

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
    quint64 m_edits = 0;
    std::map<Facet *, Kept, std::less<>> m_kept;
    QString m_lastError;
    Recorder *m_recorder = nullptr;
};
