// Cost of reading the map through the block cache, each figure beside a baseline measured
// in the same run:
//  - warm land + cellTiles over one frame's cells at scale 1, against copying as many Tile
//    values out of a plain array;
//  - cold land and statics block loads, against decoding the same bytes from memory;
//  - blocks decoded by a second walk of the scale 0.25 region (should be none).
// Usage: blockcache_bench [client directory with Felucca]; without one it writes a sample
// Felucca into a temporary directory first.
#include "sampleworld/sampleworld.h"
#include "world/blockcache.h"
#include "world/datadirectory.h"
#include "world/facet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPoint>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {
volatile long long g_sink = 0;

// The cells a frame visits, in the view's order: rows of 2 * halfCols cells, 2 * halfRows
// rows, around the centre cell.
std::vector<QPoint> regionCells(double scale, int cx, int cy, int blocksX, int blocksY)
{
    const int halfCols = 1 - int(std::trunc(-20 / scale));
    const int halfRows = 1 - int(std::trunc(-40 / scale));
    const int k = int(0.5 * std::sqrt(double(halfCols * halfCols + halfRows * halfRows)));
    int rx = cx - 2 * k - 1, ry = cy;
    std::vector<QPoint> cells;
    for (int i = 0; i < 2 * halfRows; ++i) {
        rx += (i + 1) % 2;
        ry += i % 2;
        for (int j = 0; j < 2 * halfCols; ++j) {
            const int x = rx + j, y = ry - j;
            if (x >= 0 && y >= 0 && x < blocksX * 8 && y < blocksY * 8)
                cells.push_back(QPoint(x, y));
        }
    }
    return cells;
}

int distinctBlocks(const std::vector<QPoint> &cells, int blocksY)
{
    QSet<int> blocks;
    for (const QPoint &p : cells)
        blocks.insert(blockNumber(p.x(), p.y(), blocksY));
    return int(blocks.size());
}

// One frame's cell reads, as drawing makes them; returns the number of tiles handed out.
long long walk(BlockCache &cache, const std::vector<QPoint> &cells)
{
    long long tiles = 0, sum = 0;
    for (const QPoint &p : cells) {
        const Tile land = cache.land(p.x(), p.y());
        const TileStack stack = cache.cellTiles(p.x(), p.y());
        sum += land.z();
        for (const Tile &t : stack)
            sum += t.id();
        tiles += 1 + stack.size();
    }
    g_sink = g_sink + sum;
    return tiles;
}

