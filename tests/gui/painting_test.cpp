// Painting on a small hand-made world: paint presses and drags sent to the view at the window
// positions of known cells (computed from the view geometry), the height text, taking the
// paint tile with Control+right, the Insert key in the main window, applying a tile set to
// the selection, and the context menu's Insert entries answered through a real QueryWidget.
//
// The world, Ilshenar (facet 2), land id 3 at z 0 unless named, all in block 402 (cells
// 16..23):
//   land (20, 20) z 126, (21, 20) z -127, (20, 21) z 50, (21, 21) z 40, (22, 22) id 9 z 7,
//     (19, 20) z 10 under a static kOld at z 30 with hue 0x0455;
//   tile data: static kPaint has the tile-data hue 0x21 (every other tile none).
// Every static is a solid 20 x 30 image.
#include "app/mainwindow.h"
#include "dialogs/querywidget.h"
#include "gui/viewfixture.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "view/painting.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <optional>

using namespace viewfixture;

namespace {

constexpr int kOld = 100, kPaint = 110, kOldHue = 0x0455, kPaintDataHue = 0x21;
constexpr int kW = 20, kH = 30;

// Land of a cell as (id, z).
QPair<int, int> landAt(GLMapWidget &v, int x, int y)
{
    const Tile t = v.blockCache().land(x, y);
    return {t.id(), t.z()};
}

// Statics of a cell as (id, z, hue) triples in drawing order.
QList<QList<int>> staticsAt(GLMapWidget &v, int x, int y)
{
    QList<QList<int>> out;
    for (const Tile &t : v.blockCache().statics(x, y))
        out << QList<int>{t.id(), t.z(), t.hue()};
    return out;
}

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
void click(QWidget *w, const QPoint &p)
{
    press(w, p);
    release(w, p);
}
void drag(QWidget *w, const QPoint &to)
{
    send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
}

// The tile-data file: empty land groups, then static groups up to kPaint's, where only
// kPaint's record carries a hue.
QByteArray tileData()
{
    const int group = kPaint / 32;
    QByteArray b(qsizetype(TileData::StaticRegion + (group + 1) * TileData::StaticGroupSize), '\0');
    const qsizetype record = TileData::StaticRegion + group * TileData::StaticGroupSize + 4
        + (kPaint % 32) * TileData::StaticRecordSize;
    b[record + 13] = char(kPaintDataHue); // flags 4, weight, quality, 2, 1, quantity, animation 2, 1, then the hue
    return b;
}

// The question the main window shows for the Insert entries.
std::optional<QString> askWithQueryWidget(QWidget *parent, const QString &caption)
{
    QueryWidget query(parent);
    query.setWindowTitle(caption);
    if (query.exec() != QDialog::Accepted)
        return std::nullopt;
    return query.value();
}

// Answers the next QueryWidget that comes up modally: notes its caption, types text and
// presses Ok (or Cancel when text is null). Should the answer come before the dialog's own
// event loop takes it, the dialog stays up and is answered again on the next tick.
void answerQuery(const QString &text, QString *caption)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    // Once answered, the timer ends with its dialog and never answers the next one.
    auto answered = std::make_shared<std::optional<QPointer<QueryWidget>>>();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, text, caption, answered] {
        if (answered->has_value() && (!answered->value() || !answered->value()->isVisible())) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (auto *q = qobject_cast<QueryWidget *>(QApplication::activeModalWidget())) {
            *answered = QPointer<QueryWidget>(q);
            *caption = q->windowTitle();
            if (text.isNull()) {
                q->cancelButton();
            } else {
                q->value(text);
                q->okButton();
            }
        }
    });
    timer->start();
}

} // namespace

class PaintingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void heightText_data();
    void heightText();
    void paintedLandIsOneOfTheSetAtTheOldHeight();
    void heightTextOnPaintedLand_data();
    void heightTextOnPaintedLand();
    void paintedStaticStandsOnTheLandWithHueZero();
    void dragPaintsEachCellOncePerVisit();
    void switchingNeedsATileSetAndNoPendingMove();
    void insertKeyBeforeAnyPaletteChoiceShowsNone();
    void controlRightTakesTheLandTile();
    void applyToSelection();
    void insertEntriesAskForTheId();

