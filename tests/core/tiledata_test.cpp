// Tile data: record offsets, names, the one-group cache and ids the file does not hold.
#include "support/testenv.h"
#include "tiles/tiledata.h"

#include <QtEndian>
#include <QtTest>

namespace {
void put32(QByteArray &b, qint64 at, quint32 v) { qToLittleEndian<quint32>(v, b.data() + at); }
void put16(QByteArray &b, qint64 at, quint16 v) { qToLittleEndian<quint16>(v, b.data() + at); }
void putText(QByteArray &b, qint64 at, const char *s) { memcpy(b.data() + at, s, strlen(s)); }

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
} // namespace

class TileDataTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString path;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        // Land region, two whole static groups and 4 + 37 + 10 bytes of a third.
        QByteArray b(428032 + 2 * 1188 + 4 + 37 + 10, '\0');
        // land id 33: group 1, record 1 = 836 + 4 + 26 = 866
        put32(b, 866, 0x11223344);
        put16(b, 866 + 4, 0x0506);
        putText(b, 866 + 6, "meadow");
        // land id 32, just before it, to catch an off-by-one record
        putText(b, 836 + 4 + 6, "wrong");
        // land ids 64 and 95: first and last record of group 2
        putText(b, 2 * 836 + 4 + 6, "first");
        putText(b, 2 * 836 + 4 + 31 * 26 + 6, "last");
        // land 16383: last record of the land region
        putText(b, 511 * 836 + 4 + 31 * 26 + 6, "edge");
        // static id 0 at 428032 + 4 = 428036, every field distinct
        const qint64 s0 = 428036;
        QCOMPARE(s0, qint64(428036));
        put32(b, s0, 0x80000001);
        b[s0 + 4] = 1;  // weight
        b[s0 + 5] = 2;  // quality
        put16(b, s0 + 6, 0x0304);
        b[s0 + 8] = 5;  // reserved2
        b[s0 + 9] = 6;  // quantity
        put16(b, s0 + 10, 0x0708);
        b[s0 + 12] = 9; // reserved3
        b[s0 + 13] = char(0xAB); // hue, 8-bit
        put16(b, s0 + 14, 0x0B0C);
        b[s0 + 16] = 13; // height
        putText(b, s0 + 17, "post");
        // static id 32 at 428032 + 1188 + 4: a 20-character name, no NUL; the next record's
        // flags follow at once and must not join the name
        const qint64 s32 = 428032 + 1188 + 4;
        putText(b, s32 + 17, "ABCDEFGHIJKLMNOPQRST");
        put32(b, s32 + 37, 0x41414141);
        // static id 64, the one whole record of the partial third group
        const qint64 s64 = 428032 + 2 * 1188 + 4;
        put32(b, s64, 0x8);
        putText(b, s64 + 17, "tail");
        // id 65's flags survive in the file but its record is cut
        put32(b, s64 + 37, 0xFFFF);
        path = env->root() + QStringLiteral("/tiledata.mul");
        QVERIFY(writeFile(path, b));
    }
    void cleanupTestCase() { env.reset(); }

    void landRecord()
    {
        TileData td(path);
        const Tile t = td.landTile(33);
        QCOMPARE(t.id(), 33);
        QCOMPARE(t.flags(), 0x11223344u);
        QCOMPARE(t.texture(), quint16(0x0506));
        QCOMPARE(t.name(), QStringLiteral("meadow"));
        QVERIFY(t.isLand());
        QCOMPARE(t.z(), 0);
        QCOMPARE(t.height(), 0);
        QCOMPARE(td.landTile(32).name(), QStringLiteral("wrong"));
        QCOMPARE(td.landTile(16383).name(), QStringLiteral("edge"));
    }

    void staticRecord()
    {
        TileData td(path);
        const Tile t = td.staticTile(0);
        const TileInfo &i = t.info();
        QCOMPARE(t.id(), 0);
        QVERIFY(t.isStatic());
        QCOMPARE(i.flags, 0x80000001u);
        QCOMPARE(int(i.weight), 1);
        QCOMPARE(int(i.quality), 2);
        QCOMPARE(int(i.reserved1), 0x0304);
        QCOMPARE(int(i.reserved2), 5);
        QCOMPARE(int(i.quantity), 6);
        QCOMPARE(int(i.animation), 0x0708);
        QCOMPARE(int(i.reserved3), 9);
        QCOMPARE(int(i.hue), 0xAB);
        QCOMPARE(int(i.reserved4), 0x0B0C);
        QCOMPARE(t.height(), 13);
        QCOMPARE(t.name(), QStringLiteral("post"));
        QVERIFY(t.isBackground());
    }

    void fullLengthName()
    {
        TileData td(path);
        QCOMPARE(td.staticTile(32).name(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    }

    void oneReadPerGroup()
    {
        TileData td(path);
        QCOMPARE(td.groupReads(), 0);
        QCOMPARE(td.landTile(64).name(), QStringLiteral("first"));
        QCOMPARE(td.landTile(95).name(), QStringLiteral("last"));
        QCOMPARE(td.groupReads(), 1);
        td.landTile(96);
        QCOMPARE(td.groupReads(), 2);
        td.staticTile(1);
        td.staticTile(31);
        QCOMPARE(td.groupReads(), 3);
    }

    // Ids the file does not describe keep their id, with no name and no flags, and read
    // nothing from the file; they do not borrow a record of the cached group.
    void unknownIds_data()
    {
        QTest::addColumn<bool>("isLand");
        QTest::addColumn<int>("id");
        QTest::newRow("land -1") << true << -1;
        QTest::newRow("land 16384") << true << 16384;
        QTest::newRow("land 0xFFFF") << true << 0xFFFF;
        QTest::newRow("static -5") << false << -5;
        QTest::newRow("static past last group") << false << 96;
        QTest::newRow("static 0x8000") << false << 0x8000;
        QTest::newRow("static 0xFFFF") << false << 0xFFFF;
    }
    void unknownIds()
    {
        QFETCH(bool, isLand);
        QFETCH(int, id);
        TileData td(path);
        td.landTile(33);
        td.staticTile(0);
        const int reads = td.groupReads();
        const Tile t = isLand ? td.landTile(id) : td.staticTile(id);
        QCOMPARE(t.id(), id);
        QVERIFY(t.name().isEmpty());
        QCOMPARE(t.flags(), 0u);
        QCOMPARE(t.isLand(), isLand);
        QCOMPARE(td.groupReads(), reads);
    }

    // A group the file holds only in part gives its whole records and empty ones after.
    void partialGroup()
    {
        TileData td(path);
        QCOMPARE(td.staticGroupCount(), 3);
        const Tile whole = td.staticTile(64);
        QCOMPARE(whole.name(), QStringLiteral("tail"));
        QVERIFY(whole.isTranslucent());
        const Tile cut = td.staticTile(65);
        QCOMPARE(cut.id(), 65);
        QCOMPARE(cut.flags(), 0u);
        QVERIFY(cut.name().isEmpty());
    }

    // The default reader opens tiledata.mul of the data directory; without one every id
    // is an empty tile that keeps its id.
    void dataDirectoryFile()
    {
        TestEnvironment::useDataDirectory(env->root());
        TileData td;
        QVERIFY(td.isOpen());
        QCOMPARE(td.landTile(33).name(), QStringLiteral("meadow"));
        TestEnvironment::useDataDirectory(env->root() + QStringLiteral("/absent"));
        td.open();
        QVERIFY(!td.isOpen());
        const Tile t = td.landTile(33);
        QCOMPARE(t.id(), 33);
        QVERIFY(t.name().isEmpty());
        QCOMPARE(td.staticTile(0).id(), 0);
    }
};

QTEST_GUILESS_MAIN(TileDataTest)
#include "tiledata_test.moc"
