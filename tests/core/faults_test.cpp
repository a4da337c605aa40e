// Faults from outside the program: a TEMP that refuses the working directory, a disk that
// fills up while working files are written, a data directory that goes away while the editor
// runs. Each must leave the client files byte for byte as they were and keep every edit, and
// a save once the fault is gone must write the edits.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "world/blockcache.h"
#include "world/facet.h"
#include "world/facetsaver.h"

#include <QCryptographicHash>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace fixture;

namespace {

// File name -> SHA-256 of its bytes, for every file of dir.
QMap<QString, QByteArray> fingerprints(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files))
        out.insert(name, QCryptographicHash::hash(readFile(dir + QLatin1Char('/') + name), QCryptographicHash::Sha256));
    return out;
}

QStringList filesIn(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

// Writes past size bytes fail with "File too large" instead of ending the process: a disk
// that is full, for root as for anyone, without mounting anything.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t size)
    {
        m_ok = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = size;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    bool active() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
    bool m_ok = false;
};

// Points TEMP elsewhere for the lifetime of the guard.
class TempRedirect
{
public:
    explicit TempRedirect(const QString &path) : m_old(qgetenv("TEMP")) { qputenv("TEMP", path.toLocal8Bit()); }
    ~TempRedirect() { qputenv("TEMP", m_old); }

private:
    QByteArray m_old;
};

Tile staticTile(int id, int z)
{
    TileInfo info;
    info.id = id;
    info.kind = TileKind::Static;
    return Tile(info, z);
}

bool hasStatic(const TileStack &stack, int id)
{
    return std::any_of(stack.begin(), stack.end(), [id](const Tile &t) { return t.id() == id; });
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    int dirs = 0;

    // A fresh copy of the hand-built Ilshenar, made the data directory.
    QString freshFacet2()
    {
        const QString dir = env->root() + QStringLiteral("/client") + QString::number(++dirs);
        if (!writeFacet2(dir))
            qFatal("could not write the fixture");
        TestEnvironment::useDataDirectory(dir);
        return dir;
    }

private slots:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }
    void cleanupTestCase() { env.reset(); }

    // TEMP names a path below a regular file, so no working directory can be made (for root
    // too). The editor runs on with its edits in memory, more of them than the cache holds,
    // across a facet switch; the client files stay as they were. Once TEMP is usable the
    // next flush makes the directory and a save writes every edit.
    void unwritableTemp()
    {
        const QString dir = freshFacet2();
        const auto before = fingerprints(dir);
        const QString blocker = env->root() + QStringLiteral("/blocker");
        QVERIFY(writeFile(blocker, "a file where TEMP expects a directory"));
        const QString temp = blocker + QStringLiteral("/temp");
        TempRedirect redirect(temp);

        auto store = WorkingDirectory::create();
        QVERIFY(!store->isValid());
        const QString refused = QStringLiteral("Could not create a working directory in ") + temp
            + QStringLiteral(": Not a directory");
        QCOMPARE(store->errorString(), refused);
        Facet ilsh(2, true, store), malas(3, true, store);
        BlockCache cache;
        QVERIFY(cache.setFacet(&ilsh));

        // 120 changed land blocks, beyond the capacity of 100, and a static in block 12.
        const int edited = 120;
        for (int b = 0; b < edited; ++b)
            cache.setLand(0, 8 * b, 2, 1000 + b, b % 100);
        cache.setStatic(5, 102, 0, staticTile(0x0ABC, 12), Tile());
        QCOMPARE(cache.cachedLandBlocks(), edited);
        QCOMPARE(int(cache.changedLand().size()), edited);
        QCOMPARE(cache.lastError(), refused);
        QString error;
        QVERIFY(!cache.flush(&error));
        QCOMPARE(error, refused);
        QCOMPARE(int(cache.changedLand().size()), edited);
        QCOMPARE(cache.changedStatics(), (std::set<int>{12}));
        QVERIFY(!ilsh.hasWorkingFilesOnDisk());
        QCOMPARE(ilsh.workingBlocks(0), (QList<int>{5, 9})); // the list alone, nothing on disk

        // Switching facets keeps Ilshenar's edits for it; an edit of Malas joins them.
        QVERIFY(!cache.setFacet(&malas, &error));
        QCOMPARE(error, refused);
        QCOMPARE(cache.keptBlocks(&ilsh), edited + 1);
        QCOMPARE(cache.land(0, 0).id(), 0); // Malas' own block, not Ilshenar's edit
        cache.setLand(1, 1, 2, 4321, 3);
        QVERIFY(!cache.setFacet(&ilsh));
        QCOMPARE(cache.keptBlocks(&ilsh), 0);
        QCOMPARE(cache.keptBlocks(&malas), 1);
        for (int b = 0; b < edited; ++b)
            QCOMPARE(cache.land(0, 8 * b).id(), 1000 + b);
        QVERIFY(hasStatic(cache.statics(5, 102), 0x0ABC));
        QCOMPARE(fingerprints(dir), before);
        // Closing would lose Malas' kept block too, and a save cannot go on without the
        // edits it could not store.
        Facet *facets[4] = {nullptr, nullptr, &ilsh, &malas};
        QVERIFY(hasUnsavedChanges(cache, facets));
        QVERIFY(!saveFacet(cache, ilsh, nullptr, 1, {}, &error));
        QCOMPARE(error, refused);
        QCOMPARE(fingerprints(dir), before);

        // TEMP becomes usable: everything goes out, Malas' kept block too.
        QVERIFY(QFile::remove(blocker));
        QVERIFY(QDir().mkpath(temp));
        QVERIFY2(cache.flush(&error), qPrintable(error));
        QVERIFY(store->isValid());
        QCOMPARE(QFileInfo(store->path()).dir().path(), temp);
        QVERIFY(cache.lastError().isEmpty());
        QVERIFY(!cache.hasUnstoredChanges());
        QCOMPARE(malas.loadLandBlock(0, true).at(cellKey(1, 1)).id(), 4321);
        QVERIFY2(saveFacet(cache, ilsh, nullptr, 1, {}, &error), qPrintable(error));
        Facet saved(2);
        for (int b = 0; b < edited; ++b)
            QCOMPARE(saved.loadLandBlock(b, false).at(cellKey(0, 0)).id(), 1000 + b);
        QVERIFY(hasStatic(saved.loadStaticBlock(12, false, false).at(cellKey(5, 6)), 0x0ABC));
    }

    // The disk fills up while changed blocks are written by a flush and by evictions: the
    // 196-byte land working file no longer fits, the 7-byte statics one does. The refused
    // block stays changed in the cache, its earlier working file stays whole, and once there
    // is room again a save writes both edits.
    void diskFullDuringWorkingFileWrite()
    {
        const QString dir = freshFacet2();
        const auto before = fingerprints(dir);
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        cache.setLand(3, 10, 2, 77, 5); // block 1
        QVERIFY(cache.flush());
        const QString landFile = f.workingFilePath(1, Facet::LandKind);
        const QByteArray earlier = readFile(landFile);
        QCOMPARE(earlier.size(), qsizetype(LandBlock::RecordSize));

        cache.setLand(4, 10, 2, 78, 6); // block 1 again
        cache.setStatic(5, 102, 0, staticTile(0x0ABC, 12), Tile()); // block 12
        QString error;
        {
            FileSizeLimit full(100);
            QVERIFY(full.active());
            QVERIFY(!cache.flush(&error));
            // 150 other blocks pass through the cache; evicting block 1 fails every time.
            for (int b = 20; b < 170; ++b)
                cache.land(0, 8 * b);
        }
        QCOMPARE(error, QStringLiteral("Could not write the working file ") + landFile + QStringLiteral(": File too large"));
        QCOMPARE(cache.lastError(), error);
        QCOMPARE(cache.changedLand(), (std::set<int>{1}));
        QVERIFY(cache.changedStatics().empty());
        QCOMPARE(cache.cachedLandBlocks(), BlockCache::MinCapacity);
        QCOMPARE(readFile(landFile), earlier);
        QCOMPARE(filesIn(f.workingDirectory()), (QStringList{"12t1.tsy2", "1t0.tsy2"}));
        QCOMPARE(cache.land(3, 10).id(), 77);
        QCOMPARE(cache.land(4, 10).id(), 78);
        QCOMPARE(fingerprints(dir), before);

        QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
        Facet saved(2);
        const LandBlock one = saved.loadLandBlock(1, false);
        QCOMPARE(one.at(cellKey(3, 2)).id(), 77);
        QCOMPARE(one.at(cellKey(4, 2)).id(), 78);
        QCOMPARE(one.at(cellKey(4, 2)).z(), 6);
        QVERIFY(hasStatic(saved.loadStaticBlock(12, false, false).at(cellKey(5, 6)), 0x0ABC));
        QVERIFY(!f.hasWorkingFilesOnDisk());
    }

    // The data directory is renamed away after the facet opened it. Blocks not read yet come
    // from the files the facet has open, edits go on, a save of either kind fails without
    // making or touching a file, and the facet does not fall back to empty blocks after the
    // failed save. Put back, the directory takes a save that writes the edits and keeps
    // every other block, statics included, as it read before.
    void dataDirectoryDisappears()
    {
        const QString dir = freshFacet2();
        // Tile data naming land tile 82 (group 2, record 18).
        QByteArray tiledata(428032 + 1188, '\0');
        memcpy(tiledata.data() + 2 * 836 + 4 + 18 * 26 + 6, "meadow", 6);
        QVERIFY(writeFile(dir + "/tiledata.mul", tiledata));
        QList<LandBlock> land;
        QList<StaticBlock> statics;
        {
            Facet reference(2);
            for (int b = 0; b < mainBlocks; ++b) {
                land.append(reference.loadLandBlock(b, false));
                statics.append(reference.loadStaticBlock(b, false, false));
            }
        }
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        cache.setLand(3, 10, 2, 77, 5); // block 1, read and changed while the directory is there
        const auto before = fingerprints(dir);
        const QString away = dir + QStringLiteral("-away");
        QVERIFY(QDir().rename(dir, away));
        // What a facet switch or loading a world save does: the tile data read before stays.
        QVERIFY(cache.setFacet(&f));

        for (int b : {4, 5, 10, 33}) {
            QVERIFY(landBlocksEqual(cache.landBlock(b), land[b]));
            QVERIFY(staticBlocksEqual(cache.staticBlock(b), statics[b]));
        }
        cache.setLand(0, 8 * 20, 2, 82, 1); // block 20, first read now
        QCOMPARE(cache.land(0, 8 * 20).name(), QStringLiteral("meadow"));
        cache.setLand(0, 8 * 5, 2, 98, 2);  // block 5, in the land difference list
        QVERIFY(cache.flush());

        for (int mode : {0, 1}) {
            QString error;
            QVERIFY(!saveFacet(cache, f, nullptr, mode, {}, &error));
            const QString target = dir + (mode == 0 ? "/map2.mul.tsy2" : "/mapdifl2.mul.tsy2");
            QVERIFY2(error.startsWith("Could not create " + target + ": "), qPrintable(error));
            QVERIFY(!QFileInfo::exists(dir));
            QCOMPARE(fingerprints(away), before);
            QVERIFY(f.hasWorkingFilesOnDisk());
            QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{5, 9}));
            for (int b : {6, 9, 11, 34}) {
                QVERIFY(landBlocksEqual(f.loadLandBlock(b, true), land[b]));
                QVERIFY(staticBlocksEqual(f.loadStaticBlock(b, true, false), statics[b]));
            }
        }
        // A saver takes the blocks with working files out of the list; the reopen after a
        // failure gives them back even while the directory is gone.
        f.workingBlocks(Facet::LandKind);
        QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{9}));
        f.reopen();
        QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{5, 9}));
        QCOMPARE(cache.land(3, 10).id(), 77);
        QCOMPARE(cache.land(0, 160).id(), 82);

        QVERIFY(QDir().rename(away, dir));
        QString error;
        QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
        Facet saved(2, false); // the main files alone
        for (int b = 0; b < mainBlocks; ++b) {
            QVERIFY2(staticBlocksEqual(saved.loadStaticBlock(b, false, false), statics[b]), qPrintable(QString::number(b)));
            if (b != 1 && b != 5 && b != 20)
                QVERIFY2(landBlocksEqual(saved.loadLandBlock(b, false), land[b]), qPrintable(QString::number(b)));
        }
        QCOMPARE(saved.loadLandBlock(1, false).at(cellKey(3, 2)).id(), 77);
        QCOMPARE(saved.loadLandBlock(5, false).at(cellKey(0, 0)).id(), 98);
        QCOMPARE(saved.loadLandBlock(20, false).at(cellKey(0, 0)).id(), 82);
        QVERIFY(!f.hasWorkingFilesOnDisk());
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "faults_test.moc"
