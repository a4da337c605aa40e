// Art: land diamonds and run-length static images, decoded from memory and through the index
// and data files.
//
// Input: a mode byte, a hue byte (bit 0: hued, bit 1: only grey colours), an alpha byte and a
// 4-byte length slack, then
//   mode 0: one land entry;
//   mode 1: one static entry, whose index length is its size plus the slack (below 64 KiB) or,
//           with the slack's top bit set, its size minus the slack's low byte;
//   mode 2: three pieces: index records of land tiles, index records of statics (written at
//           the statics' place in the index, 0x4000 records in) and the data file.
#include "fuzz/fuzzsupport.h"
#include "tiles/artstore.h"


namespace {
QString g_dir;

Hue testHue()
{
    Hue::Ramp ramp;
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = quint16(0x8000 | (i << 10) | ((31 - i) << 5) | (i / 2));
    return Hue(7, QStringLiteral("fuzz"), ramp);
}

void checkStatic(const QImage &image, QByteArrayView bytes)
{
    if (image.isNull())
        return;
    // An image comes only from an entry whose header holds its size, within the bounds.
    FUZZ_CHECK(bytes.size() >= 8);
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    FUZZ_CHECK(image.width() == qFromLittleEndian<qint16>(p + 4));
    FUZZ_CHECK(image.height() == qFromLittleEndian<qint16>(p + 6));
    FUZZ_CHECK(image.width() <= ArtStore::kMaxStaticSide && image.height() <= ArtStore::kMaxStaticSide);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::initEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 7)
        return 0;
    const int mode = data[0] % 3;
    const Hue hue = (data[1] & 1) ? testHue() : Hue();
    const bool partial = data[1] & 2;
    const int alpha = data[2];
    const quint32 slack = qFromLittleEndian<quint32>(data + 3);
    const QByteArrayView rest(reinterpret_cast<const char *>(data + 7), qsizetype(size - 7));

    if (mode == 0) {
        const QImage image = ArtStore::decodeLand(rest, hue, partial, alpha);
        FUZZ_CHECK(image.width() == ArtStore::kLandSide && image.height() == ArtStore::kLandSide);
        return 0;
    }
    if (mode == 1) {
        qint64 length = rest.size();
        if (slack & 0x80000000u)
            length = std::max<qint64>(0, length - qint64(slack & 0xFF));
        else
            length += slack & 0xFFFF;
        checkStatic(ArtStore::decodeStatic(rest, length, hue, partial, alpha), rest);
        return 0;
    }

    const QList<QByteArrayView> pieces = fuzz::splitPieces(data + 7, size - 7, 3);
    {
        QFile index(g_dir + QStringLiteral("/artidx.mul"));
        if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        const qint64 staticsAt = qint64(ArtStore::kStaticRecordBase) * 12;
        const QByteArrayView land = pieces[0].first(std::min<qsizetype>(pieces[0].size(), staticsAt));
        index.write(land.data(), land.size());
        if (!pieces[1].isEmpty()) {
            index.seek(staticsAt);
            index.write(pieces[1].data(), pieces[1].size());
        }
    }
    fuzz::writeFile(g_dir + QStringLiteral("/art.mul"), pieces[2]);

    ArtStore store;
    const int landRecords = std::min<int>(int(pieces[0].size() / 12) + 1, 64);
    for (int id = 0; id < landRecords; ++id) {
        const QImage image = store.landArt(id, hue, partial, alpha);
        FUZZ_CHECK(image.isNull() || image.size() == QSize(ArtStore::kLandSide, ArtStore::kLandSide));
    }
    const int staticRecords = std::min<int>(int(pieces[1].size() / 12) + 1, 64);
    for (int id = 0; id < staticRecords; ++id) {
        const QImage image = store.staticArt(id, hue, partial, alpha);
        FUZZ_CHECK(image.isNull() || (image.width() <= ArtStore::kMaxStaticSide && image.height() <= ArtStore::kMaxStaticSide));
    }
    for (int id : {-1, 0x4000, 0x10000})
        FUZZ_CHECK(store.landArt(id, 255).isNull());
    FUZZ_CHECK(store.staticArt(-1, 255).isNull() && store.staticArt(0x10000, 255).isNull());
    return 0;
}
