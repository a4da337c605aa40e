#pragma once
// Little-endian reads of generated files for the sample-world tests. Deliberately
// independent of the generator's own writer.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QString>
#include <QtGlobal>

namespace readback {

inline QByteArray load(const QString &dir, const QString &name)
{
    QFile f(QDir(dir).filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline quint8 u8(const QByteArray &b, qsizetype at) { return quint8(b.at(at)); }
inline qint8 i8(const QByteArray &b, qsizetype at) { return qint8(b.at(at)); }
inline quint16 u16(const QByteArray &b, qsizetype at) { return quint16(u8(b, at) | (u8(b, at + 1) << 8)); }
inline qint16 i16(const QByteArray &b, qsizetype at) { return qint16(u16(b, at)); }
inline quint32 u32(const QByteArray &b, qsizetype at) { return quint32(u16(b, at)) | (quint32(u16(b, at + 2)) << 16); }
inline qint32 i32(const QByteArray &b, qsizetype at) { return qint32(u32(b, at)); }

struct Index {
    qint32 offset, length, extra;
};
inline Index index(const QByteArray &b, int record)
{
    return {i32(b, record * 12), i32(b, record * 12 + 4), i32(b, record * 12 + 8)};
}

// Name field of up to 20 bytes, cut at the first NUL.
inline QString name(const QByteArray &b, qsizetype at)
{
    const QByteArray raw = b.mid(at, 20);
    const qsizetype nul = raw.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? raw : raw.left(nul));
}

// Tile data records.
inline qsizetype landRecord(int id) { return qsizetype(id / 32) * 836 + 4 + (id % 32) * 26; }
inline qsizetype staticRecord(int id) { return 428032 + qsizetype(id / 32) * 1188 + 4 + (id % 32) * 37; }

// The tile data layout a file's size gives: 64-bit flags when the size is the land part
// of 493,568 bytes plus whole groups of 1,316 and not the early 428,032 + n x 1,188.
struct TileLayout {
    bool wide = false;
    int flagBytes = 4, landBytes = 26, staticBytes = 37;
    qsizetype landRegion = 428032;
    int staticGroups = 0;  // 0: the size fits neither layout

    static TileLayout of(qsizetype size)
    {
        TileLayout t;
        const bool early = size > 428032 && (size - 428032) % 1188 == 0;
        const bool later = size > 493568 && (size - 493568) % 1316 == 0;
        if (later && !early)
            t = {true, 8, 30, 41, 493568, int((size - 493568) / 1316)};
        else if (early)
            t.staticGroups = int((size - 428032) / 1188);
        return t;
    }
    qsizetype land(int id) const { return qsizetype(id / 32) * (4 + 32 * landBytes) + 4 + (id % 32) * landBytes; }
    qsizetype statics(int id) const
    {
        return landRegion + qsizetype(id / 32) * (4 + 32 * staticBytes) + 4 + (id % 32) * staticBytes;
    }
    // Offsets inside a static record: height and name follow the flags.
    int staticHeight() const { return flagBytes + 12; }
    int staticName() const { return flagBytes + 13; }
    int landName() const { return flagBytes + 2; }
};

// A UOP container's entries by name hash, read by walking its tables.
struct UopEntry {
    quint64 offset;
    quint32 headerLength, compressedSize, decompressedSize;
    quint16 compression;
};
struct UopFile {
    quint32 magic = 0, version = 0, signature = 0, capacity = 0, declared = 0;
    quint64 firstTable = 0;
    QList<quint64> tableOffsets;  // in chain order
    QHash<quint64, UopEntry> entries;
    QString problem;  // empty when the tables were read without fault

    static UopFile read(const QByteArray &b)
    {
        UopFile u;
        if (b.size() < 28) {
            u.problem = QStringLiteral("shorter than a header");
            return u;
        }
        u.magic = u32(b, 0);
        u.version = u32(b, 4);
        u.signature = u32(b, 8);
        u.firstTable = quint64(u32(b, 12)) | (quint64(u32(b, 16)) << 32);
        u.capacity = u32(b, 20);
        u.declared = u32(b, 24);
        for (quint64 at = u.firstTable; at != 0;) {
            if (u.tableOffsets.contains(at) || at + 12 + quint64(u.capacity) * 34 > quint64(b.size())) {
                u.problem = QStringLiteral("table at %1 loops or runs past the end").arg(at);
                return u;
            }
            u.tableOffsets.append(at);
            const quint32 count = u32(b, qsizetype(at));
            if (count > u.capacity) {
                u.problem = QStringLiteral("table at %1 counts %2 entries, more than its %3 slots").arg(at).arg(count).arg(u.capacity);
                return u;
            }
            quint32 used = 0;
            for (quint32 i = 0; i < u.capacity; ++i) {
                const qsizetype e = qsizetype(at + 12 + quint64(i) * 34);
                const quint64 offset = quint64(u32(b, e)) | (quint64(u32(b, e + 4)) << 32);
                const quint64 hash = quint64(u32(b, e + 20)) | (quint64(u32(b, e + 24)) << 32);
                if (offset == 0 && hash == 0)
                    continue;
                ++used;
                if (u.entries.contains(hash))
                    u.problem = QStringLiteral("hash %1 twice").arg(hash, 16, 16, QLatin1Char('0'));
                u.entries.insert(hash, {offset, u32(b, e + 8), u32(b, e + 12), u32(b, e + 16), u16(b, e + 32)});
            }
            if (used != count)
                u.problem = QStringLiteral("table at %1 counts %2 entries but uses %3 slots").arg(at).arg(count).arg(used);
            at = quint64(u32(b, qsizetype(at) + 4)) | (quint64(u32(b, qsizetype(at) + 8)) << 32);
        }
        return u;
    }
};

struct Rgb {
    int r, g, b;
};
inline Rgb rgb(quint16 c) { return {((c >> 10) & 31) * 8, ((c >> 5) & 31) * 8, (c & 31) * 8}; }

} // namespace readback
