#include "world/worldsave.h"
#include "world/clientlayout.h"
#include "tiles/tiledata.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/multi.h"

#include <QFile>
#include <QSet>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSaveFile>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr qint64 kMultiBase = 0x4000;
constexpr qint64 kStaticType = 255;

const QByteArray kHeader = QByteArrayLiteral("SECTION WORLDITEM");

// A decimal value as the save writes it. Text that is no number reads as 0; a number too
// large for 64 bits is held at the nearest bound, so a huge X or ID stays huge (and is
// skipped later) rather than turning into a plausible 0.
qint64 number(const QByteArray &value)
{
    bool ok = false;
    const qint64 v = value.toLongLong(&ok, 10);
    if (ok)
        return v;
    const qsizetype start = (value.startsWith('-') || value.startsWith('+')) ? 1 : 0;
    if (value.size() <= start)
        return 0;
    for (qsizetype i = start; i < value.size(); ++i)
        if (value[i] < '0' || value[i] > '9')
            return 0;
    return value.startsWith('-') ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
}

int heightOf(qint64 z)
{
    return int(std::clamp<qint64>(z, -128, 127));
}

QString nameText(const QByteArray &bytes)
{
    // Servers write names in UTF-8 or in a single-byte code page; the latter is taken as
    // Latin-1 rather than shown with replacement characters.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString s = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : s;
}

// The key lines of one item block.
struct ItemFields {
    qint64 id = -1;
    qint64 color = 0;
    qint64 x = -1;
    qint64 y = -1;
    qint64 z = 0;
    qint64 type = 0;
    qint64 cont = -1;
    QByteArray name;

    void take(const QByteArray &line)
    {
        const qsizetype space = line.indexOf(' ');
        const QByteArray key = space < 0 ? line : line.left(space);
        const QByteArray value = space < 0 ? QByteArray() : line.mid(space + 1);
        if (key == "ID")
            id = number(value);
        else if (key == "COLOR")
            color = number(value);
        else if (key == "X")
            x = number(value);
        else if (key == "Y")
            y = number(value);
        else if (key == "Z")
            z = number(value);
        else if (key == "TYPE")
            type = number(value);
        else if (key == "CONT")
            cont = number(value);
        else if (key == "NAME")
            name = value;
    }
};

// The client's multi files, opened on first use and read once per multi number.
class MultiFiles
{
public:
    const QList<MultiComponent> &components(qint64 number)
    {
        static const QList<MultiComponent> none;
        if (!m_opened)
            open();
        if (!m_readable)
            return none;
        auto it = m_read.find(number);
        if (it == m_read.end()) {
            // Only multis that exist are kept: a save full of made-up numbers stays cheap.
            std::optional<QList<MultiComponent>> read = readMulti(m_index, m_data, number, m_componentSize);
            if (!read)
                return none;
            it = m_read.insert(number, std::move(*read));
        }
        return it.value();
    }

private:
    void open()
    {
        m_opened = true;
        const QString dir = dataDirectory();
        m_index.setFileName(dir + QStringLiteral("/multi.idx"));
        m_data.setFileName(dir + QStringLiteral("/multi.mul"));
        m_readable = m_index.open(QIODevice::ReadOnly) && m_data.open(QIODevice::ReadOnly);
        m_componentSize = ClientLayout::of(dir)->multiComponentSize();
    }

    bool m_opened = false;
    bool m_readable = false;
    int m_componentSize = MultiComponent::RecordSize;
    QFile m_index;
    QFile m_data;
    QHash<qint64, QList<MultiComponent>> m_read;
};

QByteArray staticRecord(int x, int y, const Tile &t)
{
    QByteArray rec(StaticBlock::RecordSize, '\0');
    uchar *p = reinterpret_cast<uchar *>(rec.data());
    qToLittleEndian<quint16>(quint16(t.id()), p);
    p[2] = uchar(x & 7);
    p[3] = uchar(y & 7);
    p[4] = uchar(qint8(heightOf(t.z())));
    qToLittleEndian<quint16>(t.hue(), p + 5);
    return rec;
}

bool insideFacet(const Facet &facet, qint64 x, qint64 y)
{
    return x >= 0 && y >= 0 && x < qint64(facet.blocksX()) * 8 && y < qint64(facet.blocksY()) * 8;
}

QString writeFailure(const Facet &facet, int block)
{
    return QStringLiteral("The working file %1 could not be written.")
        .arg(facet.workingFilePath(block, Facet::StaticsKind));
}

// The block's statics as the edit store sees them now: its working file, else its records
// from the difference or main files.
QByteArray currentStatics(Facet &facet, int block)
{
    QByteArray bytes;
    if (!facet.readWorkingFile(block, bytes, Facet::StaticsKind))
        bytes = facet.readStaticsRaw(block);
    return bytes;
}

