#include "tiles/tiledata.h"
#include "world/datadirectory.h"

#include <QtEndian>

#include <cstring>

namespace {
QString latin1Name(const uchar *p)
{
    const char *s = reinterpret_cast<const char *>(p);
    return QString::fromLatin1(s, qsizetype(qstrnlen(s, 20)));
}
} // namespace

TileData::TileData()
{
    open();
}

TileData::TileData(const QString &path)
{
    openFile(path);
}

void TileData::open()
{
    openFile(dataDirectory() + QStringLiteral("/tiledata.mul"));
}

bool TileData::isLaterSize(qint64 size)
{
    const bool early = size >= StaticRegion && (size - StaticRegion) % StaticGroupSize == 0;
    const bool later = size >= LaterStaticRegion && (size - LaterStaticRegion) % LaterStaticGroupSize == 0;
    return later && !early;
}

void TileData::openFile(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    m_landGroups.clear();
    m_staticGroupTiles.clear();
    m_size = 0;
    m_later = false;
    m_staticGroups = 0;
    // Lookups jump between groups; an unbuffered file reads exactly the one group asked for.
    if (m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        m_size = m_file.size();
        m_later = isLaterSize(m_size);
        if (m_size > staticRegion())
            m_staticGroups = int((m_size - staticRegion() + staticGroupSize() - 1) / staticGroupSize());
    }
    m_landGroups.resize(LandGroups);
    m_staticGroupTiles.resize(size_t(m_staticGroups));
}

// Reads one group into buffer. Records that the file does not hold whole are left zero, so
// they read as tiles without name or flags.
bool TileData::loadGroup(qint64 offset, int groupSize, int recordSize, uchar *buffer)
{
    std::memset(buffer, 0, size_t(groupSize));
    if (!m_file.isOpen() || offset >= m_size)
        return false;
    ++m_groupReads;
    qint64 got = 0;
    if (m_file.seek(offset))
        got = m_file.read(reinterpret_cast<char *>(buffer), groupSize);
    if (got < 0)
        got = 0;
    if (got < groupSize) {
        const qint64 whole = got < 4 ? 0 : (got - 4) / recordSize;
        const qint64 keep = 4 + whole * recordSize;
        std::memset(buffer + keep, 0, size_t(groupSize - keep));
    }
    return got > 0;
}

const TileData::Group &TileData::landGroup(int g)
{
    if (m_landGroups[size_t(g)])
        return *m_landGroups[size_t(g)];
    auto group = std::make_unique<Group>();
    uchar buffer[LaterLandGroupSize];
    const int recordSize = landRecordSize();
    loadGroup(qint64(g) * landGroupSize(), landGroupSize(), recordSize, buffer);
    for (int r = 0; r < 32; ++r) {
        const uchar *p = buffer + 4 + r * recordSize;
        TileInfo info;
        info.id = g * 32 + r;
        info.kind = TileKind::Land;
        if (m_later) {
            info.flags = qFromLittleEndian<quint64>(p);
            p += 4; // the other fields sit where they do in the early record, four bytes on
        } else {
            info.flags = qFromLittleEndian<quint32>(p);
        }
        info.texture = qFromLittleEndian<quint16>(p + 4);
        info.name = latin1Name(p + 6);
        (*group)[size_t(r)] = Tile(info);
    }
    m_landGroups[size_t(g)] = std::move(group);
    return *m_landGroups[size_t(g)];
}

const TileData::Group &TileData::staticGroup(int g)
{
    if (m_staticGroupTiles[size_t(g)])
        return *m_staticGroupTiles[size_t(g)];
    auto group = std::make_unique<Group>();
    uchar buffer[LaterStaticGroupSize];
    const int recordSize = staticRecordSize();
    loadGroup(staticRegion() + qint64(g) * staticGroupSize(), staticGroupSize(), recordSize, buffer);
    for (int r = 0; r < 32; ++r) {
        const uchar *p = buffer + 4 + r * recordSize;
        TileInfo info;
        info.id = g * 32 + r;
        info.kind = TileKind::Static;
        if (m_later) {
            info.flags = qFromLittleEndian<quint64>(p);
            p += 4;
        } else {
            info.flags = qFromLittleEndian<quint32>(p);
        }
        info.weight = p[4];
        info.quality = p[5];
        info.reserved1 = qFromLittleEndian<quint16>(p + 6);
        info.reserved2 = p[8];
        info.quantity = p[9];
        info.animation = qFromLittleEndian<quint16>(p + 10);
        info.reserved3 = p[12];
        info.hue = p[13];
        info.reserved4 = qFromLittleEndian<quint16>(p + 14);
        info.height = p[16];
        info.name = latin1Name(p + 17);
        (*group)[size_t(r)] = Tile(info);
    }
    m_staticGroupTiles[size_t(g)] = std::move(group);
    return *m_staticGroupTiles[size_t(g)];
}

Tile TileData::landTile(int id)
{
    if (id < 0 || id >= LandGroups * 32) {
        TileInfo info;
        info.id = id;
        info.kind = TileKind::Land;
        return Tile(info);
    }
    return landGroup(id / 32)[size_t(id % 32)];
}

Tile TileData::staticTile(int id)
{
    if (id < 0 || id / 32 >= m_staticGroups) {
        TileInfo info;
        info.id = id;
        info.kind = TileKind::Static;
        return Tile(info);
    }
    return staticGroup(id / 32)[size_t(id % 32)];
}
