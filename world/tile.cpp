#include "world/tile.h"
#include "tiles/tiledata.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <memory>
#include <vector>

bool Tile::isNoDraw() const
{
    const int id = m_info.id;
    if (isLand())
        return id == 2 || m_info.texture == 2;
    return id == 1 || (id >= 0x2198 && id <= 0x21A4) || id == 0x21BC;
}

// ---- TileStack ---------------------------------------------------------------------------

bool TileStack::goesBefore(const Tile &t, const Tile &e)
{
    const int tz = t.sortZ(), ez = e.sortZ();
    if (tz != ez)
        return tz < ez;
    const int tt = t.tier(), et = e.tier();
    if (tt != et)
        return tt < et;
    // Equal sortZ and tier. Statics (and land) keep insertion order: the new one goes after.
    // Items go by adjust, and a new item goes before items equal to it.
    if (tt < 2)
        return false;
    return t.adjust() <= e.adjust();
}

int TileStack::insertPosition(const Tile *begin, const Tile *end, const Tile &t)
{
    // A stack built by insertion is ordered so that goesBefore(t, e) is false up to one
    // position and true from there on: the first such position is found by halving.
    return int(std::partition_point(begin, end, [&t](const Tile &e) { return !goesBefore(t, e); }) - begin);
}

void TileStack::insertAll(const Tile *first, const Tile *last)
{
    const qsizetype added = last - first;
    if (added <= 0)
        return;
    if (added < 16) {
        for (; first != last; ++first)
            insert(*first);
        return;
    }
    // Inserting one by one puts a static after the tiles equal to it in drawing order and an
    // item before them. So tiles of equal place keep: statics, the stack's then the new ones
    // in their order; items, the new ones last first, then the stack's.
    struct Placed {
        const Tile *tile;
        int sortZ, tier, adjust;
        qint64 rank;
    };
    const qsizetype existing = m_tiles.size();
    std::vector<Placed> all;
    all.reserve(size_t(existing + added));
    const auto place = [](const Tile &t, qint64 rank) {
        const int tier = t.tier();
        return Placed{&t, t.sortZ(), tier, tier >= 2 ? t.adjust() : 0, rank};
    };
    for (qsizetype i = 0; i < existing; ++i)
        all.push_back(place(m_tiles[i], i));
    for (qsizetype j = 0; j < added; ++j) {
        const Tile &t = first[j];
        all.push_back(place(t, t.tier() >= 2 ? -(j + 1) : existing + j));
    }
    std::sort(all.begin(), all.end(), [](const Placed &a, const Placed &b) {
        if (a.sortZ != b.sortZ)
            return a.sortZ < b.sortZ;
        if (a.tier != b.tier)
            return a.tier < b.tier;
        if (a.adjust != b.adjust)
            return a.adjust < b.adjust;
        return a.rank < b.rank;
    });
    Storage merged;
    merged.reserve(existing + added);
    for (const Placed &p : all)
        merged.append(*p.tile);
    // Copied, not moved: a move assignment of QVarLengthArray in Qt 6.4 loses the heap buffer
    // the target held.
    m_tiles = merged;
}

int TileStack::insert(const Tile &t)
{
    const int pos = insertPosition(m_tiles.begin(), m_tiles.end(), t);
    // Appended and turned into place: QVarLengthArray::insert of Qt 6.4 loses its old heap
    // buffer when it has to grow.
    m_tiles.append(t);
    std::rotate(m_tiles.begin() + pos, m_tiles.end() - 1, m_tiles.end());
    return pos;
}

int TileStack::findStatic(const Tile &t) const
{
    for (int i = 0; i < size(); ++i) {
        const Tile &s = m_tiles[i];
        if (s.isStatic() && s.id() == t.id() && s.z() == t.z())
            return i;
    }
    return -1;
}

bool TileStack::removeStatic(const Tile &t)
{
    const int i = findStatic(t);
    if (i < 0)
        return false;
    m_tiles.remove(i);
    return true;
}

TileStack TileStack::withInserted(const Tile &t) const
{
    TileStack out;
    const int n = size();
    out.m_tiles.reserve(n + 1);
    const int pos = insertPosition(m_tiles.begin(), m_tiles.end(), t);
    for (int i = 0; i < pos; ++i)
        out.m_tiles.append(m_tiles[i]);
    out.m_tiles.append(t);
    for (int i = pos; i < n; ++i)
        out.m_tiles.append(m_tiles[i]);
    return out;
}

// ---- LandBlock ---------------------------------------------------------------------------

namespace {
const Tile &emptyTile()
{
    static const Tile empty;
    return empty;
}

const TileStack &emptyStack()
{
    static const TileStack empty;
    return empty;
}

QList<CellKey> keysOf(quint64 present)
{
    QList<CellKey> keys;
    keys.reserve(std::popcount(present));
    for (int i = 0; i < 64; ++i)
        if ((present >> i) & 1)
            keys.append(cellKeyAt(i));
    return keys;
}
} // namespace

int LandBlock::size() const
{
    return std::popcount(m_present);
}

const Tile &LandBlock::at(CellKey key) const
{
    if (!contains(key))
        return emptyTile();
    return m_cells[cellIndex(key)];
}

