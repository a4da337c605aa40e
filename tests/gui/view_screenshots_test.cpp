// The real main window showing the sample world in each projection. Checks that every
// projection shows a world (land of several kinds, statics over it), and, when
// TESSARYN_SCREENSHOTS names a directory, writes flat.png, iso.png and 3d.png there
// (scripts/screenshots.sh).
#include "app/mainwindow.h"
#include "sampleworld/sampleworld.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"

#include <QAction>
#include <QDir>
#include <QScrollBar>
#include <QSet>
#include <QtTest>

namespace {

// A building near water: walls within reach of the centre and some water in the region.
QPoint findScene(GLMapWidget *view)
{
    BlockCache &cache = view->blockCache();
    const int w = cache.blocksX() * 8, h = cache.blocksY() * 8;
    QPoint best(w / 2, h / 2);
    int bestScore = -1;
    for (int y = 24; y < h - 24; y += 4) {
        for (int x = 24; x < w - 24; x += 4) {
            const TileStack s = cache.statics(x, y);
            bool wall = false;
            for (const Tile &t : s)
                wall = wall || (t.id() >= sampleworld::item::StoneWallX && t.id() <= sampleworld::item::Battlement);
            if (!wall)
                continue;
            int water = 0, trees = 0;
            for (int dy = -16; dy <= 16; dy += 2) {
                for (int dx = -16; dx <= 16; dx += 2) {
                    const int id = cache.land(x + dx, y + dy).id();
                    water += id >= sampleworld::land::Water && id < sampleworld::land::Water + 4;
                    for (const Tile &t : cache.statics(x + dx, y + dy))
                        trees += t.id() >= sampleworld::item::OakTree && t.id() <= sampleworld::item::Leaves;
                }
            }
            const int score = std::min(water, 60) * 2 + std::min(trees, 80);
            if (score > bestScore) {
                bestScore = score;
                best = QPoint(x, y);
            }
        }
    }
    return best;
}

int distinctColours(const QImage &img)
{
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3)
            colours.insert(img.pixel(x, y) & 0xF0F0F0);
    return int(colours.size());
}

// The widest run of whole rows or whole columns (every 4th pixel looked at) that are black:
// a band the walk left undrawn.
int widestBlackBand(const QImage &img)
{
    const auto blackLine = [&](bool row, int i) {
        const int n = row ? img.width() : img.height();
        for (int j = 0; j < n; j += 4)
            if ((img.pixel(row ? j : i, row ? i : j) & 0xFFFFFF) != 0)
                return false;
        return true;
    };
    int widest = 0;
    for (const bool row : {true, false}) {
        int run = 0;
        for (int i = 0, n = row ? img.height() : img.width(); i < n; ++i) {
            run = blackLine(row, i) ? run + 1 : 0;
            widest = std::max(widest, run);
        }
    }
    return widest;
}

double blackShare(const QImage &img)
{
    int black = 0, all = 0;
    for (int y = 0; y < img.height(); y += 4)
        for (int x = 0; x < img.width(); x += 4) {
            ++all;
            black += (img.pixel(x, y) & 0xFFFFFF) == 0;
        }
    return double(black) / all;
}

} // namespace

class ViewScreenshotsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
    }
    void cleanupTestCase() { m_env.reset(); }

    void everyProjectionShowsTheWorld();
    void turnedAndTiltedViewsLeaveNoBand_data();
    void turnedAndTiltedViewsLeaveNoBand();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void ViewScreenshotsTest::everyProjectionShowsTheWorld()
{
    mainWindow w;
    w.resize(1000, 720);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.fileFacetIlshenerAction->trigger();
    GLMapWidget *view = w.view();
    QCOMPARE(view->mapid(), 2);
    const QPoint at = findScene(view);
    w.scrollHorz->setValue(at.x());
    w.scrollVert->setValue(at.y());
    w.viewStaticsAction->setChecked(true);
    QVERIFY(view->staticsOn());
    QCOMPARE(view->currentX(), at.x());

    const QString out = qEnvironmentVariable("TESSARYN_SCREENSHOTS");
    const struct {
        QAction *action;
        const char *file;
    } shots[] = {{w.viewElevationFlatAction, "flat.png"},
                 {w.viewElevationIsometricAction, "iso.png"},
                 {w.viewElevation3DAction, "3d.png"}};
    for (const auto &shot : shots) {
        shot.action->trigger();
        const QImage img = view->grabFramebuffer();
        QVERIFY(!img.isNull());
        // Textured land of several kinds with statics makes a rich picture; a test pattern,
        // an empty map or one flat colour would not.
        QVERIFY2(distinctColours(img) > 200, shot.file);
        QVERIFY2(blackShare(img) < 0.3, shot.file);
        QVERIFY(view->drawList().size() > view->drawnQuads().size());
        if (!out.isEmpty()) {
            QDir().mkpath(out);
            QVERIFY(img.save(QDir(out).filePath(QLatin1String(shot.file))));
        }
    }
}

void ViewScreenshotsTest::turnedAndTiltedViewsLeaveNoBand_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("degree");
    QTest::addColumn<double>("tilt");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("file");
    QTest::newRow("flat, turned 45, small") << 0 << 45.0 << 129.0 << 1.0 << QSize(640, 480) << "flat-45.png";
    QTest::newRow("isometric, zoomed in, wide") << 1 << 0.0 << 129.0 << 2.0 << QSize(1920, 1080) << "iso-wide.png";
    QTest::newRow("3D, turned 45") << 2 << 45.0 << 129.0 << 1.0 << QSize(1000, 720) << "3d-45.png";
    QTest::newRow("3D, turned 90") << 2 << 90.0 << 129.0 << 1.0 << QSize(1000, 720) << "3d-90.png";
    QTest::newRow("3D, turned 180") << 2 << 180.0 << 129.0 << 1.0 << QSize(1000, 720) << "3d-180.png";
    QTest::newRow("3D, tilt 90") << 2 << 0.0 << 90.0 << 1.0 << QSize(1000, 720) << "3d-tilt90.png";
    QTest::newRow("3D, tilt 180") << 2 << 0.0 << 180.0 << 1.0 << QSize(1000, 720) << "3d-tilt180.png";
    QTest::newRow("3D, tilt 0") << 2 << 0.0 << 0.0 << 1.0 << QSize(1000, 720) << "3d-tilt0.png";
}

void ViewScreenshotsTest::turnedAndTiltedViewsLeaveNoBand()
{
    QFETCH(int, mode);
    QFETCH(double, degree);
    QFETCH(double, tilt);
    QFETCH(double, scale);
    QFETCH(QSize, size);
    QFETCH(QString, file);
    TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
    GLMapWidget view;
    view.resize(size);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setMapid(2);
    const QPoint at = findScene(&view);
    view.setCenter(at.x(), at.y());
    view.setStatics(true);
    view.setMode(mode);
    view.setDegree(degree);
    view.setAngle(tilt);
    view.setScale(scale);
    const QImage img = view.grabFramebuffer();
    QVERIFY(!img.isNull());
    QVERIFY2(distinctColours(img) > 100, qPrintable(file));
    if (tilt > 0) {
        // Seen from above, land fills the window edge to edge.
        QVERIFY2(widestBlackBand(img) < 8, qPrintable(QStringLiteral("%1: band of %2 px").arg(file).arg(widestBlackBand(img))));
        QVERIFY2(blackShare(img) < 0.3, qPrintable(file));
    } else {
        // Along the ground the land shows edge on, as a strip with what stands on it.
        QVERIFY2(blackShare(img) < 0.97, qPrintable(file));
    }
    const QString out = qEnvironmentVariable("TESSARYN_SCREENSHOTS");
    if (!out.isEmpty()) {
        QDir().mkpath(out);
        QVERIFY(img.save(QDir(out).filePath(file)));
    }
}

QTEST_MAIN(ViewScreenshotsTest)
#include "view_screenshots_test.moc"
