#pragma once
#include "world/tile.h"

#include <QFile>
#include <QString>

#include <array>
#include <memory>
#include <vector>

// Reader of the client's tile-data file, one group of 32 records at a time. A group is read
// the first time one of its ids is asked for and kept decoded: a map's land alternates
// between the ids of a few groups, and keeping only the group read last would read the file
// again at nearly every cell. Kept groups cost 2 KiB each (at most 1 MiB of land and 4 MiB
// of statics), and every tile of an id shares its name text.
class TileData
{
public:
    static constexpr int LandGroupSize = 836;
    static constexpr int LandRecordSize = 26;
    static constexpr int LandGroups = 512;
    static constexpr qint64 StaticRegion = qint64(LandGroups) * LandGroupSize; // 428032
    static constexpr int StaticGroupSize = 1188;
    static constexpr int StaticRecordSize = 37;
    // The later layout: 64-bit flags, so four more bytes in every record.
    static constexpr int LaterLandGroupSize = 964;
    static constexpr int LaterLandRecordSize = 30;
    static constexpr qint64 LaterStaticRegion = qint64(LandGroups) * LaterLandGroupSize; // 493568
    static constexpr int LaterStaticGroupSize = 1316;
    static constexpr int LaterStaticRecordSize = 41;

    // The later layout is told by the file's size: 493,568 + a multiple of 1,316 bytes, and not
    // 428,032 + a multiple of 1,188 (which stays the early one, as does any other size).
    static bool isLaterSize(qint64 size);

    // Opens dataDirectory() + "/tiledata.mul".
    TileData();
    // Opens the given file instead (for tools and tests).
    explicit TileData(const QString &path);
    TileData(const TileData &) = delete;
    TileData &operator=(const TileData &) = delete;

    // Reopens dataDirectory() + "/tiledata.mul" and forgets the cached groups.
    void open();
    void openFile(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }

    // The land tile of id (kind land, z 0). An id outside 0..16383 keeps its id and has no
    // name and no flags.
    Tile landTile(int id);
    // The static tile of id (kind static, z 0, the tile-data hue). An id past the last whole
    // record of the file keeps its id and has no name and no flags.
    Tile staticTile(int id);

    // True when the open file has 64-bit flags.
    bool isLater() const { return m_later; }
    // Number of static groups the file holds, a trailing partial group included.
    int staticGroupCount() const { return m_staticGroups; }
    // Number of groups read from the file so far.
    int groupReads() const { return m_groupReads; }

private:
    bool loadGroup(qint64 offset, int groupSize, int recordSize, uchar *buffer);
    int landGroupSize() const { return m_later ? LaterLandGroupSize : LandGroupSize; }
    int landRecordSize() const { return m_later ? LaterLandRecordSize : LandRecordSize; }
    qint64 staticRegion() const { return m_later ? LaterStaticRegion : StaticRegion; }
    int staticGroupSize() const { return m_later ? LaterStaticGroupSize : StaticGroupSize; }
    int staticRecordSize() const { return m_later ? LaterStaticRecordSize : StaticRecordSize; }
    using Group = std::array<Tile, 32>;
    const Group &landGroup(int g);
    const Group &staticGroup(int g);

    std::vector<std::unique_ptr<Group>> m_landGroups;
    std::vector<std::unique_ptr<Group>> m_staticGroupTiles;
    QFile m_file;
    qint64 m_size = 0;
    bool m_later = false;
    int m_staticGroups = 0;
    int m_groupReads = 0;
};
