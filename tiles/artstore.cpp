#include "tiles/artstore.h"
#include "tiles/colour.h"
#include "world/datadirectory.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace {
qint16 readS16(const uchar *p) { return qFromLittleEndian<qint16>(p); }
quint16 readU16(const uchar *p) { return qFromLittleEndian<quint16>(p); }
} // namespace

ArtStore::ArtStore()
{
    const QString container = dataDirectory() + QStringLiteral("/artLegacyMUL.uop");
    // What a current client reads; an art.mul beside it would be an old copy. A container that
    // cannot be read exactly gives no art at all rather than art from elsewhere.
    if (QFile::exists(container)) {
        m_uop.open(container);
        return;
    }
    m_index.open(QStringLiteral("artidx.mul"));
    m_data.setFileName(dataDirectory() + QLatin1String("/art.mul"));
    if (m_data.open(QIODevice::ReadOnly))
        m_dataSize = m_data.size();
}

QByteArray ArtStore::containerEntryName(int i)
{
    return QStringLiteral("build/artlegacymul/%1.tga").arg(i, 8, 10, QLatin1Char('0')).toLatin1();
}

bool ArtStore::readEntry(int i, qint64 cap, QByteArrayView *bytes, qint64 *length)
{
    if (m_uop.isOpen()) {
        const UopEntry *e = m_uop.find(containerEntryName(i));
        if (!e || e->decompressedSize == 0)
            return false;
        if (e->compression == 0) {
            const qint64 wanted = std::min<qint64>(e->decompressedSize, cap);
            m_buffer.resize(wanted);
            if (!m_uop.readPart(*e, 0, wanted, m_buffer.data()))
                return false;
        } else if (!m_uop.read(*e, m_buffer)) {
            return false;
        } else if (m_buffer.size() > cap) {
            m_buffer.truncate(cap);
        }
        *bytes = QByteArrayView(m_buffer.constData(), m_buffer.size());
        *length = e->decompressedSize;
        return true;
    }
    const IndexRecord rec = m_index.record(i);
    if (rec.offset < 0 || rec.length <= 0 || rec.offset >= m_dataSize)
        return false;
    const qint64 wanted = std::min({qint64(rec.length), cap, m_dataSize - rec.offset});
    m_buffer.resize(wanted);
    if (!m_data.seek(rec.offset))
        return false;
    const qint64 got = m_data.read(m_buffer.data(), wanted);
    if (got <= 0)
        return false;
    *bytes = QByteArrayView(m_buffer.constData(), got);
    *length = rec.length;
    return true;
}

QImage ArtStore::landArt(int id, const Hue &hue, bool partial, int alpha)
{
    if (id < 0 || id >= kStaticRecordBase)
        return QImage();
    QByteArrayView bytes;
    qint64 length = 0;
    if (!readEntry(id, kLandBytes, &bytes, &length))
        return QImage();
    return decodeLand(bytes, hue, partial, alpha);
}

QImage ArtStore::staticArt(int id, const Hue &hue, bool partial, int alpha)
{
    // Static ids are unsigned 16-bit values, so records reach up to 0x4000 + 0xFFFF.
    if (id < 0 || id > 0xFFFF)
        return QImage();
    QByteArrayView bytes;
    qint64 length = 0;
    if (!readEntry(id + kStaticRecordBase, std::numeric_limits<qint64>::max(), &bytes, &length))
        return QImage();
    return decodeStatic(bytes, length, hue, partial, alpha);
}

QImage ArtStore::landArt(int id, int alpha)
{
    return landArt(id, Hue(), false, alpha);
}

QImage ArtStore::staticArt(int id, int alpha)
{
    return staticArt(id, Hue(), false, alpha);
}

QImage ArtStore::decodeLand(QByteArrayView bytes, const Hue &hue, bool partial, int alpha)
{
    QImage image(kLandSide, kLandSide, QImage::Format_ARGB32);
    image.fill(0);
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *const end = p + bytes.size();

    // The diamond's rows grow by two pixels down to the widest rows 21 and 22, then shrink.
    for (int y = 0; y < kLandSide; ++y) {
        const int half = y < kLandSide / 2 ? y : kLandSide - 1 - y;
        const int first = kLandSide / 2 - 1 - half;
        const int count = 2 + 2 * half;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y)) + first;
        for (int i = 0; i < count; ++i, p += 2) {
            if (end - p < 2)
                return image;
            line[i] = colourToArgb(hue.apply(readU16(p), partial), alpha);
        }
    }
    return image;
}

QImage ArtStore::decodeStatic(QByteArrayView bytes, qint64 length, const Hue &hue, bool partial,
                              int alpha)
{
    const auto *base = reinterpret_cast<const uchar *>(bytes.data());
    const qint64 available = std::min(qint64(bytes.size()), length);
    if (available < 8)
        return QImage();
    const int width = readS16(base + 4);
    const int height = readS16(base + 6);
    if (width <= 0 || height <= 0 || width > kMaxStaticSide || height > kMaxStaticSide)
        return QImage();

    // Line table entries count 2-byte units from the end of the table. They are read
    // unsigned so that large images can address more than 64 KiB of runs; every row must
    // begin inside the entry with room for at least its end pair.
    const qint64 table = 8;
    const qint64 data = table + 2 * qint64(height);
    if (data > available)
        return QImage();
    for (int y = 0; y < height; ++y) {
        if (data + 2 * qint64(readU16(base + table + 2 * y)) + 4 > length)
            return QImage();
    }

    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        return QImage();
    image.fill(0);

    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        qint64 pos = data + 2 * qint64(readU16(base + table + 2 * y));
        qint64 x = 0;
        for (;;) {
            if (pos + 4 > available)
                return image; // the file ended inside this row
            const int offset = readS16(base + pos);
            const int run = readS16(base + pos + 2);
            pos += 4;
            if (offset + run == 0)
                break;
            x += offset;
            if (run <= 0)
                continue;
            const qint64 present = std::min<qint64>(run, (available - pos) / 2);
            if (x >= 0 && x + run <= width) {
                for (qint64 i = 0; i < present; ++i)
                    line[x + i] = colourToArgb(hue.apply(readU16(base + pos + 2 * i), partial), alpha);
            }
            if (present < run)
                return image;
            pos += 2 * qint64(run);
            x += run;
        }
    }
    return image;
}
