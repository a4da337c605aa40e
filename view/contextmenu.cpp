// The tile context menu: properties, altitude, hue, export and the Insert entries.
#include "view/glmapwidget.h"

void GLMapWidget::buildContextMenu() {}
void GLMapWidget::contextMenuAt(const QPoint &) {}
void GLMapWidget::slotPop(int) {}
void GLMapWidget::slotPopInsert(int) {}
void GLMapWidget::slotProp(int, int, int, int, int, int, int) {}
void GLMapWidget::showProperties(const QPoint &) {}
void GLMapWidget::changeAltitude(const QPoint &) {}
void GLMapWidget::changeHue(const QPoint &) {}
void GLMapWidget::exportStatics(const QPoint &) {}
