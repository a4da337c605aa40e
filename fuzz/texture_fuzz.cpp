// Textures: square colour tables decoded from memory and through the index and data files.
//
// Input: a mode byte and a hue byte (bit 0: hued), then
//   mode 0: one texture of 64x64 colours (even alpha byte) or 128x128 (odd), alpha byte first;
//   mode 1: two pieces, the index file and the data file.
#include "fuzz/fuzzsupport.h"
#include "tiles/texturestore.h"


namespace {
QString g_dir;

Hue testHue()
{
    Hue::Ramp ramp;
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = quint16((31 - i) << 10 | i << 5 | i);
    return Hue(3, QStringLiteral("fuzz"), ramp);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::initEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const Hue hue = (data[1] & 1) ? testHue() : Hue();
    if (data[0] % 2 == 0) {
        const int alpha = data[2];
        const int side = (alpha & 1) ? 128 : 64;
        const QByteArrayView bytes(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));
        const QImage image = TextureStore::decode(bytes, side, hue, alpha);
        FUZZ_CHECK(image.width() == side && image.height() == side);
        // Pixels past what the bytes hold stay clear.
        const qint64 pixels = bytes.size() / 2;
        if (pixels < qint64(side) * side)
            FUZZ_CHECK(image.pixel(int(pixels % side), int(pixels / side)) == 0);
        return 0;
    }

    const QList<QByteArrayView> pieces = fuzz::splitPieces(data + 2, size - 2, 2);
    fuzz::writeFile(g_dir + QStringLiteral("/texidx.mul"), pieces[0]);
    fuzz::writeFile(g_dir + QStringLiteral("/texmaps.mul"), pieces[1]);
    TextureStore store;
    const int records = std::min<int>(int(pieces[0].size() / 12) + 1, 64);
    for (int id = -1; id < records; ++id) {
        const QImage image = store.texture(id, hue, 255);
        FUZZ_CHECK(image.isNull() || (image.width() == image.height() && (image.width() == 64 || image.width() == 128)));
        if (id < 0 || id >= pieces[0].size() / 12)
            FUZZ_CHECK(image.isNull());
    }
    return 0;
}
