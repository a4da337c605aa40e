// A facet's file set read through the block cache: the main land and statics files, the
// statics index, and the difference files with their lists and index.
//
// Input: nine pieces (see splitPieces): a control piece, then map, staidx, statics, mapdif,
// mapdifl, stadif, stadifi and stadifl. Control byte 0 picks the facet (0-3; 4 is a facet
// number without files), bit 0 of byte 1 turns the difference files off, and any further
// 4-byte groups are block numbers to read as well.
#include "fuzz/fuzzsupport.h"
#include "world/blockcache.h"
#include "world/facet.h"


namespace {
QString g_dir;
std::shared_ptr<WorkingDirectory> g_store;

// Reads block both through the cache and straight from the facet; they must agree.
void readBlock(BlockCache &cache, Facet &facet, int block)
{
    const bool inside = block >= 0 && block < cache.blocksX() * cache.blocksY();
    FUZZ_CHECK(facet.readLandRaw(block).size() == LandBlock::RecordSize);
    const QByteArray statics = facet.readStaticsRaw(block);
    const LandBlock &land = cache.landBlock(block);
    FUZZ_CHECK(land.size() == (inside ? 64 : 0));
    const int tiles = cache.staticBlock(block).tileCount();
    if (inside)
        FUZZ_CHECK(tiles == facet.loadStaticBlock(block, true, true).tileCount());
    else
        FUZZ_CHECK(tiles == 0);
    FUZZ_CHECK(tiles <= statics.size() / StaticBlock::RecordSize);
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
    const QList<QByteArrayView> pieces = fuzz::splitPieces(data, size, 9);
    const QByteArrayView control = pieces[0];
    const int facetNumber = control.size() > 0 ? uchar(control[0]) % 5 : 2;
    const bool useDiff = !(control.size() > 1 && (control[1] & 1));
    const int files = facetNumber == 1 ? 0 : facetNumber;
    const QString main = QString::number(files) + QStringLiteral(".mul");
    const QString diff = QString::number(facetNumber) + QStringLiteral(".mul");

    fuzz::clearDirectory(g_dir);
    const char *const names[8] = {"/map", "/staidx", "/statics", "/mapdif", "/mapdifl", "/stadif", "/stadifi", "/stadifl"};
    for (int i = 0; i < 8; ++i)
        fuzz::writeFile(g_dir + QLatin1String(names[i]) + (i < 3 ? main : diff), pieces[i + 1]);

    Facet facet(facetNumber == 4 ? 7 : facetNumber, useDiff, g_store);
    BlockCache cache;
    cache.setFacet(&facet);

    // The first blocks of the main files, every block a difference list names, and the
    // blocks the control piece asks for.
    const int mainLand = int(std::min<qsizetype>(pieces[1].size() / LandBlock::RecordSize + 1, 24));
    const int mainStatics = int(std::min<qsizetype>(pieces[2].size() / 12 + 1, 24));
    for (int b = 0; b < std::max(mainLand, mainStatics); ++b)
        readBlock(cache, facet, b);
    int listed = 0;
    for (auto it = facet.landDifferenceList().cbegin(); it != facet.landDifferenceList().cend() && listed < 48; ++it, ++listed)
        readBlock(cache, facet, it.key());
    listed = 0;
    for (auto it = facet.staticsDifferenceList().cbegin(); it != facet.staticsDifferenceList().cend() && listed < 48; ++it, ++listed)
        readBlock(cache, facet, it.key());
    for (qsizetype at = 4; at + 4 <= control.size() && at < 4 + 4 * 8; at += 4)
        readBlock(cache, facet, qFromLittleEndian<qint32>(control.data() + at));

    // Cell accessors over the first blocks, and one block's cell stacks in drawing order.
    for (int x = -1; x < 9; x += 3)
        for (int y = -1; y < 17; y += 2) {
            cache.land(x, y);
            const TileStack cell = cache.cellTiles(x, y);
            for (int k = 1; k < cell.size(); ++k)
                FUZZ_CHECK(cell[k - 1].sortZ() <= cell[k].sortZ());
        }
    cache.setFacet(nullptr);
    return 0;
}
