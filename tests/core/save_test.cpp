// Saving: the bytes of both savers on hand-built client files, the whole save of a facet
// with its replacement of the targets, and what the user keeps when a save fails.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "world/backuplist.h"
#include "world/blockcache.h"
#include "world/facet.h"
#include "world/facetsaver.h"
#include "world/filereplacer.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace fixture;

namespace {

constexpr int IlshBlocks = 288 * 200;

qint32 get32(const QByteArray &b, qint64 at)
{
    return qFromLittleEndian<qint32>(b.constData() + at);
}

QStringList filesIn(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files);
    names.sort();
    return names;
}

QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : filesIn(dir))
        files.insert(name, readFile(dir + QLatin1Char('/') + name));
    return files;
}

// What the main savers must write for facet f, block by block through the decoders: the
// slow and obvious reading of the format, to hold the fast path against.
struct MainFiles {
    QByteArray map, statics, index;
};
MainFiles referenceMainSave(Facet &f)
{
    MainFiles out;
    for (int b = 0; b < f.blockCount(); ++b) {
        QByteArray land(196, '\0');
        f.loadLandBlock(b, true).encodeInto(land);
        put32(land, 0, b);
        out.map += land;
        const QByteArray records = f.loadStaticBlock(b, true, false).encode();
        out.index += records.isEmpty() ? indexRecord(-1, -1) : indexRecord(qint32(out.statics.size()), qint32(records.size()));
        out.statics += records;
    }
    return out;
}

// Drops the rights that let root write anywhere, for the lifetime of the guard.
class WithoutOverride
{
public:
    WithoutOverride()
    {
#ifdef __linux__
        if (::geteuid() != 0)
            return;
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
#endif
    }
    ~WithoutOverride()
    {
#ifdef __linux__
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
#endif
    }
    bool effective() const
    {
#ifdef __linux__
        return ::geteuid() != 0 || m_active;
#else
        return true;
#endif
    }

private:
#ifdef __linux__
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
#endif
};

} // namespace

class SaveTest : public QObject
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

    // Block 1 land cell (3, 2) becomes id 77 at z 5; block 2 loses all its statics (cells
    // stay, stacks empty); block 12 (no statics in the main files) gets one.
    static void editIlshenar(BlockCache &cache)
    {
        cache.setLand(3, 8 + 2, 2, 77, 5);
        for (const Tile &t : cache.statics(2, 16))
            cache.setStatic(2, 16, 1, t, Tile());
        for (const Tile &t : cache.statics(0, 18))
            cache.setStatic(0, 18, 1, t, Tile());
        Tile t = cache.tileData().staticTile(0x0ABC);
        t.setZ(12);
        t.setHue(0x0102);
        cache.setStatic(5, 12 * 8 + 6, 0, t, Tile());
    }

