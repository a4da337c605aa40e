// Land and statics blocks decoded from memory: the bytes of one land record (first input byte
// even) or one block's static records (odd). Decoded blocks must encode back to the bytes
// they came from, as saving relies on that.
//
// The tile data is made here, not fuzzed: every id has a name, and static ids get background
// flags and heights in a fixed pattern so that cell stacks are sorted on every rule.
#include "fuzz/fuzzsupport.h"
#include "tiles/tiledata.h"
#include "world/tile.h"

#include <memory>

namespace {
std::unique_ptr<TileData> g_tiles;

QByteArray makeTileData()
{
    QByteArray bytes(TileData::StaticRegion + qint64(2048) * TileData::StaticGroupSize, '\0');
    auto *p = reinterpret_cast<uchar *>(bytes.data());
    for (int id = 0; id < 0x4000; ++id) {
        uchar *r = p + (id / 32) * TileData::LandGroupSize + 4 + (id % 32) * TileData::LandRecordSize;
        qToLittleEndian<quint16>(quint16(id % 97), r + 4);
        qstrncpy(reinterpret_cast<char *>(r + 6), QByteArray::number(id).constData(), 20);
    }
    for (int id = 0; id < 0x10000; ++id) {
        uchar *r = p + TileData::StaticRegion + (id / 32) * TileData::StaticGroupSize + 4
            + (id % 32) * TileData::StaticRecordSize;
        qToLittleEndian<quint32>(id % 3 == 0 ? Tile::Background : 0, r);
        r[13] = uchar(id % 11);
        r[16] = uchar(id % 7);
        qstrncpy(reinterpret_cast<char *>(r + 17), QByteArray::number(id).constData(), 20);
    }
    return bytes;
}

void checkLand(const QByteArray &record)
{
    const LandBlock block = LandBlock::decode(record, *g_tiles);
    FUZZ_CHECK(block.size() == 64);
    const bool whole = record.size() == LandBlock::RecordSize;
    const auto *p = reinterpret_cast<const uchar *>(record.constData()) + 4;
    for (int i = 0; i < 64; ++i) {
        const Tile &t = block.at(cellKeyAt(i));
        FUZZ_CHECK(t.isLand());
        FUZZ_CHECK(t.id() == (whole ? qFromLittleEndian<quint16>(p + 3 * i) : 0));
        FUZZ_CHECK(t.z() == (whole ? qint8(p[3 * i + 2]) : 0));
    }
    QByteArray again = record;
    block.encodeInto(again);
    if (whole)
        FUZZ_CHECK(again == record);
    else
        FUZZ_CHECK(again == QByteArray(LandBlock::RecordSize, '\0'));
}

void checkStatics(const QByteArray &records)
{
    const StaticBlock block = StaticBlock::decode(records, *g_tiles);
    int inside = 0;
    const auto *p = reinterpret_cast<const uchar *>(records.constData());
    for (qsizetype at = 0; at + StaticBlock::RecordSize <= records.size(); at += StaticBlock::RecordSize)
        inside += p[at + 2] < 8 && p[at + 3] < 8;
    FUZZ_CHECK(block.tileCount() == inside);

    const QByteArray encoded = block.encode();
    FUZZ_CHECK(encoded.size() == inside * StaticBlock::RecordSize);
    const StaticBlock again = StaticBlock::decode(encoded, *g_tiles);
    FUZZ_CHECK(again.size() == block.size());
    for (int i = 0; i < 64; ++i) {
        const TileStack &a = block.at(cellKeyAt(i));
        const TileStack &b = again.at(cellKeyAt(i));
        FUZZ_CHECK(a.size() == b.size());
        for (int k = 0; k < a.size(); ++k) {
            FUZZ_CHECK(a[k].id() == b[k].id() && a[k].z() == b[k].z() && a[k].hue() == b[k].hue());
            FUZZ_CHECK(a[k].isStatic());
            // Drawing order holds inside every stack.
            if (k > 0)
                FUZZ_CHECK(a[k - 1].sortZ() <= a[k].sortZ());
        }
    }
    FUZZ_CHECK(again.encode() == encoded);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString path = fuzz::initEnvironment() + QStringLiteral("/tiledata.mul");
    fuzz::writeFile(path, makeTileData());
    g_tiles = std::make_unique<TileData>(path);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] % 2 == 0)
        checkLand(bytes);
    else
        checkStatics(bytes);
    return 0;
}
