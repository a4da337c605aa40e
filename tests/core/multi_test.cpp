// Multi readers: components of multi.idx/multi.mul by number, bounded by what the files
// hold, and the component records of ".mlt" bytes. The bytes are spelled out here.
#include "core/worldfixture.h"
#include "support/testenv.h"
#include "world/multi.h"

#include <QBuffer>
#include <QtTest>

#include <limits>

using namespace fixture;

namespace {

QByteArray record(quint16 id, qint16 dx, qint16 dy, qint16 dz, quint32 flags)
{
    QByteArray b(12, '\0');
    put16(b, 0, id);
    put16(b, 2, quint16(dx));
    put16(b, 4, quint16(dy));
    put16(b, 6, quint16(dz));
    put32(b, 8, qint32(flags));
    return b;
}

// multi.mul: three records at 0, then one at 36; 48 bytes in all.
const QByteArray kData = record(0x0064, 0, 0, 0, 1) + record(0x8001, -5, 2, 7, 0) + record(0xFFFF, 3, -1, -128, 0x00260001)
    + record(0x0200, 1, 1, 1, 2);

// multi.idx, one record per multi number:
//   0 missing (offset -1)      1 the three records at 0      2 length past the file (cut)
//   3 offset past the file     4 length 0                    5 length 13: one whole record
//   6 offset -2                7 cut after 8 bytes (no whole record)
const QByteArray kIndex = indexRecord(-1, -1) + indexRecord(0, 36) + indexRecord(36, 120) + indexRecord(48, 12)
    + indexRecord(0, 0) + indexRecord(24, 13) + indexRecord(-2, 12) + indexRecord(0, 36).left(8);

std::optional<QList<MultiComponent>> readFrom(const QByteArray &index, const QByteArray &data, qint64 number)
{
    QBuffer i, d;
    i.setData(index);
    d.setData(data);
    i.open(QIODevice::ReadOnly);
    d.open(QIODevice::ReadOnly);
    return readMulti(i, d, number);
}

} // namespace

class MultiTest : public QObject
{
    Q_OBJECT
private slots:
    void componentsOfEachNumber_data();
    void componentsOfEachNumber();
    void filesMustBeOpen();
    void mltRecords_data();
    void mltRecords();
};

void MultiTest::componentsOfEachNumber_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QList<int>>("ids");

    QTest::newRow("offset -1") << qint64(0) << false << QList<int>();
    QTest::newRow("three records") << qint64(1) << true << QList<int>{0x0064, 0x8001, 0xFFFF};
    QTest::newRow("length past the file") << qint64(2) << true << QList<int>{0x0200};
    QTest::newRow("offset past the file") << qint64(3) << true << QList<int>();
    QTest::newRow("length 0") << qint64(4) << true << QList<int>();
    QTest::newRow("length 13") << qint64(5) << true << QList<int>{0xFFFF};
    QTest::newRow("offset -2") << qint64(6) << false << QList<int>();
    QTest::newRow("index cut inside the record") << qint64(7) << false << QList<int>();
    QTest::newRow("past the index") << qint64(8) << false << QList<int>();
    QTest::newRow("negative number") << qint64(-1) << false << QList<int>();
    // n * 12 would overflow; the number is compared with the index size first.
    QTest::newRow("huge number") << std::numeric_limits<qint64>::max() / 6 << false << QList<int>();
}

void MultiTest::componentsOfEachNumber()
{
    QFETCH(qint64, number);
    QFETCH(bool, exists);
    QFETCH(QList<int>, ids);
    const std::optional<QList<MultiComponent>> read = readFrom(kIndex, kData, number);
    QCOMPARE(read.has_value(), exists);
    QList<int> got;
    for (const MultiComponent &c : read.value_or(QList<MultiComponent>()))
        got << c.id;
    QCOMPARE(got, ids);
}

void MultiTest::filesMustBeOpen()
{
    TestEnvironment env;
    const QString idx = env.root() + "/multi.idx", mul = env.root() + "/multi.mul";
    QVERIFY(writeFile(idx, kIndex) && writeFile(mul, kData));
    QFile i(idx), d(mul);
    QVERIFY(i.open(QIODevice::ReadOnly));
    // A data file that could not be opened gives no multi, not an empty one.
    QVERIFY(!readMulti(i, d, 1).has_value());
    QVERIFY(d.open(QIODevice::ReadOnly));
    QCOMPARE(readMulti(i, d, 1)->size(), 3);
}

void MultiTest::mltRecords_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");

    const QByteArray shown = QByteArray::fromHex("6400 fbff 0200 0700 0100 2600");
    const QByteArray hidden = QByteArray::fromHex("6400 0000 0000 0000 0000 2600");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("one byte") << QByteArray(1, '\1') << 0;
    QTest::newRow("eleven bytes") << shown.left(11) << 0;
    QTest::newRow("one record") << shown << 1;
    QTest::newRow("two records") << shown + hidden << 2;
    QTest::newRow("two and a cut one") << shown + hidden + shown.left(10) << 2;
}

void MultiTest::mltRecords()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    const QList<MultiComponent> c = readMlt(bytes);
    QCOMPARE(c.size(), count);
    if (count == 0)
        return;
    // 01 00 26 00 in bytes 8-11: visible 1, hue 0x26.
    QCOMPARE(c[0], (MultiComponent{0x64, -5, 2, 7, 0x00260001}));
    QCOMPARE(c[0].visible(), quint16(1));
    QCOMPARE(c[0].hue(), quint16(0x26));
    if (count > 1) {
        // 00 00 26 00: not visible, the hue still read.
        QCOMPARE(c[1].visible(), quint16(0));
        QCOMPARE(c[1].hue(), quint16(0x26));
    }
}

QTEST_GUILESS_MAIN(MultiTest)
#include "multi_test.moc"