private:
    QPoint at(int x, int y) { return landPoint(*m_view, x, y); }
    void paintOn(int type, const std::vector<int> &ids, const QString &alt);

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void PaintingTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    World w;
    w.facet = 2;
    w.land = {{{20, 20}, {3, 126}}, {{21, 20}, {3, -127}}, {{20, 21}, {3, 50}},
              {{21, 21}, {3, 40}},  {{22, 22}, {9, 7}},    {{19, 20}, {3, 10}}};
    w.statics = {{kOld, 19, 20, 30, kOldHue}};
    w.art = {{kOld, solidStatic(kW, kH, kRed)}, {kPaint, solidStatic(kW, kH, kGreen)}};
    QVERIFY(writeWorld(dir, w));
    QVERIFY(writeFile(dir + "/tiledata.mul", tileData()));
    TestEnvironment::useDataDirectory(dir);
    painting::setAsker(askWithQueryWidget);
}

void PaintingTest::cleanupTestCase()
{
    painting::setAsker(nullptr);
    m_env.reset();
}

// Every test gets a view of its own: its own block cache and working files, so the paint of
// one test never reaches another.
void PaintingTest::init()
{
    m_view = std::make_unique<GLMapWidget>();
    m_view->resize(480, 360);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->setMapid(2);
    m_view->setTerrainMode(1);
    m_view->setStatics(true);
    m_view->setCenter(20, 20);
    m_view->grabFramebuffer();
}

void PaintingTest::cleanup() { m_view.reset(); }

void PaintingTest::paintOn(int type, const std::vector<int> &ids, const QString &alt)
{
    m_view->setPaint(type, ids, alt);
    QCOMPARE(m_view->switchPaintMode(), type);
    QVERIFY(m_view->paintMode());
}

// The reading of the height text beyond what the painting tests below show on the map.
void PaintingTest::heightText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("height");
    QTest::newRow("empty keeps the base") << "" << 12 << 12;
    QTest::newRow("+ raises") << "+3" << 10 << 13;
    QTest::newRow("-- lowers") << "--3" << 10 << 7;
    QTest::newRow("absolute below the range") << "-500" << 0 << -128;
    QTest::newRow("+ with no number keeps the base") << "+abc" << 40 << 40;
    QTest::newRow("three minus signs: no number") << "---3" << 40 << 40;
    QTest::newRow("lone minus is no number") << "-" << 40 << 0;
    QTest::newRow("hexadecimal is no decimal") << "0x10" << 40 << 0;
    QTest::newRow("raise past the int range") << "+99999999999" << 0 << 127;
}

void PaintingTest::heightText()
{
    QFETCH(QString, text);
    QFETCH(int, base);
    QFETCH(int, height);
    QCOMPARE(painting::applyHeightText(text, base), height);
}

void PaintingTest::paintedLandIsOneOfTheSetAtTheOldHeight()
{
    GLMapWidget &v = *m_view;
    paintOn(0, {3, 4, 5}, QString());
    click(&v, at(22, 22));
    const auto land = landAt(v, 22, 22);
    QVERIFY2(land.first >= 3 && land.first <= 5, qPrintable(QString::number(land.first)));
    QCOMPARE(land.second, 7);
    QCOMPARE(landAt(v, 21, 22), qMakePair(3, 0));

    // A set with an id out of the land range never writes that id, whichever is drawn.
    v.setPaint(0, {4, 0x4000}, QString());
    for (int x = 16; x <= 19; ++x) {
        click(&v, at(x, 23));
        const int id = landAt(v, x, 23).first;
        QVERIFY2(id == 3 || id == 4, qPrintable(QString::number(id)));
    }
    // Nothing valid in the set: nothing is painted.
    v.setPaint(0, {0x4000}, QString());
    click(&v, at(18, 18));
    QCOMPARE(landAt(v, 18, 18), qMakePair(3, 0));
}

