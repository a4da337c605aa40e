#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVarLengthArray>

#include <array>

class TileData;

// The map's value types: one placed tile, the tiles of one cell, and the 8x8 blocks of
// land and statics as they are decoded from and encoded to the client's files. They live
// together because the block formats are nothing but these values laid out in bytes.

enum class TileKind : qint32 { Land = 0, Static = 1, Item = 2 };

// The tile-data fields of one tile id.
struct TileInfo {
    QString name;
    qint32 id = -1;
    quint64 flags = 0; // 32 bits in early tile data; the low 32 mean the same in both
    quint16 texture = 0;
    quint8 weight = 0;
    quint8 quality = 0;
    quint16 reserved1 = 0;
    quint8 reserved2 = 0;
    quint8 quantity = 0;
    quint16 animation = 0;
    quint8 reserved3 = 0;
    quint16 hue = 0;
    quint16 reserved4 = 0;
    quint8 height = 0;
    TileKind kind = TileKind::Land;
};

// One land cell, static or world-save item. An empty tile has id -1.
class Tile
{
public:
    enum Flag : quint32 { Background = 0x1, Translucent = 0x8 };
    static constexpr int ItemTopId = 0x2006;

    Tile() = default;
    explicit Tile(const TileInfo &info, int z = 0) : m_info(info), m_z(z) {}

    const TileInfo &info() const { return m_info; }
    TileInfo &info() { return m_info; }

    const QString &name() const { return m_info.name; }
    int id() const { return m_info.id; }
    bool isEmpty() const { return m_info.id == -1; }
    quint64 flags() const { return m_info.flags; }
    TileKind kind() const { return m_info.kind; }
    int z() const { return m_z; }
    void setZ(int z) { m_z = z; }
    quint16 hue() const { return m_info.hue; }
    void setHue(quint16 hue) { m_info.hue = hue; }
    int height() const { return m_info.height; }
    quint16 texture() const { return m_info.texture; }

    bool isLand() const { return m_info.kind == TileKind::Land; }
    bool isStatic() const { return m_info.kind == TileKind::Static; }
    bool isItem() const { return m_info.kind == TileKind::Item; }
    void setItem() { m_info.kind = TileKind::Item; }
    bool isBackground() const { return m_info.flags & Background; }
    bool isTranslucent() const { return m_info.flags & Translucent; }
    bool isNoDraw() const;

    // Drawing order: tiles go by sortZ, then tier; items of equal sortZ and tier by adjust.
    int adjust() const
    {
        if (isLand())
            return 0;
        return (isBackground() ? 0 : 1) + (m_info.height != 0 ? 1 : 0);
    }
    int sortZ() const { return m_z + adjust(); }
    int tier() const
    {
        switch (m_info.kind) {
        case TileKind::Land: return 0;
        case TileKind::Static: return 1;
        default: return m_info.id == ItemTopId ? 4 : 2;
        }
    }

