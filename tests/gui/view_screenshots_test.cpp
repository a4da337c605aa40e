// The real main window showing the sample world in each projection. Checks that every
// projection shows a world (land of several kinds, statics over it), that the whole facet
// drawn from its overview fills its outline and nothing else, and, when
// TESSARYN_SCREENSHOTS names a directory, writes flat.png, iso.png, 3d.png, overview.png
// and the others there (scripts/screenshots.sh).
#include "app/mainwindow.h"
#include "sampleworld/sampleworld.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "world/overviewimage.h"

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

// Writes the picture under the name into the folder TESSARYN_SCREENSHOTS names, if any
// (scripts/screenshots.sh); true unless writing failed.
bool saveShot(const QImage &img, const QString &file)
{
    const QString out = qEnvironmentVariable("TESSARYN_SCREENSHOTS");
    return out.isEmpty() || (QDir().mkpath(out) && img.save(QDir(out).filePath(file)));
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

// A cell in the middle of a square of (2 r + 1) x (2 r + 1) cells of one colour, or (-1, -1).
QPoint uniformSquare(const OverviewImage &img, int r)
{
    for (int y = r; y < img.height() - r; y += 8) {
        for (int x = r; x < img.width() - r; x += 8) {
            const quint16 c = img.colourAt(x, y);
            bool same = true;
            for (int dy = -r; dy <= r && same; ++dy)
                for (int dx = -r; dx <= r && same; ++dx)
                    same = img.colourAt(x + dx, y + dy) == c;
            if (same)
                return QPoint(x, y);
        }
    }
    return QPoint(-1, -1);
}

// The small sample's Ilshenar in a window of size, centred where findScene finds land
// and statics, statics on, in mode. False when the window is never shown.
bool showSample(GLMapWidget &view, QSize size, int mode)
{
    TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
    view.resize(size);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return false;
    view.setMapid(2);
    const QPoint at = findScene(&view);
    view.setCenter(at.x(), at.y());
    view.setStatics(true);
    view.setMode(mode);
    return true;
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
    void wholeFacetFromItsOverview_data();
    void wholeFacetFromItsOverview();
    void overviewLetGoAtDetailScaleComesBackTheSame_data();
    void overviewLetGoAtDetailScaleComesBackTheSame();
    void aListDrawnOverFramesEndsInTheSamePicture_data();
    void aListDrawnOverFramesEndsInTheSamePicture();

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
        QVERIFY(saveShot(img, QLatin1String(shot.file)));
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
    GLMapWidget view;
    QVERIFY(showSample(view, size, mode));
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
    QVERIFY(saveShot(img, file));
}

void ViewScreenshotsTest::wholeFacetFromItsOverview_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("file");
    QTest::newRow("flat") << 0 << "overview.png";
    QTest::newRow("isometric") << 1 << "overview-iso.png";
}

