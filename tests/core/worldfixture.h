#pragma once
// Hand-built client files for the world-data tests. Every byte is computed here from the
// record layouts, independently of the program's encoders.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QtEndian>

namespace fixture {

inline void put32(QByteArray &b, qint64 at, qint32 v) { qToLittleEndian<qint32>(v, b.data() + at); }
inline void put16(QByteArray &b, qint64 at, quint16 v) { qToLittleEndian<quint16>(v, b.data() + at); }

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A 196-byte land record: header, then cell (cx, cy) at 4 + 3 * (8 * cy + cx) with the
// id base + cell index and z cell index - 32.
inline QByteArray landRecord(qint32 header, int base)
{
    QByteArray b(196, '\0');
    put32(b, 0, header);
    for (int i = 0; i < 64; ++i) {
        put16(b, 4 + 3 * i, quint16(base + i));
        b[4 + 3 * i + 2] = char(qint8(i - 32));
    }
    return b;
}

struct StaticRecord {
    quint16 id;
    qint8 x, y, z;
    quint16 hue;
};

inline QByteArray staticRecords(const QList<StaticRecord> &records)
{
    QByteArray b;
    for (const StaticRecord &r : records) {
        QByteArray rec(7, '\0');
        put16(rec, 0, r.id);
        rec[2] = char(r.x);
        rec[3] = char(r.y);
        rec[4] = char(r.z);
        put16(rec, 5, r.hue);
        b += rec;
    }
    return b;
}

inline QByteArray indexRecord(qint32 offset, qint32 length, qint32 extra = 0)
{
    QByteArray b(12, '\0');
    put32(b, 0, offset);
    put32(b, 4, length);
    put32(b, 8, extra);
    return b;
}

inline QByteArray list(const QList<qint32> &blocks)
{
    QByteArray b(blocks.size() * 4, '\0');
    for (int i = 0; i < blocks.size(); ++i)
        put32(b, 4 * i, blocks[i]);
    return b;
}

// The statics every main block b < mainBlocks holds: none when b is a multiple of 3,
// otherwise two at cell (b % 8, 0) and one at (0, b % 8).
inline QList<StaticRecord> mainStatics(int b)
{
    if (b % 3 == 0)
        return {};
    return {{quint16(1000 + b), qint8(b % 8), 0, 10, quint16(b)},
            {quint16(2000 + b), qint8(b % 8), 0, 10, 0},
            {quint16(3000 + b), 0, qint8(b % 8), -5, 0}};
}

// A data directory for facet 2 (288 x 200 blocks), holding main blocks 0..mainBlocks-1:
//  - land of block b: header 0x10000 + b, ids 64 * (b % 200) + cell.
//  - land difference list 5, 9, 5 with records of base 12000, 12100, 12200.
//  - statics difference list 4, 7: block 4 gets one static (id 0x9000 at 1,1), block 7
//    none (index offset -1).
constexpr int mainBlocks = 40;

inline bool writeFacet2(const QString &dir)
{
    QDir().mkpath(dir);
    QByteArray map, idx, data;
    for (int b = 0; b < mainBlocks; ++b) {
        map += landRecord(0x10000 + b, 64 * (b % 200));
        const QByteArray s = staticRecords(mainStatics(b));
        idx += s.isEmpty() ? indexRecord(-1, -1) : indexRecord(qint32(data.size()), qint32(s.size()));
        data += s;
    }
    QByteArray difRecords = landRecord(5, 12000) + landRecord(9, 12100) + landRecord(5, 12200);
    const QByteArray stadif = staticRecords({{0x9000, 1, 1, 3, 0x4321}});
    return writeFile(dir + "/map2.mul", map) && writeFile(dir + "/staidx2.mul", idx)
        && writeFile(dir + "/statics2.mul", data) && writeFile(dir + "/mapdif2.mul", difRecords)
        && writeFile(dir + "/mapdifl2.mul", list({5, 9, 5}))
        && writeFile(dir + "/stadif2.mul", stadif)
        && writeFile(dir + "/stadifi2.mul", indexRecord(0, 7) + indexRecord(-1, -1))
        && writeFile(dir + "/stadifl2.mul", list({4, 7}));
}

} // namespace fixture
