// Selection gestures and editing on a small hand-made world: mouse events sent to the view
// at the window positions of known cells (computed from the view geometry), the editing
// keys, the staged Escape, hover reporting, the hooks painting and the tile menu join, and
// the working files an edit leaves after a flush.
//
// The world, Ilshenar (facet 2), land id 3 at z 0 unless named:
//   block 402 (cells 16..23): land (20, 20) z 9, (17, 17) z 127; statics 100 at (18, 20)
//     z 0, 101 at (22, 18) z 0, 102 at (22, 22) z -128;
//   block 201 (cells 8..15): static 0x0E3E at (10, 10) z 5 hue 0x0455, 101 at (12, 12) z 0;
//   block 0 (cells 0..7): statics 100 at (0, 3), (2, 2) and 101 at (4, 2), all z 0.
// Every static is a solid 20 x 30 image.
#include "app/mainwindow.h"
#include "gui/viewfixture.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "world/facet.h"

#include <QAction>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace viewfixture;

namespace {

constexpr int kA = 100, kB = 101, kLow = 102, kPlant = 0x0E3E, kPlantHue = 0x0455;
constexpr int kW = 20, kH = 30;

using LandSel = GLMapWidget::LandSelection;
using StaticSel = GLMapWidget::StaticSelection;

// The view with the painting and menu hooks counted.
class HookedView : public GLMapWidget
{
public:
    QList<QPoint> painted, dragged, paintTiles, menus;
    int paintReleases = 0;

protected:
    void paintAt(const QPoint &pos, Qt::KeyboardModifiers) override { painted << pos; }
    void paintDragTo(const QPoint &pos) override { dragged << pos; }
    void paintReleased() override { ++paintReleases; }
    void pickPaintTile(const QPoint &pos) override { paintTiles << pos; }
    void contextMenuAt(const QPoint &pos) override { menus << pos; }
};

void send(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
    QCoreApplication::sendEvent(w, &e);
}
void press(QWidget *w, const QPoint &p, Qt::KeyboardModifiers mods = Qt::NoModifier,
           Qt::MouseButton button = Qt::LeftButton)
{
    send(w, QEvent::MouseButtonPress, p, button, button, mods);
}
void release(QWidget *w, const QPoint &p, Qt::KeyboardModifiers mods = Qt::NoModifier,
             Qt::MouseButton button = Qt::LeftButton)
{
    send(w, QEvent::MouseButtonRelease, p, button, Qt::NoButton, mods);
}
void click(QWidget *w, const QPoint &p, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    press(w, p, mods);
    release(w, p, mods);
}
void drag(QWidget *w, const QPoint &to)
{
    send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
}
void hover(QWidget *w, const QPoint &to)
{
    send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::NoButton);
}
void doubleClick(QWidget *w, const QPoint &p)
{
    send(w, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
    release(w, p);
}

// Statics of a cell as (id, z, hue) triples in drawing order.
QList<QList<int>> staticsAt(GLMapWidget &v, int x, int y)
{
    QList<QList<int>> out;
    for (const Tile &t : v.blockCache().statics(x, y))
        out << QList<int>{t.id(), t.z(), t.hue()};
    return out;
}

StaticSel oneStatic(int x, int y, int z, int id)
{
    StaticSel s;
    s[x][y][z] = {id};
    return s;
}

} // namespace

class ViewSelectionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void clickSelectsOneCellAndSecondClickEmptiesBoth();
    void smallDragReplacesTheSelectionWithTheBand();
    void shiftClickAddsAndRemovesSingleStatics();
    void clickOnNothingLeavesTheSelection();
    void middlePressTogglesPaintAndOtherPressesWaitIn3D();
    void paintingAndMenuTakeTheirPresses();
    void raiseAndLowerStopAtTheLimits();
    void deleteClearsLandAndRemovesStatics();
    void ctrlRightMovesAStaticKeepingZAndHue();
    void pressDoubleClickCtrlClickCopies();
    void escapeCancelsInFourStages();
    void hoverReportsEachCellOnce();
    void staticWithNoTargetOnTheFacetStays();
    void targetPressOnNoCellMovesNothing();
    void moveTakesEachStaticOnce();
    void editReachesTheWorkingFiles();

