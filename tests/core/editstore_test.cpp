// Working files: names, listings, reading back, deleting, and one directory per instance.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "world/blockcache.h"
#include "world/facet.h"

#include <QtTest>

using namespace fixture;

namespace {
void touch(const QString &path, const QByteArray &bytes = QByteArray())
{
    QVERIFY(writeFile(path, bytes));
}
QStringList filesIn(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files);
    names.sort();
    return names;
}
} // namespace

class EditStoreTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString client;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        client = env->root() + QStringLiteral("/client");
        QVERIFY(writeFacet2(client));
    }
    void init() { TestEnvironment::useDataDirectory(client); }
    void cleanupTestCase() { env.reset(); }

    void fileNames()
    {
        QCOMPARE(Facet::workingFileName(514, 0, 1), QStringLiteral("514t0.tsy1"));
        QCOMPARE(Facet::workingFileName(514, 1, 1), QStringLiteral("514t1.tsy1"));
        Facet f(2);
        QCOMPARE(QFileInfo(f.workingFilePath(7, 1)).fileName(), QStringLiteral("7t1.tsy2"));
        QCOMPARE(QFileInfo(f.workingDirectory()).dir().path(), env->tempDir());
    }

    // The listing of facet 0's land files finds 514t0.tsy0 and nothing of other kinds,
    // facets or names this program does not write.
    void listingFilters()
    {
        auto store = WorkingDirectory::create();
        Facet fel(0, true, store);
        for (const char *name : {"514t0.tsy0", "514t1.tsy0", "514t0.tsy1", "12t0.tsy0", "abct0.tsy0",
                                 "514T0.TSY0", "514t0.tsy00", "9t0.tsy0.bak"})
            touch(store->filePath(QString::fromLatin1(name)));
        QCOMPARE(fel.workingBlocks(0), (QList<int>{12, 514}));
        QCOMPARE(fel.workingBlocks(1), (QList<int>{514}));
    }

    // Deleting facet 1's working files takes both kinds of facet 1 and nothing else.
    void clearTakesOnlyItsFacet()
    {
        auto store = WorkingDirectory::create();
        Facet fel(0, true, store), tram(1, true, store), ilsh(2, true, store), malas(3, true, store);
        for (const char *name : {"514t0.tsy0", "514t0.tsy1", "514t1.tsy1", "3t1.tsy2", "3t0.tsy3"})
            touch(store->filePath(QString::fromLatin1(name)));
        QVERIFY(tram.hasWorkingFiles(1));
        QCOMPARE(filesIn(store->path()), (QStringList{"3t0.tsy3", "3t1.tsy2", "514t0.tsy0"}));
        QVERIFY(!tram.hasWorkingFiles(0));
        ilsh.clearWorkingFiles();
        QCOMPARE(filesIn(store->path()), (QStringList{"3t0.tsy3", "514t0.tsy0"}));
    }

    // Land list 7, 3 and working files 3, 12: 3, 7, 12, and the list keeps only 7.
    void workingBlocksJoinsList()
    {
        const QString dir = env->root() + QStringLiteral("/listed");
        QVERIFY(writeFacet2(dir));
        QVERIFY(writeFile(dir + "/mapdifl2.mul", list({7, 3})));
        TestEnvironment::useDataDirectory(dir);
        Facet f(2);
        QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{3, 7}));
        QVERIFY(f.storeLandBlock(3, f.loadLandBlock(3, true)));
        QVERIFY(f.storeLandBlock(12, f.loadLandBlock(12, true)));
        QCOMPARE(f.workingBlocks(0), (QList<int>{3, 7, 12}));
        QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{7}));
        QCOMPARE(f.workingBlocks(1), (QList<int>{4, 7}));
    }

    // An empty statics working file is an empty block, not a missing working file.
    void emptyStaticsWorkingFile()
    {
        Facet f(2);
        QVERIFY(!f.loadStaticBlock(1, true, false).isEmpty());
        QVERIFY(f.storeStaticBlock(1, StaticBlock()));
        QCOMPARE(QFileInfo(f.workingFilePath(1, 1)).size(), 0);
        QByteArray out("stale");
        QVERIFY(f.readWorkingFile(1, out, 1));
        QVERIFY(out.isEmpty());
        QVERIFY(f.loadStaticBlock(1, true, false).isEmpty());
    }

    // A file not written in this run is not block content, but listings see it.
    void foreignFilesAreNotRead()
    {
        auto store = WorkingDirectory::create();
        Facet f(2, true, store);
        touch(store->filePath(QStringLiteral("6t0.tsy2")), landRecord(0, 9999));
        QByteArray out;
        QVERIFY(!f.readWorkingFile(6, out, 0));
        QCOMPARE(f.loadLandBlock(6, true).at(0).id(), 64 * 6);
        QCOMPARE(f.workingBlocks(0), (QList<int>{5, 6, 9}));
        QVERIFY(f.hasWorkingFiles(1));
        QVERIFY(filesIn(store->path()).isEmpty());
    }

    void clearForgetsWrittenBlocks()
    {
        Facet f(2);
        LandBlock b = f.loadLandBlock(1, true);
        b.insert(0, Tile());
        QVERIFY(f.storeLandBlock(1, b));
        QCOMPARE(f.loadLandBlock(1, true).at(0).id(), 0xFFFF);
        f.clearWorkingFiles();
        QVERIFY(f.workingSet(0).isEmpty());
        QVERIFY(!QFileInfo::exists(f.workingFilePath(1, 0)));
        QCOMPARE(f.loadLandBlock(1, true).at(0).id(), 64);
    }

    // The directory lives under TEMP while a facet holds it and goes with the last one.
    void directoryLifetime()
    {
        QString path;
        {
            auto store = WorkingDirectory::create();
            path = store->path();
            Facet a(2, true, store);
            {
                Facet b(3, true, store);
                QVERIFY(b.storeLandBlock(1, b.loadLandBlock(1, true)));
            }
            store.reset();
            QVERIFY(QFileInfo(path).isDir());
            QVERIFY(a.storeLandBlock(1, a.loadLandBlock(1, true)));
        }
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(filesIn(env->tempDir()).isEmpty());
    }

    void tempFallsBackToPlatformDirectory()
    {
        const QByteArray old = qgetenv("TEMP");
        qunsetenv("TEMP");
        const QString root = WorkingDirectory::tempRoot();
        WorkingDirectory wd;
        qputenv("TEMP", old);
        QCOMPARE(root, QDir::tempPath());
        QVERIFY(wd.isValid());
        QCOMPARE(QFileInfo(wd.path()).dir().path(), QDir(QDir::tempPath()).path());
    }

    // Two running editors on one TEMP: each writes, reads and deletes only its own files.
    void twoInstancesKeepApart()
    {
        Facet first(2), second(2);
        QVERIFY(first.workingDirectory() != second.workingDirectory());
        BlockCache cacheA, cacheB;
        cacheA.setFacet(&first);
        cacheB.setFacet(&second);
        cacheA.setLand(2, 10, 2, 111, 11);
        cacheB.setLand(2, 10, 2, 222, 22);
        TileInfo info;
        info.id = 333;
        info.kind = TileKind::Static;
        cacheA.setStatic(2, 10, 0, Tile(info, 1), Tile());
        cacheA.flush();
        cacheB.flush();
        const int block = blockNumber(2, 10, 200);
        QCOMPARE(first.workingBlocks(0), (QList<int>{block, 5, 9}));
        QCOMPARE(second.workingBlocks(0), (QList<int>{block, 5, 9}));
        QCOMPARE(second.workingBlocks(1), (QList<int>{4, 7}));

        QVERIFY(second.hasWorkingFiles(1));
        QVERIFY(!second.hasWorkingFiles(1));
        QCOMPARE(cacheA.land(2, 10).id(), 111);
        QCOMPARE(cacheA.statics(2, 10).at(0).id(), 333);
        QCOMPARE(cacheB.land(2, 10).id(), 64 * block + 8 * 2 + 2);
        QCOMPARE(filesIn(first.workingDirectory()).size(), 2);
    }
};

QTEST_GUILESS_MAIN(EditStoreTest)
#include "editstore_test.moc"
