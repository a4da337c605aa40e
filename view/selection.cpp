// Selection and keyboard editing: the mouse gestures that build the land and statics
// selections, and the operations that act on them (delete, move or copy statics, raise and
// lower, the staged cancel). Every map change goes through the block cache.
#include "view/glmapwidget.h"

#include <QCursor>
#include <QMouseEvent>

#include <cstdio>

namespace {

// Removes id from the statics selection at (x, y, z), dropping the lists and maps it
// leaves empty, so an empty selection is an empty map.
void removeSelected(GLMapWidget::StaticSelection &sel, int x, int y, int z, int id)
{
    auto ix = sel.find(x);
    if (ix == sel.end())
        return;
    auto iy = ix->find(y);
    if (iy == ix->end())
        return;
    auto iz = iy->find(z);
    if (iz == iy->end())
        return;
    iz->removeOne(id);
    if (iz->isEmpty())
        iy->erase(iz);
    if (iy->isEmpty())
        ix->erase(iy);
    if (ix->isEmpty())
        sel.erase(ix);
}

void writeLine(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

// ---- mouse -------------------------------------------------------------------------------

GLMapWidget::MouseInput GLMapWidget::mouseInput(const QMouseEvent *event)
{
    MouseInput in;
    in.pos = event->position();
    in.button = event->button();
    in.buttons = event->buttons();
    in.modifiers = event->modifiers();
    return in;
}

// Events that arrive while a walk lets events run wait for it to end: a press picks, and a
// pick must not start inside another walk.
void GLMapWidget::mousePressEvent(QMouseEvent *event)
{
    const MouseInput in = mouseInput(event);
    event->accept();
    runWhenIdle([this, in] { press(in); });
}

void GLMapWidget::mouseMoveEvent(QMouseEvent *event)
{
    const MouseInput in = mouseInput(event);
    event->accept();
    runWhenIdle([this, in] { move(in); });
}

void GLMapWidget::mouseReleaseEvent(QMouseEvent *event)
{
    const MouseInput in = mouseInput(event);
    event->accept();
    runWhenIdle([this, in] { release(in); });
}

void GLMapWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    const MouseInput in = mouseInput(event);
    event->accept();
    runWhenIdle([this, in] { doubleClick(in); });
}

void GLMapWidget::press(const MouseInput &in)
{
    if (in.button == Qt::MiddleButton) {
        emit togglePaint();
        return;
    }
    // An armed paste owns the next left or right press, in every projection: its outline
    // shows the cell the press lands on.
    if (m_pasteArmed && in.button == Qt::LeftButton) {
        placeArmedPaste(in.pos.toPoint());
        return;
    }
    if (m_pasteArmed && in.button == Qt::RightButton) {
        cancelPaste(QStringLiteral("Paste cancelled"));
        return;
    }
    if (m_mode == mapgeometry::ThreeD)
        return; // no dependable cell under the pointer in 3D
    const QPoint pos = in.pos.toPoint();
    if (in.button == Qt::LeftButton) {
        m_bandStart = in.pos;
        if (m_movePending && m_moveArmed) {
            completeMove(in);
            // Nothing is pending now and the statics selection is empty: the same press
            // starts a band, and its release selects what lies under the pointer.
            startBand(in.pos);
            return;
        }
        // Prepared but not armed: only the double-click on it arms the move; any other press
        // lets it go and is a press like any other.
        if (m_movePending)
            dropMove(QString());
        if (m_paintOn) {
            paintAt(pos, in.modifiers);
            return;
        }
        // Shift toggles what the release picks, so it never prepares a move: a Shift+click
        // on a selected static takes that static out of the selection.
        if (!(in.modifiers & Qt::ShiftModifier))
            prepareMove(pos);
        if (!m_movePending)
            startBand(in.pos);
        return;
    }
    if (in.button == Qt::RightButton) {
        if (in.stateIs(Qt::NoButton, Qt::ControlModifier))
            pickPaintTile(pos);
        else
            contextMenuAt(pos);
    }
}

void GLMapWidget::move(const MouseInput &in)
{
    const QPoint pos = in.pos.toPoint();
    reportHover(pos);
    if (m_pasteArmed && m_hoverCell != m_pasteAnchor && m_hoverCell.x() >= 0) {
        m_pasteAnchor = m_hoverCell;
        update();
    }
    // A band follows the pointer with Shift held too (it toggles what it covers); painting
    // only follows the plain left button.
    const bool plain = in.stateIs(Qt::LeftButton, Qt::NoModifier);
    if (!plain && !in.stateIs(Qt::LeftButton, Qt::ShiftModifier))
        return;
    if (m_paintOn) {
        if (plain)
            paintDragTo(pos);
    } else if (m_bandActive) {
        m_bandEnd = in.pos;
        update();
    }
}

void GLMapWidget::release(const MouseInput &in)
{
    // Whatever else the release does, the stroke of a left press ends with it, even when
    // paint mode went off during the drag.
    struct StrokeEnd {
        GLMapWidget *w;
        bool left;
        ~StrokeEnd()
        {
            if (left)
                w->endStroke();
        }
    } strokeEnd{this, in.button == Qt::LeftButton};
    if (!m_bandActive) {
        if (m_paintOn && in.button == Qt::LeftButton)
            paintReleased();
        return;
    }
    if (in.button != Qt::LeftButton)
        return;
    // A plain click still picks a small rectangle, never one of zero size (which would pick
    // the whole view).
    m_bandEnd = in.pos;
    if (m_bandEnd.x() == m_bandStart.x())
        m_bandEnd.rx() += 2;
    if (m_bandEnd.y() == m_bandStart.y())
        m_bandEnd.ry() += 2;
    const bool click = in.pos == m_bandStart;
    const int n = click ? pickPoint(m_bandStart.toPoint())
                        : pickRect(int(m_bandStart.x()), int(m_bandStart.y()), int(m_bandEnd.x()), int(m_bandEnd.y()));
    if (n < 1) {
        m_bandActive = false;
        update();
        return;
    }
    LandHits land;
    StaticHits statics;
    collectHits(n, land, statics);
    if (in.modifiers & Qt::ShiftModifier) {
        toggleHits(land, statics);
    } else if (click && hitsInSelection(land, statics, 0) != 0) {
        // A click on something already selected deselects everything.
        landSelection.clear();
        staticSelection.clear();
    } else {
        landSelection = land;
        staticSelection = statics;
    }
    m_bandActive = false;
    update();
}

void GLMapWidget::doubleClick(const MouseInput &)
{
    if (!m_movePending)
        return;
    m_moveArmed = true;
    setCursor(Qt::PointingHandCursor);
    emit gestureChanged();
}

QString GLMapWidget::gestureNote() const
{
    if (m_pasteArmed)
        return QStringLiteral("Click to place the pasted area; Escape or a right click cancels");
    if (m_movePending && m_moveArmed)
        return QStringLiteral("Moving the selected statics: click the target cell (Control+click copies), Escape cancels");
    if (m_movePending)
        return QStringLiteral("Double-click to pick up the selected statics; a click elsewhere goes on selecting");
    return QString();
}

void GLMapWidget::dropMove(const QString &why)
{
    if (!m_movePending)
        return;
    m_movePending = false;
    m_moveArmed = false;
    setCursor(m_paintOn ? Qt::PointingHandCursor : Qt::ArrowCursor);
    emit gestureChanged();
    if (!why.isEmpty())
        emit statusMessage(why);
}

void GLMapWidget::startBand(const QPointF &pos)
{
    m_bandActive = true;
    m_bandEnd = pos; // no stale corner from the last band until the pointer moves
}

void GLMapWidget::prepareMove(const QPoint &pos)
{
    const int n = pickPoint(pos);
    m_bandActive = false;
    if (n <= 0)
        return;
    LandHits land;
    StaticHits statics;
    collectHits(n, land, statics);
    if (!(hitsInSelection(land, statics, 2) & 2))
        return;
    m_moveFrom = QPoint(statics.firstKey(), statics.first().firstKey());
    m_moveTo = m_moveFrom;
    m_movePending = true;
    setCursor(Qt::OpenHandCursor);
    emit gestureChanged();
}

void GLMapWidget::completeMove(const MouseInput &in)
{
    const CellHit target = cellAt(in.pos.toPoint().x(), in.pos.toPoint().y());
    m_moveTo = QPoint(target.x, target.y);
    // Control alone copies; Control with anything else moves.
    const bool copy = in.stateIs(Qt::NoButton, Qt::ControlModifier);
    if (!target.isValid()) {
        // No target cell: nothing moves, and what was selected stays selected.
        dropMove(QStringLiteral("Move cancelled: there is no cell under the pointer"));
        return;
    }
    dropMove(QString());
    moveStatics(m_moveTo.x() - m_moveFrom.x(), m_moveTo.y() - m_moveFrom.y(), copy);
    staticSelection.clear();
    update();
}

void GLMapWidget::reportHover(const QPoint &pos)
{
    const CellHit cell = cellAt(pos.x(), pos.y());
    if (!cell.isValid() || QPoint(cell.x, cell.y) == m_hoverCell)
        return;
    m_hoverCell = QPoint(cell.x, cell.y);
    emit currentTile(cell.x, cell.y, cell.id);
}

// ---- selection changes -------------------------------------------------------------------

void GLMapWidget::toggleHits(const LandHits &land, const StaticHits &statics)
{
    for (auto ix = land.cbegin(); ix != land.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            auto sel = landSelection.find(ix.key());
            if (sel != landSelection.end() && sel->contains(iy.key())) {
                sel->remove(iy.key());
                if (sel->isEmpty())
                    landSelection.erase(sel);
            } else {
                landSelection[ix.key()][iy.key()] = iy.value();
            }
        }
    }
    for (auto ix = statics.cbegin(); ix != statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                for (const int id : *iz) {
                    if (isStaticSelected(ix.key(), iy.key(), iz.key(), id)) {
                        writeLine("Delete selected static");
                        removeSelected(staticSelection, ix.key(), iy.key(), iz.key(), id);
                        writeLine("Delete selected static, leaving");
                    } else {
                        MapDocument::addSelected(staticSelection, ix.key(), iy.key(), iz.key(), id);
                    }
                }
            }
        }
    }
}

