// Cost of saving Felucca, each figure beside a baseline measured in the same run:
//  - a save into the main files with a few hundred changed blocks, against cp of the same
//    three main files, and against a durable copy (cp, then fsync of the three copies: a
//    save syncs its new files too, so that is the honest floor);
//  - a save into the difference files with 1 000 changed blocks, against cp of the three
//    main files;
//  - writing 300 changed blocks to working files (the flush before a save), against cp.
// Each figure is the median of five rounds.
// Usage: save_bench [client directory with Felucca]; the directory is copied into a
// temporary directory first. Without one a sample Felucca is written there.
#include "sampleworld/sampleworld.h"
#include "world/blockcache.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/facetsaver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Syncs the copies themselves, not the whole machine: other programs' dirty pages are none
// of this measurement's business.
void syncCopies(const QString &to)
{
    for (const char *name : {"map0.mul", "staidx0.mul", "statics0.mul"}) {
        QFile f(to + QLatin1Char('/') + QLatin1String(name));
        if (f.open(QIODevice::ReadWrite))
            ::fsync(f.handle());
    }
}

double copyMainFiles(const QString &dir, const QString &to, bool sync)
{
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    QStringList args;
    for (const char *name : {"map0.mul", "staidx0.mul", "statics0.mul"})
        args << dir + QLatin1Char('/') + QLatin1String(name);
    args << to;
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("cp"), args);
    if (sync)
        syncCopies(to);
    return timer.nsecsElapsed() / 1e6;
}

// Changes land and statics in `blocks` distinct blocks spread over the facet.
void changeBlocks(BlockCache &cache, int blocks, quint32 seed)
{
    QRandomGenerator random(seed);
    QSet<int> done;
    while (done.size() < blocks) {
        const int x = random.bounded(cache.blocksX() * 8), y = random.bounded(cache.blocksY() * 8);
        const int block = blockNumber(x, y, cache.blocksY());
        if (done.contains(block))
            continue;
        done.insert(block);
        cache.setLand(x, y, 2, 3 + random.bounded(20), random.bounded(-20, 40));
        Tile t = cache.tileData().staticTile(0x0E00 + random.bounded(200));
        t.setZ(random.bounded(-10, 60));
        cache.setStatic(x, y, 0, t, Tile());
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char *name, double value, const char *baseline, double base)
{
    std::printf("%s %.1f ms (%s %.1f ms, %.2fx)\n", name, value, baseline, base, value / base);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("TessarynBench"));
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir temp;
    qputenv("TEMP", (temp.path() + QStringLiteral("/temp")).toLocal8Bit());
    const QString dir = temp.path() + QStringLiteral("/client");
    sampleworld::Options options;
    options.outDir = dir;
    options.facets = {0};
    QString error;
    if (argc > 1) {
        QDir().mkpath(dir);
        for (const QString &name : QDir(QString::fromLocal8Bit(argv[1])).entryList(QDir::Files))
            QFile::copy(QString::fromLocal8Bit(argv[1]) + QLatin1Char('/') + name, dir + QLatin1Char('/') + name);
    } else if (!sampleworld::write(options, &error)) {
        std::fprintf(stderr, "sample world: %s\n", qPrintable(error));
        return 1;
    }
    setDataDirectory(dir);

    Facet felucca(0), trammel(1);
    felucca.setApplication(&app);
    BlockCache cache;
    cache.setFacet(&felucca);
    // Room for every changed block of a round, so the flush below writes all 300 of them
    // (with the default capacity most would leave the cache, and reach their working files,
    // before the clock starts).
    cache.setCapacity(2000);
    const QString copies = temp.path() + QStringLiteral("/copies");

    // The machines are shared: every figure is the median of several rounds, each side
    // measured right after the other. The changed blocks reach their working files before
    // the clock starts (as they do whenever they leave the cache); that is the edit store's
    // cost, reported on its own.
    const int rounds = 5;
    std::vector<double> saves, flushes, cps, cpSyncs, diffSaves, diffCps;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        changeBlocks(cache, 300, 7 + round);
        timer.start();
        cache.flush();
        flushes.push_back(timer.nsecsElapsed() / 1e6);
        cps.push_back(copyMainFiles(dir, copies, false));
        timer.restart();
        if (!saveFacet(cache, felucca, &trammel, 0, {}, &error)) {
            std::fprintf(stderr, "save: %s\n", qPrintable(error));
            return 1;
        }
        saves.push_back(timer.nsecsElapsed() / 1e6);
        cpSyncs.push_back(copyMainFiles(dir, copies, true));

        changeBlocks(cache, 1000, 101 + round);
        cache.flush();
        diffCps.push_back(copyMainFiles(dir, copies, false));
        timer.restart();
        if (!saveFacet(cache, felucca, &trammel, 1, {}, &error)) {
            std::fprintf(stderr, "save: %s\n", qPrintable(error));
            return 1;
        }
        diffSaves.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double save = median(saves), cp = median(cps);
    report("save_main_felucca_300_blocks", save, "cp", cp);
    report("save_main_felucca_300_blocks", save, "cp+fsync", median(cpSyncs));
    report("flush_300_blocks_to_working_files", median(flushes), "cp", cp);
    report("save_difference_felucca_1000_blocks", median(diffSaves), "cp", median(diffCps));
    return 0;
}
