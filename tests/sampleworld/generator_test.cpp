// Determinism, facet selection, errors and the command line of the generator.
#include "sampleworld/readback.h"
#include "sampleworld/sampleworld.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace readback;
namespace sw = sampleworld;

namespace {

QStringList filesIn(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files);
    names.sort();
    return names;
}

bool generate(const QString &dir, QList<int> facets, quint32 seed, QString *error = nullptr)
{
    sw::Options options;
    options.outDir = dir;
    options.facets = facets;
    options.seed = seed;
    return sw::write(options, error);
}

const QStringList shared = {"art.mul", "artidx.mul", "hues.mul", "multi.idx", "multi.mul",
                            "radarcol.mul", "texidx.mul", "texmaps.mul", "tiledata.mul", "palette.xml",
                            "palette-buildings.png", "palette-nature.png", "palette-terrain.png",
                            "palette-underground.png", "first-view.ini"};

QStringList facetFiles(int facet)
{
    const QString main = QString::number(facet == 1 ? 0 : facet), own = QString::number(facet);
    return {"map" + main + ".mul", "staidx" + main + ".mul", "statics" + main + ".mul",
            "mapdif" + own + ".mul", "mapdifl" + own + ".mul", "stadif" + own + ".mul",
            "stadifi" + own + ".mul", "stadifl" + own + ".mul"};
}

} // namespace

class GeneratorTest : public QObject {
    Q_OBJECT

private slots:
    void sameSeedSameBytes()
    {
        QTemporaryDir a, b;
        QVERIFY(generate(a.path(), {2}, 42) && generate(b.path(), {2}, 42));
        const QStringList names = filesIn(a.path());
        QCOMPARE(names, filesIn(b.path()));
        for (const QString &name : names)
            QVERIFY2(load(a.path(), name) == load(b.path(), name), qPrintable(name));
    }

    void otherSeedOtherWorld()
    {
        QTemporaryDir a, b;
        QVERIFY(generate(a.path(), {2}, 1) && generate(b.path(), {2}, 2));
        const QByteArray mapA = load(a.path(), "map2.mul"), mapB = load(b.path(), "map2.mul");
        QCOMPARE(mapA.size(), mapB.size());
        QVERIFY(mapA != mapB);
        QVERIFY(load(a.path(), "statics2.mul") != load(b.path(), "statics2.mul"));
        QVERIFY(load(a.path(), "mapdifl2.mul") != load(b.path(), "mapdifl2.mul"));
        // The tiles themselves do not depend on the seed.
        QCOMPARE(load(a.path(), "tiledata.mul"), load(b.path(), "tiledata.mul"));
        QCOMPARE(load(a.path(), "art.mul"), load(b.path(), "art.mul"));
    }

    void facetSelection()
    {
        QTemporaryDir dir;
        QVERIFY(generate(dir.path(), {3}, 1));
        QStringList expected = shared + facetFiles(3);
        expected.sort();
        QCOMPARE(filesIn(dir.path()), expected);
    }

    void malasAndIlshenarDiffer()
    {
        QTemporaryDir dir;
        QVERIFY(generate(dir.path(), {2, 3}, 1));
        // Blocks at the same numbers of two facets hold different land.
        const QByteArray ilshenar = load(dir.path(), "map2.mul"), malas = load(dir.path(), "map3.mul");
        QVERIFY(ilshenar.left(288 * 200 * 196) != malas.left(288 * 200 * 196));
        QVERIFY(load(dir.path(), "mapdifl2.mul") != load(dir.path(), "mapdifl3.mul"));
    }

    void rejectsBadOptions_data()
    {
        QTest::addColumn<QList<int>>("facets");
        QTest::addColumn<bool>("badDir");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("later");
        QTest::addColumn<QList<int>>("mulMaps");
        QTest::newRow("facet 4") << QList<int>{2, 4} << false << "unknown facet 4 (facets are 0 to 3)" << false << QList<int>{};
        QTest::newRow("facet -1") << QList<int>{-1} << false << "unknown facet -1 (facets are 0 to 3)" << false << QList<int>{};
        QTest::newRow("directory below a file") << QList<int>{2} << true << "cannot create directory %1" << false << QList<int>{};
        QTest::newRow("later facet 6") << QList<int>{4, 6} << false << "unknown facet 6 (facets are 0 to 5)" << true << QList<int>{};
        QTest::newRow("later plain map of facet 7") << QList<int>{4} << false
                                                    << "unknown facet 7 among the plain maps (facets are 0 to 5)" << true
                                                    << QList<int>{7};
        QTest::newRow("early plain maps") << QList<int>{2} << false
                                          << "plain maps instead of containers are a choice of the later layout only"
                                          << false << QList<int>{2};
    }
    void rejectsBadOptions()
    {
        QFETCH(QList<int>, facets);
        QFETCH(bool, badDir);
        QFETCH(QString, message);
        QFETCH(bool, later);
        QFETCH(QList<int>, mulMaps);
        QTemporaryDir dir;
        QString out = dir.path() + "/world";
        if (badDir) {
            QFile blocker(dir.path() + "/file");
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            out = blocker.fileName() + "/world";
            message = message.arg(out);
        }
        sw::Options options;
        options.outDir = out;
        options.facets = facets;
        options.layout = later ? sw::Layout::Later : sw::Layout::Early;
        options.mulMaps = mulMaps;
        QString error;
        QVERIFY(!sw::write(options, &error));
        QCOMPARE(error, message);
        QVERIFY(filesIn(out).isEmpty());
    }

