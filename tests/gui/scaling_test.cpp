// The text readers at sizes that matter: four times the input may not take much more than four
// times the time. Each reader runs on an input of size n and of 4n, best of a few runs of process
// CPU time (what a loaded machine disturbs least), and fails when the larger takes more than
// eight times as long: work that grows with the square of the input takes sixteen.
#include "support/testenv.h"
#include "tiles/tiledata.h"
#include "tools/palettefile.h"
#include "world/blockcache.h"
#include "world/facet.h"
#include "world/multi.h"
#include "world/multiplacement.h"
#include "world/worldsave.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>

namespace {

constexpr int kRuns = 5;

double cpuSeconds(const std::function<void()> &work)
{
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const std::clock_t start = std::clock();
        work();
        best = std::min(best, double(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return best;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A palette of n tiles: groups of 50 under tile sets of 20 groups, land and statics alike.
QByteArray paletteOf(int n)
{
    QByteArray xml = "<palette><tilesets>";
    for (const char *section : {"land", "statics"}) {
        xml += QByteArray("<") + section + ">";
        for (int t = 0; t < n / 2;) {
            xml += "<tileset name=\"set\">";
            for (int g = 0; g < 20 && t < n / 2; ++g) {
                xml += "<group name=\"g\">";
                for (int i = 0; i < 50 && t < n / 2; ++i, ++t)
                    xml += (t % 10 ? "<tile>0x" + QByteArray::number(t % 0x3000, 16) + "</tile>"
                                   : "<random name=\"r\" image=\"3\"><tile>1</tile><tile>2</tile></random>");
                xml += "</group>";
            }
            xml += "</tileset>";
        }
        xml += QByteArray("</") + section + ">";
    }
    return xml + "</tilesets></palette>";
}

// n items of one tile on one cell: the shape that made every insertion walk the whole stack.
QByteArray worldSaveOf(int n)
{
    QByteArray text;
    text.reserve(qsizetype(n) * 48);
    for (int i = 0; i < n; ++i)
        text += "SECTION WORLDITEM\n{\nID 3703\nX 1000\nY 1500\nZ " + QByteArray::number(i % 3) + "\n}\n";
    return text;
}

// n visible components over the 64 cells of one block, 0x10 + i % 16 at heights 0..4.
QByteArray mltOf(int n)
{
    QByteArray bytes(qsizetype(n) * 12, '\0');
    uchar *p = reinterpret_cast<uchar *>(bytes.data());
    for (int i = 0; i < n; ++i, p += 12) {
        qToLittleEndian<quint16>(quint16(0x10 + i % 16), p);
        qToLittleEndian<qint16>(qint16(i % 8), p + 2);
        qToLittleEndian<qint16>(qint16((i / 8) % 8), p + 4);
        qToLittleEndian<qint16>(qint16(i % 5), p + 6);
        qToLittleEndian<quint16>(1, p + 8);
        qToLittleEndian<quint16>(quint16(i % 3), p + 10);
    }
    return bytes;
}

} // namespace

class ScalingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void quadruplingTheInputStaysBelowEightTimesTheTime_data();
    void quadruplingTheInputStaysBelowEightTimesTheTime();

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_client;
};

void ScalingTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    m_client = m_env->copyOfSample();
    TestEnvironment::useDataDirectory(m_client);
}

void ScalingTest::quadruplingTheInputStaysBelowEightTimesTheTime_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<int>("n");
    QTest::newRow("palette") << "palette" << 200000;
    // 160,000 items on one cell at 2n.
    QTest::newRow("world save") << "wsc" << 80000;
    QTest::newRow(".mlt import") << "mlt" << 200000;
}

void ScalingTest::quadruplingTheInputStaysBelowEightTimesTheTime()
{
    QFETCH(QString, reader);
    QFETCH(int, n);
    const QString path = m_env->root() + QStringLiteral("/input.") + reader;
    Facet ilshenar(2);
    TileData tiles;
    tiles.openFile(m_client + QStringLiteral("/tiledata.mul"));

    // The work on an input of size k, checked so that a fast wrong answer cannot pass.
    std::function<void(int)> prepare;
    std::function<void(int)> run;
    int size = 0;
    if (reader == QLatin1String("palette")) {
        prepare = [&](int k) { QVERIFY(writeBytes(path, paletteOf(k))); size = k; };
        run = [&](int) {
            PaletteContent content;
            QString error;
            QVERIFY2(PaletteFile::read(path, &content, &error), qPrintable(error));
            size_t entries = 0;
            for (const auto &kind : content.entries)
                for (const auto &group : kind)
                    entries += group.second.size();
            QCOMPARE(entries, size_t(size));
        };
    } else if (reader == QLatin1String("wsc")) {
        prepare = [&](int k) { QVERIFY(writeBytes(path, worldSaveOf(k))); size = k; };
        run = [&](int) {
            const WorldSaveResult r = readWorldSave(ilshenar, path, tiles);
            QVERIFY2(r.ok, qPrintable(r.error));
            // The block as the view decodes it, the items merged into its cell's stack.
            const StaticBlock block = ilshenar.loadStaticBlock(blockNumber(1000, 1500, ilshenar.blocksY()), true, true);
            QVERIFY(block.at(cellKey(1000, 1500)).size() >= size);
        };
    } else {
        prepare = [&](int k) { QVERIFY(writeBytes(path, mltOf(k))); size = k; };
        run = [&](int) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QList<MultiComponent> components = readMlt(f.readAll());
            BlockCache cache;
            cache.setFacet(&ilshenar);
            const auto cells = placeComponents(components, MultiAnchor{800, 800, 0, 288 * 8, 200 * 8}, true, tiles);
            QVERIFY(cells && cells->size() == 64);
            for (const CellPlacement &c : *cells)
                cache.insertStatics(c.x, c.y, c.tiles.data(), c.tiles.data() + c.tiles.size());
            QCOMPARE(cache.staticBlock(blockNumber(800, 800, 200)).tileCount(),
                     size + ilshenar.loadStaticBlock(blockNumber(800, 800, 200), false, false).tileCount());
            cache.setFacet(nullptr);
            ilshenar.clearWorkingFiles(); // the next run starts from the client's files again
        };
    }

    prepare(n);
    run(n); // warm: files in the page cache, tile data read
    const double single = cpuSeconds([&] { run(n); });
    // Four times the input: linear work takes about 4 times as long and quadratic work 16 times,
    // so a limit of 8 tells them apart with room for the allocator's and the caches' moods
    // (doubling alone gave ratios from 2.2 to 3.7 for the same linear reader here).
    prepare(4 * n);
    const double larger = cpuSeconds([&] { run(4 * n); });
    const double ratio = larger / std::max(single, 1e-6);
    qInfo("%s %d: %.3f s, %d: %.3f s, ratio %.2f", qPrintable(reader), n, single, 4 * n, larger, ratio);
    QVERIFY2(ratio <= 8.0, qPrintable(QStringLiteral("four times the input took %1 times as long").arg(ratio)));
}

QTEST_MAIN(ScalingTest)
#include "scaling_test.moc"
