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
    if (isBusy() || m_mapid < 0 || m_mapid > 3) {
        result.error = QStringLiteral("The map view is busy.");
        return result;
    }
    Facet &facet = *m_facets[size_t(m_mapid)];
    // Flush before reading: statics made from TYPE 255 items are appended to working files,
    // and a changed block flushed afterwards would overwrite them. Setting the facet again
    // also drops the unchanged cached blocks, so the next frame decodes every block anew
    // with the new items and statics.
    if (!m_cache.setFacet(&facet)) {
        // A block kept in the cache would be written over the statics the load appends.
        result.error = m_cache.lastError();
        update();
        return result;
    }
    result = readWorldSave(facet, fileName, m_tileData, progress, confirm);
    // Frames drawn while the load let events run decoded blocks without the new items.
    if (result.ok)
        m_cache.setFacet(&facet);
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
    const int width = m_cache.blocksX() * 8;
    const int height = m_cache.blocksY() * 8;
    if (width == 0 || height == 0)
        return;
    // Corners past the facet are lowered to its last column and row. Negative ones are
    // raised to 0 as well: the loops below must not run over cells that do not exist.
    x1 = std::clamp(x1, 0, width - 1);
    x2 = std::clamp(x2, 0, width - 1);
    y1 = std::clamp(y1, 0, height - 1);
    y2 = std::clamp(y2, 0, height - 1);
    if (x2 < x1 || y2 < y1)
        return;
    const bool land = mode == 0 || mode == 2;
    const bool statics = mode == 1 || mode == 2;
    for (int x = x1; x <= x2; ++x) {
        for (int y = y1; y <= y2; ++y) {
            if (land)
                m_cache.setLand(x, y, 2, 0, 0);
            if (statics) {
                // World-save items stay: only statics are taken out.
                const TileStack stack = m_cache.statics(x, y);
                for (const Tile &t : stack)
                    if (t.isStatic())
                        m_cache.setStatic(x, y, 1, t, t);
            }
        }
    }
    if (land)
        landSelection.clear();
    if (statics)
        staticSelection.clear();
    update();
}