    // Block comparison for saving: both or neither static, same id, same z. Hue and the
    // tile-data fields do not take part.
    friend bool operator==(const Tile &a, const Tile &b)
    {
        return a.isStatic() == b.isStatic() && a.id() == b.id() && a.z() == b.z();
    }
    friend bool operator!=(const Tile &a, const Tile &b) { return !(a == b); }

private:
    TileInfo m_info;
    qint32 m_z = 0;
};
Q_DECLARE_TYPEINFO(TileInfo, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(Tile, Q_RELOCATABLE_TYPE);

// The key of a cell inside its block: ((y mod 8) << 16) | (x mod 8). Keys sort row by row.
using CellKey = qint32;

inline CellKey cellKey(int x, int y) { return ((y & 7) << 16) | (x & 7); }
inline int cellKeyX(CellKey key) { return key & 0xff; }
inline int cellKeyY(CellKey key) { return (key >> 16) & 0xff; }
// True for the 64 keys a block has.
inline bool isCellKey(CellKey key) { return (key & ~0x00070007) == 0; }
// Position 0..63 of a valid key in row order.
inline int cellIndex(CellKey key) { return (cellKeyY(key) << 3) | cellKeyX(key); }
inline CellKey cellKeyAt(int index) { return ((index >> 3) << 16) | (index & 7); }
// Blocks are numbered column by column.
inline int blockNumber(int x, int y, int blocksY) { return (x / 8) * blocksY + (y / 8); }

// The tiles on one cell, always in drawing order (first drawn first). Small and kept
// inline, because drawing copies one per visible cell per frame.
class TileStack
{
public:
    using Storage = QVarLengthArray<Tile, 3>;

    TileStack() = default;

    int size() const { return int(m_tiles.size()); }
    bool isEmpty() const { return m_tiles.isEmpty(); }
    const Tile &at(int i) const { return m_tiles.at(i); }
    const Tile &operator[](int i) const { return m_tiles[i]; }
    const Tile *begin() const { return m_tiles.begin(); }
    const Tile *end() const { return m_tiles.end(); }
    void clear() { m_tiles.clear(); }
    void reserve(int n) { m_tiles.reserve(n); }

    // Inserts t at its place in drawing order; returns that position. Finding the place
    // costs log n comparisons.
    int insert(const Tile &t);
    // The same as inserting every tile of [first, last) in turn, in one merge: a cell that
    // receives thousands of tiles at once (a world save, a multi file) costs n log n, not n².
    void insertAll(const Tile *first, const Tile *last);
    void removeAt(int i) { m_tiles.remove(i); }

    // Position of the static that equals t (static, same id, same z), the first such one;
    // -1 when the stack holds none. Items are never found.
    int findStatic(const Tile &t) const;
    // Removes the static findStatic finds; false when there is none.
    bool removeStatic(const Tile &t);

    // Where t would be inserted among the tiles of [begin, end), which are in drawing order.
    static int insertPosition(const Tile *begin, const Tile *end, const Tile &t);
    // True when a newly inserted t goes before e, which is already in the stack.
    static bool goesBefore(const Tile &t, const Tile &e);

    // This stack with t inserted, built in one pass (the drawing path's way of adding land).
    TileStack withInserted(const Tile &t) const;

private:
    Storage m_tiles;
};

// One 8x8 block of land: a map from CellKey to Tile. Decoded blocks hold all 64 cells.
class LandBlock
{
public:
    static constexpr int RecordSize = 196;

    bool contains(CellKey key) const { return isCellKey(key) && (m_present >> cellIndex(key)) & 1; }
    int size() const;
    bool isEmpty() const { return m_present == 0; }
    // The tile of key, or the empty tile when the block has no such cell.
    const Tile &at(CellKey key) const;
    Tile value(CellKey key) const { return at(key); }
    // Stores t under key; keys outside the block are ignored.
    void insert(CellKey key, const Tile &t);
    QList<CellKey> keys() const;

    // Decodes a 196-byte land record. Any other length reads as the all-zero record, which
    // is the empty land of a block a file cannot supply: 64 cells of land id 0 at z 0.
    static LandBlock decode(const QByteArray &record, TileData &tileData);
    // Overwrites the cells this block holds in record (196 bytes; made so, zero-filled,
    // when it is not), leaving its header and any other cell as they are.
    void encodeInto(QByteArray &record) const;

private:
    std::array<Tile, 64> m_cells;
    quint64 m_present = 0;
};

// One 8x8 block of statics: a map from CellKey to TileStack. Only cells that received a
// tile, or were looked up or edited through the block cache, have an entry; an entry may
// hold an empty stack.
class StaticBlock
{
public:
    static constexpr int RecordSize = 7;

    bool contains(CellKey key) const { return isCellKey(key) && (m_present >> cellIndex(key)) & 1; }
    int size() const;
    bool isEmpty() const { return m_present == 0; }
    int tileCount() const;
    // The stack of key, or an empty stack when the cell has no entry.
    const TileStack &at(CellKey key) const;
    // The stack of key, created empty when there is none. Keys outside the block get a
    // scratch stack that belongs to no cell.
    TileStack &entry(CellKey key);
    void insert(CellKey key, const TileStack &stack);
    void remove(CellKey key);
    QList<CellKey> keys() const;

    // Decodes static records back to back. A trailing partial record is ignored, and so is a
    // record whose x or y lies outside 0..7 (it names no cell of the block).
    static StaticBlock decode(const QByteArray &records, TileData &tileData);
    // Every static as a record, cells in key order and each stack in drawing order. Empty
    // stacks write nothing, so a block without statics encodes to zero bytes. World-save
    // items are not written.
    QByteArray encode() const;

private:
    std::array<TileStack, 64> m_stacks;
    quint64 m_present = 0;
    TileStack m_scratch;
};
