// The map view's world-save loading and rectangle clearing.
#include "view/glmapwidget.h"
#include "view/loadprogress.h"
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

QString GLMapWidget::worldSaveSizeQuestion(const QString &fileName, qint64 components)
{
    return QStringLiteral("The multis of the world save %1 would place %2 components, more than %3 million. "
                          "Showing them takes much memory and time. Read them anyway?")
        .arg(QDir::toNativeSeparators(fileName))
        .arg(components)
        .arg(MaxUnaskedComponents / 1000000);
}

QString GLMapWidget::worldSaveFailureText(const QString &fileName, const QString &reason)
{
    return QStringLiteral("The world save %1 was not loaded.\n%2")
        .arg(QDir::toNativeSeparators(fileName), reason);
}

WorldSaveResult GLMapWidget::readWorldSaveFile(const QString &fileName, const ReadProgress &progress,
                                               const ConfirmComponents &confirm)
{
    WorldSaveResult result;
    if (isBusy() || m_mapid < 0 || m_mapid >= MapDocument::FacetCount) {
        result.error = QStringLiteral("The map view is busy.");
        return result;
    }
    result = m_doc.loadWorldSave(fileName, progress, confirm);
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
        LoadProgress progress(this, QStringLiteral("Select World File"), QStringLiteral("Reading the world save"));
        const auto confirm = [this, &fileName](qint64 components) {
            QGuiApplication::restoreOverrideCursor();
            const auto answer = QMessageBox::question(this, QStringLiteral("Select World File"),
                                                      worldSaveSizeQuestion(fileName, components));
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
            return answer == QMessageBox::Yes;
        };
        result = readWorldSaveFile(
            fileName, [&progress](qint64 done, qint64 total) { return progress.report(done, total); }, confirm);
    }
    if (result.ok || result.cancelled)
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