private:
    void showView(int cx, int cy);
    QImage frame() { return m_view->grabFramebuffer(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<HookedView> m_view;
};

void ViewSelectionTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    World w;
    w.facet = 2;
    w.land = {{{20, 20}, {3, 9}}, {{17, 17}, {3, 127}}};
    w.statics = {{kA, 18, 20, 0},  {kB, 22, 18, 0}, {kLow, 22, 22, -128}, {kPlant, 10, 10, 5, kPlantHue},
                 {kB, 12, 12, 0},  {kA, 0, 3, 0},   {kA, 2, 2, 0},        {kB, 4, 2, 0}};
    w.art = {{kA, solidStatic(kW, kH, kRed)},
             {kB, solidStatic(kW, kH, kGreen)},
             {kLow, solidStatic(kW, kH, kBlue)},
             {kPlant, solidStatic(kW, kH, kGreen)}};
    QVERIFY(writeWorld(dir, w));
    TestEnvironment::useDataDirectory(dir);
}

void ViewSelectionTest::cleanupTestCase() { m_env.reset(); }

// Every test gets a view of its own: its own block cache and working files, so edits of one
// test never reach another.
void ViewSelectionTest::init()
{
    m_view = std::make_unique<HookedView>();
    m_view->resize(480, 360);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->setMapid(2);
    m_view->setTerrainMode(1);
    m_view->setStatics(true);
    showView(20, 20);
}

void ViewSelectionTest::cleanup() { m_view.reset(); }

void ViewSelectionTest::showView(int cx, int cy)
{
    m_view->setCenter(cx, cy);
    frame();
}

void ViewSelectionTest::clickSelectsOneCellAndSecondClickEmptiesBoth()
{
    HookedView &v = *m_view;
    v.setSelectMode(1);
    v.staticSelection = oneStatic(18, 20, 0, kA);
    const QPoint p = landPoint(v, 20, 20);
    click(&v, p);
    QCOMPARE(v.landSelection, (LandSel{{20, {{20, 3}}}}));
    QVERIFY(v.staticSelection.isEmpty());
    QVERIFY(!v.bandActive());
    // The same click again: on something selected, so everything goes.
    v.staticSelection = oneStatic(18, 20, 0, kA);
    click(&v, p);
    QVERIFY(v.landSelection.isEmpty());
    QVERIFY(v.staticSelection.isEmpty());
}

void ViewSelectionTest::smallDragReplacesTheSelectionWithTheBand()
{
    HookedView &v = *m_view;
    v.setStatics(false);
    v.setSelectMode(1);
    frame();
    v.landSelection[20][20] = 3; // selected: a click here would empty the selection
    const QPoint a = landPoint(v, 20, 20, -5, 5), b = landPoint(v, 21, 20, 5, -5);
    press(&v, a);
    drag(&v, b);
    QCOMPARE(v.bandEnd(), QPointF(b));
    release(&v, b);

    // Every diamond the band meets: its middle within 22 units of the band along both axes
    // together (the band keeps 5 units off every edge, so none merely touches).
    const double left = std::min(a.x(), b.x()) - v.width() / 2, right = std::max(a.x(), b.x()) - v.width() / 2;
    const double top = v.height() / 2 - std::min(a.y(), b.y()), bottom = v.height() / 2 - std::max(a.y(), b.y());
    LandSel want;
    for (int x = 15; x <= 25; ++x) {
        for (int y = 15; y <= 25; ++y) {
            const QPoint t = cellTop(v, x, y);
            const double dx = std::max({left - t.x(), 0.0, t.x() - right});
            const double dy = std::max({bottom - (t.y() - 22), 0.0, (t.y() - 22) - top});
            if (dx + dy < 22)
                want[x][y] = 3;
        }
    }
    QVERIFY(want.value(20).contains(20) && want.value(21).contains(20));
    QCOMPARE(v.landSelection, want);
}

