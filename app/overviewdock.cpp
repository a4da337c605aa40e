#include "app/overviewdock.h"
#include "view/glmapwidget.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

OverviewWidget::OverviewWidget(GLMapWidget *view, QWidget *parent) : QWidget(parent), m_view(view)
{
    setObjectName(QStringLiteral("overviewWidget"));
    setMinimumSize(120, 90);
    setCursor(Qt::CrossCursor);
    // Repainted with every frame of the view (it moved, zoomed, turned or changed facet)
    // and whenever an edit recolours the facet.
    connect(m_view, &GLMapWidget::framePainted, this, [this] {
        if (isVisible())
            update();
    });
    connect(&m_view->overview(), &OverviewLayer::imageChanged, this, [this] {
        if (isVisible())
            update();
    });
}

bool OverviewWidget::ensureImage()
{
    const int facet = m_view->mapid();
    OverviewLayer &layer = m_view->overview();
    // What is built so far: the rest comes in pieces, each telling imageChanged.
    const OverviewImage *image = &layer.imageSoFar(facet);
    if (image->isNull()) {
        m_imageSize = QSize();
        m_scaled = QPixmap();
        return false;
    }
    m_imageSize = image->image().size();
    const QString refusal = layer.colourRefusal();
    setToolTip(refusal.isEmpty() ? QString() : tr("Colours from the art: %1").arg(refusal));
    const QSize target = pictureRect().size().toSize();
    if (target.isEmpty())
        return false;
    if (m_scaledFacet != facet || m_scaledRevision != image->revision() || m_scaled.size() != target) {
        // Smoothed once the image is whole; while pieces come in, the quick sampling that
        // keeps each step short.
        const Qt::TransformationMode how = image->isComplete() ? Qt::SmoothTransformation : Qt::FastTransformation;
        m_scaled = QPixmap::fromImage(image->image().scaled(target, Qt::IgnoreAspectRatio, how));
        m_scaledFacet = facet;
        m_scaledRevision = image->revision();
    }
    return true;
}

QRectF OverviewWidget::pictureRect() const
{
    if (m_imageSize.isEmpty() || width() <= 0 || height() <= 0)
        return QRectF();
    const double s = std::min(double(width()) / m_imageSize.width(), double(height()) / m_imageSize.height());
    const double w = m_imageSize.width() * s, h = m_imageSize.height() * s;
    return QRectF(std::floor((width() - w) / 2), std::floor((height() - h) / 2), std::round(w), std::round(h));
}

QPoint OverviewWidget::cellAt(const QPointF &pos) const
{
    const QRectF r = pictureRect();
    if (r.isEmpty())
        return QPoint(-1, -1);
    const int x = int(std::floor((pos.x() - r.left()) / r.width() * m_imageSize.width()));
    const int y = int(std::floor((pos.y() - r.top()) / r.height() * m_imageSize.height()));
    return QPoint(std::clamp(x, 0, m_imageSize.width() - 1), std::clamp(y, 0, m_imageSize.height() - 1));
}

QPointF OverviewWidget::pointOf(const QPointF &cell) const
{
    const QRectF r = pictureRect();
    if (r.isEmpty())
        return QPointF();
    return QPointF(r.left() + cell.x() * r.width() / m_imageSize.width(),
                   r.top() + cell.y() * r.height() / m_imageSize.height());
}

QPolygonF OverviewWidget::viewOutline() const
{
    QPolygonF outline;
    if (m_imageSize.isEmpty())
        return outline;
    const auto corners = OverviewLayer::footprint(m_view->viewSpec(m_view->mode()), m_view->currentX(),
                                                  m_view->currentY());
    for (const QPointF &c : corners)
        outline << pointOf(c);
    return outline;
}

void OverviewWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    update();
}

void OverviewWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!ensureImage())
        return;
    const QRectF r = pictureRect();
    p.drawPixmap(r.topLeft(), m_scaled);
    p.setClipRect(r);
    p.setRenderHint(QPainter::Antialiasing);
    const QPolygonF outline = viewOutline();
    p.setPen(QPen(QColor(0, 0, 0, 160), 3));
    p.drawPolygon(outline);
    p.setPen(QPen(QColor(255, 255, 255), 1.5));
    p.drawPolygon(outline);
}

void OverviewWidget::move(const QPointF &pos)
{
    if (!ensureImage())
        return;
    const QPoint cell = cellAt(pos);
    if (cell.x() < 0)
        return;
    if (cell == QPoint(m_view->currentX(), m_view->currentY()))
        return;
    emit moveTo(cell.x(), cell.y());
}

void OverviewWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        move(event->position());
}

void OverviewWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        move(event->position());
}
