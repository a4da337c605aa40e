// The Overview dock and the far zoom, as a user meets them: Window > Overview shows the
// whole facet with the view outlined, a click and a drag in it move the view, its close
// button unchecks the entry; far out the map view draws the same colours the dock shows.
#include "app/mainwindow.h"
#include "app/overviewdock.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "view/overviewlayer.h"
#include "world/overviewimage.h"

#include <QAbstractButton>
#include <QDockWidget>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLVersionFunctionsFactory>
#include <QScrollBar>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// A cell in the middle of a patch of one colour 9 x 9 cells wide, found from the facet's
// middle outwards: the frame's pixel there shows that colour whatever the rounding.
QPoint uniformCell(const OverviewImage &img)
{
    for (int r = 0; r < std::max(img.width(), img.height()) / 2; r += 3) {
        for (int k = 0; k < 8 * std::max(r, 1); ++k) {
            const double a = 2 * M_PI * k / (8 * std::max(r, 1));
            const int x = img.width() / 2 + int(r * std::cos(a)), y = img.height() / 2 + int(r * std::sin(a));
            if (x < 4 || y < 4 || x >= img.width() - 4 || y >= img.height() - 4)
                continue;
            bool same = true;
            for (int dy = -4; dy <= 4 && same; ++dy)
                for (int dx = -4; dx <= 4 && same; ++dx)
                    same = img.colourAt(x + dx, y + dy) == img.colourAt(x, y);
            if (same)
                return QPoint(x, y);
        }
    }
    return QPoint(-1, -1);
}

bool near(QRgb a, quint16 c555)
{
    const int r = ((c555 >> 10) & 31) << 3, g = ((c555 >> 5) & 31) << 3, b = (c555 & 31) << 3;
    return std::abs(qRed(a) - r) <= 8 && std::abs(qGreen(a) - g) <= 8 && std::abs(qBlue(a) - b) <= 8;
}

} // namespace

class OverviewDockTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        TestEnvironment::useDataDirectory(env->copyOfSample());
    }
    void cleanupTestCase() { env.reset(); }

    void dockMovesTheViewAndFarZoomDrawsIt_data()
    {
        QTest::addColumn<int>("facet");
        QTest::addColumn<int>("mode");
        QTest::newRow("Ilshenar, flat") << 2 << 0;
        QTest::newRow("Malas, isometric") << 3 << 1;
    }
    void dockMovesTheViewAndFarZoomDrawsIt()
    {
        QFETCH(int, facet);
        QFETCH(int, mode);
        mainWindow w;
        w.resize(1000, 760);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        (facet == 2 ? w.fileFacetIlshenerAction : w.fileFacetMalasAction)->trigger();
        (mode == 0 ? w.viewElevationFlatAction : w.viewElevationIsometricAction)->trigger();
        GLMapWidget &view = *w.view();
        QCOMPARE(view.mapid(), facet);

        QVERIFY(!w.overviewDock()->isVisible());
        QVERIFY(w.windowOverviewAction->isCheckable() && !w.windowOverviewAction->isChecked());
        QCOMPARE(w.windowOverviewAction->text(), QStringLiteral("Overview"));
        w.windowOverviewAction->trigger();
        QTRY_VERIFY(w.overviewDock()->isVisible());
        OverviewWidget &ow = *w.overviewWidget();
        QTRY_VERIFY(!ow.pictureRect().isEmpty());
        const OverviewImage &img = view.overview().image(facet);
        QCOMPARE(img.width(), w.scrollHorz->maximum());
        QCOMPARE(img.height(), w.scrollVert->maximum());
        // The picture fills the dock one way and keeps the facet's proportions.
        const QRectF pic = ow.pictureRect();
        QVERIFY(std::abs(pic.width() - ow.width()) <= 1 || std::abs(pic.height() - ow.height()) <= 1);
        QVERIFY(std::abs(pic.width() / pic.height() - double(img.width()) / img.height()) < 0.02);

        // A click moves the view to the cell under it, through the scroll bars too; the
        // outline then lies around the new centre.
        const QPoint target(img.width() / 3, (2 * img.height()) / 3);
        QTest::mouseClick(&ow, Qt::LeftButton, {}, ow.pointOf(QPointF(target) + QPointF(0.5, 0.5)).toPoint());
        const int tol = int(std::ceil(img.width() / pic.width())) + 1;
        QTRY_VERIFY(std::abs(view.currentX() - target.x()) <= tol && std::abs(view.currentY() - target.y()) <= tol);
        QCOMPARE(w.scrollHorz->value(), view.currentX());
        QCOMPARE(w.scrollVert->value(), view.currentY());
        const QPolygonF outline = ow.viewOutline();
        QCOMPARE(outline.size(), 4);
        const QPoint middle = ow.cellAt((outline[0] + outline[2]) / 2);
        QVERIFY(std::abs(middle.x() - view.currentX()) <= tol && std::abs(middle.y() - view.currentY()) <= tol);

        // A drag follows the pointer.
        const QPoint from = ow.pointOf(QPointF(img.width() / 4.0, img.height() / 4.0)).toPoint();
        const QPoint to = ow.pointOf(QPointF(img.width() * 0.8, img.height() * 0.3)).toPoint();
        QTest::mousePress(&ow, Qt::LeftButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, QPointF(to), ow.mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&ow, &drag);
        QTest::mouseRelease(&ow, Qt::LeftButton, {}, to);
        const QPoint dragged = ow.cellAt(to);
        QTRY_VERIFY(std::abs(view.currentX() - dragged.x()) <= 1 && std::abs(view.currentY() - dragged.y()) <= 1);

        // Far out the view draws the overview: nothing walked, the colour the dock has.
        const QPoint patch = uniformCell(img);
        QVERIFY2(patch.x() >= 0, "no patch of one colour in the sample");
        w.setMapXY(patch.x(), patch.y());
        view.setScale(0.08);
        const QImage frame = view.grabFramebuffer();
        QCOMPARE(view.walkStats().visited, qint64(0));
        QCOMPARE(view.drawList().size(), std::size_t(0));
        QVERIFY(view.overview().lastDrawn() > 0 && view.overview().textureCount() >= view.overview().lastDrawn());
        const QRgb seen = frame.pixel(frame.width() / 2, frame.height() / 2 + 2);
        QVERIFY2(near(seen, img.colourAt(patch.x(), patch.y())),
                 qPrintable(QString("frame %1, overview %2").arg(seen, 8, 16).arg(img.colourAt(patch.x(), patch.y()), 4, 16)));
        // Back above the threshold the cells are walked again.
        view.setScale(0.125);
        view.grabFramebuffer();
        QVERIFY(view.walkStats().visited > 0);

        // The dock's own close button unchecks its Window entry.
        QAbstractButton *close = w.overviewDock()->findChild<QAbstractButton *>(QStringLiteral("qt_dockwidget_closebutton"));
        QVERIFY(close);
        close->click();
        QTRY_VERIFY(!w.overviewDock()->isVisible());
        QVERIFY(!w.windowOverviewAction->isChecked());
    }

    // Far out each overview texture is drawn from its pyramid: every level holds, cell for
    // cell, the mean of the image's cells it stands for (an edge tile's padding repeating
    // its last column and row), so a pixel spanning many cells shows their colour.
    void farTexturesHoldTheMeansOfTheirCells()
    {
        GLMapWidget view;
        view.resize(800, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setMapid(2);
        view.setStatics(true);
        view.setScale(0.002);
        const OverviewImage &img = view.overview().image(2);
        view.setCenter(img.width() / 2, img.height() / 2);
        QTRY_VERIFY_WITH_TIMEOUT(view.overview().isBuilt(2), 60000);
        QVERIFY(img.width() % OverviewLayer::TileCells != 0); // an edge tile with padding
        view.makeCurrent();
        int frames = 0;
        for (view.drawFrame(); !view.frameWhole() && frames < 200; ++frames)
            view.drawFrame();
        QVERIFY(view.frameWhole());
        auto *gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(view.context());
        QVERIFY(gl);
        const int T = OverviewLayer::TileCells, tilesX = (img.width() + T - 1) / T;
        struct Probe {
            int tx, ty, level;
        };
        for (const Probe &p : {Probe{tilesX - 1, 0, 0}, Probe{tilesX - 1, 0, 3}, Probe{1, 1, 1}, Probe{1, 1, 5},
                               Probe{0, 0, 9}}) {
            const GLuint name = view.overview().textureOf(p.tx, p.ty);
            QVERIFY2(name != 0, qPrintable(QString("tile %1,%2").arg(p.tx).arg(p.ty)));
            const int n = T >> p.level, span = 1 << p.level;
            std::vector<quint16> texels(size_t(n) * n);
            gl->glBindTexture(GL_TEXTURE_2D, name);
            GLint filter = 0;
            gl->glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
            QVERIFY(filter == GL_NEAREST_MIPMAP_NEAREST || filter == GL_LINEAR_MIPMAP_NEAREST
                    || filter == GL_NEAREST_MIPMAP_LINEAR || filter == GL_LINEAR_MIPMAP_LINEAR);
            gl->glPixelStorei(GL_PACK_ALIGNMENT, 2);
            gl->glGetTexImage(GL_TEXTURE_2D, p.level, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, texels.data());
            gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
            gl->glBindTexture(GL_TEXTURE_2D, 0);
            const int x0 = p.tx * T, y0 = p.ty * T;
            const int w = std::min(T, img.width() - x0), h = std::min(T, img.height() - y0);
            int wrong = 0;
            for (int y = 0; y < n; ++y) {
                for (int x = 0; x < n; ++x) {
                    int sum[3] = {0, 0, 0};
                    for (int dy = 0; dy < span; ++dy) {
                        for (int dx = 0; dx < span; ++dx) {
                            const quint16 c = img.colourAt(x0 + std::min(x * span + dx, w - 1),
                                                           y0 + std::min(y * span + dy, h - 1));
                            for (int k = 0; k < 3; ++k)
                                sum[k] += (c >> (5 * k)) & 31;
                        }
                    }
                    const quint16 got = texels[size_t(y) * n + x];
                    bool ok = true;
                    for (int k = 0; k < 3; ++k)
                        ok = ok && std::abs(((got >> (5 * k)) & 31) - double(sum[k]) / (span * span)) <= 0.5;
                    wrong += !ok;
                }
            }
            QVERIFY2(wrong == 0, qPrintable(QString("tile %1,%2 level %3: %4 of %5 cells off the mean")
                                                .arg(p.tx).arg(p.ty).arg(p.level).arg(wrong).arg(n * n)));
        }
    }
};

QTEST_MAIN(OverviewDockTest)
#include "overview_test.moc"
