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
#include <QFileDialog>

#include <algorithm>
#include <set>

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
            return false;
        progress.noMoreCancel(QStringLiteral("Placing the multi"));
        MapDocument::Edit edit(m_doc, QStringLiteral("Import Multi"));
        qsizetype done = 0;
        for (const CellPlacement &cell : *cells) {
            if ((++done & 0x3FF) == 0)
                progress.report(done, qsizetype(cells->size()));
            m_cache.insertStatics(cell.x, cell.y, cell.tiles.data(), cell.tiles.data() + cell.tiles.size());
            QMap<int, QList<int>> &atCell = staticSelection[cell.x][cell.y];
            std::set<std::pair<int, int>> selected; // (z, id) already in the selection
            for (const Tile &s : cell.tiles) {
                if (!selected.insert({s.z(), s.id()}).second)
                    continue;
                QList<int> &ids = atCell[s.z()];
                if (!ids.contains(s.id()))
                    ids.append(s.id());
            }
        }
        return true;
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
        // A multi the files do not have leaves the selection as it was.
        if (components) {
            const auto before = staticSelection;
            staticSelection.clear();
            if (!place(*components, false))
                staticSelection = before;
        }
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
    }
}
