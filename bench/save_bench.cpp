// Cost of saving a later client's Felucca (7168 x 4096 cells), each figure beside a baseline
// measured in the same run:
//  - a save into the main files with 300 changed blocks, once with the map as map0.mul and
//    once in map0LegacyMUL.uop, each against a durable copy of the files that save writes (cp,
//    then fsync of each copy and of their directory: the saver syncs its new files and the
//    directory too, so that is the honest floor); the save lets go of the old files on a
//    thread of its own beside its other clean-up, and any time still left of that when the
//    save returns is reported beside it (the bench waits for it outside both figures);
//  - a save into the difference files of 1 changed block with no list yet, against the same
//    save after 10,000 blocks are listed;
//  - writing 300 changed blocks to working files (the flush before a save), against cp of the
//    files of a main save; the cache holds all 300, and the bench checks that the flush wrote
//    a working file for each.
// Each figure is the median of eleven rounds, each side measured right after the other: the
// machine may be shared, and a median of many rounds keeps one slow round out of the figure.
// Usage: save_bench (writes both sample directories into a temporary directory).
#include "sampleworld/sampleworld.h"
#include "world/blockcache.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/facetsaver.h"
#include "world/filereplacer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double ms(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

bool fsyncPath(const QString &path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDWR);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// cp of names from dir into to, then (sync) fsync of each copy and of to. Syncs the copies
// themselves, never the whole machine: other programs' dirty pages are none of this
// measurement's business.
double copyFiles(const QString &dir, const QStringList &names, const QString &to, bool sync)
{
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    QStringList args;
    for (const QString &name : names)
        args << dir + QLatin1Char('/') + name;
    args << to;
    QElapsedTimer timer;
    timer.start();
    if (QProcess::execute(QStringLiteral("cp"), args) != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    if (sync) {
        for (const QString &name : names)
            fsyncPath(to + QLatin1Char('/') + name, false);
        fsyncPath(to, true);
    }
    return ms(timer);
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

void save(BlockCache &cache, Facet &facet, int mode)
{
    QString error;
    if (!saveFacet(cache, facet, nullptr, mode, {}, &error)) {
        std::fprintf(stderr, "save: %s\n", qPrintable(error));
        std::exit(1);
    }
}

void write(const QString &dir, bool mulMap)
{
    sampleworld::Options options;
    options.outDir = dir;
    options.layout = sampleworld::Layout::Later;
    options.facets = {0};
    if (mulMap)
        options.mulMaps = {0};
    QString error;
    if (!sampleworld::write(options, &error)) {
        std::fprintf(stderr, "sample world: %s\n", qPrintable(error));
        std::exit(1);
    }
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
    const QString copies = temp.path() + QStringLiteral("/copies");
    const int rounds = 11, changed = 300;

    std::vector<double> flushes, flushCps;
    for (const bool mulMap : {true, false}) {
        const QString dir = temp.path() + (mulMap ? QStringLiteral("/mul") : QStringLiteral("/uop"));
        write(dir, mulMap);
        setDataDirectoryOverride(dir);
        Facet felucca(0);
        felucca.setApplication(&app);
        BlockCache cache;
        cache.setFacet(&felucca);
        // Room for every changed block of a round, so the flush writes all of them.
        cache.setCapacity(4 * changed);
        const QStringList written = felucca.saveTargets(0);
        std::vector<double> saves, cpSyncs, cleanups;
        for (int round = 0; round < rounds; ++round) {
            changeBlocks(cache, changed, 7 + round);
            QElapsedTimer timer;
            timer.start();
            cache.flush();
            flushes.push_back(ms(timer));
            const qsizetype flushed = felucca.workingSet(Facet::LandKind).size();
            if (flushed != changed || felucca.workingSet(Facet::StaticsKind).size() != changed) {
                std::fprintf(stderr, "the flush wrote %lld of %d blocks\n", qint64(flushed), changed);
                return 1;
            }
            flushCps.push_back(copyFiles(dir, written, copies, false));
            timer.restart();
            save(cache, felucca, 0);
            saves.push_back(ms(timer));
            // The old files go on a thread of their own after the save; that is waited for
            // here, outside both figures, so that it slows neither.
            timer.restart();
            FileReplacer::waitForCleanup();
            cleanups.push_back(ms(timer));
            cpSyncs.push_back(copyFiles(dir, written, copies, true));
        }
        report(mulMap ? "save_main_later_felucca_mul" : "save_main_later_felucca_uop", median(saves), "cp+fsync",
               median(cpSyncs));
        std::printf("  the old files' cleanup, left to its own thread: %.1f ms after the save returned\n",
                    median(cleanups));
    }
    report("flush_300_blocks_to_working_files", median(flushes), "cp", median(flushCps));

    // Difference saves of one block: with no list yet, and with 10,000 blocks listed.
    const QString dir = temp.path() + QStringLiteral("/mul");
    setDataDirectoryOverride(dir);
    Facet felucca(0);
    BlockCache cache;
    cache.setFacet(&felucca);
    cache.setCapacity(2 * 10000);
    const QStringList differences = felucca.saveTargets(1);
    auto removeDifferences = [&] {
        for (const QString &name : differences)
            QFile::remove(dir + QLatin1Char('/') + name);
        felucca.reopen();
    };
    std::vector<double> fresh, listed;
    removeDifferences();
    for (int round = 0; round < rounds; ++round) {
        removeDifferences();
        changeBlocks(cache, 1, 301 + round);
        cache.flush();
        QElapsedTimer timer;
        timer.start();
        save(cache, felucca, 1);
        fresh.push_back(ms(timer));
        if (felucca.landDifferenceList().size() != 1) {
            std::fprintf(stderr, "the fresh difference save lists %lld blocks\n",
                         qint64(felucca.landDifferenceList().size()));
            return 1;
        }
    }
    removeDifferences();
    changeBlocks(cache, 10000, 401);
    save(cache, felucca, 1);
    const qsizetype before = felucca.landDifferenceList().size();
    for (int round = 0; round < rounds; ++round) {
        changeBlocks(cache, 1, 501 + round);
        cache.flush();
        QElapsedTimer timer;
        timer.start();
        save(cache, felucca, 1);
        listed.push_back(ms(timer));
    }
    if (before < 9990 || felucca.landDifferenceList().size() < before) {
        std::fprintf(stderr, "the difference lists hold %lld blocks, not 10,000\n", qint64(before));
        return 1;
    }
    report("save_difference_1_block_after_10000_listed", median(listed), "1 block fresh", median(fresh));
    return 0;
}
