// World saves: the text item sections read into a facet's items, TYPE 255 items appended to
// the working files as statics, multis read from the client's multi index and data, and the
// copy written beside the save.
//
// Input: four pieces (see splitPieces): control (byte 0 picks the facet, 0-3), the world save,
// multi.idx and multi.mul.
#include "fuzz/fuzzsupport.h"
#include "tiles/tiledata.h"
#include "world/facet.h"
#include "world/worldsave.h"

#include <QDir>


namespace {
QString g_dir;
QString g_saveDir;
std::shared_ptr<WorkingDirectory> g_store;

// Lines the reader sees: every line feed ends one, and text after the last one is one more.
int linesOf(QByteArrayView text)
{
    const int feeds = int(text.count('\n'));
    return feeds + (!text.isEmpty() && !text.endsWith('\n') ? 1 : 0);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::initEnvironment();
    g_saveDir = QDir(g_dir).filePath(QStringLiteral("../saves"));
    QDir().mkpath(g_saveDir);
    g_store = WorkingDirectory::create();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArrayView> pieces = fuzz::splitPieces(data, size, 4);
    const int facetNumber = pieces[0].isEmpty() ? 0 : uchar(pieces[0][0]) % 4;
    fuzz::clearDirectory(g_dir);
    fuzz::clearDirectory(g_saveDir);
    fuzz::clearDirectory(g_store->path());
    const QString save = g_saveDir + QStringLiteral("/world.wsc");
    fuzz::writeFile(save, pieces[1]);
    fuzz::writeFile(g_dir + QStringLiteral("/multi.idx"), pieces[2]);
    fuzz::writeFile(g_dir + QStringLiteral("/multi.mul"), pieces[3]);

    Facet facet(facetNumber, true, g_store);
    TileData tiles(g_dir + QStringLiteral("/tiledata.mul"));
    const WorldSaveResult result = readWorldSave(facet, save, tiles);
    FUZZ_CHECK(result.ok);

    // Every item lies on a real cell of the facet and is counted once.
    int items = 0;
    for (auto block = facet.items().cbegin(); block != facet.items().cend(); ++block) {
        FUZZ_CHECK(block.key() >= 0 && block.key() < facet.blockCount());
        for (auto cell = block->cbegin(); cell != block->cend(); ++cell) {
            FUZZ_CHECK(isCellKey(cell.key()));
            for (const Tile &t : cell.value())
                FUZZ_CHECK(t.isItem() && t.z() >= -128 && t.z() <= 127);
            items += cell->size();
        }
    }
    FUZZ_CHECK(items == result.items);

    // The data directory has no statics, so the working files hold exactly the new records.
    qint64 bytes = 0;
    for (int block : facet.workingBlocks(Facet::StaticsKind)) {
        FUZZ_CHECK(block >= 0 && block < facet.blockCount());
        QByteArray records;
        FUZZ_CHECK(facet.readWorkingFile(block, records, Facet::StaticsKind));
        bytes += records.size();
        FUZZ_CHECK(StaticBlock::decode(records, tiles).tileCount() == records.size() / StaticBlock::RecordSize);
    }
    FUZZ_CHECK(bytes == qint64(result.statics) * StaticBlock::RecordSize);

    // Without statics the copy has every line of the save.
    QFile copy(result.copyPath);
    FUZZ_CHECK(copy.open(QIODevice::ReadOnly));
    const QByteArray copied = copy.readAll();
    if (result.statics == 0)
        FUZZ_CHECK(linesOf(copied) == linesOf(pieces[1]));
    else
        FUZZ_CHECK(linesOf(copied) < linesOf(pieces[1]));
    facet.clearWorkingFiles();
    return 0;
}
