#include "view/glmapwidget.h"
#include "world/datadirectory.h"

GLMapWidget::GLMapWidget(QWidget *parent) : GLWidget(parent)
{
    setMouseTracking(true);
}

GLMapWidget::~GLMapWidget() = default;

void GLMapWidget::setMapid(int id)
{
    if (id == m_mapid)
        return;
    m_mapid = id;
    m_currentX = qMin(m_currentX, facetBlocksX(id) * 8);
    m_currentY = qMin(m_currentY, facetBlocksY(id) * 8);
}

void GLMapWidget::setCenter(int x, int y) { m_currentX = x; m_currentY = y; update(); }
void GLMapWidget::setTerrain(bool on) { m_terrainOn = on; update(); }
void GLMapWidget::setStatics(bool on) { m_staticsOn = on; update(); }
void GLMapWidget::setTerrainMode(int mode) { m_terrainMode = mode; update(); }
void GLMapWidget::setDrawDynamics(bool on) { m_dynamicsOn = on; update(); }
void GLMapWidget::setAltitudes(bool on) { m_altitudesOn = on; update(); }
void GLMapWidget::setGridColor(quint32 rgba) { m_gridRgba = rgba; update(); }
void GLMapWidget::setAngle(double a) { m_angle = a; update(); }
void GLMapWidget::setDistance(int d) { m_distance = d; update(); }
void GLMapWidget::setStaticAbove(int) { update(); }
void GLMapWidget::setStaticBelow(int) { update(); }
void GLMapWidget::enableStaticAbove(bool) { update(); }
void GLMapWidget::enableStaticBelow(bool) { update(); }
void GLMapWidget::setLandAbove(int) { update(); }
void GLMapWidget::setLandBelow(int) { update(); }
void GLMapWidget::enableLandAbove(bool) { update(); }
void GLMapWidget::enableLandBelow(bool) { update(); }
void GLMapWidget::setSelectMode(int mode) { m_selectMode = mode; update(); }
void GLMapWidget::setPaintAlt(const QString &) {}

void GLMapWidget::save(int) {}
void GLMapWidget::deleteTiles() {}
void GLMapWidget::cancelAction() {}
void GLMapWidget::moveStatics(int, int, bool) {}
void GLMapWidget::changeElevation(int) {}
int GLMapWidget::switchPaintMode()
{
    if (m_paintType < 0)
        return -1;
    m_paintOn = !m_paintOn;
    return m_paintOn ? m_paintType : -1;
}
void GLMapWidget::setPaint(int type, const std::vector<int> &, const QString &) { m_paintType = type; }
void GLMapWidget::applyToSelection(int, const std::vector<int> &, const QString &) {}
void GLMapWidget::clearTiles(int, int, int, int, int) {}
void GLMapWidget::loadWorldSave(const QString &) {}
void GLMapWidget::clearTextures() {}

void GLMapWidget::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT);
    glFlush();
}

void GLMapWidget::resizeGL(int w, int h)
{
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-(w / 2), w / 2, -(h / 2), h / 2, -2000, 2000);
    glMatrixMode(GL_MODELVIEW);
}
