// Painting from the palette: paint state, insertion of land tiles and statics under the
// pointer, taking the paint tile from the map, and applying a tile set to the selection.
// The context menu's Insert entries come through here too. The view finds the cells and
// asks for the numbers; the map document makes the change.
//
// A paint step changes one cell through the document and asks for a repaint; nothing
// cached for drawing (textures, decoded blocks) has to be made again for it, so the frame
// that follows costs what any frame costs.
#include "view/painting.h"
#include "dialogs/querywidget.h"
#include "tiles/tilenumber.h"
#include "view/glmapwidget.h"
#include "world/mapdocument.h"

#include <QMessageBox>

#include <vector>

namespace {

// A decimal number as the height text reads it; no number reads as 0.
qint64 decimal(const QString &text)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    return ok ? v : 0;
}

painting::Asker &installedAsker()
{
    static painting::Asker asker;
    return asker;
}

using Cells = std::vector<QPoint>;

// The cells of a land map (a selection or land hits) in ascending order.
Cells cellsOf(const GLMapWidget::LandSelection &land)
{
    Cells out;
    for (auto ix = land.cbegin(); ix != land.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy)
            out.emplace_back(ix.key(), iy.key());
    return out;
}

} // namespace

namespace painting {

HeightChange heightChange(const QString &text)
{
    if (text.isEmpty())
        return {};
    if (text.startsWith(QLatin1Char('+')))
        return {HeightChange::By, decimal(text.mid(1))};
    if (text.startsWith(QLatin1String("--")))
        return {HeightChange::By, decimal(text.mid(1))}; // "-N" from the second sign on: lowers by N
    return {HeightChange::To, decimal(text)};
}

int applyHeightText(const QString &text, int base)
{
    return heightChange(text).from(base);
}

int readTileNumber(const QString &text)
{
    return ::readTileNumber(text);
}

void setAsker(Asker asker) { installedAsker() = std::move(asker); }

std::optional<QString> ask(QWidget *parent, const QString &caption)
{
    const Asker &asker = installedAsker();
    if (asker)
        return asker(parent, caption);
    // The question itself: a modal QueryWidget with the prompt as its caption, deleted
    // after use.
    QueryWidget query(parent);
    query.setWindowTitle(caption);
    if (query.exec() != QDialog::Accepted)
        return std::nullopt;
    return query.value();
}

QString notANumberText(const QString &typed)
{
    return QStringLiteral("\"%1\" is not a number. Type a decimal number, or 0x and a hexadecimal one; "
                          "the map was not changed.")
        .arg(typed.simplified());
}

std::optional<int> askNumber(QWidget *parent, const QString &caption)
{
    const std::optional<QString> answer = ask(parent, caption);
    if (!answer)
        return std::nullopt;
    const std::optional<int> number = parseTileNumber(*answer);
    if (!number)
        showNotANumber(parent, caption, *answer);
    return number;
}

void showNotANumber(QWidget *parent, const QString &caption, const QString &typed)
{
    auto *box = new QMessageBox(QMessageBox::Warning, caption, notANumberText(typed), QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("notANumber"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace painting

// ---- paint state -------------------------------------------------------------------------

int GLMapWidget::switchPaintMode()
{
    // Not before the palette chose a tile set, and not while a prepared move owns the next
    // left press.
    if (!m_movePending && m_paintType != -1) {
        m_paintOn = !m_paintOn;
        setCursor(m_paintOn ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    return m_paintOn ? m_paintType : -1;
}

void GLMapWidget::setPaint(int type, const std::vector<int> &tiles, const QString &alt)
{
    m_paintIds = tiles;
    m_paintType = type;
    m_paintAlt = alt;
    update();
}

void GLMapWidget::setPaintAlt(const QString &alt)
{
    m_paintAlt = alt;
    update();
}

// ---- insertion ---------------------------------------------------------------------------

void GLMapWidget::insertLand(int x, int y, bool paint)
{
    if (isBusy()) {
        // The walk under way reads these cells, and no pick can run inside it.
        runWhenIdle([this, x, y, paint] { insertLand(x, y, paint); });
        return;
    }
    if (paint) {
        const CellHit cell = cellAt(x, y);
        // A set that draws an id out of range paints nothing on this visit.
        if (cell.isValid() && MapDocument::isLandId(MapDocument::drawTile(m_paintIds))) {
            // A drag paints each cell once per visit: not again while the pointer stays on it.
            const QPoint at(cell.x, cell.y);
            if (at != m_lastPaintCell) {
                m_lastPaintCell = at;
                m_doc.paintLand(cell.x, cell.y, m_paintIds, painting::heightChange(m_paintAlt));
            }
        }
        update();
        return;
    }
    const int n = pickRect(x - 1, y - 1, x + 1, y + 2);
    if (n < 1) {
        update();
        return;
    }
    insertTyped(n, true);
    update();
}

void GLMapWidget::insertStatic(int x, int y, bool paint)
{
    if (isBusy()) {
        runWhenIdle([this, x, y, paint] { insertStatic(x, y, paint); });
        return;
    }
    CellHit cell;
    if (paint) {
        // The cell first: a drag that stays on the cell it just painted, or that is over no
        // cell at all, paints nothing whatever the pick would find, and saves the pick's walk.
        cell = cellAt(x, y);
        if (!cell.isValid() || (m_paintOn && QPoint(cell.x, cell.y) == m_lastPaintCell)) {
            update();
            return;
        }
    }
    // A static is placed only where the pointer is over something drawn.
    const int n = pickRect(x - 1, y - 1, x + 1, y + 2);
    if (n < 1) {
        update();
        return;
    }
    if (paint) {
        const QPoint at(cell.x, cell.y);
        if (MapDocument::isStaticId(MapDocument::drawTile(m_paintIds)) && at != m_lastPaintCell) {
            m_lastPaintCell = at;
            m_doc.paintStatic(cell.x, cell.y, m_paintIds, painting::heightChange(m_paintAlt));
        }
        update();
        return;
    }
    insertTyped(n, false);
    update();
}

void GLMapWidget::insertTyped(int hits, bool land)
{
    LandHits cellsHit;
    StaticHits statics;
    // The cells under the point whatever the select mode: an insertion needs a cell, not a
    // selectable kind.
    collectHits(hits, cellsHit, statics, 3);
    // On a selected land cell the whole land selection is the target.
    const LandSelection &targets = (hitsInSelection(cellsHit, statics, 1) & 1) ? landSelection : cellsHit;
    const Cells cells = cellsOf(targets);
    if (cells.empty()) {
        emit statusMessage(QStringLiteral("Insert: there is no cell under the pointer"));
        return;
    }
    const std::optional<int> answer =
        painting::askNumber(this, land ? QStringLiteral("Enter Land Tile ID") : QStringLiteral("Enter Static Tile ID"));
    // The paint state governs painting only: an Insert from the menu while paint mode is on
    // writes the id that was typed, on every target cell.
    if (answer && (land ? m_doc.insertLand(targets, *answer) : m_doc.insertStatic(targets, *answer)))
        m_lastPaintCell = cells.back();
}

// ---- the whole selection -----------------------------------------------------------------

void GLMapWidget::applyToSelection(int type, const std::vector<int> &tiles, const QString &alt)
{
    // An empty set would write tile -1 everywhere.
    if (tiles.empty())
        return;
    if (isBusy()) {
        runWhenIdle([this, type, tiles, alt] { applyToSelection(type, tiles, alt); });
        return;
    }
    m_doc.applyToSelection(type, tiles, painting::heightChange(alt));
    update();
}

// ---- gestures ----------------------------------------------------------------------------

void GLMapWidget::paintAt(const QPoint &pos, Qt::KeyboardModifiers)
{
    // Every cell of a stroke, from the press to the release, is one step to undo.
    if (!m_strokeOpen) {
        m_doc.beginEdit(QStringLiteral("Paint"));
        m_strokeOpen = true;
    }
    if (m_paintType == 0)
        insertLand(pos.x(), pos.y(), true);
    else if (m_paintType == 1)
        insertStatic(pos.x(), pos.y(), true);
}

void GLMapWidget::paintDragTo(const QPoint &pos)
{
    paintAt(pos, Qt::NoModifier);
}

void GLMapWidget::paintReleased()
{
    endStroke();
    // The next press paints even the cell it ends on.
    if (m_paintOn)
        m_lastPaintCell = QPoint(-1, -1);
}

void GLMapWidget::endStroke()
{
    if (m_strokeOpen) {
        m_strokeOpen = false;
        m_doc.endEdit();
    }
}

void GLMapWidget::pickPaintTile(const QPoint &pos)
{
    // The one-pixel box from (x, y - 1) to (x + 1, y): small, but not of zero size, which
    // would pick the whole view.
    if (m_selectMode == 0) {
        emit statusMessage(QStringLiteral("Control+right-click takes no tile in \"%1\" mode")
                               .arg(selectModeName(m_selectMode)));
        return;
    }
    const int n = pickRect(pos.x(), pos.y(), pos.x() + 1, pos.y() - 1);
    LandHits land;
    StaticHits statics;
    if (n > 0)
        collectHits(n, land, statics);
    if (!statics.isEmpty()) {
        // What shows on top: the static of the hits the walk drew last.
        const auto &entries = m_drawList.entries();
        int id = -1;
        for (auto it = m_drawnStatics.crbegin(); it != m_drawnStatics.crend() && id < 0; ++it) {
            const DrawList::Entry &e = entries[it->entry];
            const QList<int> ids = statics.value(e.x).value(e.y).value(e.z);
            if (ids.contains(e.id))
                id = e.id;
        }
        if (id >= 0) {
            m_paintIds = {id};
            m_paintType = 1;
            emit paintTileTaken(1);
            return;
        }
    }
    if (land.isEmpty()) {
        emit statusMessage(QStringLiteral("Control+right-click: there is no %1 under the pointer")
                               .arg(m_selectMode == 2 ? QStringLiteral("static") : QStringLiteral("tile")));
        return;
    }
    // The first land hit: smallest x, then smallest y.
    m_paintIds = {land.first().first()};
    m_paintType = 0;
    emit paintTileTaken(0);
}
