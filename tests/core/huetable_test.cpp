#include "support/testenv.h"
#include "tiles/huetable.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

namespace {
// Hues file layout, spelled out: group g starts at 708 g; its entries follow a 4-byte
// header at 708 g + 4 + 88 e; an entry's name is at +68.
constexpr int kGroup = 708;
constexpr int kEntry = 88;

void putU16(QByteArray &bytes, int at, quint16 v) { qToLittleEndian(v, bytes.data() + at); }

// Ramp of the entry at byte `at`: colour i is marker * 64 + i, so each hue and each ramp
// position is recognisable.
void putEntry(QByteArray &bytes, int at, int marker, const QByteArray &name)
{
    for (int i = 0; i < 32; ++i)
        putU16(bytes, at + 2 * i, quint16(marker * 64 + i));
    bytes.replace(at + 68, name.size(), name);
}

// Two whole groups: hue n carries marker n and the name "hue <n>".
QByteArray twoGroups()
{
    QByteArray bytes(2 * kGroup, '\0');
    bytes.replace(0, 4, "\xAA\xBB\xCC\xDD");   // group headers are noise to the reader
    bytes.replace(708, 4, "\x11\x22\x33\x44");
    for (int g = 0; g < 2; ++g)
        for (int e = 0; e < 8; ++e) {
            const int n = 8 * g + e + 1;
            putEntry(bytes, kGroup * g + 4 + kEntry * e, n, "hue " + QByteArray::number(n));
        }
    return bytes;
}
} // namespace

class HueTableTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_dir;

    void writeHues(const QByteArray &bytes)
    {
        QFile file(m_dir->filePath(QStringLiteral("hues.mul")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
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

    void numbersFollowFileOrder_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("byteOffset");
        QTest::newRow("first entry") << 1 << 4;
        QTest::newRow("last of group 0") << 8 << 4 + 7 * 88;
        QTest::newRow("first of group 1") << 9 << 708 + 4;
        QTest::newRow("last of group 1") << 16 << 708 + 4 + 7 * 88;
    }
    void numbersFollowFileOrder()
    {
        QFETCH(int, number);
        QFETCH(int, byteOffset);
        QByteArray bytes = twoGroups();
        putEntry(bytes, byteOffset, 500, "marked");
        writeHues(bytes);

        const HueTable table;
        QCOMPARE(table.count(), 16);
        const Hue h = table.hue(number);
        QCOMPARE(h.id(), number);
        QCOMPARE(h.name(), QStringLiteral("marked"));
        QCOMPARE(h.colour(0), quint16(500 * 64));
        QCOMPARE(h.colour(31), quint16(500 * 64 + 31));
        // Its neighbours keep their own ramps.
        if (number > 1)
            QCOMPARE(table.hue(number - 1).colour(0), quint16((number - 1) * 64));
        if (number < 16)
            QCOMPARE(table.hue(number + 1).colour(0), quint16((number + 1) * 64));
    }

    void emptyHue_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("no hue") << 0;
        QTest::newRow("negative") << -1;
        QTest::newRow("very negative") << -70000;
        QTest::newRow("one past the end") << 17;
        QTest::newRow("far past the end") << 100000;
    }
    void emptyHue()
    {
        QFETCH(int, number);
        writeHues(twoGroups());
        const HueTable table;
        const Hue h = table.hue(number);
        QCOMPARE(h.id(), -1);
        QVERIFY(h.isEmpty());
        QVERIFY(h.name().isEmpty());
        for (quint16 c : {quint16(0x0000), quint16(0x4210), quint16(0x7C00), quint16(0xFFFF)}) {
            QCOMPARE(h.apply(c, false), c);
            QCOMPARE(h.apply(c, true), c);
        }
    }

    void names()
    {
        QByteArray bytes = twoGroups();
        // A name that fills all 20 bytes has no NUL; one with a NUL stops there.
        bytes.replace(4 + 68, 20, "ABCDEFGHIJKLMNOPQRST");
        bytes.replace(4 + 88 + 68, 20, QByteArray("Blue\0junk", 9).leftJustified(20, 'x'));
        writeHues(bytes);
        const HueTable table;
        QCOMPARE(table.hue(1).name(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        QCOMPARE(table.hue(2).name(), QStringLiteral("Blue"));
        // The 20-byte name does not run into the next entry's ramp.
        QCOMPARE(table.hue(2).colour(0), quint16(2 * 64));
    }

    void apply_data()
    {
        QTest::addColumn<quint16>("colour");
        QTest::addColumn<bool>("partial");
        QTest::addColumn<int>("rampIndex"); // -1: returned unchanged
        QTest::newRow("grey, partial") << quint16(0x4210) << true << 16;
        QTest::newRow("red, partial") << quint16(0x7C00) << true << -1;
        QTest::newRow("red, whole") << quint16(0x7C00) << false << 31;
        QTest::newRow("no red, whole") << quint16(0x03FF) << false << 0;
        QTest::newRow("black, partial") << quint16(0x0000) << true << 0;
        QTest::newRow("white with bit 15, partial") << quint16(0xFFFF) << true << 31;
        QTest::newRow("almost grey, partial") << quint16(0x4211) << true << -1;
    }
    void apply()
    {
        QFETCH(quint16, colour);
        QFETCH(bool, partial);
        QFETCH(int, rampIndex);
        Hue::Ramp ramp;
        for (int i = 0; i < 32; ++i)
            ramp[size_t(i)] = quint16(0x1000 + i);
        const Hue h(3, QStringLiteral("ramp"), ramp);
        QCOMPARE(h.apply(colour, partial), rampIndex < 0 ? colour : quint16(0x1000 + rampIndex));
    }

    void colourOutsideRamp()
    {
        Hue::Ramp ramp;
        ramp.fill(0x7FFF);
        const Hue h(1, QString(), ramp);
        QCOMPARE(h.colour(0), quint16(0x7FFF));
        QCOMPARE(h.colour(31), quint16(0x7FFF));
        QCOMPARE(h.colour(-1), quint16(0));
        QCOMPARE(h.colour(32), quint16(0));
    }

    void missingFile()
    {
        const HueTable table;
        QCOMPARE(table.count(), 0);
        QCOMPARE(table.hue(1).id(), -1);
    }

    void fileEndingInsideAGroup_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("hues");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("header only") << 4 << 0;
        QTest::newRow("one byte short of hue 1") << 4 + 87 << 0;
        QTest::newRow("hue 1 whole") << 4 + 88 << 1;
        QTest::newRow("inside hue 5") << 4 + 4 * 88 + 40 << 4;
        QTest::newRow("group 0 whole") << 708 << 8;
        QTest::newRow("inside group 1 header") << 710 << 8;
        QTest::newRow("hue 9 whole") << 708 + 4 + 88 << 9;
        QTest::newRow("one byte short of hue 16") << 2 * 708 - 1 << 15;
    }
    void fileEndingInsideAGroup()
    {
        QFETCH(int, size);
        QFETCH(int, hues);
        writeHues(twoGroups().left(size));
        const HueTable table;
        QCOMPARE(table.count(), hues);
        if (hues > 0) {
            QCOMPARE(table.hue(hues).id(), hues);
            QCOMPARE(table.hue(hues).colour(31), quint16(hues * 64 + 31));
        }
        QCOMPARE(table.hue(hues + 1).id(), -1);
    }

    void corruptFilesNeverCrash()
    {
        auto *random = QRandomGenerator::global();
        const QByteArray whole = twoGroups();
        for (int round = 0; round < 60; ++round) {
            QByteArray bytes = whole.left(int(random->bounded(whole.size() + 1)));
            if (round % 2) {
                for (char &c : bytes)
                    c = char(random->bounded(256));
            }
            writeHues(bytes);
            const HueTable table;
            QVERIFY(table.count() <= bytes.size() / 88);
            for (int n = 0; n <= table.count() + 1; ++n)
                QVERIFY(table.hue(n).name().size() <= 20);
        }
    }
};

QTEST_GUILESS_MAIN(HueTableTest)
#include "huetable_test.moc"