private slots:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }
    void cleanupTestCase() { env.reset(); }
    void cleanup() { FileReplacer::setStepHook(nullptr); }

    void blockComparison()
    {
        TileData none(QStringLiteral("/nonexistent"));
        const LandBlock a = LandBlock::decode(landRecord(1, 100), none);
        LandBlock b = LandBlock::decode(landRecord(2, 100), none);
        QVERIFY(landBlocksEqual(a, b)); // headers do not count
        Tile t = b.at(cellKey(7, 7));
        t.setZ(t.z() + 1);
        b.insert(cellKey(7, 7), t);
        QVERIFY(!landBlocksEqual(a, b));
        QVERIFY(!landBlocksEqual(a, LandBlock()));

        const StaticBlock s = StaticBlock::decode(staticRecords({{5, 1, 1, 3, 0}, {6, 1, 1, 9, 0}}), none);
        StaticBlock hued = StaticBlock::decode(staticRecords({{5, 1, 1, 3, 44}, {6, 1, 1, 9, 0}}), none);
        QVERIFY(!staticBlocksEqual(s, hued)); // a hue alone is a change to save
        StaticBlock withEmptyCell = s;
        withEmptyCell.entry(cellKey(0, 0));
        QVERIFY(!staticBlocksEqual(s, withEmptyCell)); // cell counts differ
        StaticBlock shorter = StaticBlock::decode(staticRecords({{5, 1, 1, 3, 0}}), none);
        QVERIFY(!staticBlocksEqual(s, shorter));
        StaticBlock moved = StaticBlock::decode(staticRecords({{5, 1, 1, 3, 0}, {6, 1, 2, 9, 0}}), none);
        QVERIFY(!staticBlocksEqual(s, moved));
    }

    // Ilshenar into the main files: every block with its number as header, the difference
    // files carried in, an emptied statics block as (-1, -1, 0), records in key order and
    // drawing order; then the editor reads back what it wrote.
    void mainSaveBytes()
    {
        const QString dir = freshFacet2();
        // Block 10's stored records out of order, one outside the block, a partial record.
        QByteArray data = readFile(dir + "/statics2.mul");
        QByteArray index = readFile(dir + "/staidx2.mul");
        const QByteArray messy = staticRecords({{0x700, 0, 7, 40, 1}, {0x701, 7, 0, 9, 2}, {0x702, 9, 0, 1, 3},
                                                {0x703, 7, 0, 2, 4}})
            + QByteArray(3, '\x55');
        QByteArray rec = indexRecord(qint32(data.size()), qint32(messy.size()));
        index.replace(10 * 12, 12, rec);
        QVERIFY(writeFile(dir + "/statics2.mul", data + messy));
        QVERIFY(writeFile(dir + "/staidx2.mul", index));

        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        editIlshenar(cache);
        cache.flush();
        const MainFiles expected = referenceMainSave(f);

        int reports = 0;
        qint64 last = 0, total = 0;
        QString error;
        QVERIFY2(saveFacet(cache, f, nullptr, 0, [&](qint64 done, qint64 all) {
                     ++reports;
                     QVERIFY(done >= last);
                     last = done;
                     total = all;
                 }, &error), qPrintable(error));
        QCOMPARE(total, qint64(2 * IlshBlocks));
        QCOMPARE(last, total);
        // Told at least every 800 blocks: the map may be written beside the statics, its
        // progress told with theirs.
        QVERIFY(reports >= IlshBlocks / 800);

        const QByteArray map = readFile(dir + "/map2.mul");
        const QByteArray statics = readFile(dir + "/statics2.mul");
        const QByteArray idx = readFile(dir + "/staidx2.mul");
        QCOMPARE(map.size(), qint64(IlshBlocks) * 196);
        QCOMPARE(idx.size(), qint64(IlshBlocks) * 12);
        for (int b : {0, 1, 39, 40, IlshBlocks - 1})
            QCOMPARE(get32(map, qint64(b) * 196), b);
        // Block 1, cell (3, 2): id 77, z 5; the cell beside it unchanged (64 + 20, z -12).
        QCOMPARE(map.mid(196 + 4 + 3 * 19, 6), QByteArray::fromHex("4d0005") + QByteArray::fromHex("5400f4"));
        // Blocks 5 and 9 come from the land difference file, block 5 from its first entry.
        QCOMPARE(map.mid(5 * 196 + 4, 192), landRecord(5, 12000).mid(4));
        QCOMPARE(map.mid(9 * 196 + 4, 192), landRecord(9, 12100).mid(4));
        // Past the main file: the empty land, id 0 z 0.
        QCOMPARE(map.mid(100 * 196 + 4, 192), QByteArray(192, '\0'));

        QCOMPARE(idx.mid(0, 12), indexRecord(-1, -1));          // no statics
        QCOMPARE(idx.mid(2 * 12, 12), indexRecord(-1, -1));     // all stacks emptied
        QCOMPARE(idx.mid(7 * 12, 12), indexRecord(-1, -1));     // difference index says none
        const qint32 at4 = get32(idx, 4 * 12);
        QCOMPARE(get32(idx, 4 * 12 + 4), 7);
        QCOMPARE(statics.mid(at4, 7), staticRecords({{0x9000, 1, 1, 3, 0x4321}}));
        // Block 10: cell (7, 0) before (0, 7), lower z first, x = 9 and the partial dropped.
        const qint32 at10 = get32(idx, 10 * 12);
        QCOMPARE(get32(idx, 10 * 12 + 4), 21);
        QCOMPARE(get32(idx, 10 * 12 + 8), 0);
        QCOMPARE(statics.mid(at10, 21), staticRecords({{0x703, 7, 0, 2, 4}, {0x701, 7, 0, 9, 2}, {0x700, 0, 7, 40, 1}}));
        const qint32 at12 = get32(idx, 12 * 12);
        QCOMPARE(statics.mid(at12, get32(idx, 12 * 12 + 4)), staticRecords({{0x0ABC, 5, 6, 12, 0x0102}}));
        // Every byte as the block-by-block reading gives it.
        QVERIFY(map == expected.map);
        QVERIFY(statics == expected.statics);
        QVERIFY(idx == expected.index);

        // Nothing else left: no working files, no new files, no journal.
        QVERIFY(!f.hasWorkingFilesOnDisk());
        QVERIFY(filesIn(f.workingDirectory()).isEmpty());
        for (const QString &name : filesIn(dir))
            QVERIFY2(!name.contains(".tsy") && !name.contains("journal"), qPrintable(name));
        // The editor reads back what was saved, through a fresh facet and through the cache.
        Facet again(2);
        for (int b : {1, 2, 4, 5, 10, 12}) {
            QVERIFY(landBlocksEqual(again.loadLandBlock(b, true), f.loadLandBlock(b, true)));
            QVERIFY(staticBlocksEqual(again.loadStaticBlock(b, true, false), f.loadStaticBlock(b, true, false)));
        }
        QCOMPARE(cache.land(3, 10).id(), 77);
        QCOMPARE(cache.statics(5, 102).size(), 1);
        QCOMPARE(cache.statics(5, 102).at(0).hue(), quint16(0x0102));
    }

    // The fast path against the block-by-block reading on the generated sample facets.
    void mainSaveMatchesReferenceOnSample()
    {
        const QString dir = env->copyOfSample(QStringLiteral("sample-main"));
        TestEnvironment::useDataDirectory(dir);
        for (int facet : {2, 3}) {
            Facet f(facet);
            BlockCache cache;
            cache.setFacet(&f);
            cache.setLand(100, 100, 2, 5, 1);
            cache.flush();
            const MainFiles expected = referenceMainSave(f);
            QString error;
            QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
            const QString n = QString::number(facet);
            QVERIFY(readFile(dir + "/map" + n + ".mul") == expected.map);
            QVERIFY(readFile(dir + "/statics" + n + ".mul") == expected.statics);
            QVERIFY(readFile(dir + "/staidx" + n + ".mul") == expected.index);
        }
    }

    // Difference files: a block changed back is dropped although the old list held it, a
    // listed block without a working file is written again, a changed block is added.
    void differenceSaveBytes()
    {
        const QString dir = freshFacet2();
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        editIlshenar(cache);
        // Block 5 (listed, base 12000) back to its main-file content: ids 320 + i, z i - 32.
        for (int i = 0; i < 64; ++i)
            cache.setLand(8 * 0 + (i % 8), 5 * 8 + i / 8, 2, 64 * 5 + i, i - 32);
        cache.flush();
        QString error;
        QVERIFY2(saveFacet(cache, f, nullptr, 1, {}, &error), qPrintable(error));

        QCOMPARE(readFile(dir + "/mapdifl2.mul"), list({1, 9}));
        QByteArray one = landRecord(1, 64);
        one.replace(4 + 3 * 19, 3, QByteArray::fromHex("4d0005"));
        QCOMPARE(readFile(dir + "/mapdif2.mul"), one + landRecord(9, 12100));
        QCOMPARE(readFile(dir + "/stadifl2.mul"), list({2, 4, 7, 12}));
        const QByteArray block4 = staticRecords({{0x9000, 1, 1, 3, 0x4321}});
        const QByteArray block12 = staticRecords({{0x0ABC, 5, 6, 12, 0x0102}});
        QCOMPARE(readFile(dir + "/stadif2.mul"), block4 + block12);
        // Block 2's emptied stacks leave a working file of no records, which reads back as a
        // block without cells: (-1, -1, 0), like block 7.
        QCOMPARE(readFile(dir + "/stadifi2.mul"),
                 indexRecord(-1, -1) + indexRecord(0, 7) + indexRecord(-1, -1) + indexRecord(7, 7));
        // The main files stay as they are.
        Facet fresh(2);
        QCOMPARE(fresh.landDifferenceList().keys(), (QList<qint32>{1, 9}));
        QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{1, 9}));
        QCOMPARE(cache.land(3, 10).id(), 77);
        QCOMPARE(cache.land(0, 40).id(), 320);
        QCOMPARE(cache.statics(5, 102).size(), 1);
        QVERIFY(!f.hasWorkingFilesOnDisk());
    }

    // A main save of blocks that are listed in the difference files writes those files
    // again with the same lists and the new contents: otherwise the old difference records,
    // read first, would hide the saved change at the next start. Blocks that are not
    // listed are not added, and without listed blocks the difference files stay as they are.
    void mainSaveRefreshesListedDifferenceBlocks()
    {
        const QString dir = freshFacet2();
        {
            Facet f(2);
            BlockCache cache;
            cache.setFacet(&f);
            // Land block 5 and statics block 4 are listed; statics block 12 is not.
            cache.setLand(3, 42, 2, 77, 5);
            for (const Tile &t : cache.statics(1, 33))
                cache.setStatic(1, 33, 1, t, Tile());
            Tile t = cache.tileData().staticTile(0x0ABC);
            t.setZ(12);
            cache.setStatic(5, 12 * 8 + 6, 0, t, Tile());
            cache.flush();
            QString error;
            QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
            QVERIFY(!f.hasWorkingFilesOnDisk());
        }
        for (const char *name : {"map2.mul.tsy2", "mapdif2.mul.tsy2", "stadifl2.mul.tsy2"})
            QVERIFY2(!QFile::exists(dir + "/" + name), name);
        Facet fresh(2);
        QCOMPARE(fresh.landDifferenceList().keys(), (QList<qint32>{5, 9}));
        QCOMPARE(fresh.staticsDifferenceList().keys(), (QList<qint32>{4, 7}));
        BlockCache cache;
        cache.setFacet(&fresh);
        QCOMPARE(cache.land(3, 42).id(), 77);
        QCOMPARE(cache.land(3, 42).z(), 5);
        QVERIFY(cache.statics(1, 33).isEmpty());
        QCOMPARE(cache.statics(5, 102).size(), 1);
        // The untouched listed block reads as before, and so do the other cells of block 5.
        QCOMPARE(cache.land(0, 72).id(), 12100);
        QCOMPARE(cache.land(0, 40).id(), 12000);
        // The main files hold the change too.
        Facet mainOnly(2, false);
        BlockCache plain;
        plain.setFacet(&mainOnly);
        QCOMPARE(plain.land(3, 42).id(), 77);

        // Only an unlisted block changed: the difference files are left byte for byte.
        const QString dir2 = freshFacet2();
        const auto before = snapshot(dir2);
        {
            Facet f(2);
            BlockCache c;
            c.setFacet(&f);
            c.setLand(0, 30 * 8, 2, 5, 5);
            c.flush();
            QString error;
            QVERIFY2(saveFacet(c, f, nullptr, 0, {}, &error), qPrintable(error));
        }
        const auto after = snapshot(dir2);
        for (const char *name : {"mapdifl2.mul", "mapdif2.mul", "stadif2.mul", "stadifl2.mul", "stadifi2.mul"})
            QVERIFY2(after.value(name) == before.value(name), name);
        QVERIFY(after.value("map2.mul") != before.value("map2.mul"));
    }

    // No working files: nothing written or renamed, but the facet reads its lists afresh.
    void nothingToSave()
    {
        const QString dir = freshFacet2();
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        QVERIFY(writeFile(dir + "/mapdifl2.mul", list({9})));
        const auto before = snapshot(dir);
        for (int mode : {0, 1}) {
            QString error;
            QVERIFY2(saveFacet(cache, f, nullptr, mode, {}, &error), qPrintable(error));
            QCOMPARE(snapshot(dir), before);
            QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{9}));
        }
    }

    // Trammel into the shared main files with Felucca's changes pending: Trammel's changes
    // go into map0.mul, Felucca's into its own new main files, which stay as a backup. The
    // one slow test here: both saves write every block of a large facet.
    void trammelIntoMainWithFeluccaPending()
    {
        const QString dir = env->root() + QStringLiteral("/shared");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(writeFile(dir + "/map0.mul", landRecord(0, 40) + landRecord(1, 50)));
        TestEnvironment::useDataDirectory(dir);
        auto store = WorkingDirectory::create();
        Facet fel(0, true, store), tram(1, true, store);
        BlockCache cache;
        cache.setFacet(&fel);
        cache.setLand(0, 0, 2, 111, 1);
        cache.setFacet(&tram);
        cache.setLand(8, 0, 2, 222, 2); // block 512
        QString error;
        QVERIFY2(saveFacet(cache, tram, &fel, 0, {}, &error), qPrintable(error));

        const QByteArray map = readFile(dir + "/map0.mul");
        QCOMPARE(map.size(), qint64(393216) * 196);
        QCOMPARE(map.mid(4, 3), QByteArray::fromHex("2800e0"));                // Felucca's edit is not here
        QCOMPARE(map.mid(512 * 196, 7), QByteArray::fromHex("00020000de0002")); // Trammel's is
        const QByteArray backup = readFile(dir + "/map0.mul.tsy0");
        QCOMPARE(backup.size(), map.size());
        QCOMPARE(backup.mid(4, 3), QByteArray::fromHex("6f0001"));
        QCOMPARE(backup.mid(512 * 196 + 4, 3), QByteArray(3, '\0'));
        QCOMPARE(QFileInfo(dir + "/staidx0.mul.tsy0").size(), qint64(393216) * 12);
        QVERIFY(QFileInfo::exists(dir + "/statics0.mul.tsy0"));
        QVERIFY(!QFileInfo::exists(dir + "/map0.mul.tsy1"));
        QVERIFY(!tram.hasWorkingFilesOnDisk());
        QCOMPARE(cache.land(8, 0).id(), 222);
        // Felucca, reopened, shows its edit from the backup as an unsaved change.
        QVERIFY(fel.hasWorkingFilesOnDisk());
        QCOMPARE(fel.loadLandBlock(0, false).at(0).id(), 40);
        QCOMPARE(fel.loadLandBlock(0, true).at(0).id(), 111);
    }

    // The backup of Felucca's changes a Trammel main save leaves (map0.mul.tsy0 and the rest,
    // with their list map0.mul.tsy0.blocks) holds them until a save of Felucca takes them in.
    // Felucca, reopened by that save or opened anew, shows every listed block from the backup,
    // byte for byte, as a working file of its own; the leftovers question never offers the
    // backup. Without its list (as an older version left it) the saves that would write its
    // names are refused, nothing written, and the leftovers question offers it. A second
    // Trammel save writes a new backup with the old and the new edits; a Felucca main save
    // writes them into map0.mul beside Trammel's saved blocks and retires the backup, and so
    // does a Felucca difference save, into the difference files.
    void laterSavesKeepTheFeluccaBackup()
    {
        const QString dir = env->root() + QStringLiteral("/sharedbackup");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(writeFile(dir + "/map0.mul", landRecord(0, 40) + landRecord(1, 50)));
        TestEnvironment::useDataDirectory(dir);
        auto store = WorkingDirectory::create();
        auto fel = std::make_unique<Facet>(0, true, store);
        auto tram = std::make_unique<Facet>(1, true, store);
        BlockCache cache;
        // Felucca's one statics edit: a static on block 5, cell (2, 2).
        cache.setFacet(fel.get());
        Tile added = cache.tileData().staticTile(0x0ABC);
        added.setZ(12);
        cache.setStatic(2, 42, 0, added, Tile());
        const QString list = dir + "/map0.mul.tsy0.blocks";
        const QStringList backupNames{"map0.mul.tsy0", "statics0.mul.tsy0", "staidx0.mul.tsy0"};
        // The first cell's id of blocks 0, 1, 512 and 1024 (x 0, 0, 8, 16; y 0, 8, 0, 0).
        const int blocks[] = {0, 1, 512, 1024};
        const auto mainIds = [&] {
            QList<int> ids;
            QFile map(dir + "/map0.mul");
            map.open(QIODevice::ReadOnly);
            for (int b : blocks) {
                QByteArray id(2, '\0');
                if (map.seek(qint64(b) * 196 + 4))
                    map.read(id.data(), 2);
                ids << qFromLittleEndian<quint16>(id.constData());
            }
            return ids;
        };

        enum Action { TrammelSave, FeluccaSave, FeluccaDifferenceSave, Restart };
        struct Step {
            const char *what;
            Action action;
            bool listHidden;
            int felBlock, felId, tramBlock, tramId; // the edits made first (block -1: none)
            bool saved;
            QList<int> land, statics; // the list after the step; none when both are empty
            QList<int> main;          // mainIds after the step
        };
        const Step steps[] = {
            {"Trammel main save with Felucca pending", TrammelSave, false, 0, 111, 512, 222, true, {0}, {5}, {40, 50, 222, 0}},
            {"restart", Restart, false, -1, 0, -1, 0, true, {0}, {5}, {40, 50, 222, 0}},
            {"Trammel main save beside a backup without list", TrammelSave, true, 1, 333, 1024, 444, false, {}, {},
             {40, 50, 222, 0}},
            {"Felucca main save beside a backup without list", FeluccaSave, true, -1, 0, -1, 0, false, {}, {},
             {40, 50, 222, 0}},
            {"second Trammel main save with Felucca pending", TrammelSave, false, -1, 0, -1, 0, true, {0, 1}, {5},
             {40, 50, 222, 444}},
            {"Felucca main save", FeluccaSave, false, -1, 0, -1, 0, true, {}, {}, {111, 333, 222, 444}},
            {"restart after the Felucca main save", Restart, false, -1, 0, -1, 0, true, {}, {}, {111, 333, 222, 444}},
            {"Trammel main save with only Felucca pending", TrammelSave, false, 2, 555, -1, 0, true, {2}, {},
             {111, 333, 222, 444}},
            {"Felucca difference save", FeluccaDifferenceSave, false, -1, 0, -1, 0, true, {}, {}, {111, 333, 222, 444}},
        };
        QMap<int, int> feluccaShows; // block -> the id Felucca's edit gave its first cell
        for (const Step &step : steps) {
            const QString what = QString::fromLatin1(step.what);
            if (step.listHidden != QFile::exists(list + ".away"))
                QVERIFY(step.listHidden ? QFile::rename(list, list + ".away") : QFile::rename(list + ".away", list));
            const auto before = snapshot(dir);
            FileReplacer::takeReports();
            if (step.felBlock >= 0) {
                cache.setFacet(fel.get());
                cache.setLand(step.felBlock / 512 * 8, step.felBlock % 512 * 8, 2, step.felId, 1);
                feluccaShows.insert(step.felBlock, step.felId);
            }
            if (step.tramBlock >= 0) {
                cache.setFacet(tram.get());
                cache.setLand(step.tramBlock / 512 * 8, step.tramBlock % 512 * 8, 2, step.tramId, 2);
            }
            QString error;
            bool saved = true;
            if (step.action == Restart) {
                cache.setFacet(nullptr);
                tram.reset();
                fel.reset();
                store = WorkingDirectory::create();
                fel = std::make_unique<Facet>(0, true, store);
                tram = std::make_unique<Facet>(1, true, store);
            } else {
                const bool felucca = step.action != TrammelSave;
                Facet &current = felucca ? *fel : *tram;
                cache.setFacet(&current);
                saved = saveFacet(cache, current, felucca ? tram.get() : fel.get(),
                                  step.action == FeluccaDifferenceSave ? 1 : 0, {}, &error);
            }
            QVERIFY2(saved == step.saved, qPrintable(what + ": " + error));
            if (!saved) {
                QVERIFY2(error.contains("map0.mul.tsy0") && error.contains("Nothing was written"), qPrintable(error));
                QCOMPARE(snapshot(dir), before);
                QVERIFY2(fel->hasWorkingFilesOnDisk() && tram->hasWorkingFilesOnDisk(), step.what);
                QVERIFY2(FileReplacer::leftovers(dir).contains("map0.mul.tsy0"), step.what);
            }
            QVERIFY2(mainIds() == step.main, step.what);

            // Felucca shows every edit made so far, and its statics block, through the cache.
            cache.setFacet(fel.get());
            for (auto it = feluccaShows.cbegin(); it != feluccaShows.cend(); ++it)
                QVERIFY2(cache.land(it.key() / 512 * 8, it.key() % 512 * 8).id() == it.value(), step.what);
            QVERIFY2(cache.statics(2, 42).size() == 1 && cache.statics(2, 42).at(0).id() == 0x0ABC, step.what);
            if (!step.land.isEmpty()) {
                BackupList kept;
                QVERIFY2(kept.read(dir, "map0.mul.tsy0.blocks"), step.what);
                QCOMPARE(kept.land, step.land);
                QCOMPARE(kept.statics, step.statics);
                QCOMPARE(kept.by, 1);
                // Each listed block's working file holds the backup's bytes.
                const QByteArray map = readFile(dir + "/map0.mul.tsy0");
                const QByteArray index = readFile(dir + "/staidx0.mul.tsy0");
                const QByteArray statics = readFile(dir + "/statics0.mul.tsy0");
                QByteArray working;
                for (int b : step.land) {
                    QVERIFY2(fel->readWorkingFile(b, working, Facet::LandKind), step.what);
                    QVERIFY2(working == map.mid(qint64(b) * 196, 196), step.what);
                }
                for (int b : step.statics) {
                    QVERIFY2(fel->readWorkingFile(b, working, Facet::StaticsKind), step.what);
                    QVERIFY2(working == statics.mid(get32(index, b * 12), get32(index, b * 12 + 4)), step.what);
                }
                QVERIFY2(FileReplacer::leftovers(dir).isEmpty(), qPrintable(FileReplacer::leftovers(dir).join(' ')));
                if (step.action == Restart) {
                    const QList<RecoveryReport> reports = FileReplacer::takeReports();
                    QCOMPARE(reports.size(), 1);
                    QCOMPARE(FileReplacer::reportText(reports.first()),
                             QStringLiteral("Felucca has 2 changed blocks kept in %1 by a main save of Trammel. They are "
                                            "shown as unsaved changes of Felucca; save Felucca to write them into its files.")
                                 .arg(QDir::toNativeSeparators(dir + "/map0.mul.tsy0")));
                }
            } else if (saved) {
                // Nothing of a backup left, nor anything unsaved.
                for (const QString &name : filesIn(dir))
                    QVERIFY2(!name.contains(".tsy") && !name.contains("journal"), qPrintable(what + ": " + name));
                QVERIFY2(!fel->hasWorkingFilesOnDisk() && !tram->hasWorkingFilesOnDisk(), step.what);
            }
            if (saved)
                for (const QString &name : backupNames)
                    QVERIFY2(QFile::exists(dir + '/' + name) == !step.land.isEmpty(), qPrintable(what + ": " + name));
        }
    }

    void hasUnsavedChangesSeesCacheAndEveryFacet()
    {
        freshFacet2();
        auto store = WorkingDirectory::create();
        Facet fel(0, true, store), tram(1, true, store), ilsh(2, true, store), malas(3, true, store);
        Facet *facets[4] = {&fel, &tram, &ilsh, &malas};
        BlockCache cache;
        cache.setFacet(&ilsh);
        QVERIFY(!hasUnsavedChanges(cache, facets));
        cache.setLand(1, 1, 1, 0, 9);
        QVERIFY(hasUnsavedChanges(cache, facets));
        cache.setFacet(&malas); // the change moves into Ilshenar's working file
        QVERIFY(hasUnsavedChanges(cache, facets));
        ilsh.clearWorkingFiles();
        QVERIFY(!hasUnsavedChanges(cache, facets));
        QVERIFY(tram.storeLandBlock(3, tram.loadLandBlock(3, true)));
        QVERIFY(hasUnsavedChanges(cache, facets));
    }

    // ---- failures ----

    void readOnlyDirectory()
    {
        const QString dir = freshFacet2();
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        editIlshenar(cache);
        const auto before = snapshot(dir);
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup));
        for (int mode : {0, 1}) {
            QString error;
            bool ok;
            {
                WithoutOverride rights;
                if (!rights.effective())
                    QSKIP("cannot drop the rights that write into read-only directories");
                ok = saveFacet(cache, f, nullptr, mode, {}, &error);
            }
            QVERIFY(!ok);
            QVERIFY2(error.contains(dir + (mode == 0 ? "/map2.mul.tsy2" : "/mapdifl2.mul.tsy2")), qPrintable(error));
            QVERIFY2(error.endsWith("Permission denied"), qPrintable(error));
            QCOMPARE(snapshot(dir), before);
            QVERIFY(f.hasWorkingFilesOnDisk());
            QCOMPARE(f.landDifferenceList().keys(), (QList<qint32>{5, 9}));
            QCOMPARE(cache.land(3, 10).id(), 77);
        }
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QString error;
        QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
        QCOMPARE(get32(readFile(dir + "/map2.mul"), 196 + 4 + 3 * 19) & 0xffffff, 0x05004d);
        QVERIFY(!f.hasWorkingFilesOnDisk());
    }

    // A write that runs out of room (a file size limit stands in for a full disk).
    void diskFull()
    {
        const QString dir = freshFacet2();
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        editIlshenar(cache);
        cache.flush();
        const auto before = snapshot(dir);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 1 << 20;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QString error;
        const bool ok = saveFacet(cache, f, nullptr, 0, {}, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!ok);
        QVERIFY2(error.startsWith("Could not write " + dir + "/map2.mul.tsy2: "), qPrintable(error));
        QVERIFY2(error.endsWith("File too large"), qPrintable(error));
        QCOMPARE(snapshot(dir), before);
        QVERIFY(f.hasWorkingFilesOnDisk());
        QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
        QCOMPARE(QFileInfo(dir + "/map2.mul").size(), qint64(IlshBlocks) * 196);
    }

    // A target that is not a file cannot be kept or replaced: nothing changes.
    void targetCannotBeReplaced()
    {
        const QString dir = freshFacet2();
        const QByteArray index = readFile(dir + "/staidx2.mul");
        QVERIFY(QFile::remove(dir + "/staidx2.mul"));
        QVERIFY(QDir().mkpath(dir + "/staidx2.mul/inside"));
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        editIlshenar(cache);
        const auto before = snapshot(dir);
        QString error;
        QVERIFY(!saveFacet(cache, f, nullptr, 0, {}, &error));
        QVERIFY2(error.contains(dir + "/staidx2.mul"), qPrintable(error));
        QCOMPARE(snapshot(dir), before);
        QVERIFY(QFileInfo(dir + "/staidx2.mul").isDir());
        QVERIFY(!FileReplacer::hasInterruptedSet(dir));
        QVERIFY(f.hasWorkingFilesOnDisk());

        QVERIFY(QDir(dir + "/staidx2.mul").removeRecursively());
        QVERIFY(writeFile(dir + "/staidx2.mul", index));
        // The index is not the one the facet read: the first save says so and reads it anew.
        QVERIFY(!saveFacet(cache, f, nullptr, 0, {}, &error));
        QVERIFY2(error.contains("staidx2.mul was changed on disk"), qPrintable(error));
        QVERIFY(f.hasWorkingFilesOnDisk());
        QVERIFY2(saveFacet(cache, f, nullptr, 0, {}, &error), qPrintable(error));
        QVERIFY(!f.hasWorkingFilesOnDisk());
    }

    // A rename refused after others went through puts the replaced targets back.
    void refusedRenameUndoesTheSet_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("refused");
        QTest::newRow("main, statics refused") << 0 << 2;
        QTest::newRow("main, index refused") << 0 << 3;
        QTest::newRow("difference, last refused") << 1 << 5;
    }
    void refusedRenameUndoesTheSet()
    {
        QFETCH(int, mode);
        QFETCH(int, refused);
        const QString dir = freshFacet2();
        Facet f(2);
        BlockCache cache;
        cache.setFacet(&f);
        editIlshenar(cache);
        const auto before = snapshot(dir);
        FileReplacer::setStepHook([&](const QString &step) { return step != "replace " + QString::number(refused); });
        QString error;
        QVERIFY(!saveFacet(cache, f, nullptr, mode, {}, &error));
        FileReplacer::setStepHook(nullptr);
        QVERIFY2(error.startsWith("Could not replace " + dir + "/" + f.saveTargets(mode).at(refused - 1)),
                 qPrintable(error));
        QCOMPARE(snapshot(dir), before);
        QVERIFY(f.hasWorkingFilesOnDisk());
        QVERIFY2(saveFacet(cache, f, nullptr, mode, {}, &error), qPrintable(error));
    }

    // ---- crashes ----

    // The saving process dies at a step; every client file is then old or new, and after the
    // next open of the directory every set is all old or all new.
    void crashDuringSave_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("becomesNew");
        for (const char *step : {"writing", "new files"})
            QTest::newRow(qPrintable(QStringLiteral("main, ") + step)) << 0 << QString::fromLatin1(step) << false;
        for (const char *step : {"journal", "kept", "replaced 1", "replaced 2", "replaced all"})
            QTest::newRow(qPrintable(QStringLiteral("main, ") + step)) << 0 << QString::fromLatin1(step) << true;
        QTest::newRow("difference, new files") << 1 << QStringLiteral("new files") << false;
        for (const char *step : {"journal", "replaced 1", "replaced 3", "replaced 4", "replaced all"})
            QTest::newRow(qPrintable(QStringLiteral("difference, ") + step)) << 1 << QString::fromLatin1(step) << true;
    }
    void crashDuringSave()
    {
        QFETCH(int, mode);
        QFETCH(QString, step);
        QFETCH(bool, becomesNew);

        // The new files, from a save that is not interrupted.
        const QString reference = freshFacet2();
        QMap<QString, QByteArray> newFiles;
        {
            Facet f(2);
            BlockCache cache;
            cache.setFacet(&f);
            editIlshenar(cache);
            QString error;
            QVERIFY2(saveFacet(cache, f, nullptr, mode, {}, &error), qPrintable(error));
            newFiles = snapshot(reference);
        }

        const QString dir = freshFacet2();
        const auto oldFiles = snapshot(dir);
        {
            Facet f(2);
            BlockCache cache;
            cache.setFacet(&f);
            editIlshenar(cache);
            cache.flush();
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                FileReplacer::setStepHook([&](const QString &s) {
                    if (s == step)
                        _exit(3);
                    return true;
                });
                saveFacet(cache, f, nullptr, mode, {}, nullptr);
                _exit(0);
            }
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 3);
        }

        const QStringList sets[] = {{"map2.mul"}, {"statics2.mul", "staidx2.mul"},
                                    {"mapdifl2.mul", "mapdif2.mul", "stadif2.mul", "stadifl2.mul", "stadifi2.mul"}};
        for (const QStringList &set : sets) {
            for (const QString &name : set) {
                const QByteArray now = readFile(dir + "/" + name);
                QVERIFY2(now == oldFiles.value(name) || now == newFiles.value(name), qPrintable(name));
            }
        }
        QString error;
        QVERIFY2(recoverInterruptedSave(dir, &error), qPrintable(error));
        QVERIFY(!FileReplacer::hasInterruptedSet(dir));
        const auto &expected = becomesNew ? newFiles : oldFiles;
        for (const QStringList &set : sets) {
            for (const QString &name : set)
                QVERIFY2(readFile(dir + "/" + name) == expected.value(name), qPrintable(name));
        }
        for (const QString &name : filesIn(dir))
            QVERIFY2(!name.endsWith(FileReplacer::keptSuffix()) && !name.contains("journal"), qPrintable(name));
    }

    // Recovery also runs by itself when a facet opens the directory.
    void openFinishesAnInterruptedSet()
    {
        const QString dir = freshFacet2();
        QVERIFY(writeFile(dir + "/map2.mul.tsy2", landRecord(0, 5)));
        QVERIFY(writeFile(dir + "/statics2.mul.tsy2", QByteArray("new statics")));
        // As a save leaves it after the first of three renames.
        QVERIFY(writeFile(dir + "/" + FileReplacer::journalName(),
                          "tessaryn save journal 1\nstate forward\n"
                          "pair\tmap2.mul.tsy2\tmap2.mul\tmap2.mul.tsyold\t196\n"
                          "pair\tstatics2.mul.tsy2\tstatics2.mul\tstatics2.mul.tsyold\t11\n"
                          "pair\tstaidx2.mul.tsy2\tstaidx2.mul\tstaidx2.mul.tsyold\t12\nend\n"));
        QVERIFY(writeFile(dir + "/staidx2.mul.tsy2", indexRecord(0, 11)));
        QVERIFY(QFile::rename(dir + "/map2.mul", dir + "/map2.mul.tsyold"));
        QVERIFY(QFile::rename(dir + "/map2.mul.tsy2", dir + "/map2.mul"));
        Facet f(2);
        QCOMPARE(readFile(dir + "/statics2.mul"), QByteArray("new statics"));
        QCOMPARE(readFile(dir + "/staidx2.mul"), indexRecord(0, 11));
        QVERIFY(!FileReplacer::hasInterruptedSet(dir));
        QVERIFY(!QFileInfo::exists(dir + "/map2.mul.tsyold"));

        // A new file that went missing cannot be finished: the kept old files come back.
        QVERIFY(writeFile(dir + "/statics2.mul.tsy2", QByteArray("newer")));
        QVERIFY(QFile::copy(dir + "/statics2.mul", dir + "/statics2.mul.tsyold"));
        QVERIFY(QFile::copy(dir + "/staidx2.mul", dir + "/staidx2.mul.tsyold"));
        QVERIFY(writeFile(dir + "/" + FileReplacer::journalName(),
                          "tessaryn save journal 1\nstate forward\n"
                          "pair\tstatics2.mul.tsy2\tstatics2.mul\tstatics2.mul.tsyold\t5\n"
                          "pair\tstaidx2.mul.tsy2\tstaidx2.mul\tstaidx2.mul.tsyold\t24\nend\n"));
        QString error;
        QVERIFY2(recoverInterruptedSave(dir, &error), qPrintable(error));
        QCOMPARE(readFile(dir + "/statics2.mul"), QByteArray("new statics"));
        QCOMPARE(readFile(dir + "/staidx2.mul"), indexRecord(0, 11));

        // A damaged journal is reported and left for a later look.
        QVERIFY(writeFile(dir + "/" + FileReplacer::journalName(), "tessaryn save journal 1\nstate forward\npair\tx"));
        QVERIFY(!recoverInterruptedSave(dir, &error));
        QVERIFY2(error.contains("damaged"), qPrintable(error));
        QVERIFY(FileReplacer::hasInterruptedSet(dir));
    }
};

QTEST_GUILESS_MAIN(SaveTest)
#include "save_test.moc"
