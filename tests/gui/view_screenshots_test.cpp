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

QTEST_MAIN(ViewScreenshotsTest)
#include "view_screenshots_test.moc"
