// Picking: which land cells and statics lie under a window rectangle, found by replaying the
// frame's walk in OpenGL selection mode; the land cell under a point; the rubber band.
#include "view/glmapwidget.h"
#include "world/datadirectory.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace {

// Where a point lies against the line through (x1, y1) and (x2, y2): the line's y at px.
// An upright edge has no such y; the caller lets its test pass.
bool uprightEdge(const QPoint &a, const QPoint &b) { return a.x() == b.x(); }
double lineY(const QPoint &a, const QPoint &b, double px)
{
    return a.y() + (px - a.x()) * double(b.y() - a.y()) / double(b.x() - a.x());
}
bool below(const QPoint &a, const QPoint &b, double px, double py)
{
    return uprightEdge(a, b) || py <= lineY(a, b, px);
}
bool above(const QPoint &a, const QPoint &b, double px, double py)
{
    return uprightEdge(a, b) || py >= lineY(a, b, px);
}

// Restores the modelview matrix on every way out.
class ModelviewGuard
{
public:
    explicit ModelviewGuard(QOpenGLFunctions_1_1 *gl) : m_gl(gl)
    {
        m_gl->glMatrixMode(GL_MODELVIEW);
        m_gl->glPushMatrix();
    }
    ~ModelviewGuard()
    {
        m_gl->glMatrixMode(GL_MODELVIEW);
        m_gl->glPopMatrix();
    }
    ModelviewGuard(const ModelviewGuard &) = delete;
    ModelviewGuard &operator=(const ModelviewGuard &) = delete;

private:
    QOpenGLFunctions_1_1 *m_gl;
};

} // namespace

void GLMapWidget::applyViewTransform()
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (m_mode == mapgeometry::ThreeD) {
        const auto m = mapgeometry::viewMatrix3D(m_angle, m_distance);
        glMultMatrixd(m.data());
    }
    glScaled(m_scale, m_scale, m_scale);
    glRotated(m_degree, 0, 0, 1);
}

std::array<double, 4> GLMapWidget::glRegion(double x1, double y1, double x2, double y2) const
{
    const QPointF a = toGLWindow(std::min(x1, x2), std::max(y1, y2));
    const QPointF b = toGLWindow(std::max(x1, x2), std::min(y1, y2));
    return {a.x(), a.y(), b.x(), b.y()};
}

int GLMapWidget::pickRect(int x1, int y1, int x2, int y2)
{
    return pickWalk(x1, y1, x2, y2, glRegion(x1, y1, x2, y2));
}

int GLMapWidget::pickPoint(const QPoint &pos)
{
    // The pointer's own pixel: from its top-left corner one window pixel on.
    return pickWalk(pos.x() - 1, pos.y() - 1, pos.x() + 1, pos.y() + 2,
                    glRegion(pos.x(), pos.y(), pos.x() + 1, pos.y() + 1));
}

