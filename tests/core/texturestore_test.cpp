#include "support/testenv.h"
#include "tiles/colour.h"
#include "tiles/texturestore.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

namespace {
void appendS32(QByteArray &out, qint32 v)
{
    char c[4];
    qToLittleEndian(v, c);
    out.append(c, 4);
}

// side x side colours numbered row by row: the colour of (x, y) is y * side + x.
QByteArray numberedTexture(int side)
{
    QByteArray out(side * side * 2, '\0');
    for (int i = 0; i < side * side; ++i)
        qToLittleEndian(quint16(i), out.data() + 2 * i);
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
} // namespace

class TextureStoreTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_dir;

    // Index records given as (offset, length, extra) triples.
    void writeTextures(const QList<std::array<qint32, 3>> &records, const QByteArray &data)
    {
        QByteArray index;
        for (const auto &r : records)
            for (qint32 v : r)
                appendS32(index, v);
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("texidx.mul")), index));
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("texmaps.mul")), data));
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

    void sideFromExtra_data()
    {
        QTest::addColumn<int>("extra");
        QTest::addColumn<int>("side");
        QTest::newRow("extra 1") << 1 << 128;
        QTest::newRow("extra 0") << 0 << 64;
        QTest::newRow("extra 2") << 2 << 64;
        QTest::newRow("extra -1") << -1 << 64;
    }
    void sideFromExtra()
    {
        QFETCH(int, extra);
        QFETCH(int, side);
        // Record 0 is absent; record 1 starts at byte 6, after some other bytes.
        const QByteArray data = QByteArray(6, 'q') + numberedTexture(side);
        writeTextures({{-1, -1, -1}, {6, side * side * 2, extra}}, data);

        TextureStore store;
        QVERIFY(store.texture(0, Hue(), 255).isNull());
        const QImage image = store.texture(1, Hue(), 255);
        QCOMPARE(image.size(), QSize(side, side));
        QCOMPARE(image.format(), QImage::Format_ARGB32);
        // Row by row: the last pixel of row 0 is colour side - 1, row 1 starts with side.
        const QList<QPoint> probes{{0, 0}, {side - 1, 0}, {0, 1}, {3, 5}, {side - 1, side - 1}};
        for (const QPoint &p : probes)
            QCOMPARE(image.pixel(p), QRgb(colourToArgb(quint16(p.y() * side + p.x()), 255)));
    }

    void absentTextures()
    {
        writeTextures({{0, 8192, 0}, {-1, 8192, 0}, {0, 0, 0}, {9000, 8192, 0}, {-4, 8192, 0}},
                      numberedTexture(64));
        TextureStore store;
        QVERIFY(!store.texture(0, Hue(), 255).isNull());
        for (int id : {-1, 1, 2, 3, 4, 5, 1000})
            QVERIFY2(store.texture(id, Hue(), 255).isNull(), qPrintable(QString::number(id)));
    }

    void hueRecoloursEveryPixel()
    {
        // Grey 0x4210 and pure red 0x7C00: a texture hue ignores "partial" and changes both.
        QByteArray data = numberedTexture(64);
        qToLittleEndian(quint16(0x4210), data.data());
        qToLittleEndian(quint16(0x7C00), data.data() + 2);
        writeTextures({{0, 8192, 0}}, data);
        Hue::Ramp ramp{};
        ramp[16] = 0x001F;
        ramp[31] = 0x03E0;

        TextureStore store;
        const QImage hued = store.texture(0, Hue(12, QStringLiteral("t"), ramp), 200);
        QCOMPARE(hued.pixel(0, 0), QRgb(0xC80000F8));
        QCOMPARE(hued.pixel(1, 0), QRgb(0xC800F800));
        const QImage plain = store.texture(0, Hue(), 255);
        QCOMPARE(plain.pixel(0, 0), QRgb(0xFF808080));
        QCOMPARE(plain.pixel(1, 0), QRgb(0xFFF80000));
    }

    void cutShortKeepsLeadingPixels()
    {
        // The file holds 70 whole colours and one odd byte of a 64 x 64 texture.
        writeTextures({{0, 8192, 0}}, numberedTexture(64).left(141));
        TextureStore store;
        const QImage image = store.texture(0, Hue(), 255);
        QCOMPARE(image.size(), QSize(64, 64));
        QCOMPARE(image.pixel(63, 0), QRgb(colourToArgb(63, 255)));
        QCOMPARE(image.pixel(5, 1), QRgb(colourToArgb(69, 255)));
        QCOMPARE(image.pixel(6, 1), QRgb(0));
        QCOMPARE(image.pixel(63, 63), QRgb(0));
    }

    void randomIndexAndCutsNeverCrash()
    {
        QRandomGenerator random(99);
        const QByteArray data = numberedTexture(128);
        for (int round = 0; round < 40; ++round) {
            QList<std::array<qint32, 3>> records;
            for (int i = 0; i < 6; ++i)
                records.append({qint32(random.bounded(-100, 40000)), qint32(random.bounded(-100, 40000)),
                                qint32(random.bounded(-1, 3))});
            writeTextures(records, data.left(random.bounded(int(data.size()))));
            TextureStore store;
            for (int id = 0; id < 6; ++id) {
                const QImage image = store.texture(id, Hue(), 255);
                QVERIFY(image.isNull() || image.width() == TextureStore::sideForExtra(records[id][2]));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TextureStoreTest)
#include "texturestore_test.moc"
