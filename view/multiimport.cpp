// Placing a multi from the context menu's Import submenu.
#include "view/glmapwidget.h"

void GLMapWidget::slotImportPop(int) {}
