// The map view's world-save loading and rectangle clearing.
#include "view/glmapwidget.h"
#include "world/facet.h"
#include "world/worldsave.h"

#include <QCursor>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>

#include <algorithm>

namespace {

// The wait cursor for the lifetime of the guard, on every return path.
class WaitCursorScope
{
public:
    WaitCursorScope() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursorScope() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursorScope(const WaitCursorScope &) = delete;
    WaitCursorScope &operator=(const WaitCursorScope &) = delete;
};

} // namespace

QString GLMapWidget::worldSaveFailureText(const QString &fileName, const QString &reason)
{
    return QStringLiteral("The world save %1 was not loaded.\n%2")
        .arg(QDir::toNativeSeparators(fileName), reason);
}

WorldSaveResult GLMapWidget::readWorldSaveFile(const QString &fileName)
{
    WorldSaveResult result;
    if (isBusy() || m_mapid < 0 || m_mapid > 3) {
        result.error = QStringLiteral("The map view is busy.");
        return result;
    }
    result = m_doc.loadWorldSave(fileName);
    update();
    return result;
}

void GLMapWidget::loadWorldSave(const QString &fileName)
{
    if (isBusy()) {
        // The walk under way reads cached blocks that the load drops.
        runWhenIdle([this, fileName] { loadWorldSave(fileName); });
        return;
    }
    WorldSaveResult result;
    {
        WaitCursorScope wait;
        result = readWorldSaveFile(fileName);
    }
    if (result.ok)
        return;
    // Not exec(): the box must not hold up the caller (or a test) while it waits.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Select World File"),
                                worldSaveFailureText(fileName, result.error), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("worldSaveFailure"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void GLMapWidget::clearTiles(int mode, int x1, int y1, int x2, int y2)
{
    if (mode < 0 || mode > 2)
        return;
    if (isBusy()) {
        runWhenIdle([=, this] { clearTiles(mode, x1, y1, x2, y2); });
        return;
    }
    m_doc.clearRectangle(mode, x1, y1, x2, y2);
    update();
}