void figure(const char *name, double value, const char *unit, double baseline)
{
    std::printf("%s %.1f %s (baseline %.1f, ratio %.2f)\n", name, value, unit, baseline,
                baseline > 0 ? value / baseline : 0.0);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir scratch;
    qputenv("TEMP", scratch.path().toLocal8Bit());
    QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (dir.isEmpty()) {
        sampleworld::Options options;
        options.outDir = scratch.path() + QStringLiteral("/client");
        options.facets = {0};
        QString error;
        if (!sampleworld::write(options, &error)) {
            std::fprintf(stderr, "blockcache_bench: %s\n", qPrintable(error));
            return 1;
        }
        dir = options.outDir;
    }
    setDataDirectory(dir);

    Facet felucca(0);
    const int bx = felucca.blocksX(), by = felucca.blocksY();
    const int cx = 3072, cy = 2048;

    // ---- warm frame at scale 1 ----
    {
        BlockCache cache;
        cache.setFacet(&felucca);
        const std::vector<QPoint> cells = regionCells(1.0, cx, cy, bx, by);
        walk(cache, cells);
        // The baseline copies out of an array the very tiles the walk hands out.
        std::vector<Tile> plain;
        for (const QPoint &p : cells) {
            plain.push_back(cache.land(p.x(), p.y()));
            for (const Tile &t : cache.cellTiles(p.x(), p.y()))
                plain.push_back(t);
        }
        const int rounds = 300;
        QElapsedTimer timer;
        timer.start();
        long long handed = 0;
        for (int r = 0; r < rounds; ++r)
            handed += walk(cache, cells);
        const double walkNs = double(timer.nsecsElapsed()) / rounds;
        timer.restart();
        for (int r = 0; r < rounds; ++r) {
            long long sum = 0;
            for (const Tile &src : plain) {
                const Tile copy = src;
                sum += copy.id() + copy.z();
            }
            g_sink = g_sink + sum;
        }
        const double copyNs = double(timer.nsecsElapsed()) / rounds;
        std::printf("# scale 1: %zu cells, %lld tiles per frame, %d blocks touched, cache loads %d + %d\n",
                    cells.size(), handed / rounds, distinctBlocks(cells, by), cache.landLoads(),
                    cache.staticLoads());
        figure("warm_frame_scale1", walkNs / 1000.0, "us", copyNs / 1000.0);
        figure("warm_cell_scale1", walkNs / double(cells.size()), "ns", copyNs / double(cells.size()));
    }

    // ---- cold block loads ----
    {
        const int n = 4000;
        QRandomGenerator rng(7);
        std::vector<int> blocks(n);
        for (int &b : blocks)
            b = int(rng.bounded(bx * by));
        TileData tiles;
        std::vector<QByteArray> landRaw, staticsRaw;
        long long staticTiles = 0;
        for (int b : blocks) {
            landRaw.push_back(felucca.readLandRaw(b));
            staticsRaw.push_back(felucca.readStaticsRaw(b));
            staticTiles += staticsRaw.back().size() / 7;
        }
        QElapsedTimer timer;
        timer.start();
        for (int b : blocks)
            g_sink = g_sink + felucca.loadLandBlock(b, true).at(0).id();
        const double coldLand = double(timer.nsecsElapsed()) / n;
        timer.restart();
        for (int b : blocks)
            g_sink = g_sink + felucca.readLandRaw(b).size();
        const double rawLand = double(timer.nsecsElapsed()) / n;
        timer.restart();
        for (const QByteArray &raw : landRaw)
            g_sink = g_sink + LandBlock::decode(raw, tiles).at(0).id();
        const double memLand = double(timer.nsecsElapsed()) / n;

        timer.restart();
        for (int b : blocks)
            g_sink = g_sink + felucca.loadStaticBlock(b, true, true).size();
        const double coldStatics = double(timer.nsecsElapsed()) / n;
        timer.restart();
        for (int b : blocks)
            g_sink = g_sink + felucca.readStaticsRaw(b).size();
        const double rawStatics = double(timer.nsecsElapsed()) / n;
        timer.restart();
        for (const QByteArray &raw : staticsRaw)
            g_sink = g_sink + StaticBlock::decode(raw, tiles).size();
        const double memStatics = double(timer.nsecsElapsed()) / n;

        std::printf("# cold loads: %d random blocks, %.1f statics per block on average\n", n,
                    double(staticTiles) / n);
        figure("cold_land_block", coldLand / 1000.0, "us", memLand / 1000.0);
        figure("cold_land_file_read", rawLand / 1000.0, "us", memLand / 1000.0);
        figure("cold_statics_block", coldStatics / 1000.0, "us", memStatics / 1000.0);
        figure("cold_statics_file_read", rawStatics / 1000.0, "us", memStatics / 1000.0);
    }

    for (double scale : {2.0, 1.0, 0.5, 0.3, 0.25, 0.2}) {
        const std::vector<QPoint> cells = regionCells(scale, cx, cy, bx, by);
        std::printf("# scale %.2f: %zu cells touch %d blocks per kind; capacity for them %d\n", scale,
                    cells.size(), distinctBlocks(cells, by), BlockCache::capacityForCells(qint64(cells.size())));
    }

    // ---- scale 0.25: the second walk decodes nothing ----
    {
        BlockCache cache;
        cache.setFacet(&felucca);
        const std::vector<QPoint> cells = regionCells(0.25, cx, cy, bx, by);
        cache.setCapacity(BlockCache::capacityForCells(qint64(cells.size())));
        QElapsedTimer timer;
        timer.start();
        walk(cache, cells);
        const double firstMs = double(timer.nsecsElapsed()) / 1e6;
        const int firstLoads = cache.landLoads() + cache.staticLoads();
        timer.restart();
        walk(cache, cells);
        const double secondMs = double(timer.nsecsElapsed()) / 1e6;
        const int secondLoads = cache.landLoads() + cache.staticLoads() - firstLoads;
        std::printf("# scale 0.25: %zu cells, %d blocks touched per kind, capacity %d per kind\n", cells.size(),
                    distinctBlocks(cells, by), cache.capacity());
        figure("second_walk_decodes_scale025", secondLoads, "blocks", firstLoads);
        figure("second_walk_scale025", secondMs, "ms", firstMs);
    }
    return 0;
}