void PaintingTest::heightTextOnPaintedLand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QPoint>("cell");
    QTest::addColumn<int>("height");
    QTest::newRow("+3 at 126") << "+3" << QPoint(20, 20) << 127;
    QTest::newRow("--3 at -127") << "--3" << QPoint(21, 20) << -128;
    QTest::newRow("-3 at 50") << "-3" << QPoint(20, 21) << -3;
    QTest::newRow("200 at 0") << "200" << QPoint(18, 18) << 127;
    QTest::newRow("abc at 40") << "abc" << QPoint(21, 21) << 0;
}

void PaintingTest::heightTextOnPaintedLand()
{
    QFETCH(QString, text);
    QFETCH(QPoint, cell);
    QFETCH(int, height);
    paintOn(0, {5}, text);
    click(m_view.get(), at(cell.x(), cell.y()));
    QCOMPARE(landAt(*m_view, cell.x(), cell.y()), qMakePair(5, height));
}

void PaintingTest::paintedStaticStandsOnTheLandWithHueZero()
{
    GLMapWidget &v = *m_view;
    paintOn(1, {kPaint}, QStringLiteral("+5"));
    // On the land of (19, 20), z 10, below the static already standing there at z 30; the
    // tile data's hue does not come along.
    click(&v, at(19, 20));
    QCOMPARE(staticsAt(v, 19, 20), (QList<QList<int>>{{kPaint, 15, 0}, {kOld, 30, kOldHue}}));
    QCOMPARE(landAt(v, 19, 20), qMakePair(3, 10));

    // Without a height text it stands at the land height.
    v.setPaintAlt(QString());
    click(&v, at(22, 22));
    QCOMPARE(staticsAt(v, 22, 22), (QList<QList<int>>{{kPaint, 7, 0}}));
}

void PaintingTest::dragPaintsEachCellOncePerVisit()
{
    // Each paint raises the cell by one, so every paint shows in its height.
    GLMapWidget &v = *m_view;
    paintOn(0, {5}, QStringLiteral("+1"));
    const QPoint a = at(17, 17), a2 = landPoint(v, 17, 17, 6, -4), b = at(18, 17);

    // Holding still over A, or moving inside it, paints it once.
    press(&v, a);
    drag(&v, a);
    drag(&v, a2);
    drag(&v, a);
    QCOMPARE(landAt(v, 17, 17), qMakePair(5, 1));
    // On to B and back to A: both painted, A a second time.
    drag(&v, b);
    drag(&v, a2);
    release(&v, a2);
    QCOMPARE(landAt(v, 18, 17), qMakePair(5, 1));
    QCOMPARE(landAt(v, 17, 17), qMakePair(5, 2));
    QCOMPARE(v.lastPaintCell(), QPoint(-1, -1));

    // After the release the next press paints the same cell again.
    click(&v, a2);
    QCOMPARE(landAt(v, 17, 17), qMakePair(5, 3));

    // Statics the same way: one per visit.
    v.setPaint(1, {kPaint}, QString());
    press(&v, a);
    drag(&v, a2);
    drag(&v, b);
    drag(&v, a);
    release(&v, a);
    QCOMPARE(staticsAt(v, 17, 17), (QList<QList<int>>{{kPaint, 3, 0}, {kPaint, 3, 0}}));
    QCOMPARE(staticsAt(v, 18, 17), (QList<QList<int>>{{kPaint, 1, 0}}));
}