int GLMapWidget::hitsInSelection(const LandHits &land, const StaticHits &statics, int which) const
{
    int result = 0;
    if (which == 0 || which == 1) {
        bool found = false;
        for (auto ix = land.cbegin(); ix != land.cend() && !found; ++ix) {
            const auto sel = landSelection.constFind(ix.key());
            if (sel == landSelection.cend())
                continue;
            for (auto iy = ix->cbegin(); iy != ix->cend() && !found; ++iy) {
                const auto s = sel->constFind(iy.key());
                found = s != sel->cend() && s.value() == iy.value();
            }
        }
        if (found)
            result |= 1;
    }
    if (which == 0 || which == 2) {
        bool found = false;
        for (auto ix = statics.cbegin(); ix != statics.cend() && !found; ++ix)
            for (auto iy = ix->cbegin(); iy != ix->cend() && !found; ++iy)
                for (auto iz = iy->cbegin(); iz != iy->cend() && !found; ++iz)
                    for (const int id : *iz)
                        if ((found = isStaticSelected(ix.key(), iy.key(), iz.key(), id)))
                            break;
        if (found)
            result |= 2;
    }
    return result;
}

// ---- editing operations ------------------------------------------------------------------

void GLMapWidget::moveStatics(int dx, int dy, bool copy)
{
    if (isBusy()) {
        // The walk under way reads these cells; change them once it is done.
        runWhenIdle([this, dx, dy, copy] {
            moveStatics(dx, dy, copy);
            update();
        });
        return;
    }
    m_doc.moveStatics(dx, dy, copy);
}

void GLMapWidget::changeElevation(int delta)
{
    if (isBusy()) {
        runWhenIdle([this, delta] { changeElevation(delta); });
        return;
    }
    m_doc.changeElevation(delta);
    update();
}

void GLMapWidget::deleteTiles()
{
    if (isBusy()) {
        runWhenIdle([this] { deleteTiles(); });
        return;
    }
    m_doc.deleteSelection();
    update();
}

void GLMapWidget::cancelAction()
{
    if (isBusy()) {
        runWhenIdle([this] { cancelAction(); });
        return;
    }
    endStroke();
    if (m_pasteArmed) {
        cancelPaste(QStringLiteral("Paste cancelled"));
    } else if (m_movePending) {
        dropMove(QStringLiteral("Move cancelled"));
    } else if (m_bandActive) {
        // Repainted, so the band does not stay on the screen without a band behind it.
        m_bandActive = false;
        update();
    } else if (m_paintOn) {
        setCursor(Qt::ArrowCursor);
        m_paintOn = false;
        emit paintModeChanged(-1);
    } else {
        landSelection.clear();
        staticSelection.clear();
        update();
    }
}
