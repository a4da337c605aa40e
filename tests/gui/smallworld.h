#pragma once
// A small hand-made Felucca for the map view's editing tests: land in the 3 x 3 blocks of
// cells 0..23, chosen statics there, and solid art for chosen static ids. Every other block
// reads as land id 0 at z 0 without statics. Colours are the client's 5-5-5 format.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QString>
#include <QtEndian>

namespace smallworld {

constexpr int BlocksY = 512;

inline int landId(int x, int y) { return 3 + (x + 2 * y) % 5; }
inline int landZ(int x, int y) { return (x * 3 + y) % 20 - 5; }

struct Static {
    int id, x, y, z;
};

inline void put16(QByteArray &b, int v)
{
    const quint16 le = qToLittleEndian(quint16(v));
    b.append(reinterpret_cast<const char *>(&le), 2);
}
inline void put32(QByteArray &b, qint32 v)
{
    const qint32 le = qToLittleEndian(v);
    b.append(reinterpret_cast<const char *>(&le), 4);
}
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A solid w x h static image in run-length rows: per row one run and the end pair.
inline QByteArray solidStatic(int w, int h, quint16 colour)
{
    QByteArray b;
    put32(b, 0);
    put16(b, w);
    put16(b, h);
    for (int y = 0; y < h; ++y)
        put16(b, y * (w + 4));
    for (int y = 0; y < h; ++y) {
        put16(b, 0);
        put16(b, w);
        for (int x = 0; x < w; ++x)
            put16(b, colour);
        put16(b, 0);
        put16(b, 0);
    }
    return b;
}

inline bool write(const QString &dir, const QList<Static> &statics, const QMap<int, quint16> &art)
{
    const int lastBlock = 2 * BlocksY + 2;
    QByteArray map(qsizetype(lastBlock + 1) * 196, '\0');
    for (int x = 0; x < 24; ++x)
        for (int y = 0; y < 24; ++y) {
            const qsizetype at = qsizetype((x / 8) * BlocksY + y / 8) * 196 + 4 + 3 * ((y % 8) * 8 + x % 8);
            qToLittleEndian<quint16>(quint16(landId(x, y)), map.data() + at);
            map[at + 2] = char(qint8(landZ(x, y)));
        }
    QMap<int, QByteArray> records;
    for (const Static &s : statics) {
        QByteArray &r = records[(s.x / 8) * BlocksY + s.y / 8];
        put16(r, s.id);
        r.append(char(s.x % 8));
        r.append(char(s.y % 8));
        r.append(char(qint8(s.z)));
        put16(r, 0);
    }
    QByteArray index, data;
    for (int b = 0; b <= lastBlock; ++b) {
        put32(index, records.contains(b) ? qint32(data.size()) : -1);
        put32(index, records.contains(b) ? qint32(records[b].size()) : -1);
        put32(index, 0);
        data += records.value(b);
    }
    QByteArray artData, artIndex;
    const int last = art.isEmpty() ? 0 : art.lastKey();
    for (int i = 0; i <= 0x4000 + last; ++i) {
        const int id = i - 0x4000;
        if (id >= 0 && art.contains(id)) {
            const QByteArray image = solidStatic(20, 30, art[id]);
            put32(artIndex, qint32(artData.size()));
            put32(artIndex, qint32(image.size()));
            artData += image;
        } else {
            put32(artIndex, -1);
            put32(artIndex, -1);
        }
        put32(artIndex, 0);
    }
    return writeFile(dir + "/map0.mul", map) && writeFile(dir + "/staidx0.mul", index)
        && writeFile(dir + "/statics0.mul", data) && writeFile(dir + "/artidx.mul", artIndex)
        && writeFile(dir + "/art.mul", artData);
}

} // namespace smallworld