void ViewSelectionTest::shiftClickAddsAndRemovesSingleStatics()
{
    HookedView &v = *m_view;
    v.setSelectMode(2);
    v.staticSelection = oneStatic(22, 18, 0, kB);
    {
        StdoutCapture out;
        click(&v, staticPoint(v, 18, 20, kW, kH), Qt::ShiftModifier);
        QCOMPARE(out.text(), QString());
    }
    StaticSel both = oneStatic(22, 18, 0, kB);
    both[18][20][0] = {kA};
    QCOMPARE(v.staticSelection, both);

    // Shift+click on a selected static takes out that one entry (and prepares no move).
    StdoutCapture out;
    click(&v, staticPoint(v, 22, 18, kW, kH), Qt::ShiftModifier);
    QCOMPARE(out.text(), QStringLiteral("Delete selected static\nDelete selected static, leaving\n"));
    QVERIFY(!v.movePending());
    QCOMPARE(v.staticSelection, oneStatic(18, 20, 0, kA));
}

void ViewSelectionTest::clickOnNothingLeavesTheSelection()
{
    HookedView &v = *m_view;
    showView(1, 1);
    v.setSelectMode(3);
    v.landSelection[1][1] = 3;
    v.staticSelection = oneStatic(2, 2, 0, kA);
    const LandSel land = v.landSelection;
    const StaticSel statics = v.staticSelection;
    // Above the facet's corner nothing is drawn.
    const QPoint corner = cellTop(v, 0, 0);
    const QPoint nothing = windowPoint(v, corner.x(), corner.y() + 30);
    QVERIFY(nothing.y() > 2);
    click(&v, nothing);
    QVERIFY(!v.bandActive());
    QCOMPARE(v.landSelection, land);
    QCOMPARE(v.staticSelection, statics);
}

void ViewSelectionTest::middlePressTogglesPaintAndOtherPressesWaitIn3D()
{
    HookedView &v = *m_view;
    QSignalSpy toggles(&v, &GLMapWidget::togglePaint);
    v.setMode(2);
    frame();
    const QPoint p(v.width() / 2, v.height() / 2);
    press(&v, p, Qt::NoModifier, Qt::MiddleButton);
    QCOMPARE(toggles.count(), 1);
    press(&v, p);
    QVERIFY(!v.bandActive());
    release(&v, p);
    QVERIFY(v.landSelection.isEmpty());
    press(&v, p, Qt::NoModifier, Qt::RightButton);
    QVERIFY(v.menus.isEmpty());
}

void ViewSelectionTest::paintingAndMenuTakeTheirPresses()
{
    HookedView &v = *m_view;
    v.setSelectMode(1);
    const QPoint p = landPoint(v, 20, 20), q = landPoint(v, 21, 20);
    // Right presses: Control alone takes the paint tile, anything else opens the menu.
    press(&v, p, Qt::ControlModifier, Qt::RightButton);
    press(&v, p, Qt::ControlModifier | Qt::ShiftModifier, Qt::RightButton);
    press(&v, q, Qt::NoModifier, Qt::RightButton);
    QCOMPARE(v.paintTiles, QList<QPoint>{p});
    QCOMPARE(v.menus, (QList<QPoint>{p, q}));

    // Paint mode: a left press paints instead of selecting, a drag paints on, and a release
    // ends the stroke.
    v.setPaint(0, {3}, QString());
    QCOMPARE(v.switchPaintMode(), 0);
    press(&v, p);
    drag(&v, q);
    release(&v, q);
    QCOMPARE(v.painted, QList<QPoint>{p});
    QCOMPARE(v.dragged, QList<QPoint>{q});
    QCOMPARE(v.paintReleases, 1);
    QVERIFY(!v.bandActive());
    QVERIFY(v.landSelection.isEmpty());
}