// Appends records to the blocks' statics, one write per block. When a write fails, the
// blocks written before it get their earlier bytes back, so the edit store is as it was.
bool appendRecords(Facet &facet, const QMap<int, QByteArray> &records, QString *error,
                   QMap<int, QByteArray> *beforeOut = nullptr)
{
    QList<QPair<int, QByteArray>> written;
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QByteArray before = currentStatics(facet, it.key());
        if (beforeOut)
            beforeOut->insert(it.key(), before);
        if (!facet.writeWorkingFile(it.key(), before + it.value(), Facet::StaticsKind)) {
            if (error)
                *error = writeFailure(facet, it.key());
            for (const auto &[block, bytes] : std::as_const(written))
                facet.writeWorkingFile(block, bytes, Facet::StaticsKind);
            return false;
        }
        written.append({it.key(), before});
    }
    return true;
}

} // namespace

bool isItemSectionHeader(const QByteArray &line)
{
    if (!line.startsWith(kHeader))
        return false;
    if (line.size() == kHeader.size())
        return true;
    // One space and at least one digit, and nothing but digits after it.
    if (line.size() < kHeader.size() + 2 || line[kHeader.size()] != ' ')
        return false;
    for (qsizetype i = kHeader.size() + 1; i < line.size(); ++i)
        if (line[i] < '0' || line[i] > '9')
            return false;
    return true;
}

bool appendStaticRecord(Facet &facet, int x, int y, const Tile &t, QString *error)
{
    if (!insideFacet(facet, x, y)) {
        if (error)
            *error = QStringLiteral("Cell (%1, %2) lies outside the facet.").arg(x).arg(y);
        return false;
    }
    QMap<int, QByteArray> records;
    records.insert(blockNumber(x, y, facet.blocksY()), staticRecord(x, y, t));
    return appendRecords(facet, records, error);
}

// The records of add that before does not hold already (compared record by record), in order.
// A hash of before's records keeps a second load of a large save linear.
QByteArray newRecords(const QByteArray &before, const QByteArray &add, int &dropped)
{
    QSet<QByteArray> held;
    for (qsizetype j = 0; j + StaticBlock::RecordSize <= before.size(); j += StaticBlock::RecordSize)
        held.insert(before.mid(j, StaticBlock::RecordSize));
    QByteArray out;
    for (qsizetype i = 0; i + StaticBlock::RecordSize <= add.size(); i += StaticBlock::RecordSize) {
        const QByteArray rec = add.mid(i, StaticBlock::RecordSize);
        if (held.contains(rec))
            ++dropped;
        else
            out += rec;
    }
    return out;
}

