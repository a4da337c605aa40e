// Placing a multi from the context menu's Import submenu: a multi of the client's files by
// number ("Multi"), or the components of one of the editor's own ".mlt" files ("Vey Multi"),
// anchored at the cell that was right-clicked. The placed statics become selected.
#include "view/glmapwidget.h"
#include "view/painting.h"
#include "world/datadirectory.h"
#include "view/loadprogress.h"
#include "world/clientlayout.h"
#include "world/multi.h"
#include "world/multiplacement.h"

#include <QFile>
#include <QDir>
#include <QFileDialog>

void GLMapWidget::slotImportPop(int id)
{
    if (isBusy()) {
        runWhenIdle([this, id] { slotImportPop(id); });
        return;
    }
    const CellHit anchor = cellAt(popupPoint.x(), popupPoint.y());
    if (!anchor.isValid())
        return;
    const int cellsX = m_cache.blocksX() * 8, cellsY = m_cache.blocksY() * 8;

    // Every component stands at the anchor's land height plus its dz, whatever the land under
    // it; shown means placed, and hue is the hue it gets. A large multi file shows progress:
    // Cancel works while the placement is worked out, before anything reaches the map.
    const auto place = [&](const QList<MultiComponent> &components, bool mlt) {
        const MultiAnchor at{anchor.x, anchor.y, m_cache.land(anchor.x, anchor.y).z(), cellsX, cellsY};
        LoadProgress progress(this, QStringLiteral("Import"), QStringLiteral("Reading the multi"));
        const std::optional<std::vector<CellPlacement>> cells = placeComponents(
            components, at, mlt, m_tileData, [&progress](qint64 done, qint64 total) { return progress.report(done, total); });
        if (!cells)
            return;
        progress.noMoreCancel(QStringLiteral("Placing the multi"));
        // A multi by number replaces the selection; a ".mlt" file's is added to it.
        m_doc.placeMulti(*cells, !mlt, [&progress](qint64 done, qint64 total) { return progress.report(done, total); });
    };

    if (id == 0) {
        const std::optional<int> answer = painting::askNumber(this, QStringLiteral("Enter Multi ID"));
        if (!answer) {
            update();
            return;
        }
        const int number = *answer;
        QFile index(dataDirectory() + QStringLiteral("/multi.idx"));
        QFile data(dataDirectory() + QStringLiteral("/multi.mul"));
        index.open(QIODevice::ReadOnly);
        data.open(QIODevice::ReadOnly);
        const std::optional<QList<MultiComponent>> components = readMulti(index, data, number,
                                                                                 ClientLayout::of(dataDirectory())->multiComponentSize());
        // A multi the files do not have, or one cancelled, leaves the selection as it was.
        if (components)
            place(*components, false);
        update();
    } else if (id == 1) {
        // Qt's own dialog: the same on every desktop, and one a test can answer.
        const QString fileName = QFileDialog::getOpenFileName(this, QStringLiteral("Select Vey Multi File"), QString(),
                                                              QStringLiteral("MLT (*.mlt) ;; All file (*.*)"), nullptr,
                                                              QFileDialog::DontUseNativeDialog);
        QFile file(fileName);
        // Added to what is selected: the selection is not emptied first.
        if (!fileName.isEmpty() && file.open(QIODevice::ReadOnly))
            place(readMlt(file.readAll()), true);
        update();
    } else if (id == 2) {
        // What Export (or Copy) wrote, placed again with its corner on the pressed cell.
        const QString fileName = QFileDialog::getOpenFileName(this, QStringLiteral("Select Exported XML File"), QString(),
                                                              QStringLiteral("XML (*.xml) ;; All file (*.*)"), nullptr,
                                                              QFileDialog::DontUseNativeDialog);
        if (fileName.isEmpty()) {
            update();
            return;
        }
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            emit statusMessage(QStringLiteral("Import: could not read %1: %2")
                                   .arg(QDir::toNativeSeparators(fileName), file.errorString()));
            return;
        }
        QString error;
        const int placed = m_doc.pasteArea(file.readAll(), anchor.x, anchor.y, MapDocument::PasteHeights::Relative, &error);
        if (placed < 0)
            emit statusMessage(QStringLiteral("Import: %1 holds no tiles of this program (%2)")
                                   .arg(QDir::toNativeSeparators(fileName), error));
        else
            emit statusMessage(QStringLiteral("Imported %1 tiles at %2, %3").arg(placed).arg(anchor.x).arg(anchor.y));
        update();
    }
}