int GLMapWidget::pickWalk(int x1, int y1, int x2, int y2, const std::array<double, 4> &opaqueRegion)
{
    // A pick is a walk of its own: never inside another walk or a save, and never before
    // the context exists.
    if (!m_glReady || isBusy())
        return -1;
    makeCurrent();
    resizeGL(width(), height()); // the frame's viewport and box, whatever ran in between
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Window rectangle to device pixels: the pick matrix works on the GL viewport.
    const QPointF g1 = toGLWindow(x1, y1);
    const QPointF g2 = toGLWindow(x2, y2);
    const double w = std::abs(g2.x() - g1.x());
    const double h = std::abs(g2.y() - g1.y());
    const double cx = std::min(g1.x(), g2.x()) + w * 0.5;
    const double cy = std::min(g1.y(), g2.y()) + h * 0.5;

    // The frame's own transform and walk: the pick sees what the frame shows, and the draw
    // list carries every tile under its own names whatever batching the drawing uses.
    applyViewTransform();
    // The frame's matrices, for where each static's image lands in the window.
    std::array<GLdouble, 16> modelview{}, projection{};
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview.data());
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    glRenderMode(GL_SELECT);
    glInitNames();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPickMatrix(cx, cy, w, h, viewport);
    const int W = width(), H = height();
    const double depth = walkPlanFor(m_mode).depth;
    glOrtho(-(W / 2), W / 2, -(H / 2), H / 2, -depth, depth);
    glMatrixMode(GL_MODELVIEW);
    drawMap(m_mode, m_currentX, m_currentY, facetBlocksX(m_mapid), facetBlocksY(m_mapid));
    m_drawList.submitWithNames(this);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glFlush();
    glMatrixMode(GL_MODELVIEW);
    const GLint hits = glRenderMode(GL_RENDER);
    resizeGL(W, H); // the frame's box again: the point under the pointer reads through it
    glColor4fv(m_defaultColor.data());

    // Selection mode hits a static's whole rectangle, transparent margin and all. Replay
    // the statics of the same walk through their images: a static counts where one of its
    // opaque texels is drawn inside the region.
    m_opaqueHits.clear();
    const auto &entries = m_drawList.entries();
    const auto &vertices = m_drawList.vertices();
    for (const DrawnStatic &ds : m_drawnStatics) {
        const DrawList::Entry &e = entries[ds.entry];
        const std::array<int, 4> names{e.x, e.y, e.z, e.id};
        if (m_opaqueHits.count(names))
            continue;
        const auto it = m_staticTextures.constFind(ds.key);
        if (it == m_staticTextures.constEnd() || it->alpha.isNull())
            continue;
        std::array<std::array<double, 2>, 4> win{};
        for (int i = 0; i < 4; ++i) {
            const DrawList::Vertex &v = vertices[e.firstVertex + quint32(i)];
            GLdouble wx = 0, wy = 0, wz = 0;
            gluProject(v.x, v.y, v.z, modelview.data(), projection.data(), viewport, &wx, &wy, &wz);
            win[size_t(i)] = {wx, wy};
        }
        const QImage &a = it->alpha;
        const mapgeometry::AlphaMask mask{a.constBits(), a.width(), a.height(), a.bytesPerLine()};
        if (mapgeometry::opaqueInRegion(mask, win[0], win[1], win[3], opaqueRegion[0], opaqueRegion[1],
                                        opaqueRegion[2], opaqueRegion[3]))
            m_opaqueHits.insert(names);
    }
    return hits < 0 ? -1 : int(hits);
}

void GLMapWidget::collectHits(int hits, LandHits &land, StaticHits &statics) const
{
    collectHits(hits, land, statics, m_selectMode);
}

QString GLMapWidget::selectModeName(int mode)
{
    static const char *const names[] = {"Sel: None", "Sel: Land", "Sel: Static", "Sel: Lnd/Sta"};
    return mode >= 0 && mode <= 3 ? QString::fromLatin1(names[mode]) : QString();
}

void GLMapWidget::collectHits(int hits, LandHits &land, StaticHits &statics, int kinds) const
{
    if (hits < 0)
        return;
    land.clear();
    statics.clear();
    const bool wantLand = kinds & 1;
    const bool wantStatics = kinds & 2;
    const std::size_t size = m_selectBuffer.size();
    std::size_t at = 0;
    for (int i = 0; i < hits && at + 3 <= size; ++i) {
        const quint32 n = m_selectBuffer[at];
        at += 3; // the count and the two depths, which decide nothing here
        if (n != 5 || at + 5 > size) {
            at += n;
            continue;
        }
        const int x = qint32(m_selectBuffer[at]);
        const int y = qint32(m_selectBuffer[at + 1]);
        const int kind = qint32(m_selectBuffer[at + 2]);
        const int z = qint32(m_selectBuffer[at + 3]);
        const int id = qint32(m_selectBuffer[at + 4]);
        at += 5;
        if (kind == DrawList::Land && wantLand) {
            land[x][y] = id;
        } else if (kind == DrawList::Static && wantStatics && m_opaqueHits.count({x, y, z, id})) {
            QList<int> &ids = statics[x][y][z];
            if (!ids.contains(id))
                ids.append(id);
        }
    }
}