WorldSaveResult readWorldSave(Facet &facet, const QString &path, TileData &tileData,
                              const ReadProgress &progress,
                              const ConfirmComponents &confirm, QMap<int, QByteArray> *staticsBefore)
{
    WorldSaveResult result;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("The world save could not be opened: %1").arg(in.errorString());
        return result;
    }
    result.copyPath = path + QStringLiteral(".tsy");
    // The copy reaches its name only when it is complete: a failure below leaves an earlier
    // copy as it was.
    QSaveFile copy(result.copyPath);
    if (!copy.open(QIODevice::WriteOnly)) {
        result.error = QStringLiteral("The copy %1 could not be written: %2").arg(result.copyPath, copy.errorString());
        return result;
    }
    const auto stop = [&] {
        copy.cancelWriting();
        result.cancelled = true;
        return result;
    };

    // What the save places, in file order. Multis are kept as one entry each and spread
    // into their components only once their number is known to be bearable: a few
    // kilobytes of text can name millions of components.
    struct Placement {
        qint64 x, y;
        Tile tile;            // a single item or static
        qint64 multi = -1;    // else the multi number, placed at (x, y) from z
        qint64 z = 0;
        bool makeStatic = false;
    };
    std::vector<Placement> placements;
    qint64 components = 0;
    MultiFiles multis;
    const int blocksY = facet.blocksY();

    // Components of multi number that land inside the facet when anchored at (x, y).
    const auto placedComponents = [&](qint64 number, qint64 x, qint64 y) {
        qint64 n = 0;
        for (const MultiComponent &c : multis.components(number))
            n += c.flags == 1 && insideFacet(facet, x + c.dx, y + c.dy) ? 1 : 0;
        return n;
    };

    // What one closed item block adds; true when it became statics (its lines leave the copy).
    const auto takeItem = [&](const ItemFields &f) -> bool {
        if (f.id < 0 || f.cont != -1 || !insideFacet(facet, f.x, f.y)) {
            ++result.skipped;
            return false;
        }
        const bool makeStatic = f.type == kStaticType;
        if (f.id >= kMultiBase) {
            const qint64 n = placedComponents(f.id - kMultiBase, f.x, f.y);
            if (n == 0) {
                ++result.skipped;
                return false;
            }
            components += n;
            placements.push_back({f.x, f.y, Tile(), f.id - kMultiBase, f.z, makeStatic});
            return makeStatic;
        }
        Tile t = tileData.staticTile(int(f.id));
        t.setZ(heightOf(f.z));
        t.setHue(quint16(std::clamp<qint64>(f.color, 0, 0xFFFF)));
        if (!makeStatic) {
            t.setItem();
            if (!f.name.isEmpty() && f.name != "#")
                t.info().name = nameText(f.name);
        }
        placements.push_back({f.x, f.y, std::move(t), -1, 0, makeStatic});
        return makeStatic;
    };

    const auto readLine = [&in] { return in.readLine().simplified(); };
    const auto write = [&copy](const QByteArray &line) {
        copy.write(line);
        copy.write("\n", 1);
    };
    const qint64 total = in.size();
    qint64 lines = 0;
    const auto carryOn = [&] { return !progress || (++lines & 0x3FFF) != 0 || progress(in.pos(), total); };

    QList<QByteArray> pending;
    while (!in.atEnd()) {
        if (!carryOn())
            return stop();
        QByteArray line = readLine();
        if (!isItemSectionHeader(line)) {
            write(line);
            continue;
        }
        pending = {line};
        while (!line.startsWith('}') && !in.atEnd()) {
            line = readLine();
            pending.append(line);
            if (!line.startsWith('{'))
                continue;
            ItemFields fields;
            bool closed = false;
            while (!in.atEnd()) {
                if (!carryOn())
                    return stop();
                line = readLine();
                pending.append(line);
                if (line.startsWith('}')) {
                    closed = true;
                    break;
                }
                fields.take(line);
            }
            // A block cut off by the end of the file may hold a cut-off number; it is
            // copied, not trusted.
            if (!closed)
                ++result.skipped;
            else if (takeItem(fields))
                pending.clear();
        }
        for (const QByteArray &l : std::as_const(pending))
            write(l);
        pending.clear();
    }

    if (in.error() != QFileDevice::NoError) {
        copy.cancelWriting();
        result.error = QStringLiteral("The world save could not be read: %1").arg(in.errorString());
        return result;
    }
    if (confirm && components > MaxUnaskedComponents && !confirm(components))
        return stop();

    // Every cell's tiles are gathered in file order and merged into its stack at once.
    QMap<int, QMap<CellKey, std::vector<Tile>>> itemTiles;
    QMap<int, QByteArray> statics; // block -> records to append, in file order
    const auto add = [&](qint64 x, qint64 y, Tile t, bool makeStatic) {
        const int block = blockNumber(int(x), int(y), blocksY);
        if (makeStatic) {
            statics[block] += staticRecord(int(x), int(y), t);
            ++result.statics;
        } else {
            t.setItem();
            itemTiles[block][cellKey(int(x), int(y))].push_back(std::move(t));
            ++result.items;
        }
    };
    for (Placement &p : placements) {
        if (p.multi < 0) {
            add(p.x, p.y, std::move(p.tile), p.makeStatic);
            continue;
        }
        // The hue stays as the tile data gives it, and no name is set.
        for (const MultiComponent &c : multis.components(p.multi)) {
            const qint64 x = p.x + c.dx, y = p.y + c.dy;
            if (c.flags != 1 || !insideFacet(facet, x, y))
                continue;
            Tile t = tileData.staticTile(c.id);
            t.setZ(heightOf(p.z + c.dz));
            add(x, y, std::move(t), p.makeStatic);
        }
    }
    placements = {};
    QMap<int, QMap<CellKey, TileStack>> items;
    for (auto block = itemTiles.begin(); block != itemTiles.end(); ++block) {
        QMap<CellKey, TileStack> &cells = items[block.key()];
        for (auto cell = block->begin(); cell != block->end(); ++cell) {
            std::vector<Tile> &tiles = cell.value();
            cells[cell.key()].insertAll(tiles.data(), tiles.data() + tiles.size());
            tiles = {};
        }
    }
    itemTiles.clear();

    // Statics first: if they cannot be written, the copy (which leaves their items out)
    // must not replace the one before.
    // A save read before (in this run or saved since) already put its statics there.
    for (auto it = statics.begin(); it != statics.end();) {
        int dropped = 0;
        it.value() = newRecords(currentStatics(facet, it.key()), it.value(), dropped);
        result.statics -= dropped;
        it = it.value().isEmpty() ? statics.erase(it) : std::next(it);
    }
    QString error;
    if (!appendRecords(facet, statics, &error, staticsBefore)) {
        copy.cancelWriting();
        result.error = error;
        return result;
    }
    if (!copy.commit()) {
        // Take the statics back out: the save still holds their items.
        for (auto it = statics.cbegin(); it != statics.cend(); ++it) {
            QByteArray bytes = currentStatics(facet, it.key());
            bytes.chop(it.value().size());
            facet.writeWorkingFile(it.key(), bytes, Facet::StaticsKind);
        }
        result.error = QStringLiteral("The copy %1 could not be written: %2").arg(result.copyPath, copy.errorString());
        return result;
    }
    facet.items() = std::move(items);
    if (progress)
        progress(total, total);
    result.ok = true;
    return result;
}
