#include "uop.h"

#include "bytesink.h"
#include "noise.h"
#include "output.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace sampleworld {

namespace {

quint32 rot(quint32 x, int k) { return (x << k) | (x >> (32 - k)); }

void mix(quint32 &a, quint32 &b, quint32 &c)
{
    a -= c; a ^= rot(c, 4);  c += b;
    b -= a; b ^= rot(a, 6);  a += c;
    c -= b; c ^= rot(b, 8);  b += a;
    a -= c; a ^= rot(c, 16); c += b;
    b -= a; b ^= rot(a, 19); a += c;
    c -= b; c ^= rot(b, 4);  b += a;
}

void finalMix(quint32 &a, quint32 &b, quint32 &c)
{
    c ^= b; c -= rot(b, 14);
    a ^= c; a -= rot(c, 11);
    b ^= a; b -= rot(a, 25);
    c ^= b; c -= rot(b, 16);
    a ^= c; a -= rot(c, 4);
    b ^= a; b -= rot(a, 14);
    c ^= b; c -= rot(b, 24);
}

// Little-endian word of up to four bytes at k.
quint32 word(const quint8 *k, qsizetype n)
{
    quint32 w = 0;
    for (qsizetype i = 0; i < n && i < 4; ++i)
        w |= quint32(k[i]) << (8 * i);
    return w;
}

constexpr quint32 Magic = 0x0050594D;
constexpr quint32 Version = 5;
constexpr quint32 Signature = 0xFD23EC43;
constexpr qint64 FirstTableAlign = 0x200;
constexpr int EntryBytes = 34;

} // namespace

void hashLittle2(const char *key, qsizetype length, quint32 *primary, quint32 *secondary)
{
    quint32 a, b, c;
    a = b = c = 0xdeadbeefU + quint32(length) + *primary;
    c += *secondary;
    const quint8 *k = reinterpret_cast<const quint8 *>(key);
    while (length > 12) {
        a += word(k, 4);
        b += word(k + 4, 4);
        c += word(k + 8, 4);
        mix(a, b, c);
        length -= 12;
        k += 12;
    }
    if (length == 0) {
        *primary = c;
        *secondary = b;
        return;
    }
    // The last 1-12 bytes, zero-padded: what the byte-wise tail of the algorithm adds.
    a += word(k, length);
    if (length > 4)
        b += word(k + 4, length - 4);
    if (length > 8)
        c += word(k + 8, length - 8);
    finalMix(a, b, c);
    *primary = c;
    *secondary = b;
}

quint64 uopNameHash(const QByteArray &name)
{
    quint32 primary = 0, secondary = 0;
    hashLittle2(name.constData(), name.size(), &primary, &secondary);
    return (quint64(secondary) << 32) | primary;
}

quint32 adler32(const char *data, qsizetype length)
{
    quint32 a = 1, b = 0;
    for (qsizetype i = 0; i < length; ++i) {
        a = (a + quint8(data[i])) % 65521U;
        b = (b + a) % 65521U;
    }
    return (b << 16) | a;
}

bool writeUop(const QString &dir, const QString &name, const QList<UopEntry> &entries, const UopShape &shape,
              QList<WrittenFile> *written, QString *error)
{
    const qsizetype count = entries.size();
    const qsizetype capacity = std::max<qsizetype>(1, shape.capacity);
    const qsizetype tables = std::max<qsizetype>(1, (count + capacity - 1) / capacity);
    const qint64 tableBytes = 12 + capacity * EntryBytes;

    // Deterministic shuffles: which entry sits in which table slot, and the order of the
    // entries' data in the file.
    const auto shuffled = [&](quint32 salt) {
        std::vector<qsizetype> order(static_cast<size_t>(count));
        std::iota(order.begin(), order.end(), 0);
        for (qsizetype i = count - 1; i > 0; --i)
            std::swap(order[size_t(i)], order[size_t(hash2(shape.seed ^ salt, int(i), 0) % quint32(i + 1))]);
        return order;
    };
    const std::vector<qsizetype> slotOf = shuffled(0x51a7u);   // slot -> entry
    const std::vector<qsizetype> dataOrder = shuffled(0xda7au);  // place -> entry

    // File: header, tables 2..n in reverse chain order, the data, table 1 at the end.
    std::vector<qint64> tableAt(static_cast<size_t>(tables));
    qint64 at = FirstTableAlign;
    for (qsizetype t = tables - 1; t >= 1; --t) {
        tableAt[size_t(t)] = at;
        at += tableBytes;
    }
    std::vector<qint64> dataAt(static_cast<size_t>(count));
    for (qsizetype place = 0; place < count; ++place) {
        const qsizetype e = dataOrder[size_t(place)];
        dataAt[size_t(e)] = at;
        at += shape.metadataLength + entries[e].size;
    }
    tableAt[0] = at;

    // Metadata is filler the reader skips through the header length: make it something
    // other than zeros so that a reader who forgets the skip sees the wrong bytes.
    const auto metadata = [&](qsizetype e) {
        QByteArray m(qsizetype(shape.metadataLength), '\0');
        for (qsizetype i = 0; i < m.size(); ++i)
            m[i] = char(0xA0 + (e + i) % 32);
        return m;
    };
    const auto table = [&](qsizetype t) {
        ByteSink out;
        const qsizetype first = t * capacity, end = std::min(count, first + capacity);
        out.u32(quint32(end - first));
        const qint64 next = t + 1 < tables ? tableAt[size_t(t + 1)] : 0;
        out.u32(quint32(next));
        out.u32(quint32(quint64(next) >> 32));
        for (qsizetype slot = first; slot < first + capacity; ++slot) {
            if (slot >= end) {
                out.zeros(EntryBytes);
                continue;
            }
            const qsizetype e = slotOf[size_t(slot)];
            const UopEntry &entry = entries[e];
            const quint64 hash = uopNameHash(entry.name);
            const QByteArray meta = metadata(e);
            out.u32(quint32(dataAt[size_t(e)]));
            out.u32(quint32(quint64(dataAt[size_t(e)]) >> 32));
            out.u32(shape.metadataLength);
            out.u32(quint32(entry.size));  // compressed size: stored, so the same
            out.u32(quint32(entry.size));
            out.u32(quint32(hash));
            out.u32(quint32(hash >> 32));
            out.u32(adler32(meta.constData(), meta.size()));
            out.u16(0);  // stored
        }
        return out.bytes();
    };

    OutputFile file(dir, name);
    if (!file.open(error))
        return false;
    ByteSink header;
    header.u32(Magic);
    header.u32(Version);
    header.u32(Signature);
    header.u32(quint32(tableAt[0]));
    header.u32(quint32(quint64(tableAt[0]) >> 32));
    header.u32(quint32(capacity));
    header.u32(quint32(count));
    header.zeros(FirstTableAlign - header.size());
    file.append(header.bytes());
    for (qsizetype t = tables - 1; t >= 1; --t)
        file.append(table(t));
    for (qsizetype place = 0; place < count; ++place) {
        const qsizetype e = dataOrder[size_t(place)];
        if (shape.metadataLength)
            file.append(metadata(e));
        file.append(QByteArray::fromRawData(entries[e].data, entries[e].size));
    }
    file.append(table(0));
    return file.finish(written, error);
}

} // namespace sampleworld
