#include "world/multi.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr qint64 kIndexRecord = 12;

// A record of multi.idx; the third field is not used.
struct IndexRecord {
    qint32 offset;
    qint32 length;
};

// Every whole record of bytes.
QList<MultiComponent> decodeRecords(const QByteArray &bytes, int recordSize)
{
    QList<MultiComponent> out;
    const qsizetype count = bytes.size() / recordSize;
    out.reserve(count);
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype i = 0; i < count; ++i, p += recordSize) {
        MultiComponent c;
        c.id = qFromLittleEndian<quint16>(p);
        c.dx = qFromLittleEndian<qint16>(p + 2);
        c.dy = qFromLittleEndian<qint16>(p + 4);
        c.dz = qFromLittleEndian<qint16>(p + 6);
        c.flags = qFromLittleEndian<quint32>(p + 8);
        out.append(c);
    }
    return out;
}

std::optional<IndexRecord> indexRecord(QIODevice &index, qint64 number)
{
    // Compared before multiplying: a huge number must not overflow into a valid position.
    if (number < 0 || number >= index.size() / kIndexRecord)
        return std::nullopt;
    uchar rec[8];
    if (!index.seek(number * kIndexRecord) || index.read(reinterpret_cast<char *>(rec), 8) != 8)
        return std::nullopt;
    return IndexRecord{qFromLittleEndian<qint32>(rec), qFromLittleEndian<qint32>(rec + 4)};
}

} // namespace

std::optional<QList<MultiComponent>> readMulti(QIODevice &index, QIODevice &data, qint64 number, int recordSize)
{
    if (recordSize != MultiComponent::RecordSize && recordSize != MultiComponent::LaterRecordSize)
        recordSize = MultiComponent::RecordSize;
    if (!index.isReadable() || !data.isReadable())
        return std::nullopt;
    const std::optional<IndexRecord> rec = indexRecord(index, number);
    if (!rec || rec->offset < 0)
        return std::nullopt;
    QList<MultiComponent> out;
    const qint64 offset = rec->offset;
    if (rec->length <= 0 || offset >= data.size())
        return out;
    const qint64 count = std::min<qint64>(rec->length, data.size() - offset) / recordSize;
    if (count == 0 || !data.seek(offset))
        return out;
    return decodeRecords(data.read(count * recordSize), recordSize);
}

QList<MultiComponent> readMlt(const QByteArray &bytes)
{
    return decodeRecords(bytes, MultiComponent::RecordSize);
}
