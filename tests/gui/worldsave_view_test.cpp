// World saves in the map view: which facet receives them, items drawn only while dynamics
// are on, TYPE 255 items shown as statics at once, edits made before a load kept, and a
// failed load told in a box that does not wait.
//
// The world: the small Felucca of smallworld.h with a red item image (tile 3703) and a blue
// static image (tile 100). The view looks at cell (1000, 1500), flat, in height colours:
// land there is id 0 at z 0, drawn green.
#include "gui/smallworld.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "world/facet.h"

#include <QMessageBox>
#include <QtTest>

namespace {

constexpr int kItem = 3703, kBlue = 100;
constexpr int kBlock = 125 * smallworld::BlocksY + 187;

// Window pixel inside the 20 x 30 image of a static standing on cell (x, y); the view is
// 400 x 300, centred on (1000, 1500) at scale 1.
QPoint onStatic(int x, int y)
{
    int sx, sy;
    GLMapWidget::cellOffset(x, y, 1000, 1500, sx, sy);
    return QPoint(200 + sx, 150 - (sy - 30));
}

bool near(QRgb c, int r, int g, int b, int tolerance = 3)
{
    return std::abs(qRed(c) - r) <= tolerance && std::abs(qGreen(c) - g) <= tolerance
        && std::abs(qBlue(c) - b) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

int countItems(const Facet &facet)
{
    int n = 0;
    for (const auto &cells : facet.items())
        for (const TileStack &stack : cells)
            n += stack.size();
    return n;
}

} // namespace

class WorldSaveViewTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void itemsAndStaticsShowAtOnceAndItemsOnlyWithDynamics();
    void editsMadeBeforeTheLoadAreKept();
    void loadGoesToTheCurrentFacetOnly();
    void failedLoadIsToldWithoutWaiting();

private:
    QString save(const QString &name, const QByteArray &text);
    QImage frame() { return m_view->grabFramebuffer(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void WorldSaveViewTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(smallworld::write(dir, {}, {{kItem, 0x7C00}, {kBlue, 0x001F}}));
    TestEnvironment::useDataDirectory(dir);
    m_view = std::make_unique<GLMapWidget>();
    m_view->resize(400, 300);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void WorldSaveViewTest::cleanupTestCase()
{
    m_view.reset();
    m_env.reset();
}

void WorldSaveViewTest::init()
{
    GLMapWidget *v = m_view.get();
    v->setMapid(0);
    v->setMode(0);
    v->setScale(1.0);
    v->setDegree(0.0);
    v->setCenter(1000, 1500);
    v->setTerrainMode(1);
    v->setStatics(true);
    v->setDrawDynamics(false);
}

QString WorldSaveViewTest::save(const QString &name, const QByteArray &text)
{
    const QString path = m_env->root() + QLatin1Char('/') + name;
    if (!smallworld::writeFile(path, text))
        qFatal("could not write %s", qPrintable(path));
    return path;
}

void WorldSaveViewTest::itemsAndStaticsShowAtOnceAndItemsOnlyWithDynamics()
{
    // Draw first, so the block is cached before the load.
    m_view->setDrawDynamics(true);
    QImage img = frame();
    QVERIFY2(near(img.pixel(onStatic(1000, 1500)), 0, 129, 0), qPrintable(describe(img.pixel(onStatic(1000, 1500)))));
    QVERIFY(near(img.pixel(onStatic(1002, 1500)), 0, 129, 0));

    const QString path = save("shown.wsc", "SECTION WORLDITEM\n{\nID 3703\nX 1000\nY 1500\nZ 5\nCOLOR 0\n}\n"
                                           "SECTION WORLDITEM 1\n{\nID 100\nX 1002\nY 1500\nTYPE 255\n}\n");
    const WorldSaveResult r = m_view->readWorldSaveFile(path);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.items, 1);
    QCOMPARE(r.statics, 1);

    img = frame();
    QVERIFY2(near(img.pixel(onStatic(1000, 1500)), 248, 0, 0), qPrintable(describe(img.pixel(onStatic(1000, 1500)))));
    QVERIFY2(near(img.pixel(onStatic(1002, 1500)), 0, 0, 248), qPrintable(describe(img.pixel(onStatic(1002, 1500)))));
    bool listed = false;
    for (const DrawList::Entry &e : m_view->drawList().entries())
        listed = listed || (e.kind == DrawList::Item && e.id == kItem && e.x == 1000 && e.y == 1500);
    QVERIFY(listed);

    // Dynamics off: the item goes, the static made from the TYPE 255 item stays.
    m_view->setDrawDynamics(false);
    img = frame();
    QVERIFY2(near(img.pixel(onStatic(1000, 1500)), 0, 129, 0), qPrintable(describe(img.pixel(onStatic(1000, 1500)))));
    QVERIFY(near(img.pixel(onStatic(1002, 1500)), 0, 0, 248));
    for (const DrawList::Entry &e : m_view->drawList().entries())
        QVERIFY(e.kind != DrawList::Item);
}

void WorldSaveViewTest::editsMadeBeforeTheLoadAreKept()
{
    // An edit still in the cache, in the block the TYPE 255 item goes to.
    BlockCache &cache = m_view->blockCache();
    Tile post = m_view->tileData().staticTile(kBlue);
    post.setZ(7);
    cache.setStatic(1003, 1501, 0, post, post);
    QVERIFY(cache.changedStatics().count(kBlock));

    const QString path = save("edits.wsc", "SECTION WORLDITEM\n{\nID 100\nX 1001\nY 1502\nZ 2\nTYPE 255\n}\n");
    QVERIFY(m_view->readWorldSaveFile(path).ok);
    const auto ids = [&cache](int x, int y) {
        QList<QPair<int, int>> out;
        for (const Tile &t : cache.statics(x, y))
            out.append({t.id(), t.z()});
        return out;
    };
    QCOMPARE(ids(1003, 1501), (QList<QPair<int, int>>{{kBlue, 7}}));
    QCOMPARE(ids(1001, 1502), (QList<QPair<int, int>>{{kBlue, 2}}));
    // Both are in the working file too, so they outlive the cache.
    cache.setStatic(1000, 1500, 0, post, post);
    cache.flush();
    QCOMPARE(m_view->facet(0).loadStaticBlock(kBlock, true, false).tileCount(), 4);
}

void WorldSaveViewTest::loadGoesToTheCurrentFacetOnly()
{
    QVERIFY(m_view->readWorldSaveFile(save("fel.wsc", "SECTION WORLDITEM\n{\nID 3703\nX 10\nY 10\n}\n")).ok);
    QCOMPARE(countItems(m_view->facet(0)), 1);
    m_view->setMapid(2);
    const QString ilshenar = save("ilsh.wsc", "SECTION WORLDITEM\n{\nID 3703\nX 20\nY 20\n}\n"
                                              "SECTION WORLDITEM\n{\nID 3703\nX 21\nY 20\n}\n");
    QVERIFY(m_view->readWorldSaveFile(ilshenar).ok);
    QCOMPARE(countItems(m_view->facet(2)), 2);
    QCOMPARE(countItems(m_view->facet(0)), 1);
    QCOMPARE(m_view->blockCache().statics(21, 20).size(), 1);
    m_view->setMapid(0);
    QCOMPARE(m_view->blockCache().statics(10, 10).size(), 1);
}

void WorldSaveViewTest::failedLoadIsToldWithoutWaiting()
{
    QVERIFY(m_view->readWorldSaveFile(save("kept.wsc", "SECTION WORLDITEM\n{\nID 3703\nX 10\nY 10\n}\n")).ok);
    const QString missing = m_env->root() + "/missing.wsc";
    const WorldSaveResult r = m_view->readWorldSaveFile(missing);
    QVERIFY(!r.ok);

    m_view->loadWorldSave(missing); // returns at once: the box does not run its own loop
    auto *box = m_view->findChild<QMessageBox *>("worldSaveFailure");
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), GLMapWidget::worldSaveFailureText(missing, r.error));
    QVERIFY2(box->text().startsWith("The world save " + QDir::toNativeSeparators(missing)
                                    + " was not loaded.\nThe world save could not be opened: "),
             qPrintable(box->text()));
    QCOMPARE(countItems(m_view->facet(0)), 1);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    box->close();
    QTRY_VERIFY(m_view->findChild<QMessageBox *>("worldSaveFailure") == nullptr);
}

QTEST_MAIN(WorldSaveViewTest)
#include "worldsave_view_test.moc"