void ViewScreenshotsTest::wholeFacetFromItsOverview()
{
    QFETCH(int, mode);
    QFETCH(QString, file);
    TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
    GLMapWidget view;
    view.resize(1000, 720);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setMapid(2);
    const int W = view.blockCache().blocksX() * 8, H = view.blockCache().blocksY() * 8;
    const int cx = W / 2, cy = H / 2;
    view.setCenter(cx, cy);
    view.setStatics(true);
    view.setMode(mode);
    // The facet's diamond, (W + H) x 22 units either way, as tall as the window.
    const double scale = std::min(view.width(), view.height()) / (double(W + H) * 22);
    view.setScale(scale);

    // The first far frame builds nothing: the image comes in pieces between events, and
    // what is not built yet stays dark.
    QVERIFY(blackShare(view.grabFramebuffer()) > 0.99);
    QVERIFY(!view.overview().isBuilt(2));
    QTRY_VERIFY_WITH_TIMEOUT(view.overview().isBuilt(2), 30000);
    // The textures of the last pieces built may wait for a later frame.
    QImage img = view.grabFramebuffer();
    for (int i = 0; i < 100 && view.overview().uploadsPending(); ++i)
        img = view.grabFramebuffer();
    QVERIFY(!view.overview().uploadsPending());
    QVERIFY(!img.isNull());
    const OverviewImage &overview = view.overview().image(2);
    QCOMPARE(overview.width(), W);

    // Window pixel of the scene point (X, Y) (units from the centre cell's top corner).
    const double ratio = double(img.width()) / view.width();
    const auto pixelOf = [&](double X, double Y) {
        return QPointF((view.width() / 2 + X * scale) * ratio, (view.height() / 2 - Y * scale) * ratio);
    };
    // Each pixel (every 3rd looked at) well inside the facet's outline, amid cells whose
    // overview colour is not black (the sample has black void around its caves), shows
    // land; each well outside it is the cleared black; no run of black inside.
    const double margin = 3.0 / (22 * scale); // 3 pixels, in cells
    const int near = int(margin) + 4;
    const auto amidColour = [&](int x, int y) {
        for (int dy = -near; dy <= near; dy += 2)
            for (int dx = -near; dx <= near; dx += 2)
                if (overview.colourAt(x + dx, y + dy) == 0)
                    return false;
        return true;
    };
    QRect lit;
    int inside = 0, blackInside = 0, litOutside = 0, run = 0, widestRun = 0;
    for (int py = 0; py < img.height(); py += 3) {
        run = 0;
        for (int px = 0; px < img.width(); px += 3) {
            const double X = (px / ratio - view.width() / 2) / scale, Y = (view.height() / 2 - py / ratio) / scale;
            const double x = cx + (X - Y) / 44, y = cy + (-X - Y) / 44;
            const bool black = (img.pixel(px, py) & 0xFFFFFF) == 0;
            if (!black)
                lit |= QRect(px, py, 1, 1);
            if (x > margin && y > margin && x < W - margin && y < H - margin) {
                if (!amidColour(int(x), int(y))) {
                    run = 0;
                    continue;
                }
                ++inside;
                blackInside += black;
                run = black ? run + 1 : 0;
                widestRun = std::max(widestRun, run);
            } else if (x < -margin || y < -margin || x > W + margin || y > H + margin) {
                litOutside += !black;
            }
        }
    }
    // The diamond is half the window's height squared; the void and the margins take some.
    QVERIFY2(inside > img.height() * img.height() / 2 / 9 * 3 / 4, qPrintable(QString::number(inside)));
    QVERIFY2(blackInside * 100 < inside, qPrintable(QString("%1 of %2 black").arg(blackInside).arg(inside)));
    QVERIFY2(widestRun < 3, qPrintable(QString("black run of %1 px").arg(3 * widestRun)));
    QCOMPARE(litOutside, 0);
    // What is lit spans the cells of a colour other than black, lifted in isometric
    // projection; the facet's top and bottom corners touch the window's edges.
    QRectF expected;
    for (int y = 0; y < H; y += 4)
        for (int x = 0; x < W; x += 4) {
            if (overview.colourAt(x, y) == 0)
                continue;
            const int dx = x - cx, dy = y - cy;
            const int lift = mode == 1 ? 4 * overview.heightAt(x, y) : 0;
            expected |= QRectF(pixelOf((dx - dy) * 22 - 22, -(dx + dy) * 22 + lift),
                               pixelOf((dx - dy) * 22 + 22, -(dx + dy) * 22 - 44 + lift));
        }
    QVERIFY2(std::abs(lit.left() - expected.left()) <= 4 && std::abs(lit.right() - expected.right()) <= 4
                 && std::abs(lit.top() - expected.top()) <= 4 && std::abs(lit.bottom() - expected.bottom()) <= 4
                 && lit.top() <= 4 && lit.bottom() >= img.height() - 5,
             qPrintable(QString("lit %1,%2 %3x%4, cells of a colour %5,%6 %7x%8")
                            .arg(lit.x()).arg(lit.y()).arg(lit.width()).arg(lit.height())
                            .arg(expected.x()).arg(expected.y()).arg(expected.width()).arg(expected.height())));

    // A square of land of one colour, 8 pixels across, is drawn in that one colour, where
    // its cells are (lifted by their height in isometric projection).
    const QPoint patch = uniformSquare(overview, int(std::ceil(4 / (22 * scale))));
    QVERIFY2(patch.x() >= 0, "no square of one colour in the sample");
    const int dx = patch.x() - cx, dy = patch.y() - cy;
    const int lift = mode == 1 ? 4 * overview.heightAt(patch.x(), patch.y()) : 0;
    const QPoint at = pixelOf((dx - dy) * 22, -(dx + dy) * 22 - 22 + lift).toPoint();
    const quint16 c = overview.colourAt(patch.x(), patch.y());
    const QRgb want = qRgb(((c >> 10) & 31) << 3, ((c >> 5) & 31) << 3, (c & 31) << 3);
    for (int oy = -2; oy <= 2; ++oy)
        for (int ox = -2; ox <= 2; ++ox) {
            const QRgb seen = img.pixel(at + QPoint(ox, oy));
            QVERIFY2(std::abs(qRed(seen) - qRed(want)) <= 8 && std::abs(qGreen(seen) - qGreen(want)) <= 8
                         && std::abs(qBlue(seen) - qBlue(want)) <= 8 && seen == img.pixel(at),
                     qPrintable(QString("cell %1,%2 at pixel %3,%4: %5, overview %6")
                                    .arg(patch.x()).arg(patch.y()).arg(at.x() + ox).arg(at.y() + oy)
                                    .arg(seen, 8, 16).arg(want, 8, 16)));
        }

    QVERIFY(saveShot(img, file));
}

void ViewScreenshotsTest::overviewLetGoAtDetailScaleComesBackTheSame_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("flat") << 0;
    QTest::newRow("isometric") << 1;
}

