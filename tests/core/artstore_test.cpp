#include "support/testenv.h"
#include "tiles/artstore.h"
#include "tiles/colour.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

#include <optional>

namespace {
// Little-endian byte builder for hand-made entries.
struct Bytes {
    QByteArray b;
    Bytes &s16(int v)
    {
        char c[2];
        qToLittleEndian(qint16(v), c);
        b.append(c, 2);
        return *this;
    }
    Bytes &s32(qint32 v)
    {
        char c[4];
        qToLittleEndian(v, c);
        b.append(c, 4);
        return *this;
    }
    operator QByteArray() const { return b; }
};

// An art index and data file. Records not set are (-1, -1, -1).
struct ArtFiles {
    QByteArray data;
    QMap<int, IndexRecord> records;

    // Appends bytes to the data file and points record i at them; returns their offset.
    int add(int i, const QByteArray &bytes)
    {
        const int at = int(data.size());
        records[i] = {at, qint32(bytes.size()), 0};
        data += bytes;
        return at;
    }
    QByteArray index() const
    {
        Bytes out;
        const int count = records.isEmpty() ? 0 : records.lastKey() + 1;
        for (int i = 0; i < count; ++i) {
            const IndexRecord r = records.value(i);
            out.s32(r.offset).s32(r.length).s32(r.extra);
        }
        return out;
    }
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A land entry whose colour i is the value i, so each pixel tells which colour it came from.
QByteArray numberedLand()
{
    Bytes b;
    for (int i = 0; i < 1012; ++i)
        b.s16(i);
    return b;
}

// The static used by several tests, 6 x 3, offsets within the entry:
//   0  header (skipped)          4  width 6            6  height 3
//   8  line table: 0, 2, 11 (2-byte units from byte 14)
//  14  row 0: end pair only
//  18  row 1: skip 1, run 2 (0x7C00, 0x03E0); skip 2, run 1 (0x001F); end pair
//  36  row 2: skip 0, run 6 (0x7FFF x 6); end pair          56  end of entry
QByteArray sampleStatic()
{
    Bytes b;
    b.s32(0x12345678).s16(6).s16(3);
    b.s16(0).s16(2).s16(11);
    b.s16(0).s16(0);
    b.s16(1).s16(2).s16(0x7C00).s16(0x03E0).s16(2).s16(1).s16(0x001F).s16(0).s16(0);
    b.s16(0).s16(6);
    for (int i = 0; i < 6; ++i)
        b.s16(0x7FFF);
    b.s16(0).s16(0);
    return b;
}

// Which pixels of an image are opaque, one text line per row: '#' opaque, '.' transparent.
QStringList opacityMask(const QImage &image)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x)
            row += qAlpha(image.pixel(x, y)) ? QLatin1Char('#') : QLatin1Char('.');
        rows << row;
    }
    return rows;
}

// Run-length encodes a grid of optional colours the way the art file stores statics.
using Grid = QList<QList<std::optional<quint16>>>;
QByteArray encodeStatic(const Grid &grid)
{
    const int height = int(grid.size());
    const int width = height ? int(grid[0].size()) : 0;
    Bytes table, runs;
    for (const auto &row : grid) {
        table.s16(int(runs.b.size() / 2));
        int x = 0, last = 0;
        while (x < width) {
            if (!row[x]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < width && row[end])
                ++end;
            runs.s16(x - last).s16(end - x);
            for (int i = x; i < end; ++i)
                runs.s16(*row[i]);
            last = x = end;
        }
        runs.s16(0).s16(0);
    }
    Bytes head;
    head.s32(0).s16(width).s16(height);
    return head.b + table.b + runs.b;
}

Grid randomGrid(QRandomGenerator &random, int width, int height)
{
    Grid grid(height, QList<std::optional<quint16>>(width));
    for (auto &row : grid)
        for (auto &cell : row)
            if (random.bounded(3))
                cell = quint16(random.bounded(0x8000));
    return grid;
}

// Every pixel of part is either transparent or the pixel of whole at the same place.
bool isPartOf(const QImage &part, const QImage &whole)
{
    if (part.size() != whole.size())
        return false;
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            if (part.pixel(x, y) != 0 && part.pixel(x, y) != whole.pixel(x, y))
                return false;
    return true;
}
} // namespace

class ArtStoreTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_dir;

    void writeArt(const ArtFiles &files, qsizetype dataSize = -1)
    {
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("artidx.mul")), files.index()));
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("art.mul")),
                          dataSize < 0 ? files.data : files.data.left(dataSize)));
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_dir = std::make_unique<QTemporaryDir>();
        TestEnvironment::useDataDirectory(m_dir->path());
    }
    void cleanup()
    {
        m_dir.reset();
        m_env.reset();
    }

    void landDiamondRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("firstColour"); // index of the colour at (first, row)
        QTest::newRow("row 0") << 0 << 21 << 22 << 0;
        QTest::newRow("row 1") << 1 << 20 << 23 << 2;
        QTest::newRow("row 21") << 21 << 0 << 43 << 462;
        QTest::newRow("row 22") << 22 << 0 << 43 << 506;
        QTest::newRow("row 23") << 23 << 1 << 42 << 550;
        QTest::newRow("row 43") << 43 << 21 << 22 << 1010;
    }
    void landDiamondRows()
    {
        QFETCH(int, row);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, firstColour);
        ArtFiles files;
        files.add(0, QByteArray(10, 'x')); // something else before the land entry
        files.add(7, numberedLand());
        writeArt(files);

        ArtStore store;
        const QImage image = store.landArt(7, 255);
        QCOMPARE(image.size(), QSize(44, 44));
        QCOMPARE(image.format(), QImage::Format_ARGB32);
        for (int x = 0; x < 44; ++x) {
            const QRgb pixel = image.pixel(x, row);
            if (x < first || x > last)
                QCOMPARE(pixel, QRgb(0));
            else
                QCOMPARE(pixel, QRgb(colourToArgb(quint16(firstColour + x - first), 255)));
        }
    }

    void colourConversion_data()
    {
        QTest::addColumn<quint16>("colour");
        QTest::addColumn<int>("alpha");
        QTest::addColumn<QRgb>("pixel");
        QTest::newRow("white") << quint16(0x7FFF) << 255 << QRgb(0xFFF8F8F8);
        QTest::newRow("black stays opaque") << quint16(0x0000) << 255 << QRgb(0xFF000000);
        QTest::newRow("red") << quint16(0x7C00) << 255 << QRgb(0xFFF80000);
        QTest::newRow("green") << quint16(0x03E0) << 255 << QRgb(0xFF00F800);
        QTest::newRow("blue") << quint16(0x001F) << 255 << QRgb(0xFF0000F8);
        QTest::newRow("mixed") << quint16(0x4631) << 255 << QRgb(0xFF888888);
        QTest::newRow("bit 15 ignored") << quint16(0x8001) << 255 << QRgb(0xFF000008);
        QTest::newRow("translucent") << quint16(0x7FFF) << 230 << QRgb(0xE6F8F8F8);
        QTest::newRow("alpha 0") << quint16(0x7C00) << 0 << QRgb(0x00F80000);
    }
    void colourConversion()
    {
        QFETCH(quint16, colour);
        QFETCH(int, alpha);
        QFETCH(QRgb, pixel);
        ArtFiles files;
        QByteArray land = numberedLand();
        qToLittleEndian(colour, land.data());
        files.add(1, land);
        writeArt(files);
        ArtStore store;
        QCOMPARE(store.landArt(1, alpha).pixel(21, 0), pixel);
    }

    void absentEntries()
    {
        ArtFiles files;
        files.add(0, numberedLand());
        files.add(16384, sampleStatic());
        files.records[2] = {-1, 2024, 0};        // marked absent
        files.records[3] = {10, 0, 0};           // no length
        files.records[4] = {100000, 2024, 0};    // past the end of the data file
        files.records[5] = {-12, 2024, 0};       // before its start
        writeArt(files);
        ArtStore store;
        QVERIFY(!store.landArt(0, 255).isNull());
        for (int id : {-1, 2, 3, 4, 5, 6, 16383})
            QVERIFY2(store.landArt(id, 255).isNull(), qPrintable(QString::number(id)));
        // Record 16384 is static 0, never a land tile.
        QVERIFY(store.landArt(16384, 255).isNull());
    }

    void staticRowsAndRuns()
    {
        ArtFiles files;
        files.add(0, numberedLand()); // record 0 is land 0; static 0 must not read it
        files.add(16384, sampleStatic());
        writeArt(files);
        ArtStore store;
        const QImage image = store.staticArt(0, 255);
        QCOMPARE(image.size(), QSize(6, 3));
        QCOMPARE(image.format(), QImage::Format_ARGB32);
        QCOMPARE(opacityMask(image), QStringList({"......", ".##..#", "######"}));
        QCOMPARE(image.pixel(1, 1), QRgb(0xFFF80000));
        QCOMPARE(image.pixel(2, 1), QRgb(0xFF00F800));
        QCOMPARE(image.pixel(5, 1), QRgb(0xFF0000F8));
        QCOMPARE(image.pixel(0, 2), QRgb(0xFFF8F8F8));
        QCOMPARE(image.pixel(5, 2), QRgb(0xFFF8F8F8));
    }

    void staticRecordNumbers_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("record"); // -1: no image
        QTest::newRow("0") << 0 << 16384;
        QTest::newRow("1") << 1 << 16385;
        QTest::newRow("0x7FFF") << 0x7FFF << 49151;
        QTest::newRow("0x8000") << 0x8000 << 49152;
        QTest::newRow("0xFFFF") << 0xFFFF << 81919;
        QTest::newRow("negative") << -1 << -1;
        QTest::newRow("past 16 bits") << 0x10000 << -1;
    }
    void staticRecordNumbers()
    {
        QFETCH(int, id);
        QFETCH(int, record);
        // Every candidate record holds a static whose width tells which record was read.
        ArtFiles files;
        const QList<int> candidates{16383, 16384, 16385, 49151, 49152, 81919};
        for (int r : candidates) {
            Grid one(1, QList<std::optional<quint16>>(r % 97 + 1, quint16(0x7FFF)));
            files.add(r, encodeStatic(one));
        }
        writeArt(files);
        ArtStore store;
        const QImage image = store.staticArt(id, 255);
        if (record < 0)
            QVERIFY(image.isNull());
        else
            QCOMPARE(image.width(), record % 97 + 1);
    }

    void hueWhileDecoding_data()
    {
        QTest::addColumn<bool>("partial");
        QTest::addColumn<int>("hueId");
        QTest::addColumn<QRgb>("grey");
        QTest::addColumn<QRgb>("red");
        // The ramp maps index 16 to blue and 31 to green.
        QTest::newRow("partial") << true << 4 << QRgb(0xFF0000F8) << QRgb(0xFFF80000);
        QTest::newRow("whole") << false << 4 << QRgb(0xFF0000F8) << QRgb(0xFF00F800);
        QTest::newRow("empty hue") << false << -1 << QRgb(0xFF808080) << QRgb(0xFFF80000);
    }
    void hueWhileDecoding()
    {
        QFETCH(bool, partial);
        QFETCH(int, hueId);
        QFETCH(QRgb, grey);
        QFETCH(QRgb, red);
        Hue::Ramp ramp{};
        ramp[16] = 0x001F;
        ramp[31] = 0x03E0;
        const Hue hue = hueId < 0 ? Hue() : Hue(hueId, QStringLiteral("test"), ramp);

        // Land: the first row's two pixels; static: one row of the same two colours.
        ArtFiles files;
        QByteArray land = numberedLand();
        qToLittleEndian(quint16(0x4210), land.data());
        qToLittleEndian(quint16(0x7C00), land.data() + 2);
        files.add(0, land);
        files.add(16384 + 9, encodeStatic({{quint16(0x4210), quint16(0x7C00)}}));
        writeArt(files);

        ArtStore store;
        const QImage landImage = store.landArt(0, hue, partial, 255);
        QCOMPARE(landImage.pixel(21, 0), grey);
        QCOMPARE(landImage.pixel(22, 0), red);
        const QImage staticImage = store.staticArt(9, hue, partial, 255);
        QCOMPARE(staticImage.pixel(0, 0), grey);
        QCOMPARE(staticImage.pixel(1, 0), red);
    }

    void damagedStatics_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<int>("indexLength"); // -1: the entry's size
        QTest::addColumn<int>("fileCut");     // bytes of the entry left in the file; -1: all
        QTest::addColumn<QStringList>("mask"); // empty: no image

        QTest::newRow("run past the right edge skipped, next run drawn")
            << QByteArray(Bytes().s32(0).s16(4).s16(1).s16(0)
                              .s16(3).s16(2).s16(0x7FFF).s16(0x7FFF) // x 3..4: skipped
                              .s16(-5).s16(1).s16(0x7FFF)            // back to x 0
                              .s16(0).s16(0))
            << -1 << -1 << QStringList{"#..."};
        QTest::newRow("run left of the image skipped")
            << QByteArray(Bytes().s32(0).s16(3).s16(1).s16(0)
                              .s16(-1).s16(2).s16(0x7FFF).s16(0x7FFF) // x -1..0: skipped
                              .s16(1).s16(1).s16(0x7FFF)              // x 2
                              .s16(0).s16(0))
            << -1 << -1 << QStringList{"..#"};
        QTest::newRow("negative width") << QByteArray(Bytes().s32(0).s16(-4).s16(1).s16(0).s16(0).s16(0))
                                        << -1 << -1 << QStringList();
        QTest::newRow("zero height") << QByteArray(Bytes().s32(0).s16(4).s16(0).s16(0).s16(0))
                                     << -1 << -1 << QStringList();
        QTest::newRow("huge height") << QByteArray(Bytes().s32(0).s16(4).s16(30000).s16(0).s16(0).s16(0))
                                     << -1 << -1 << QStringList();
        QTest::newRow("line table entry past the entry")
            << QByteArray(Bytes().s32(0).s16(2).s16(2).s16(0).s16(0x7FFF).s16(0).s16(0))
            << -1 << -1 << QStringList();
        QTest::newRow("line table entry 0xFFFF")
            << QByteArray(Bytes().s32(0).s16(2).s16(2).s16(0).s16(-1).s16(0).s16(0))
            << -1 << -1 << QStringList();
        QTest::newRow("line table cut off")
            << QByteArray(Bytes().s32(0).s16(2).s16(100).s16(0).s16(0).s16(0).s16(0))
            << -1 << -1 << QStringList();
        QTest::newRow("header cut off") << sampleStatic() << -1 << 6 << QStringList();
        QTest::newRow("file ends inside row 2's run")
            << sampleStatic() << -1 << 46 << QStringList{"......", ".##..#", "###..."};
        QTest::newRow("file ends after row 1")
            << sampleStatic() << -1 << 36 << QStringList{"......", ".##..#", "......"};
        QTest::newRow("entry shorter than its runs")
            << sampleStatic() << 40 << -1 << QStringList{"......", ".##..#", "......"};
        QTest::newRow("row without its end pair")
            << QByteArray(Bytes().s32(0).s16(3).s16(1).s16(0).s16(1).s16(2).s16(0x7FFF).s16(0x7FFF))
            << -1 << -1 << QStringList{".##"};
    }
    void damagedStatics()
    {
        QFETCH(QByteArray, entry);
        QFETCH(int, indexLength);
        QFETCH(int, fileCut);
        QFETCH(QStringList, mask);
        // The entry starts at byte 16 of the data file, after another entry.
        ArtFiles files;
        files.data = QByteArray(16, 'z');
        QCOMPARE(files.add(16384 + 2, entry), 16);
        if (indexLength >= 0)
            files.records[16384 + 2].length = indexLength;
        writeArt(files, fileCut < 0 ? -1 : 16 + fileCut);

        ArtStore store;
        const QImage image = store.staticArt(2, 255);
        if (mask.isEmpty())
            QVERIFY(image.isNull());
        else
            QCOMPARE(opacityMask(image), mask);
    }

    void landCutShort()
    {
        // The file ends after 10 colours: rows 0 and 1 (6 colours) whole, 4 of row 2's 6.
        ArtFiles files;
        files.add(0, numberedLand());
        writeArt(files, 20);
        ArtStore store;
        const QImage image = store.landArt(0, 255);
        QCOMPARE(image.size(), QSize(44, 44));
        const QStringList mask = opacityMask(image);
        QCOMPARE(mask[0].count('#'), 2);
        QCOMPARE(mask[1].count('#'), 4);
        QCOMPARE(mask[2].mid(19, 6), QStringLiteral("####.."));
        QCOMPARE(mask[3].count('#'), 0);
    }

    void staticsRoundTrip()
    {
        QRandomGenerator random(20240611);
        for (int round = 0; round < 40; ++round) {
            const int width = int(random.bounded(1, 70));
            const int height = int(random.bounded(1, 70));
            const Grid grid = randomGrid(random, width, height);
            const QImage image =
                ArtStore::decodeStatic(encodeStatic(grid), encodeStatic(grid).size(), Hue(), false, 255);
            QCOMPARE(image.size(), QSize(width, height));
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    QCOMPARE(image.pixel(x, y), grid[y][x] ? QRgb(colourToArgb(*grid[y][x], 255)) : QRgb(0));
        }
    }

    void truncatedFilesKeepWhatWasDecoded()
    {
        QRandomGenerator random(77);
        ArtFiles files;
        for (int id = 0; id < 4; ++id) {
            QByteArray land;
            for (int i = 0; i < 2024; ++i)
                land += char(random.bounded(256));
            files.add(id, land);
            files.add(16384 + id, encodeStatic(randomGrid(random, 20 + id, 30 - id)));
        }
        writeArt(files);
        QList<QImage> whole;
        {
            ArtStore store;
            for (int id = 0; id < 4; ++id)
                whole << store.landArt(id, 255) << store.staticArt(id, 255);
        }
        for (int round = 0; round < 30; ++round) {
            writeArt(files, random.bounded(int(files.data.size())));
            ArtStore store;
            for (int id = 0; id < 4; ++id) {
                const QImage land = store.landArt(id, 255);
                const QImage statik = store.staticArt(id, 255);
                QVERIFY(land.isNull() || isPartOf(land, whole[2 * id]));
                QVERIFY(statik.isNull() || isPartOf(statik, whole[2 * id + 1]));
            }
        }
    }

    void randomBytesNeverCrash()
    {
        QRandomGenerator random(4711);
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes(int(random.bounded(0, 300)), '\0');
            for (char &c : bytes)
                c = char(random.bounded(256));
            if (round % 3 == 0 && bytes.size() >= 8) {
                // Plausible sizes so that the run decoder gets exercised, not just the checks.
                qToLittleEndian(qint16(random.bounded(1, 40)), bytes.data() + 4);
                qToLittleEndian(qint16(random.bounded(1, 20)), bytes.data() + 6);
            }
            const qint64 length = bytes.size() + qint64(random.bounded(3)) * 50;
            const QImage statik = ArtStore::decodeStatic(bytes, length, Hue(), false, 255);
            QVERIFY(statik.isNull() || (statik.width() <= ArtStore::kMaxStaticSide
                                        && statik.height() <= ArtStore::kMaxStaticSide));
            QCOMPARE(ArtStore::decodeLand(bytes, Hue(), true, 255).size(), QSize(44, 44));
        }

        // Random index records against random data, through the files.
        ArtFiles files;
        for (int i = 0; i < 4000; ++i)
            files.data += char(random.bounded(256));
        for (int r : {0, 1, 2, 16384, 16385, 16386, 16387}) {
            files.records[r] = {qint32(random.bounded(-10, 4100)), qint32(random.bounded(-10, 3000)),
                                qint32(random.generate())};
        }
        writeArt(files);
        ArtStore store;
        for (int id = -1; id < 5; ++id) {
            const QImage land = store.landArt(id, 255);
            QVERIFY(land.isNull() || land.size() == QSize(44, 44));
            store.staticArt(id, 255);
        }
    }
};

QTEST_GUILESS_MAIN(ArtStoreTest)
#include "artstore_test.moc"