void PaintingTest::switchingNeedsATileSetAndNoPendingMove()
{
    GLMapWidget &v = *m_view;
    QCOMPARE(v.switchPaintMode(), -1); // no tile set chosen yet
    QVERIFY(!v.paintMode());

    v.setPaint(1, {kPaint}, QStringLiteral("+2"));
    QVERIFY(!v.paintMode()); // choosing a set does not switch
    QCOMPARE(v.switchPaintMode(), 1);
    QCOMPARE(v.cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(v.switchPaintMode(), -1);
    QVERIFY(!v.paintMode());
    QCOMPARE(v.cursor().shape(), Qt::ArrowCursor);
    // Switching off keeps the set.
    QCOMPARE(v.paintType(), 1);
    QCOMPARE(v.paintIds(), std::vector<int>{kPaint});
    QCOMPARE(v.paintAlt(), QStringLiteral("+2"));

    // A press on a selected static prepares a move: paint mode stays off while it is pending.
    v.setSelectMode(2);
    v.staticSelection[19][20][30] = {kOld};
    const QPoint onStatic = staticPoint(v, 19, 20, kW, kH);
    press(&v, onStatic);
    QVERIFY(v.movePending());
    QCOMPARE(v.switchPaintMode(), -1);
    QVERIFY(!v.paintMode());
    v.cancelAction();
    QCOMPARE(v.switchPaintMode(), 1);
}

void PaintingTest::insertKeyBeforeAnyPaletteChoiceShowsNone()
{
    m_view.reset();
    mainWindow w;
    GLMapWidget &v = *w.view();
    QKeyEvent insert(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &insert);
    QVERIFY(!v.paintMode());
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("None"));

    // After a palette choice Insert switches on and shows the kind, and off again.
    w.tileClick(0, {3}, QString());
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("None"));
    QCoreApplication::sendEvent(&w, &insert);
    QVERIFY(v.paintMode());
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("Land"));
    QCoreApplication::sendEvent(&w, &insert);
    QVERIFY(!v.paintMode());
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("None"));
}

void PaintingTest::controlRightTakesTheLandTile()
{
    GLMapWidget &v = *m_view;
    v.setPaint(1, {kPaint}, QStringLiteral("+1"));
    const QPoint p = at(22, 22);

    // Statics only: there is no land hit, so nothing is taken.
    v.setSelectMode(2);
    press(&v, p, Qt::ControlModifier, Qt::RightButton);
    release(&v, p, Qt::ControlModifier, Qt::RightButton);
    QCOMPARE(v.paintType(), 1);
    QCOMPARE(v.paintIds(), std::vector<int>{kPaint});

    // Land selectable: the land tile under the pointer becomes the paint set; the height text
    // and paint mode stay as they were.
    v.setSelectMode(1);
    press(&v, p, Qt::ControlModifier, Qt::RightButton);
    release(&v, p, Qt::ControlModifier, Qt::RightButton);
    QCOMPARE(v.paintType(), 0);
    QCOMPARE(v.paintIds(), std::vector<int>{9});
    QCOMPARE(v.paintAlt(), QStringLiteral("+1"));
    QVERIFY(!v.paintMode());
    QCOMPARE(landAt(v, 22, 22), qMakePair(9, 7));
}

void PaintingTest::applyToSelection()
{
    GLMapWidget &v = *m_view;
    v.landSelection[19][20] = 3;
    v.landSelection[20][21] = 3;
    v.landSelection[22][22] = 9;
    const GLMapWidget::LandSelection selection = v.landSelection;

    // An empty set changes nothing.
    v.applyToSelection(1, {}, QString());
    v.applyToSelection(0, {}, QStringLiteral("+1"));
    QCOMPARE(staticsAt(v, 19, 20), (QList<QList<int>>{{kOld, 30, kOldHue}}));
    QVERIFY(staticsAt(v, 20, 21).isEmpty());
    QCOMPARE(landAt(v, 20, 21), qMakePair(3, 50));
    QCOMPARE(landAt(v, 22, 22), qMakePair(9, 7));

    // A static set: one static on each cell at its land height, with the tile data's hue.
    v.applyToSelection(1, {kPaint}, QString());
    QCOMPARE(staticsAt(v, 19, 20), (QList<QList<int>>{{kPaint, 10, kPaintDataHue}, {kOld, 30, kOldHue}}));
    QCOMPARE(staticsAt(v, 20, 21), (QList<QList<int>>{{kPaint, 50, kPaintDataHue}}));
    QCOMPARE(staticsAt(v, 22, 22), (QList<QList<int>>{{kPaint, 7, kPaintDataHue}}));

    // A land set with a height text, whatever the paint state says.
    v.setPaint(1, {kOld}, QStringLiteral("200"));
    v.applyToSelection(0, {6}, QStringLiteral("--10"));
    QCOMPARE(landAt(v, 19, 20), qMakePair(6, 0));
    QCOMPARE(landAt(v, 20, 21), qMakePair(6, 40));
    QCOMPARE(landAt(v, 22, 22), qMakePair(6, -3));
    QCOMPARE(v.landSelection, selection);
    QVERIFY(v.staticSelection.isEmpty());
}

