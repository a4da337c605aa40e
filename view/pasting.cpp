// Copy and paste through the system clipboard. Copy puts the selection on it as the
// program's XML; Paste arms: the area's cells are outlined on the land the walk draws under
// them, with the area's corner on the cell under the pointer, until a left click places it
// (one step of the document) or Escape or a right click drops it. The outline comes from
// the walk's own land quads, the same ones the cell under the pointer is found in, so it
// lies where a click would paste in every projection and at every pixel ratio.
#include "view/glmapwidget.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>

namespace {

constexpr std::array<quint8, 4> kPasteFill{80, 200, 255, 90};
constexpr std::array<quint8, 4> kPasteEdge{120, 230, 255, 255};

QByteArray clipboardXml()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return QByteArray();
    if (data->hasFormat(QStringLiteral("application/xml")))
        return data->data(QStringLiteral("application/xml"));
    return data->text().toUtf8();
}

QString unusableClipboardText(const QString &why)
{
    return QStringLiteral("Paste: the clipboard holds no tiles of this program (%1)").arg(why);
}

} // namespace

void GLMapWidget::copySelection()
{
    const QByteArray xml = m_doc.copySelection();
    if (xml.isEmpty()) {
        emit statusMessage(QStringLiteral("Copy: nothing is selected"));
        return;
    }
    auto *data = new QMimeData;
    data->setData(QStringLiteral("application/xml"), xml);
    data->setText(QString::fromUtf8(xml));
    QGuiApplication::clipboard()->setMimeData(data);
    emit statusMessage(QStringLiteral("Copied the selection"));
}

void GLMapWidget::armPaste(const QPoint &cell)
{
    if (isBusy()) {
        runWhenIdle([this, cell] { armPaste(cell); });
        return;
    }
    const QByteArray xml = clipboardXml();
    QString error;
    const std::vector<QPoint> cells = MapDocument::areaCells(xml, &error);
    if (cells.empty()) {
        emit statusMessage(unusableClipboardText(error));
        return;
    }
    QPoint at = cell;
    if (at.x() < 0 || at.y() < 0) {
        at = m_hoverCell;
        const QPoint pos = mapFromGlobal(QCursor::pos());
        if (rect().contains(pos)) {
            const CellHit hit = cellAt(pos.x(), pos.y());
            if (hit.isValid())
                at = QPoint(hit.x, hit.y);
        }
    }
    // The pointer's next press is the paste's: nothing else is half done meanwhile.
    endStroke();
    dropMove(QString());
    m_bandActive = false;
    m_pasteXml = xml;
    m_pasteCells.clear();
    for (const QPoint &c : cells)
        m_pasteCells.emplace(c.x(), c.y());
    m_pasteAnchor = at;
    m_pasteArmed = true;
    setCursor(Qt::CrossCursor);
    emit gestureChanged();
    update();
}

void GLMapWidget::cancelPaste(const QString &why)
{
    if (!m_pasteArmed)
        return;
    m_pasteArmed = false;
    m_pasteXml.clear();
    m_pasteCells.clear();
    m_pasteQuads.clear();
    setCursor(m_paintOn ? Qt::PointingHandCursor : Qt::ArrowCursor);
    emit gestureChanged();
    if (!why.isEmpty())
        emit statusMessage(why);
    update();
}

void GLMapWidget::placeArmedPaste(const QPoint &pos)
{
    const CellHit hit = cellAt(pos.x(), pos.y());
    if (!hit.isValid()) {
        // Stays armed: the next click on the map places it.
        emit statusMessage(QStringLiteral("Paste: there is no cell under the pointer"));
        return;
    }
    const QByteArray xml = m_pasteXml;
    cancelPaste(QString());
    placePaste(xml, QPoint(hit.x, hit.y));
}

void GLMapWidget::pasteAt(const QPoint &cell)
{
    if (isBusy()) {
        runWhenIdle([this, cell] { pasteAt(cell); });
        return;
    }
    placePaste(clipboardXml(), cell);
}

void GLMapWidget::placePaste(const QByteArray &xml, const QPoint &cell)
{
    if (cell.x() < 0 || cell.y() < 0) {
        emit statusMessage(QStringLiteral("Paste: point at the cell to paste on"));
        return;
    }
    QString error;
    const int placed = m_doc.pasteArea(xml, cell.x(), cell.y(), m_pasteHeights, &error);
    if (placed < 0)
        emit statusMessage(unusableClipboardText(error));
    else
        emit statusMessage(QStringLiteral("Pasted %1 tiles at %2, %3").arg(placed).arg(cell.x()).arg(cell.y()));
    update();
}

void GLMapWidget::notePasteCell(int x, int y, int sx, int sy, const TileQuad &quad)
{
    if (!m_pasteCells.count({x - m_pasteAnchor.x(), y - m_pasteAnchor.y()}))
        return;
    PasteQuad q;
    q.cell = QPoint(x, y);
    const mapgeometry::Corner *order[4] = {&quad.top(), &quad.left(), &quad.bottom(), &quad.right()};
    for (int i = 0; i < 4; ++i)
        q.corners[size_t(i)] = {float(sx + order[i]->x), float(sy + order[i]->y), float(order[i]->z)};
    m_pasteQuads.push_back(q);
}

std::vector<QPoint> GLMapWidget::pastePreviewCells() const
{
    std::vector<QPoint> cells;
    cells.reserve(m_pasteQuads.size());
    for (const PasteQuad &q : m_pasteQuads)
        cells.push_back(q.cell);
    return cells;
}

void GLMapWidget::drawPastePreview()
{
    if (m_pasteQuads.empty())
        return;
    // Over everything the frame drew, depth test or not: the area shows where it would
    // land even under tall statics. Fills first, then every outline on top.
    DrawList list;
    list.reserve(m_pasteQuads.size() * 2);
    const float u = TextureAtlas::whiteU(), v = TextureAtlas::whiteV();
    for (const bool edge : {false, true}) {
        const std::array<quint8, 4> &rgba = edge ? kPasteEdge : kPasteFill;
        for (const PasteQuad &q : m_pasteQuads) {
            std::array<DrawList::Vertex, 4> corners;
            for (size_t i = 0; i < 4; ++i)
                corners[i] = vertex(q.corners[i][0], q.corners[i][1], q.corners[i][2], u, v, rgba);
            DrawList::Entry names;
            names.x = q.cell.x();
            names.y = q.cell.y();
            names.kind = DrawList::GridOutline;
            list.add(names, edge ? DrawList::Outline : DrawList::Quad, 0, corners);
        }
    }
    list.submit(this);
    glColor4fv(m_defaultColor.data());
}
