#include "view/overviewlayer.h"
#include "world/facet.h"
#include "world/mapdocument.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#ifndef GL_UNSIGNED_SHORT_1_5_5_5_REV
#define GL_UNSIGNED_SHORT_1_5_5_5_REV 0x8366
#endif
#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

OverviewLayer::OverviewLayer(MapDocument &doc, QObject *parent) : QObject(parent), m_doc(doc)
{
    connect(&m_doc, &MapDocument::blocksChanged, this, &OverviewLayer::blocksChanged);
}

OverviewLayer::~OverviewLayer() = default;

OverviewColours &OverviewLayer::colours()
{
    if (!m_colours)
        m_colours = std::make_unique<OverviewColours>();
    return *m_colours;
}

bool OverviewLayer::isBuilt(int facet) const
{
    return facet >= 0 && facet < int(m_images.size()) && m_images[size_t(facet)];
}

const OverviewImage &OverviewLayer::image()
{
    return image(m_doc.currentFacet());
}

const OverviewImage &OverviewLayer::image(int facet)
{
    if (facet < 0 || facet >= int(m_images.size()))
        return m_empty;
    std::unique_ptr<OverviewImage> &slot = m_images[size_t(facet)];
    if (!slot) {
        slot = std::make_unique<OverviewImage>();
        BlockCache *cache = facet == m_doc.currentFacet() ? &m_doc.cache() : nullptr;
        slot->build(m_doc.facet(facet), m_doc.tileData(), colours(), cache);
        emit imageChanged(facet, QRect(0, 0, slot->width(), slot->height()));
    }
    return *slot;
}

void OverviewLayer::blocksChanged(int facet, const QList<int> &blocks)
{
    if (!isBuilt(facet))
        return;
    if (facet != m_doc.currentFacet()) {
        // Only the current facet's blocks can be read back from the cache: another facet's
        // image is built anew when it is next asked for.
        m_images[size_t(facet)].reset();
        if (facet == m_textureFacet)
            for (Texture &t : m_textures)
                t.stale = true;
        return;
    }
    const QRect cells = m_images[size_t(facet)]->update(m_doc.cache(), blocks, colours());
    if (cells.isEmpty())
        return;
    if (facet == m_textureFacet) {
        for (int ty = cells.top() / TileCells; ty <= cells.bottom() / TileCells && ty < m_tilesY; ++ty)
            for (int tx = cells.left() / TileCells; tx <= cells.right() / TileCells && tx < m_tilesX; ++tx)
                m_textures[size_t(ty * m_tilesX + tx)].stale = true;
    }
    emit imageChanged(facet, cells);
}

std::array<QPointF, 4> OverviewLayer::footprint(const mapgeometry::ViewSpec &view, int cx, int cy)
{
    std::array<QPointF, 4> out;
    const double s = view.scale > 0 ? view.scale : 1.0;
    const double hw = view.width / 2.0, hh = view.height / 2.0;
    const double theta = -view.degree * M_PI / 180.0;
    const double c = std::cos(theta), sn = std::sin(theta);
    // Window corners, y upwards as the scene has it.
    const QPointF corners[4] = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
    for (int i = 0; i < 4; ++i) {
        const double wx = corners[i].x() / s, wy = corners[i].y() / s;
        const double X = wx * c - wy * sn, Y = wx * sn + wy * c;
        // The inverse of cellOffset: X = 22 (dx - dy), Y = -22 (dx + dy).
        out[size_t(i)] = QPointF(cx + (X - Y) / 44.0, cy + (-X - Y) / 44.0);
    }
    return out;
}

int OverviewLayer::textureCount() const
{
    return int(std::count_if(m_textures.begin(), m_textures.end(), [](const Texture &t) { return t.name != 0; }));
}

void OverviewLayer::clearTextures(QOpenGLFunctions_1_1 *gl)
{
    for (Texture &t : m_textures) {
        if (t.name && gl)
            gl->glDeleteTextures(1, &t.name);
    }
    m_textures.clear();
    m_textureFacet = -1;
    m_tilesX = m_tilesY = 0;
}

