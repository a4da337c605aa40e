// Painting from the palette: paint state, insertion of land tiles and statics under the
// pointer, taking the paint tile from the map, and applying a tile set to the selection.
// The context menu's Insert entries come through here too.
//
// A paint step changes one cell through the block cache and asks for a repaint; nothing
// cached for drawing (textures, decoded blocks) has to be made again for it, so the frame
// that follows costs what any frame costs.
#include "view/painting.h"
#include "dialogs/querywidget.h"
#include "tiles/tilenumber.h"
#include "view/glmapwidget.h"

#include <QMessageBox>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kLandIds = 0x4000;    // land ids are 0..16383
constexpr int kStaticIds = 0xFFFF;  // static ids are 0..65534

bool landIdOk(int id) { return id >= 0 && id < kLandIds; }
bool staticIdOk(int id) { return id >= 0 && id < kStaticIds; }

// One id of the set, each equally likely; -1 for an empty set.
int drawId(const std::vector<int> &ids)
{
    if (ids.empty())
        return -1;
    if (ids.size() == 1)
        return ids.front();
    return ids[size_t(std::rand()) % ids.size()];
}

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

int applyHeightText(const QString &text, int base)
{
    qint64 z = 0;
    if (text.isEmpty())
        z = base;
    else if (text.startsWith(QLatin1Char('+')))
        z = qint64(base) + decimal(text.mid(1));
    else if (text.startsWith(QLatin1String("--")))
        z = qint64(base) + decimal(text.mid(1)); // "-N" from the second sign on: lowers by N
    else
        z = decimal(text);
    return int(std::clamp<qint64>(z, -128, 127));
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
    Cells targets;
    int id = -1;
    if (paint) {
        const CellHit cell = cellAt(x, y);
        if (!cell.isValid()) {
            update();
            return;
        }
        targets.emplace_back(cell.x, cell.y);
        id = drawId(m_paintIds);
    } else {
        const int n = pickRect(x - 1, y - 1, x + 1, y + 2);
        if (n < 1) {
            update();
            return;
        }
        LandHits land;
        StaticHits statics;
        collectHits(n, land, statics);
        // On a selected land cell the whole land selection is the target.
        targets = cellsOf((hitsInSelection(land, statics, 1) & 1) ? landSelection : land);
        if (targets.empty()) {
            update();
            return;
        }
        const std::optional<int> answer = painting::askNumber(this, QStringLiteral("Enter Land Tile ID"));
        if (!answer) {
            update();
            return;
        }
        id = *answer;
    }
    if (!landIdOk(id)) {
        update();
        return;
    }
    MapDocument::Edit edit(m_doc, paint ? QStringLiteral("Paint") : QStringLiteral("Insert"));
    for (const QPoint &cell : targets) {
        // A drag paints each cell once per visit: not again while the pointer stays on it.
        // The paint state governs painting only: an Insert from the menu while paint mode
        // is on writes the id that was typed, on every target cell.
        if (paint && cell == m_lastPaintCell)
            continue;
        m_lastPaintCell = cell;
        const Tile t = m_cache.land(cell.x(), cell.y());
        int z = t.z();
        int cellId = id;
        if (paint) {
            cellId = drawId(m_paintIds);
            if (!m_paintAlt.isEmpty())
                z = painting::applyHeightText(m_paintAlt, t.z());
        }
        // The set may mix valid and invalid ids; a cell never gets one outside the range.
        if (!landIdOk(cellId))
            continue;
        m_cache.setLand(cell.x(), cell.y(), 2, cellId, z);
    }
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
    Cells targets;
    int id = -1;
    if (paint) {
        targets.emplace_back(cell.x, cell.y);
        id = drawId(m_paintIds);
    } else {
        LandHits land;
        StaticHits statics;
        collectHits(n, land, statics);
        targets = cellsOf((hitsInSelection(land, statics, 1) & 1) ? landSelection : land);
        if (targets.empty()) {
            update();
            return;
        }
        const std::optional<int> answer = painting::askNumber(this, QStringLiteral("Enter Static Tile ID"));
        if (!answer) {
            update();
            return;
        }
        id = *answer;
    }
    if (!staticIdOk(id)) {
        update();
        return;
    }
    MapDocument::Edit edit(m_doc, paint ? QStringLiteral("Paint") : QStringLiteral("Insert"));
    for (const QPoint &target : targets) {
        if (paint && target == m_lastPaintCell)
            continue;
        m_lastPaintCell = target;
        // On the land of the cell, whatever statics already stand there.
        int z = m_cache.land(target.x(), target.y()).z();
        int cellId = id;
        if (paint) {
            if (!m_paintAlt.isEmpty())
                z = painting::applyHeightText(m_paintAlt, z);
            cellId = drawId(m_paintIds);
        }
        if (!staticIdOk(cellId))
            continue;
        Tile s = m_tileData.staticTile(cellId);
        s.setZ(z);
        s.setHue(0);
        m_cache.setStatic(target.x(), target.y(), 0, s, s);
    }
    update();
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
    MapDocument::Edit edit(m_doc, QStringLiteral("Apply to Selection"));
    for (const QPoint &cell : cellsOf(landSelection)) {
        const int landZ = m_cache.land(cell.x(), cell.y()).z();
        const int z = alt.isEmpty() ? landZ : painting::applyHeightText(alt, landZ);
        const int id = drawId(tiles);
        if (type == 0) {
            m_cache.setLand(cell.x(), cell.y(), 2, id, z);
        } else {
            // The hue stays as the tile data gives it.
            Tile s = m_tileData.staticTile(id);
            s.setZ(z);
            m_cache.setStatic(cell.x(), cell.y(), 0, s, s);
        }
    }
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
    const int n = pickRect(pos.x(), pos.y(), pos.x() + 1, pos.y() - 1);
    if (n < 1)
        return;
    LandHits land;
    StaticHits statics;
    collectHits(n, land, statics);
    if (land.isEmpty())
        return; // statics only in selectMode: nothing to take
    // The first land hit: smallest x, then smallest y.
    m_paintIds = {land.first().first()};
    m_paintType = 0;
}
