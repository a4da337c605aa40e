// The client's multis: every number of a multi.idx read against a multi.mul, in memory.
//
// Input: two pieces (see splitPieces): multi.idx and multi.mul.
#include "fuzz/fuzzsupport.h"
#include "world/multi.h"

#include <QBuffer>

#include <algorithm>
#include <limits>

namespace {

// A component written back as the 12 bytes it was read from.
QByteArray encode(const MultiComponent &c)
{
    QByteArray b(MultiComponent::RecordSize, '\0');
    auto *p = reinterpret_cast<uchar *>(b.data());
    qToLittleEndian<quint16>(c.id, p);
    qToLittleEndian<qint16>(c.dx, p + 2);
    qToLittleEndian<qint16>(c.dy, p + 4);
    qToLittleEndian<qint16>(c.dz, p + 6);
    qToLittleEndian<quint32>(c.flags, p + 8);
    return b;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::initEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArrayView> pieces = fuzz::splitPieces(data, size, 2);
    const QByteArray index = pieces[0].toByteArray();
    const QByteArray mul = pieces[1].toByteArray();
    QBuffer indexDevice, dataDevice;
    indexDevice.setData(index);
    dataDevice.setData(mul);
    FUZZ_CHECK(indexDevice.open(QIODevice::ReadOnly) && dataDevice.open(QIODevice::ReadOnly));

    const qint64 count = index.size() / 12;
    // Numbers that name no record, including one whose position would overflow.
    for (qint64 n : {qint64(-1), count, std::numeric_limits<qint64>::max() / 12 + 1})
        FUZZ_CHECK(!readMulti(indexDevice, dataDevice, n).has_value());

    // Backwards, so every read seeks away from where the last one stopped.
    for (qint64 n = count - 1; n >= 0; --n) {
        const auto *rec = reinterpret_cast<const uchar *>(index.constData()) + n * 12;
        const qint64 offset = qFromLittleEndian<qint32>(rec);
        const qint64 length = qFromLittleEndian<qint32>(rec + 4);
        const std::optional<QList<MultiComponent>> multi = readMulti(indexDevice, dataDevice, n);
        FUZZ_CHECK(multi.has_value() == (offset >= 0));
        if (!multi)
            continue;
        // Whole records inside both the length and the file, each exactly its bytes.
        const qint64 room = std::max<qint64>(0, std::min<qint64>(length, mul.size() - offset));
        FUZZ_CHECK(multi->size() == room / MultiComponent::RecordSize);
        for (qsizetype i = 0; i < multi->size(); ++i)
            FUZZ_CHECK(encode(multi->at(i)) == mul.mid(offset + i * MultiComponent::RecordSize, MultiComponent::RecordSize));
    }
    return 0;
}
