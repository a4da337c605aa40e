#include "tiles/texturestore.h"
#include "tiles/colour.h"
#include "world/datadirectory.h"

#include <QtEndian>

#include <algorithm>

TextureStore::TextureStore()
{
    m_index.open(QStringLiteral("texidx.mul"));
    m_data.setFileName(dataDirectory() + QLatin1String("/texmaps.mul"));
    if (m_data.open(QIODevice::ReadOnly))
        m_dataSize = m_data.size();
}

QImage TextureStore::texture(int textureId, const Hue &hue, int alpha)
{
    const IndexRecord rec = m_index.record(textureId);
    if (rec.offset < 0 || rec.length <= 0 || rec.offset >= m_dataSize)
        return QImage();
    const int side = sideForExtra(rec.extra);
    const qint64 wanted =
        std::min({qint64(rec.length), qint64(side) * side * 2, m_dataSize - rec.offset});
    m_buffer.resize(wanted);
    if (!m_data.seek(rec.offset))
        return QImage();
    const qint64 got = m_data.read(m_buffer.data(), wanted);
    if (got <= 0)
        return QImage();
    return decode(QByteArrayView(m_buffer.constData(), got), side, hue, alpha);
}

QImage TextureStore::decode(QByteArrayView bytes, int side, const Hue &hue, int alpha)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(0);
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    qint64 pixels = std::min(qint64(side) * side, qint64(bytes.size()) / 2);
    // Textures are tinted whole: a hue here recolours every pixel, grey or not.
    for (int y = 0; y < side && pixels > 0; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int count = int(std::min<qint64>(side, pixels));
        for (int x = 0; x < count; ++x, p += 2)
            line[x] = colourToArgb(hue.apply(qFromLittleEndian<quint16>(p), false), alpha);
        pixels -= count;
    }
    return image;
}
