// Tile data: the file is read one group at a time, land groups first and statics groups from
// a fixed offset on. Inputs whose first byte is odd are laid out as two pieces, land groups at
// the start of the file and static groups at the static region, so that small inputs reach
// both halves; even first bytes make the rest of the input the whole file.
//
// Built as tiledata64 (TESSARYN_FUZZ_LATER_TILEDATA), the pieces are laid out in the later
// layout instead (64-bit flags, wider records, the static region further on) and the file is
// made as long as the later layout needs, so that every input reads as that layout.
#include "fuzz/fuzzsupport.h"
#include "tiles/tiledata.h"

#include <QFileInfo>


namespace {
QString g_path;

// Every tile handed out has the id and kind asked for and a name of at most 20 characters.
void checkTile(const Tile &t, int id, TileKind kind)
{
    FUZZ_CHECK(t.id() == id);
    FUZZ_CHECK(t.kind() == kind);
    FUZZ_CHECK(t.name().size() <= 20);
    FUZZ_CHECK(t.z() == 0);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_path = fuzz::initEnvironment() + QStringLiteral("/tiledata.mul");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    qint64 landBytes = qint64(size - 1);
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
#ifdef TESSARYN_FUZZ_LATER_TILEDATA
        const QList<QByteArrayView> pieces = fuzz::splitPieces(data + 1, size - 1, 2);
        const QByteArrayView land = pieces[0].first(std::min<qsizetype>(pieces[0].size(), TileData::LaterStaticRegion));
        file.write(land.data(), land.size());
        landBytes = land.size();
        file.seek(TileData::LaterStaticRegion);
        file.write(pieces[1].data(), pieces[1].size());
        // Whole groups, the first byte choosing how many more there are than the input fills.
        qint64 groups = (pieces[1].size() + TileData::LaterStaticGroupSize - 1) / TileData::LaterStaticGroupSize
                        + (data[0] >> 1) % 4;
        while (!TileData::isLaterSize(TileData::LaterStaticRegion + groups * TileData::LaterStaticGroupSize))
            ++groups;
        file.resize(TileData::LaterStaticRegion + groups * TileData::LaterStaticGroupSize);
#else
        if (data[0] & 1) {
            const QList<QByteArrayView> pieces = fuzz::splitPieces(data + 1, size - 1, 2);
            const QByteArrayView land = pieces[0].first(std::min<qsizetype>(pieces[0].size(), TileData::StaticRegion));
            file.write(land.data(), land.size());
            landBytes = land.size();
            if (!pieces[1].isEmpty()) {
                // The gap up to the static region stays a hole: zero bytes, nothing written.
                file.seek(TileData::StaticRegion);
                file.write(pieces[1].data(), pieces[1].size());
            }
        } else {
            file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
        }
#endif
    }

    TileData tiles(g_path);
    const qint64 fileSize = QFileInfo(g_path).size();
    // A size of the later layout (64-bit flags) has its static region and groups further on.
    const bool later = TileData::isLaterSize(fileSize);
    FUZZ_CHECK(tiles.isLater() == later);
#ifdef TESSARYN_FUZZ_LATER_TILEDATA
    FUZZ_CHECK(later);
#endif
    const qint64 region = later ? TileData::LaterStaticRegion : TileData::StaticRegion;
    const qint64 group = later ? TileData::LaterStaticGroupSize : TileData::StaticGroupSize;
    const int expectedStatic = fileSize > region ? int((fileSize - region + group - 1) / group) : 0;
    FUZZ_CHECK(tiles.staticGroupCount() == expectedStatic);

    // One tile of every land group the input wrote and the next two, each group's first and last
    // tiles among them. Groups in the hole before the static region read as zeros.
    const int landGroups = int(std::min<qint64>(TileData::LandGroups, landBytes / (later ? TileData::LaterLandGroupSize : TileData::LandGroupSize) + 2));
    for (int g = 0; g < landGroups; ++g) {
        for (int id : {g * 32, g * 32 + g % 32, g * 32 + 31})
            checkTile(tiles.landTile(id), id, TileKind::Land);
    }
    for (int id : {-1, TileData::LandGroups * 32, 0x7FFFFFFF}) {
        const Tile t = tiles.landTile(id);
        checkTile(t, id, TileKind::Land);
        FUZZ_CHECK(t.flags() == 0 && t.name().isEmpty());
    }

    const int staticGroups = std::min(tiles.staticGroupCount(), 4096);
    for (int g = 0; g < staticGroups; ++g) {
        for (int id : {g * 32, g * 32 + g % 32, g * 32 + 31})
            checkTile(tiles.staticTile(id), id, TileKind::Static);
    }
    for (int id : {-1, tiles.staticGroupCount() * 32, 0xFFFF + 1}) {
        const Tile t = tiles.staticTile(id);
        checkTile(t, id, TileKind::Static);
        if (id < 0 || id / 32 >= tiles.staticGroupCount())
            FUZZ_CHECK(t.flags() == 0 && t.name().isEmpty());
    }
    // A group asked for again comes from memory.
    const int reads = tiles.groupReads();
    tiles.landTile(0);
    if (staticGroups > 0)
        tiles.staticTile(0);
    FUZZ_CHECK(tiles.groupReads() == reads);
    return 0;
}
