#pragma once
// Hand-made client worlds for the map view tests, written byte by byte: land blocks cell by
// cell, static records, solid static images; and the window geometry of the view, computed
// the way the view computes it, so tests point at cells without hard-coded pixels.
//
// Colour values are the client's 5-5-5 format.
#include "view/glmapwidget.h"
#include "world/datadirectory.h"

#include <QFile>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPoint>
#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <unistd.h>

namespace viewfixture {

constexpr quint16 kRed = 0x7C00, kGreen = 0x03E0, kBlue = 0x001F;

struct Static {
    int id, x, y, z;
    int hue = 0;
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
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
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

// One facet's map, statics and the art of some statics. Every block that holds a cell of
// land or a static is written, its other cells as fillId at z 0; blocks not written read
// as land id 0 at z 0 and no statics.
struct World {
    int facet = 2;
    QMap<QPair<int, int>, QPair<int, int>> land; // cell -> (id, z)
    QList<int> landBlocks;                        // written even when land names none of their cells
    int fillId = 3;
    QList<Static> statics; // in file order
    QMap<int, QByteArray> art; // static id -> image record
};

inline bool writeWorld(const QString &dir, const World &w)
{
    const int blocksY = facetBlocksY(w.facet);
    std::set<int> blocks(w.landBlocks.begin(), w.landBlocks.end());
    for (auto it = w.land.cbegin(); it != w.land.cend(); ++it)
        blocks.insert(blockNumber(it.key().first, it.key().second, blocksY));
    QMap<int, QByteArray> records;
    for (const Static &s : w.statics) {
        const int block = blockNumber(s.x, s.y, blocksY);
        blocks.insert(block);
        QByteArray &r = records[block];
        put16(r, s.id);
        r.append(char(s.x % 8));
        r.append(char(s.y % 8));
        r.append(char(qint8(s.z)));
        put16(r, s.hue);
    }
    const int last = blocks.empty() ? -1 : *blocks.rbegin();
    QByteArray map(qsizetype(last + 1) * 196, '\0');
    for (const int block : blocks) {
        QByteArray record;
        put32(record, 0);
        const int x0 = block / blocksY * 8, y0 = block % blocksY * 8;
        for (int cy = 0; cy < 8; ++cy) {
            for (int cx = 0; cx < 8; ++cx) {
                const auto v = w.land.value(qMakePair(x0 + cx, y0 + cy), qMakePair(w.fillId, 0));
                put16(record, v.first);
                record.append(char(qint8(v.second)));
            }
        }
        map.replace(qsizetype(block) * 196, 196, record);
    }
    QByteArray data, index;
    for (int b = 0; b <= last; ++b) {
        const bool has = records.contains(b);
        put32(index, has ? int(data.size()) : -1);
        put32(index, has ? int(records[b].size()) : -1);
        put32(index, 0);
        data += records.value(b);
    }
    // Art: statics are records 0x4000 + id; ids without an image get an empty entry.
    int lastId = 0;
    for (const Static &s : w.statics)
        lastId = std::max(lastId, s.id);
    for (auto it = w.art.cbegin(); it != w.art.cend(); ++it)
        lastId = std::max(lastId, it.key());
    QByteArray art, artIndex;
    for (int i = 0; i <= 0x4000 + lastId; ++i) {
        const int id = i - 0x4000;
        if (w.art.contains(id)) {
            put32(artIndex, int(art.size()));
            put32(artIndex, int(w.art[id].size()));
            art += w.art[id];
        } else {
            put32(artIndex, -1);
            put32(artIndex, -1);
        }
        put32(artIndex, 0);
    }
    const QString n = QString::number(w.facet);
    return writeFile(dir + "/map" + n + ".mul", map) && writeFile(dir + "/staidx" + n + ".mul", index)
        && writeFile(dir + "/statics" + n + ".mul", data) && writeFile(dir + "/artidx.mul", artIndex)
        && writeFile(dir + "/art.mul", art);
}

// ---- window geometry ----------------------------------------------------------------------

// Window point of a scene point (before the view transform) in the flat or isometric
// view: turned by `degree` about the centre, one scene unit is `scale` pixels, the box is
// centred on the widget, and window y grows downwards.
inline QPoint windowPoint(const GLMapWidget &v, double sx, double sy)
{
    const double a = v.degree() * M_PI / 180.0;
    const double x = (sx * std::cos(a) - sy * std::sin(a)) * v.scale();
    const double y = (sx * std::sin(a) + sy * std::cos(a)) * v.scale();
    return QPoint(v.width() / 2 + int(std::lround(x)), v.height() / 2 - int(std::lround(y)));
}

// Scene offset of a cell's top corner from the view's centre cell.
inline QPoint cellTop(const GLMapWidget &v, int x, int y)
{
    int sx = 0, sy = 0;
    GLMapWidget::cellOffset(x, y, v.currentX(), v.currentY(), sx, sy);
    return QPoint(sx, sy);
}

// Window point inside the flat land diamond of (x, y), offset (dx, dy) scene units from its
// middle.
inline QPoint landPoint(const GLMapWidget &v, int x, int y, int dx = 0, int dy = 0)
{
    const QPoint top = cellTop(v, x, y);
    return windowPoint(v, top.x() + dx, top.y() - 22 + dy);
}

// Window point in the middle of a w x h static image standing on cell (x, y) in flat mode.
inline QPoint staticPoint(const GLMapWidget &v, int x, int y, int w, int h)
{
    TileQuad q;
    mapgeometry::staticCorners(mapgeometry::Flat, w, h, 0, 0, q);
    const QPoint top = cellTop(v, x, y);
    return windowPoint(v, top.x() + (q.c[0].x + q.c[2].x) / 2.0, top.y() + (q.c[0].y + q.c[2].y) / 2.0);
}

// ---- standard output ----------------------------------------------------------------------

// Catches what the program writes to standard output while it lives.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = dup(1);
        dup2(m_file.handle(), 1);
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Ends the capture (once) and gives what was written.
    QString text()
    {
        restore();
        m_file.seek(0);
        return QString::fromLatin1(m_file.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace viewfixture