void ViewSelectionTest::raiseAndLowerStopAtTheLimits()
{
    HookedView &v = *m_view;
    BlockCache &cache = v.blockCache();
    // F1 on land already at 127 writes nothing at all.
    v.landSelection[17][17] = 3;
    v.changeElevation(1);
    QCOMPARE(cache.land(17, 17).z(), 127);
    QVERIFY(cache.changedLand().empty());
    // With a cell below the limit beside it, only that one rises.
    v.landSelection[20][20] = 3;
    v.changeElevation(1);
    QCOMPARE(cache.land(17, 17).z(), 127);
    QCOMPARE(cache.land(20, 20).z(), 10);
    QCOMPARE(v.landSelection.value(20).value(20), 3);

    // F2 on a static at -128 leaves it where it is and takes it out of the selection; the
    // static beside it goes down and stays selected at its new height.
    v.staticSelection = oneStatic(22, 22, -128, kLow);
    v.staticSelection[18][20][0] = {kA};
    v.changeElevation(-1);
    QCOMPARE(staticsAt(v, 22, 22), (QList<QList<int>>{{kLow, -128, 0}}));
    QCOMPARE(staticsAt(v, 18, 20), (QList<QList<int>>{{kA, -1, 0}}));
    QCOMPARE(v.staticSelection, oneStatic(18, 20, -1, kA));
    QCOMPARE(cache.land(20, 20).z(), 9);
}

void ViewSelectionTest::deleteClearsLandAndRemovesStatics()
{
    HookedView &v = *m_view;
    v.landSelection[20][20] = 3;
    v.landSelection[21][20] = 3;
    v.staticSelection = oneStatic(18, 20, 0, kA);
    v.staticSelection[22][18][0] = {kB};
    v.deleteTiles();
    QCOMPARE(v.blockCache().land(20, 20).id(), 0);
    QCOMPARE(v.blockCache().land(20, 20).z(), 9);
    QCOMPARE(v.blockCache().land(21, 20).id(), 0);
    QCOMPARE(v.blockCache().land(19, 20).id(), 3);
    QVERIFY(staticsAt(v, 18, 20).isEmpty());
    QVERIFY(staticsAt(v, 22, 18).isEmpty());
    QCOMPARE(staticsAt(v, 22, 22).size(), 1);
    QVERIFY(v.landSelection.isEmpty());
    QVERIFY(v.staticSelection.isEmpty());
}

void ViewSelectionTest::ctrlRightMovesAStaticKeepingZAndHue()
{
    // Through the window's key handler, as the user does it.
    m_view.reset();
    mainWindow w;
    w.fileFacetIlshenerAction->trigger();
    GLMapWidget &v = *w.view();
    QCOMPARE(v.mapid(), 2);
    v.staticSelection = oneStatic(10, 10, 5, kPlant);
    StdoutCapture out;
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Right, Qt::ControlModifier);
    QCoreApplication::sendEvent(&w, &key);
    QCOMPARE(out.text(), QStringLiteral("keyright\n"));
    QVERIFY(staticsAt(v, 10, 10).isEmpty());
    QCOMPARE(staticsAt(v, 11, 9), (QList<QList<int>>{{kPlant, 5, kPlantHue}}));
    QCOMPARE(v.staticSelection, oneStatic(11, 9, 5, kPlant));
}

