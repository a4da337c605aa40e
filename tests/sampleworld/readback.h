#pragma once
// Little-endian reads of generated files for the sample-world tests. Deliberately
// independent of the generator's own writer.
#include <QByteArray>
#include <QDir>
#include <QFile>
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

struct Rgb {
    int r, g, b;
};
inline Rgb rgb(quint16 c) { return {((c >> 10) & 31) * 8, ((c >> 5) & 31) * 8, (c & 31) * 8}; }

} // namespace readback
