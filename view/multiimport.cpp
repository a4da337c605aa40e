// Placing a multi from the context menu's Import submenu: a multi of the client's files by
// number ("Multi"), or the components of one of the editor's own ".mlt" files ("Vey Multi"),
// anchored at the cell that was right-clicked. The placed statics become selected.
#include "view/glmapwidget.h"
#include "view/painting.h"
#include "world/datadirectory.h"
#include "world/clientlayout.h"
#include "world/multi.h"

#include <QFile>
#include <QFileDialog>

#include <algorithm>

namespace {

// Ids of 0x8000 and above are negative as the multi formats are meant to be read: no tile.
bool isTileId(quint16 id)
{
    return id < 0x8000;
}

} // namespace

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
    // it; shown means placed, and hue is the hue it gets.
    const auto place = [&](const QList<MultiComponent> &components, bool mlt) {
        const int base = m_cache.land(anchor.x, anchor.y).z();
        for (const MultiComponent &c : components) {
            const int x = anchor.x + c.dx, y = anchor.y + c.dy;
            if (x < 0 || y < 0 || x >= cellsX || y >= cellsY || !isTileId(c.id))
                continue;
            if (mlt ? c.visible() == 0 : c.flags == 0)
                continue;
            Tile s = m_tileData.staticTile(c.id);
            s.setZ(std::clamp(base + c.dz, -128, 127));
            s.setHue(mlt ? c.hue() : 0);
            m_cache.setStatic(x, y, 0, s, s);
            QList<int> &ids = staticSelection[x][y][s.z()];
            if (!ids.contains(c.id))
                ids.append(c.id);
        }
    };

    if (id == 0) {
        const std::optional<QString> answer = painting::ask(this, QStringLiteral("Enter Multi ID"));
        if (!answer) {
            update();
            return;
        }
        const int number = painting::readTileNumber(*answer);
        QFile index(dataDirectory() + QStringLiteral("/multi.idx"));
        QFile data(dataDirectory() + QStringLiteral("/multi.mul"));
        index.open(QIODevice::ReadOnly);
        data.open(QIODevice::ReadOnly);
        const std::optional<QList<MultiComponent>> components = readMulti(index, data, number,
                                                                                 ClientLayout::of(dataDirectory())->multiComponentSize());
        // A multi the files do not have leaves the selection as it was.
        if (components) {
            staticSelection.clear();
            place(*components, false);
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