void LandBlock::insert(CellKey key, const Tile &t)
{
    if (!isCellKey(key))
        return;
    const int i = cellIndex(key);
    m_cells[i] = t;
    m_present |= quint64(1) << i;
}

QList<CellKey> LandBlock::keys() const
{
    return keysOf(m_present);
}

LandBlock LandBlock::decode(const QByteArray &record, TileData &tileData)
{
    static const QByteArray zero(RecordSize, '\0');
    const uchar *p = reinterpret_cast<const uchar *>(
        record.size() == RecordSize ? record.constData() : zero.constData());
    LandBlock block;
    p += 4; // header
    for (int i = 0; i < 64; ++i, p += 3) {
        Tile &t = block.m_cells[i];
        // Read unsigned like static ids: no stored id may turn into the empty tile's -1.
        t = tileData.landTile(qFromLittleEndian<quint16>(p));
        t.setZ(qint8(p[2]));
    }
    block.m_present = ~quint64(0);
    return block;
}

void LandBlock::encodeInto(QByteArray &record) const
{
    if (record.size() != RecordSize)
        record = QByteArray(RecordSize, '\0');
    uchar *p = reinterpret_cast<uchar *>(record.data()) + 4;
    for (int i = 0; i < 64; ++i, p += 3) {
        if (!((m_present >> i) & 1))
            continue;
        const Tile &t = m_cells[i];
        qToLittleEndian<quint16>(quint16(t.id()), p);
        p[2] = uchar(qint8(t.z()));
    }
}

// ---- StaticBlock -------------------------------------------------------------------------

int StaticBlock::size() const
{
    return std::popcount(m_present);
}

int StaticBlock::tileCount() const
{
    int n = 0;
    for (int i = 0; i < 64; ++i)
        n += m_stacks[i].size();
    return n;
}

const TileStack &StaticBlock::at(CellKey key) const
{
    if (!contains(key))
        return emptyStack();
    return m_stacks[cellIndex(key)];
}

TileStack &StaticBlock::entry(CellKey key)
{
    if (!isCellKey(key)) {
        m_scratch.clear();
        return m_scratch;
    }
    const int i = cellIndex(key);
    m_present |= quint64(1) << i;
    return m_stacks[i];
}

void StaticBlock::insert(CellKey key, const TileStack &stack)
{
    if (isCellKey(key))
        entry(key) = stack;
}

void StaticBlock::remove(CellKey key)
{
    if (!isCellKey(key))
        return;
    const int i = cellIndex(key);
    m_stacks[i].clear();
    m_present &= ~(quint64(1) << i);
}

QList<CellKey> StaticBlock::keys() const
{
    return keysOf(m_present);
}

StaticBlock StaticBlock::decode(const QByteArray &records, TileData &tileData)
{
    StaticBlock block;
    // Past this many tiles a cell's further records are gathered and merged in at the end,
    // so a cell of a hundred thousand statics decodes in n log n.
    constexpr int kDirect = 64;
    std::unique_ptr<std::array<std::vector<Tile>, 64>> overflow;
    const int count = int(records.size() / RecordSize);
    const uchar *p = reinterpret_cast<const uchar *>(records.constData());
    for (int r = 0; r < count; ++r, p += RecordSize) {
        const int x = qint8(p[2]);
        const int y = qint8(p[3]);
        if (x < 0 || x > 7 || y < 0 || y > 7)
            continue;
        // Ids are the full unsigned 16 bits, so ids from 0x8000 up reach the tile data and an
        // id the tile data does not know still keeps its value for re-encoding.
        Tile t = tileData.staticTile(qFromLittleEndian<quint16>(p));
        t.setZ(qint8(p[4]));
        t.setHue(qFromLittleEndian<quint16>(p + 5));
        const int i = y * 8 + x;
        block.m_present |= quint64(1) << i;
        if (block.m_stacks[i].size() < kDirect) {
            block.m_stacks[i].insert(t);
            continue;
        }
        if (!overflow)
            overflow = std::make_unique<std::array<std::vector<Tile>, 64>>();
        (*overflow)[size_t(i)].push_back(std::move(t));
    }
    if (overflow) {
        for (int i = 0; i < 64; ++i) {
            const std::vector<Tile> &more = (*overflow)[size_t(i)];
            block.m_stacks[i].insertAll(more.data(), more.data() + more.size());
        }
    }
    return block;
}

QByteArray StaticBlock::encode() const
{
    // World-save items merged into a block for the view are no statics of the map: written
    // as records they would become statics, and show twice once the items are merged again.
    int records = 0;
    for (int i = 0; i < 64; ++i)
        for (const Tile &t : m_stacks[i])
            records += t.isItem() ? 0 : 1;
    QByteArray out(records * RecordSize, Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(out.data());
    for (int i = 0; i < 64; ++i) {
        for (const Tile &t : m_stacks[i]) {
            if (t.isItem())
                continue;
            qToLittleEndian<quint16>(quint16(t.id()), p);
            p[2] = uchar(i & 7);
            p[3] = uchar(i >> 3);
            p[4] = uchar(qint8(t.z()));
            qToLittleEndian<quint16>(t.hue(), p + 5);
            p += RecordSize;
        }
    }
    return out;
}