void ViewSelectionTest::pressDoubleClickCtrlClickCopies()
{
    HookedView &v = *m_view;
    v.setSelectMode(2);
    const QPoint from = staticPoint(v, 18, 20, kW, kH);
    click(&v, from); // selects the static
    QCOMPARE(v.staticSelection, oneStatic(18, 20, 0, kA));

    press(&v, from);
    QVERIFY(v.movePending());
    QVERIFY(!v.bandActive());
    QCOMPARE(v.moveFrom(), QPoint(18, 20));
    release(&v, from);
    doubleClick(&v, from);
    QVERIFY(v.moveArmed());
    QCOMPARE(v.cursor().shape(), Qt::PointingHandCursor);

    // Control+click three cells further: copies there, the originals stay.
    frame();
    const QPoint to = landPoint(v, 21, 20);
    press(&v, to, Qt::ControlModifier);
    QCOMPARE(v.moveTo(), QPoint(21, 20));
    QVERIFY(!v.movePending() && !v.moveArmed());
    QCOMPARE(v.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(staticsAt(v, 18, 20), (QList<QList<int>>{{kA, 0, 0}}));
    QCOMPARE(staticsAt(v, 21, 20), (QList<QList<int>>{{kA, 0, 0}}));
    QVERIFY(v.staticSelection.isEmpty());
    // The same press started a band: its release selects the copy under the pointer.
    QVERIFY(v.bandActive());
    release(&v, to, Qt::ControlModifier);
    QCOMPARE(v.staticSelection, oneStatic(21, 20, 0, kA));
}

void ViewSelectionTest::escapeCancelsInFourStages()
{
    HookedView &v = *m_view;
    v.setSelectMode(3);
    const QPoint onStatic = staticPoint(v, 18, 20, kW, kH);
    const LandSel land{{20, {{20, 3}}}};
    const StaticSel statics = oneStatic(18, 20, 0, kA);
    v.landSelection = land;
    v.staticSelection = statics;

    // 1: a pending (here armed) move.
    press(&v, onStatic);
    release(&v, onStatic);
    doubleClick(&v, onStatic);
    QVERIFY(v.movePending() && v.moveArmed());
    v.cancelAction();
    QVERIFY(!v.movePending() && !v.moveArmed());
    QCOMPARE(v.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(v.staticSelection, statics);

    // 2: a band, ended without selecting; the frame that follows drops it from the screen.
    press(&v, landPoint(v, 21, 21));
    QVERIFY(v.bandActive());
    frame();
    const int frames = v.walkStats().frames;
    v.cancelAction();
    QVERIFY(!v.bandActive());
    QTRY_VERIFY(v.walkStats().frames > frames);
    QCOMPARE(v.landSelection, land);

    // 3: paint mode, switched off.
    v.setPaint(0, {3}, QString());
    v.switchPaintMode();
    QVERIFY(v.paintMode());
    v.cancelAction();
    QVERIFY(!v.paintMode());
    QCOMPARE(v.staticSelection, statics);

    // 4: nothing else: both selections go.
    v.cancelAction();
    QVERIFY(v.landSelection.isEmpty());
    QVERIFY(v.staticSelection.isEmpty());
}

void ViewSelectionTest::hoverReportsEachCellOnce()
{
    HookedView &v = *m_view;
    showView(1, 1);
    QSignalSpy cells(&v, &GLMapWidget::currentTile);
    hover(&v, landPoint(v, 2, 1));
    hover(&v, landPoint(v, 2, 1, -6, 3));
    hover(&v, landPoint(v, 2, 1, 8, -5));
    QCOMPARE(cells.count(), 1);
    QCOMPARE(cells.at(0), (QList<QVariant>{2, 1, 3}));
    // Off the map: nothing; back on the same cell: still nothing new.
    const QPoint corner = cellTop(v, 0, 0);
    hover(&v, windowPoint(v, corner.x(), corner.y() + 30));
    hover(&v, landPoint(v, 2, 1));
    QCOMPARE(cells.count(), 1);
    hover(&v, landPoint(v, 1, 1));
    QCOMPARE(cells.count(), 2);
    QCOMPARE(cells.at(1), (QList<QVariant>{1, 1, 3}));
}

void ViewSelectionTest::staticWithNoTargetOnTheFacetStays()
{
    HookedView &v = *m_view;
    // Ctrl+Left moves by (-1, +1): x 0 has nowhere to go, x 2 moves on.
    v.staticSelection = oneStatic(0, 3, 0, kA);
    v.staticSelection[2][2][0] = {kA};
    v.moveStatics(-1, 1, false);
    QCOMPARE(staticsAt(v, 0, 3), (QList<QList<int>>{{kA, 0, 0}}));
    QVERIFY(staticsAt(v, 2, 2).isEmpty());
    QCOMPARE(staticsAt(v, 1, 3), (QList<QList<int>>{{kA, 0, 0}}));
    StaticSel want = oneStatic(0, 3, 0, kA);
    want[1][3][0] = {kA};
    QCOMPARE(v.staticSelection, want);
}

void ViewSelectionTest::targetPressOnNoCellMovesNothing()
{
    HookedView &v = *m_view;
    showView(3, 3);
    v.setSelectMode(2);
    const StaticSel selected = [] {
        StaticSel s = oneStatic(2, 2, 0, kA);
        s[4][2][0] = {kB};
        return s;
    }();
    v.staticSelection = selected;
    frame();
    const QPoint from = staticPoint(v, 2, 2, kW, kH);
    press(&v, from);
    release(&v, from);
    doubleClick(&v, from);
    QVERIFY(v.moveArmed());

    // The target press lands above the facet's corner, where there is no cell.
    const QPoint corner = cellTop(v, 0, 0);
    const QPoint nowhere = windowPoint(v, corner.x(), corner.y() + 30);
    QVERIFY(nowhere.y() > 2);
    press(&v, nowhere);
    release(&v, nowhere);
    QVERIFY(!v.movePending() && !v.moveArmed());
    QCOMPARE(v.moveTo(), QPoint(-1, -1));
    QCOMPARE(v.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(staticsAt(v, 2, 2), (QList<QList<int>>{{kA, 0, 0}}));
    QCOMPARE(staticsAt(v, 4, 2), (QList<QList<int>>{{kB, 0, 0}}));
    QVERIFY(v.blockCache().changedStatics().empty());
    QCOMPARE(v.staticSelection, selected);
}

void ViewSelectionTest::moveTakesEachStaticOnce()
{
    HookedView &v = *m_view;
    // (13, 12) is selected for a static of the same id and height that is no longer there
    // (taken away by other means); the static moving in from (12, 12) must not be taken
    // for it and moved on again.
    v.staticSelection = oneStatic(12, 12, 0, kB);
    v.staticSelection[13][12][0] = {kB};
    v.moveStatics(1, 0, false);
    QVERIFY(staticsAt(v, 12, 12).isEmpty());
    QCOMPARE(staticsAt(v, 13, 12), (QList<QList<int>>{{kB, 0, 0}}));
    QVERIFY(staticsAt(v, 14, 12).isEmpty());
    QCOMPARE(v.staticSelection, oneStatic(13, 12, 0, kB));
}

void ViewSelectionTest::editReachesTheWorkingFiles()
{
    HookedView &v = *m_view;
    v.landSelection[20][20] = 3;
    v.staticSelection = oneStatic(18, 20, 0, kA);
    v.deleteTiles();
    v.blockCache().flush();

    const int block = blockNumber(20, 20, facetBlocksY(2));
    QFile landFile(v.facet(2).workingFilePath(block, Facet::LandKind));
    QVERIFY(landFile.open(QIODevice::ReadOnly));
    const QByteArray land = landFile.readAll();
    QCOMPARE(land.size(), 196);
    // A 4-byte header, then 3 bytes a cell row by row: id (16 bits), z.
    const int at = 4 + ((20 % 8) * 8 + 20 % 8) * 3;
    QCOMPARE(qFromLittleEndian<quint16>(land.constData() + at), quint16(0));
    QCOMPARE(qint8(land[at + 2]), qint8(9));
    const int beside = 4 + ((20 % 8) * 8 + 19 % 8) * 3;
    QCOMPARE(qFromLittleEndian<quint16>(land.constData() + beside), quint16(3));

    // The statics of the block without the deleted one, 7 bytes a static in cell order:
    // id, x and y in the block, z, hue.
    QFile staticsFile(v.facet(2).workingFilePath(block, Facet::StaticsKind));
    QVERIFY(staticsFile.open(QIODevice::ReadOnly));
    QByteArray want;
    put16(want, kB);
    want.append(char(22 % 8)).append(char(18 % 8)).append(char(0));
    put16(want, 0);
    put16(want, kLow);
    want.append(char(22 % 8)).append(char(22 % 8)).append(char(qint8(-128)));
    put16(want, 0);
    QCOMPARE(staticsFile.readAll().toHex(), want.toHex());
}

QTEST_MAIN(ViewSelectionTest)
#include "view_selection_test.moc"
