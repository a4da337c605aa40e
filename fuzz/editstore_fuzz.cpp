// The edit store: working files of changed blocks read back in place of the client files,
// the listing of a working directory that holds names of all sorts, and edits that go out
// through the block cache and come back unchanged.
//
// Input: six pieces (see splitPieces): control, the land working file, the statics working
// file, file names (one a line) to create in the working directory, and the land and statics
// difference lists. Control byte 0 picks the facet (0-3), bytes 1-4 a block number (taken
// modulo the facet's block count unless byte 5 is odd), and every further pair of bytes is an
// edit of that block: cell (low 6 bits of the first byte) and value (second byte).
#include "fuzz/fuzzsupport.h"
#include "world/blockcache.h"
#include "world/facet.h"

#include <QDir>


namespace {
QString g_dir;
std::shared_ptr<WorkingDirectory> g_store;

int staticRecordsInside(QByteArrayView records)
{
    int n = 0;
    for (qsizetype at = 0; at + StaticBlock::RecordSize <= records.size(); at += StaticBlock::RecordSize)
        n += uchar(records[at + 2]) < 8 && uchar(records[at + 3]) < 8;
    return n;
}

Tile staticTile(int id, int z)
{
    TileInfo info;
    info.id = id;
    info.kind = TileKind::Static;
    return Tile(info, z);
}

void createNamedFiles(QByteArrayView names)
{
    int made = 0;
    for (const QByteArray &line : names.toByteArray().split('\n')) {
        if (made == 32)
            break;
        const QString name = QString::fromLatin1(line.left(64));
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
            || name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
            continue;
        fuzz::writeFile(g_store->filePath(name), QByteArrayView());
        ++made;
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::initEnvironment();
    g_store = WorkingDirectory::create();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArrayView> pieces = fuzz::splitPieces(data, size, 6);
    const QByteArrayView control = pieces[0];
    if (control.size() < 6)
        return 0;
    const int facetNumber = uchar(control[0]) % 4;
    fuzz::clearDirectory(g_dir);
    fuzz::clearDirectory(g_store->path());
    const QString f = QString::number(facetNumber);
    fuzz::writeFile(g_dir + QStringLiteral("/mapdifl") + f + QStringLiteral(".mul"), pieces[4]);
    fuzz::writeFile(g_dir + QStringLiteral("/stadifl") + f + QStringLiteral(".mul"), pieces[5]);

    Facet facet(facetNumber, true, g_store);
    int block = qFromLittleEndian<qint32>(control.data() + 1);
    if (!(control[5] & 1))
        block = int(quint32(block) % quint32(facet.blockCount()));

    const QByteArray landWork = pieces[1].toByteArray();
    const QByteArray staticsWork = pieces[2].toByteArray();
    FUZZ_CHECK(facet.writeWorkingFile(block, landWork, Facet::LandKind));
    FUZZ_CHECK(facet.writeWorkingFile(block, staticsWork, Facet::StaticsKind));

    // A working file of the right size stands for the block; any other land size does not.
    const LandBlock land = facet.loadLandBlock(block, true);
    FUZZ_CHECK(land.size() == 64);
    if (landWork.size() == LandBlock::RecordSize) {
        const auto *p = reinterpret_cast<const uchar *>(landWork.constData()) + 4;
        for (int i = 0; i < 64; ++i)
            FUZZ_CHECK(land.at(cellKeyAt(i)).id() == qFromLittleEndian<quint16>(p + 3 * i));
    }
    FUZZ_CHECK(facet.loadStaticBlock(block, true, true).tileCount() == staticRecordsInside(staticsWork));

    createNamedFiles(pieces[3]);
    for (int kind : {Facet::LandKind, Facet::StaticsKind}) {
        const QList<int> blocks = facet.workingBlocks(kind);
        for (int i = 1; i < blocks.size(); ++i)
            FUZZ_CHECK(blocks[i - 1] < blocks[i]);
        FUZZ_CHECK(blocks.contains(block));
    }

    // Edits through the cache reach the working files and read back as they were made.
    BlockCache cache;
    cache.setFacet(&facet);
    const bool inside = block >= 0 && block < facet.blockCount();
    if (inside) {
        const int bx = (block / facet.blocksY()) * 8, by = (block % facet.blocksY()) * 8;
        for (qsizetype at = 6; at + 2 <= control.size() && at < 6 + 2 * 32; at += 2) {
            const int cell = uchar(control[at]) & 63;
            const int value = uchar(control[at + 1]);
            const int x = bx + (cell & 7), y = by + (cell >> 3);
            switch (uchar(control[at]) >> 6) {
            case 0: cache.setLand(x, y, 2, value * 37, value - 128); break;
            case 1: cache.setStatic(x, y, 0, staticTile(value * 131, value - 128), Tile()); break;
            case 2: {
                const TileStack stack = cache.statics(x, y);
                if (!stack.isEmpty())
                    cache.setStatic(x, y, 1, stack[value % stack.size()], Tile());
                break;
            }
            default: cache.setLand(x, y, 1, 0, value - 128); break;
            }
        }
        const QByteArray statics = cache.staticBlock(block).encode();
        QByteArray landBytes;
        cache.landBlock(block).encodeInto(landBytes);
        const bool landChanged = cache.changedLand().count(block) > 0;
        cache.flush();
        QByteArray stored;
        if (landChanged) {
            FUZZ_CHECK(facet.readWorkingFile(block, stored, Facet::LandKind));
            FUZZ_CHECK(stored.size() == LandBlock::RecordSize);
            FUZZ_CHECK(stored.mid(4) == landBytes.mid(4));
        }
        FUZZ_CHECK(facet.loadStaticBlock(block, true, false).encode() == statics);
    }
    cache.setFacet(nullptr);

    facet.hasWorkingFiles(2);
    FUZZ_CHECK(facet.workingSet(Facet::LandKind).isEmpty() && facet.workingSet(Facet::StaticsKind).isEmpty());
    FUZZ_CHECK(QDir(g_store->path()).entryList({QStringLiteral("*.tsy") + f}, QDir::Files | QDir::Hidden | QDir::CaseSensitive).isEmpty());
    return 0;
}
