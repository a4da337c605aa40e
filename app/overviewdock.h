#pragma once
#include <QImage>
#include <QPixmap>
#include <QPolygonF>
#include <QWidget>

class GLMapWidget;

// The Overview dock's picture: the whole current facet scaled to fit, north up, with the
// part the map view shows outlined. A click or a drag asks for the view to be moved to the
// cell under the pointer (moveTo); the window does that through its own set-position path.
class OverviewWidget : public QWidget
{
    Q_OBJECT
public:
    explicit OverviewWidget(GLMapWidget *view, QWidget *parent = nullptr);

    // Where the facet's picture lies in the widget, and the cell under a widget point
    // (limited to the facet); both empty / (-1, -1) before the facet has an image.
    QRectF pictureRect() const;
    QPoint cellAt(const QPointF &pos) const;
    // The widget point of a cell: the inverse of cellAt.
    QPointF pointOf(const QPointF &cell) const;
    // The outline of what the view shows, in widget points.
    QPolygonF viewOutline() const;
    QSize sizeHint() const override { return QSize(260, 200); }

signals:
    void moveTo(int x, int y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The facet's size in cells and its image, built when first needed.
    bool ensureImage();
    void move(const QPointF &pos);

    GLMapWidget *m_view;
    QPixmap m_scaled;        // the image at pictureRect's size
    int m_scaledFacet = -1;
    quint64 m_scaledRevision = 0;
    QSize m_imageSize;
};