// Zoomed in well past the overview's scale the view lets go of its textures; zoomed out
// again it uploads them anew, a few a frame, and the picture is the one it had.
void ViewScreenshotsTest::overviewLetGoAtDetailScaleComesBackTheSame()
{
    QFETCH(int, mode);
    TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
    GLMapWidget view;
    view.resize(1000, 720);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setMapid(2);
    const int W = view.blockCache().blocksX() * 8, H = view.blockCache().blocksY() * 8;
    view.setCenter(W / 2, H / 2);
    view.setStatics(true);
    view.setMode(mode);
    const double whole = std::min(view.width(), view.height()) / (double(W + H) * 22);
    view.setScale(whole);
    view.grabFramebuffer();
    QTRY_VERIFY_WITH_TIMEOUT(view.overview().isBuilt(2), 30000);
    // Every texture of the facet up, however many frames that takes.
    const auto settled = [&view] {
        QImage img = view.grabFramebuffer();
        for (int i = 0; i < 200 && view.overview().uploadsPending(); ++i)
            img = view.grabFramebuffer();
        return img;
    };
    const QImage before = settled();
    QVERIFY(!view.overview().uploadsPending());
    const int textures = view.overview().textureCount();
    QVERIFY(textures > 0 && view.overview().lastDrawn() == textures);
    QVERIFY(blackShare(before) < 0.95);

    // Just inside the detail scales they stay (a walk not finished is drawn over them);
    // at scale 1, once a frame draws its walk whole, they are gone.
    view.setScale(OverviewLayer::DetailScale * 1.2);
    view.grabFramebuffer();
    QCOMPARE(view.overview().textureCount(), textures);
    view.setScale(1.0);
    view.grabFramebuffer();
    for (int i = 0; i < 100 && !view.frameWhole(); ++i)
        view.grabFramebuffer();
    view.grabFramebuffer();
    QCOMPARE(view.overview().textureCount(), 0);

    // Out again: the same picture once all are back, each uploaded once more.
    const qint64 uploads = view.overview().uploads();
    view.setScale(whole);
    const QImage after = settled();
    QVERIFY(!view.overview().uploadsPending());
    QCOMPARE(view.overview().textureCount(), textures);
    QCOMPARE(view.overview().uploads() - uploads, qint64(textures));
    if (after != before) {
        // Both pictures kept for a look, beside the test's other temporary files.
        const QString name = QDir::temp().filePath(mode == 0 ? QStringLiteral("overview-back")
                                                             : QStringLiteral("overview-iso-back"));
        before.save(name + QStringLiteral("-before.png"));
        after.save(name + QStringLiteral("-after.png"));
        qWarning("pictures differ: %s-before.png, -after.png", qPrintable(name));
    }
    QCOMPARE(after, before);
}

void ViewScreenshotsTest::aListDrawnOverFramesEndsInTheSamePicture_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("degree");
    QTest::newRow("flat") << 0 << 0.0;
    QTest::newRow("isometric") << 1 << 0.0;
    QTest::newRow("3d turned") << 2 << 45.0;
}

// A list too large for one frame is drawn into a picture of its own a part a frame; the
// window shows the part done over the overview meanwhile, and at the end exactly what one
// frame drawing the whole list shows, where picking finds the same cells (3D reads depth).
void ViewScreenshotsTest::aListDrawnOverFramesEndsInTheSamePicture()
{
    QFETCH(int, mode);
    QFETCH(double, degree);
    GLMapWidget view;
    QVERIFY(showSample(view, QSize(900, 640), mode));
    view.setDegree(degree);
    view.setScale(0.25);
    const QList<QPoint> probes = {{450, 320}, {100, 80}, {800, 560}, {300, 500}, {620, 140}};
    const auto hits = [&view, &probes] {
        QList<QPoint> out;
        for (const QPoint &p : probes) {
            const auto hit = view.cellAt(p.x(), p.y());
            out.append(QPoint(hit.x, hit.y));
        }
        return out;
    };

    // Whole in one frame, the way a list one frame draws is drawn.
    view.setFrameLimits(std::numeric_limits<std::size_t>::max(), 1e9);
    QImage whole = view.grabFramebuffer();
    QVERIFY(view.frameWhole());
    const QList<QPoint> wholeHits = hits();
    QVERIFY(blackShare(whole) < 0.5);

    // A part a frame: the same list (nothing walked again), over several frames.
    const int walks = view.walkStats().walks;
    view.setFrameLimits(0, 0);
    const std::size_t parts = (view.drawList().indices().size() + 2048 * 6 - 1) / (2048 * 6);
    QVERIFY(parts >= 3);
    QImage img = view.grabFramebuffer();
    QVERIFY(!view.frameWhole());
    QVERIFY(img != whole);
    std::size_t frames = 1;
    for (; !view.frameWhole() && frames < 1000; ++frames)
        img = view.grabFramebuffer();
    QCOMPARE(frames, parts);
    QCOMPARE(view.walkStats().walks, walks);
    QCOMPARE(img, whole);
    QCOMPARE(hits(), wholeHits);
    // Steady: the picture shown again as it is.
    QCOMPARE(view.grabFramebuffer(), whole);
    QVERIFY(view.frameWhole());
}

QTEST_MAIN(ViewScreenshotsTest)
#include "view_screenshots_test.moc"
