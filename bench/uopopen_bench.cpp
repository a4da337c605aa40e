// A later Felucca (7168 x 4096 cells) with its map in a container against the same map as a
// plain map0.mul, both written by the sample generator in this run:
//  - opening the facet (the container's tables are read once, at open);
//  - reading 20,000 land blocks spread over the facet (cell access).
// Each figure is the median of its rounds, the container's beside the plain map's measured
// right after it: 41 rounds for the opens (a fraction of a millisecond each, so one slow
// moment of a shared machine would move a median of few rounds), 7 for the block reads.
#include "sampleworld/sampleworld.h"
#include "world/datadirectory.h"
#include "world/facet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char *name, double value, const char *unit, const char *baseline, double base, int rounds)
{
    std::printf("%s %.3f %s (%s %.3f %s, %.2fx; medians of %d rounds)\n", name, value, unit, baseline, base, unit,
                value / base, rounds);
    std::fflush(stdout);
}

double openMs(const QString &dir)
{
    setDataDirectoryOverride(dir);
    QElapsedTimer timer;
    timer.start();
    Facet f(0, true);
    const double ms = timer.nsecsElapsed() / 1e6;
    return f.blockCount() > 0 ? ms : -1;
}

double readMs(const QString &dir, int blocks)
{
    setDataDirectoryOverride(dir);
    Facet f(0, true);
    QRandomGenerator random(17);
    qint64 sum = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < blocks; ++i)
        sum += f.loadLandBlock(int(random.bounded(f.blockCount())), false).at(0).id();
    const double ms = timer.nsecsElapsed() / 1e6;
    return sum >= 0 ? ms : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir temp;
    qputenv("TEMP", (temp.path() + QStringLiteral("/temp")).toLocal8Bit());
    const QString uop = temp.path() + QStringLiteral("/uop"), mul = temp.path() + QStringLiteral("/mul");
    for (const QString &dir : {uop, mul}) {
        sampleworld::Options options;
        options.outDir = dir;
        options.layout = sampleworld::Layout::Later;
        options.facets = {0};
        if (dir == mul)
            options.mulMaps = {0};
        QString error;
        if (!sampleworld::write(options, &error)) {
            std::fprintf(stderr, "sample world: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::vector<double> uopOpen, mulOpen, uopRead, mulRead;
    constexpr int openRounds = 41, readRounds = 7;
    for (int round = 0; round < openRounds; ++round) {
        uopOpen.push_back(openMs(uop));
        mulOpen.push_back(openMs(mul));
    }
    for (int round = 0; round < readRounds; ++round) {
        uopRead.push_back(readMs(uop, 20000));
        mulRead.push_back(readMs(mul, 20000));
    }
    report("open_felucca_container", median(uopOpen), "ms", "map0.mul", median(mulOpen), openRounds);
    report("read_20000_land_blocks_container", median(uopRead), "ms", "map0.mul", median(mulRead), readRounds);
    return 0;
}