GLMapWidget::CellHit GLMapWidget::cellAtScene(double px, double py) const
{
    for (const DrawnQuad &q : m_drawnQuads) {
        if (below(q.top, q.left, px, py) && above(q.right, q.bottom, px, py) && below(q.right, q.top, px, py)
            && above(q.bottom, q.left, px, py))
            return CellHit{q.x, q.y, q.id};
    }
    return CellHit{};
}

GLMapWidget::CellHit GLMapWidget::cellAt(int wx, int wy)
{
    if (!m_glReady || isBusy())
        return CellHit{};
    if (OverviewLayer::drawsAt(m_scale))
        return overviewCellAt(wx, wy);
    if (m_drawnQuads.empty())
        return CellHit{};
    makeCurrent();
    ModelviewGuard guard(this);
    applyViewTransform();
    const auto p = unproject(wx, wy);
    // GL keeps its matrices in floats: the trip back through them is off by a millionth or
    // so, and a pointer exactly on an edge must land on it, not a hair to one side. Window
    // pixels are whole scene units or coarser apart at the zooms in use.
    const auto snap = [](double v) { return std::round(v * 1000.0) / 1000.0; };
    return cellAtScene(snap(p[0]), snap(p[1]));
}

GLMapWidget::CellHit GLMapWidget::overviewCellAt(int wx, int wy)
{
    if (!m_cache.facet())
        return CellHit{};
    makeCurrent();
    // The line of scene points the window point shows, from the front of the frame's box to
    // its back, through the frame's matrices. The depth buffer is not read: far out it holds
    // the overview's depth in 3D only, and the ground is found from its heights instead.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::array<GLdouble, 16> modelview{}, projection{};
    {
        ModelviewGuard guard(this);
        applyViewTransform();
        glGetDoublev(GL_MODELVIEW_MATRIX, modelview.data());
    }
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    const QPointF g = toGLWindow(wx, wy);
    std::array<double, 3> front{}, back{};
    if (gluUnProject(g.x(), g.y(), 0.0, modelview.data(), projection.data(), viewport, &front[0], &front[1],
                     &front[2]) != GL_TRUE
        || gluUnProject(g.x(), g.y(), 1.0, modelview.data(), projection.data(), viewport, &back[0], &back[1],
                        &back[2]) != GL_TRUE)
        return CellHit{};
    QPointF ground;
    if (!m_overview->groundAt(viewSpec(m_mode), m_currentX, m_currentY, front, back, ground))
        return CellHit{};
    const int x = int(std::floor(ground.x())), y = int(std::floor(ground.y()));
    if (x < 0 || y < 0 || x >= m_cache.blocksX() * 8 || y >= m_cache.blocksY() * 8)
        return CellHit{};
    return CellHit{x, y, m_cache.land(x, y).id()};
}

void GLMapWidget::drawBand()
{
    ModelviewGuard guard(this);
    glLoadIdentity(); // window space, whatever the scale, rotation or tilt
    const auto p1 = unproject(int(m_bandStart.x()), int(m_bandStart.y()));
    const auto p2 = unproject(int(m_bandEnd.x()), int(m_bandEnd.y()));
    glBindTexture(GL_TEXTURE_2D, 0);
    glColor4f(1, 1, 1, 1);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_QUADS);
    glVertex3d(p1[0], p1[1], p1[2]);
    glVertex3d(p2[0], p1[1], p2[2]);
    glVertex3d(p2[0], p2[1], p2[2]);
    glVertex3d(p1[0], p2[1], p1[2]);
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColor4fv(m_defaultColor.data());
}

bool GLMapWidget::isLandSelected(int x, int y) const
{
    if (landSelection.isEmpty())
        return false;
    const auto it = landSelection.constFind(x);
    return it != landSelection.constEnd() && it->contains(y);
}

bool GLMapWidget::isStaticSelected(int x, int y, int z, int id) const
{
    if (staticSelection.isEmpty())
        return false;
    const auto ix = staticSelection.constFind(x);
    if (ix == staticSelection.constEnd())
        return false;
    const auto iy = ix->constFind(y);
    if (iy == ix->constEnd())
        return false;
    const auto iz = iy->constFind(z);
    return iz != iy->constEnd() && iz->contains(id);
}