void PaintingTest::insertEntriesAskForTheId()
{
    GLMapWidget &v = *m_view;
    QString caption;

    // Land: an id of 16384 or more changes nothing.
    answerQuery(QStringLiteral("16384"), &caption);
    v.insertLand(at(22, 22).x(), at(22, 22).y(), false);
    QCOMPARE(caption, QStringLiteral("Enter Land Tile ID"));
    QCOMPARE(landAt(v, 22, 22), qMakePair(9, 7));
    // A cancelled question neither.
    caption.clear();
    answerQuery(QString(), &caption);
    v.insertLand(at(22, 22).x(), at(22, 22).y(), false);
    QCOMPARE(caption, QStringLiteral("Enter Land Tile ID"));
    QCOMPARE(landAt(v, 22, 22), qMakePair(9, 7));
    // A valid id, typed in hexadecimal, replaces the tile and keeps the height; text that is
    // no number is refused with a box and changes nothing.
    answerQuery(QStringLiteral(" 0x3fff "), &caption);
    v.insertLand(at(22, 22).x(), at(22, 22).y(), false);
    QCOMPARE(landAt(v, 22, 22), qMakePair(0x3FFF, 7));
    const auto before = landAt(v, 21, 21);
    answerQuery(QStringLiteral("abc"), &caption);
    v.insertLand(at(21, 21).x(), at(21, 21).y(), false);
    QCOMPARE(landAt(v, 21, 21), before);
    QMessageBox *refused = v.findChild<QMessageBox *>(QStringLiteral("notANumber"));
    QVERIFY(refused);
    QCOMPARE(refused->text(), painting::notANumberText(QStringLiteral("abc")));
    refused->close();

    // On a selected cell the whole land selection gets the tile.
    v.landSelection[20][20] = 3;
    v.landSelection[17][18] = 3;
    answerQuery(QStringLiteral("12"), &caption);
    v.insertLand(at(20, 20).x(), at(20, 20).y(), false);
    QCOMPARE(landAt(v, 20, 20), qMakePair(12, 126));
    QCOMPARE(landAt(v, 17, 18), qMakePair(12, 0));
    QCOMPARE(landAt(v, 21, 20), qMakePair(3, -127));

    // Statics: 0xFFFF is refused; a valid id stands at the land height with hue 0.
    caption.clear();
    answerQuery(QStringLiteral("0xFFFF"), &caption);
    v.insertStatic(at(21, 21).x(), at(21, 21).y(), false);
    QCOMPARE(caption, QStringLiteral("Enter Static Tile ID"));
    QVERIFY(staticsAt(v, 21, 21).isEmpty());
    answerQuery(QString::number(kPaint), &caption);
    v.insertStatic(at(21, 21).x(), at(21, 21).y(), false);
    QCOMPARE(staticsAt(v, 21, 21), (QList<QList<int>>{{kPaint, 40, 0}}));

    // With paint mode on, the menu's Insert still writes the typed id at the cell's height,
    // not a draw from the paint set with its height text, also on the cell painted last.
    v.setPaint(0, {3}, QStringLiteral("+5"));
    QCOMPARE(v.switchPaintMode(), 0);
    answerQuery(QStringLiteral("14"), &caption);
    v.insertLand(at(22, 22).x(), at(22, 22).y(), false);
    QCOMPARE(landAt(v, 22, 22), qMakePair(14, 7));
    answerQuery(QStringLiteral("15"), &caption);
    v.insertLand(at(22, 22).x(), at(22, 22).y(), false);
    QCOMPARE(landAt(v, 22, 22), qMakePair(15, 7));
}

QTEST_MAIN(PaintingTest)
#include "painting_test.moc"
