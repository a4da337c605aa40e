// The map view on a scaled screen: window positions (the widget's own pixels) and GL
// (device pixels) meet in hover, picking and painting. Runs at a device pixel ratio of 1.5
// unless QT_SCALE_FACTOR says otherwise (the build runs it again at 2).
//
// The world: Ilshenar (facet 2), block 402 = cells 16..23 x 16..23 written, land id 3 at
// z 0 everywhere.
#include "gui/viewfixture.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace viewfixture;

namespace {

constexpr int kPaintId = 7;

void send(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void click(QWidget *w, const QPoint &p)
{
    send(w, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    send(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

} // namespace

class ViewPixelRatioTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pointerFindsItsCell_data();
    void pointerFindsItsCell();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void ViewPixelRatioTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    World w;
    w.facet = 2;
    w.landBlocks = {2 * 200 + 2};
    QVERIFY(writeWorld(dir, w));
    TestEnvironment::useDataDirectory(dir);

    m_view = std::make_unique<GLMapWidget>();
    m_view->resize(480, 360);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->setMapid(2);
    m_view->setTerrainMode(1);
    const double wanted = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    QCOMPARE(m_view->devicePixelRatioF(), wanted);
    QCOMPARE(m_view->grabFramebuffer().size(), m_view->framebufferSize());
}

void ViewPixelRatioTest::cleanupTestCase()
{
    m_view.reset();
    m_env.reset();
}

void ViewPixelRatioTest::pointerFindsItsCell_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("degree");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPoint>("cell");
    // Cells away from the centre, so an error that grows with the distance shows.
    QTest::newRow("flat, centre") << 0 << 0.0 << 1.0 << QPoint(20, 20);
    QTest::newRow("flat, far corner") << 0 << 0.0 << 1.0 << QPoint(22, 17);
    QTest::newRow("flat, zoomed in") << 0 << 0.0 << 2.0 << QPoint(18, 21);
    QTest::newRow("flat, turned") << 0 << 30.0 << 1.0 << QPoint(17, 19);
    QTest::newRow("isometric") << 1 << 0.0 << 1.0 << QPoint(21, 18);
    QTest::newRow("isometric, turned, zoomed") << 1 << 45.0 << 1.5 << QPoint(17, 22);
}

void ViewPixelRatioTest::pointerFindsItsCell()
{
    QFETCH(int, mode);
    QFETCH(double, degree);
    QFETCH(double, scale);
    QFETCH(QPoint, cell);
    GLMapWidget &v = *m_view;
    v.setMode(mode);
    v.setDegree(degree);
    v.setScale(scale);
    v.setCenter(20, 20);
    v.grabFramebuffer();
    const QPoint at = landPoint(v, cell.x(), cell.y());

    // Hover reports the cell under the pointer.
    QSignalSpy hover(&v, &GLMapWidget::currentTile);
    send(&v, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    QCOMPARE(hover.count(), 1);
    QCOMPARE(QPoint(hover[0][0].toInt(), hover[0][1].toInt()), cell);

    // A click selects that land cell and no other.
    v.setSelectMode(1);
    v.landSelection.clear();
    click(&v, at);
    QCOMPARE(v.landSelection.size(), 1);
    QCOMPARE(v.landSelection.firstKey(), cell.x());
    QCOMPARE(v.landSelection.first().keys(), QList<int>{cell.y()});
    v.landSelection.clear();

    // A click in paint mode paints that cell and leaves its neighbours.
    QCOMPARE(v.blockCache().land(cell.x(), cell.y()).id(), 3);
    v.setPaint(0, {kPaintId}, QString());
    QCOMPARE(v.switchPaintMode(), 0);
    click(&v, at);
    QCOMPARE(v.switchPaintMode(), -1);
    QCOMPARE(v.blockCache().land(cell.x(), cell.y()).id(), kPaintId);
    for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
        QCOMPARE(v.blockCache().land(cell.x() + d.x(), cell.y() + d.y()).id(), 3);
}

int main(int argc, char **argv)
{
    // Before the application exists: the ratio is fixed when the screens are made.
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "1.5");
    QApplication app(argc, argv);
    ViewPixelRatioTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "view_pixelratio_test.moc"