int OverviewLayer::draw(QOpenGLFunctions_1_1 *gl, const mapgeometry::ViewSpec &view, int cx, int cy)
{
    const int facet = m_doc.currentFacet();
    const OverviewImage &img = image(facet);
    m_lastDrawn = 0;
    if (img.isNull())
        return 0;
    if (facet != m_textureFacet || m_tilesX != (img.width() + TileCells - 1) / TileCells
        || m_tilesY != (img.height() + TileCells - 1) / TileCells) {
        clearTextures(gl);
        m_textureFacet = facet;
        m_tilesX = (img.width() + TileCells - 1) / TileCells;
        m_tilesY = (img.height() + TileCells - 1) / TileCells;
        m_textures.assign(size_t(m_tilesX) * size_t(m_tilesY), Texture{});
    }

    // The cells the window can show, as a box around its footprint; 3D sees farther than
    // its footprint and draws every tile.
    double x0 = 0, y0 = 0, x1 = img.width(), y1 = img.height();
    if (view.mode != mapgeometry::ThreeD) {
        const std::array<QPointF, 4> f = footprint(view, cx, cy);
        x0 = y0 = 1e18;
        x1 = y1 = -1e18;
        for (const QPointF &p : f) {
            x0 = std::min(x0, p.x());
            x1 = std::max(x1, p.x());
            y0 = std::min(y0, p.y());
            y1 = std::max(y1, p.y());
        }
        // Isometric land stands up to 127 x 4 units above its cell: reach that far below.
        const double lift = view.mode == mapgeometry::Isometric ? 4.0 * 128 / 22.0 : 1.0;
        x0 -= lift;
        y0 -= lift;
        x1 += lift;
        y1 += lift;
    }

    gl->glColor4f(1, 1, 1, 1);
    int drawn = 0;
    for (int ty = 0; ty < m_tilesY; ++ty) {
        for (int tx = 0; tx < m_tilesX; ++tx) {
            const int cx0 = tx * TileCells, cy0 = ty * TileCells;
            const int w = std::min(TileCells, img.width() - cx0), h = std::min(TileCells, img.height() - cy0);
            if (cx0 + w < x0 || cx0 > x1 || cy0 + h < y0 || cy0 > y1)
                continue;
            Texture &t = m_textures[size_t(ty * m_tilesX + tx)];
            const bool fresh = t.name == 0;
            if (fresh) {
                gl->glGenTextures(1, &t.name);
                gl->glBindTexture(GL_TEXTURE_2D, t.name);
                gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
                gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
                gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
            } else {
                gl->glBindTexture(GL_TEXTURE_2D, t.name);
            }
            if (fresh || t.stale) {
                // Whole tiles of the image's 5-5-5 cells; the padding of an edge tile is never
                // shown. Internal RGB: the unused top bit is no alpha.
                m_upload.assign(size_t(TileCells) * TileCells, 0);
                for (int r = 0; r < h; ++r) {
                    const quint16 *line = reinterpret_cast<const quint16 *>(img.image().constScanLine(cy0 + r)) + cx0;
                    std::copy(line, line + w, m_upload.begin() + qsizetype(r) * TileCells);
                }
                gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
                if (fresh)
                    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5, TileCells, TileCells, 0, GL_BGRA,
                                     GL_UNSIGNED_SHORT_1_5_5_5_REV, m_upload.data());
                else
                    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, TileCells, TileCells, GL_BGRA,
                                        GL_UNSIGNED_SHORT_1_5_5_5_REV, m_upload.data());
                gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
                t.stale = false;
            }
            const float u = float(w) / TileCells, v = float(h) / TileCells;
            int sx[4], sy[4];
            mapgeometry::cellOffset(cx0, cy0, cx, cy, sx[0], sy[0]);
            mapgeometry::cellOffset(cx0 + w, cy0, cx, cy, sx[1], sy[1]);
            mapgeometry::cellOffset(cx0 + w, cy0 + h, cx, cy, sx[2], sy[2]);
            mapgeometry::cellOffset(cx0, cy0 + h, cx, cy, sx[3], sy[3]);
            gl->glBegin(GL_QUADS);
            gl->glTexCoord2f(0, 0);
            gl->glVertex3f(float(sx[0]), float(sy[0]), 0);
            gl->glTexCoord2f(u, 0);
            gl->glVertex3f(float(sx[1]), float(sy[1]), 0);
            gl->glTexCoord2f(u, v);
            gl->glVertex3f(float(sx[2]), float(sy[2]), 0);
            gl->glTexCoord2f(0, v);
            gl->glVertex3f(float(sx[3]), float(sy[3]), 0);
            gl->glEnd();
            ++drawn;
        }
    }
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_lastDrawn = drawn;
    return drawn;
}