    void reportsWrittenFiles()
    {
        QTemporaryDir dir;
        sw::Options options;
        options.outDir = dir.path();
        options.facets = {2};
        QList<sw::WrittenFile> written;
        QVERIFY(sw::write(options, nullptr, &written));
        QStringList names;
        for (const sw::WrittenFile &f : written) {
            names.append(f.name);
            QCOMPARE(f.size, QFileInfo(QDir(dir.path()).filePath(f.name)).size());
        }
        names.sort();
        QCOMPARE(names, filesIn(dir.path()));
    }

    void commandLine()
    {
        const QString exe = qEnvironmentVariable("SAMPLEWORLD");
        if (exe.isEmpty())
            QSKIP("SAMPLEWORLD is not set (run through ctest)");
        QTemporaryDir dir;
        QProcess p;
        p.start(exe, {"--out", dir.path() + "/w", "--facets", "3", "--seed", "9"});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        QVERIFY(out.contains("map3.mul"));
        QVERIFY(out.contains("wrote 23 files"));
        QTemporaryDir lib;
        QVERIFY(generate(lib.path(), {3}, 9));
        QCOMPARE(load(dir.path() + "/w", "statics3.mul"), load(lib.path(), "statics3.mul"));

        p.start(exe, {"--out", dir.path() + "/x", "--facets", "2,7"});
        QVERIFY(p.waitForFinished(120000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains("invalid facet \"7\""));
        QVERIFY(!QDir(dir.path() + "/x").exists());

        // The later layout: Tokuno in its container and the same bytes as the library's.
        p.start(exe, {"--out", dir.path() + "/l", "--layout", "later", "--facets", "4", "--seed", "9"});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QString::fromLocal8Bit(p.readAllStandardOutput()).contains("map4LegacyMUL.uop"));
        sw::Options later;
        later.outDir = lib.path() + "/l";
        later.facets = {4};
        later.seed = 9;
        later.layout = sw::Layout::Later;
        QVERIFY(sw::write(later));
        for (const char *name : {"map4LegacyMUL.uop", "statics4.mul", "tiledata.mul", "artLegacyMUL.uop"})
            QVERIFY2(load(dir.path() + "/l", name) == load(later.outDir, name), name);
        const struct {
            QStringList arguments;
            const char *message;
        } refused[] = {{{"--layout", "middle"}, "invalid layout \"middle\" (early or later)"},
                       {{"--mul-maps", "1"}, "--mul-maps needs --layout later"},
                       {{"--layout", "later", "--facets", "6"}, "invalid facet \"6\" (facets are 0 to 5)"}};
        for (const auto &r : refused) {
            p.start(exe, QStringList{"--out", dir.path() + "/y"} + r.arguments);
            QVERIFY(p.waitForFinished(120000));
            QCOMPARE(p.exitCode(), 2);
            QVERIFY2(QString::fromLocal8Bit(p.readAllStandardError()).contains(QLatin1String(r.message)), r.message);
            QVERIFY(!QDir(dir.path() + "/y").exists());
        }
    }

    // Felucca alone is 77 MB of land; only with TESSARYN_SLOW set.
    void feluccaAndTrammel()
    {
        if (qEnvironmentVariableIsEmpty("TESSARYN_SLOW"))
            QSKIP("set TESSARYN_SLOW to write Felucca and Trammel");
        QTemporaryDir dir;
        QVERIFY(generate(dir.path(), {0, 1}, 1));
        const qint64 blocks = qint64(sw::facetBlocksX(0)) * sw::facetBlocksY(0);
        QCOMPARE(blocks, qint64(768) * 512);
        QCOMPARE(QFileInfo(dir.filePath("map0.mul")).size(), blocks * 196);
        QCOMPARE(QFileInfo(dir.filePath("staidx0.mul")).size(), blocks * 12);
        QVERIFY(!QFile::exists(dir.filePath("map1.mul")));
        // The shared world looks different in Trammel only through its own differences.
        QVERIFY(load(dir.path(), "mapdifl0.mul") != load(dir.path(), "mapdifl1.mul"));
        QVERIFY(load(dir.path(), "stadifl0.mul") != load(dir.path(), "stadifl1.mul"));
        const QByteArray map = load(dir.path(), "map0.mul");
        const QByteArray list = load(dir.path(), "mapdifl1.mul"), dif = load(dir.path(), "mapdif1.mul");
        const int block = i32(list, 0);
        QVERIFY(dif.left(196) != map.mid(qsizetype(block) * 196, 196));
        // Cell (13, 20) is block 1 * 512 + 2.
        const int block13x20 = 1 * sw::facetBlocksY(0) + 2;
        QCOMPARE(i32(map, qsizetype(block13x20) * 196), block13x20);
    }
};

QTEST_GUILESS_MAIN(GeneratorTest)
#include "generator_test.moc"
