// Containers of later clients: the tables, the entries (stored and zlib), the map made of
// chunks and the art read from a container.
//
// Input: a mode byte, then the container file.
//   mode 0: the container as such: every entry a map or art reader would look for is read
//           whole and in part, and the two agree;
//   mode 1: the container as map 0: reads at the start, across chunk ends and past the end;
//   mode 2: the container as "artLegacyMUL.uop" of the data directory, read by the art store.
#include "fuzz/fuzzsupport.h"
#include "tiles/artstore.h"
#include "world/uopfile.h"

#include <QFileInfo>

#include <cstring>

namespace {
QString g_dir;

// The names the readers look for: map chunks of map 0 and a few art records of each kind.
QList<QByteArray> wantedNames()
{
    QList<QByteArray> names;
    for (int c = 0; c < 4; ++c)
        names.append(UopMap::chunkName(0, c));
    for (int i : {0, 1, 2, 0x4000, 0x4001, 0x4002})
        names.append(ArtStore::containerEntryName(i));
    return names;
}

void fuzzContainer(const QString &path)
{
    UopFile uop;
    QString error;
    if (!uop.open(path, &error)) {
        FUZZ_CHECK(!error.isEmpty() && !uop.isOpen());
        return;
    }
    FUZZ_CHECK(uop.fileSize() == QFileInfo(path).size());
    for (const QByteArray &name : wantedNames()) {
        const UopEntry *e = uop.find(name);
        if (!e)
            continue;
        FUZZ_CHECK(e->hash == uopHash(name));
        // An entry accepted at open lies inside the file.
        FUZZ_CHECK(e->offset >= 0 && e->dataOffset() + qint64(e->compressedSize) <= uop.fileSize());
        QByteArray whole;
        const bool read = uop.read(*e, whole, &error);
        if (read)
            FUZZ_CHECK(whole.size() == qsizetype(e->decompressedSize));
        const qint64 length = std::min<qint64>(e->decompressedSize, 64);
        QByteArray part(length, '\0');
        const bool gotPart = uop.readPart(*e, e->decompressedSize - length, length, part.data());
        if (read && gotPart)
            FUZZ_CHECK(std::memcmp(part.constData(), whole.constData() + whole.size() - length, size_t(length)) == 0);
        char byte;
        FUZZ_CHECK(!uop.readPart(*e, e->decompressedSize, 1, &byte));
    }
}

void fuzzMap(const QString &path)
{
    UopMap map;
    QString error;
    if (!map.open(path, 0, &error)) {
        FUZZ_CHECK(!error.isEmpty() && !map.isOpen());
        return;
    }
    qint64 total = 0;
    for (int c = 0; c < map.chunkCount(); ++c) {
        // Every chunk but the last is 4096 whole blocks.
        if (c + 1 < map.chunkCount())
            FUZZ_CHECK(map.chunk(c).decompressedSize == quint32(UopMap::ChunkBlocks * 196));
        total += map.chunk(c).decompressedSize;
    }
    FUZZ_CHECK(total == map.size());
    char block[196 * 2];
    const qint64 chunkBytes = qint64(UopMap::ChunkBlocks) * 196;
    for (qint64 at : {qint64(0), chunkBytes - 196, map.size() - 196, map.size() - 1})
        if (at >= 0 && at + 196 <= map.size())
            map.read(at, 196, block);
    if (map.size() >= 2 * 196 && map.chunkCount() > 1)
        map.read(chunkBytes - 196, 2 * 196, block); // across the first chunk's end
    FUZZ_CHECK(!map.read(map.size(), 1, block));
    FUZZ_CHECK(!map.read(-1, 1, block));
    FUZZ_CHECK(!map.read(std::max<qint64>(0, map.size() - 195), 196, block));
}

void fuzzArt()
{
    ArtStore art;
    for (int id : {0, 1, 2}) {
        const QImage land = art.landArt(id, 255);
        FUZZ_CHECK(land.isNull() || (land.width() == ArtStore::kLandSide && land.height() == ArtStore::kLandSide));
    }
    for (int id : {0, 1, 2}) {
        const QImage image = art.staticArt(id, 255);
        FUZZ_CHECK(image.isNull() || (image.width() <= ArtStore::kMaxStaticSide && image.height() <= ArtStore::kMaxStaticSide));
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::initEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int mode = data[0] % 3;
    const QByteArrayView file(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    fuzz::clearDirectory(g_dir);
    const QString path = g_dir + (mode == 2 ? QStringLiteral("/artLegacyMUL.uop") : QStringLiteral("/map0LegacyMUL.uop"));
    if (!fuzz::writeFile(path, file))
        return 0;
    if (mode == 0)
        fuzzContainer(path);
    else if (mode == 1)
        fuzzMap(path);
    else
        fuzzArt();
    return 0;
}
