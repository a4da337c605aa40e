// User journeys through the whole program: the main window on a copy of the sample world,
// driven with mouse and keys sent to the window and its map view, menu and tool-bar commands
// triggered, and every dialog answered the way a user would answer it.
//
// The long journey is one step per test function, in order, on one window: Ilshenar of the
// sample world around cell (82, 117), grass with a few small plants; it ends by closing the
// window and starting the program again, which must show every change. A step that fails
// skips the rest of the journey. The last test is the road of one land tile from the palette
// into the difference files and onto the screen of a new start, on a copy of its own.
#include "app/mainwindow.h"
#include "dialogs/cleardialog.h"
#include "gui/contextmenufixture.h"
#include "dialogs/findwidget.h"
#include "gui/viewfixture.h"
#include "support/testenv.h"
#include "tiles/artstore.h"
#include "tools/palettenew.h"
#include "view/glmapwidget.h"
#include "world/facet.h"
#include "world/multi.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QtTest>

#include <functional>
#include <memory>

using namespace viewfixture;

namespace {

using Cell = QPair<int, int>;

constexpr int kIlshenar = 2;
constexpr int kBarrel = 93; // a static of the sample world, 24 x 30

// Answers the next modal dialog of type T: runs answer on it once its own event loop runs.
// Should the answer come before that loop takes it, the dialog stays up and is answered
// again on the next tick. Counts the dialogs it answered.
template <typename T> class Answerer
{
public:
    explicit Answerer(std::function<void(T *)> answer) : m_answer(std::move(answer))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *d = qobject_cast<T *>(QApplication::activeModalWidget())) {
                if (d != m_current)
                    ++m_count;
                m_current = d;
                m_answer(d);
            }
        });
        m_timer.start(20);
    }
    int count() const { return m_count; }

private:
    std::function<void(T *)> m_answer;
    QTimer m_timer;
    QPointer<T> m_current;
    int m_count = 0;
};

// Notes every message box that comes up, modal or not, and closes it.
class BoxWatch
{
public:
    BoxWatch()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(w);
                if (box && box->isVisible()) {
                    m_seen << box->windowTitle() + QLatin1String(": ") + box->text();
                    box->reject();
                }
            }
        });
        m_timer.start(20);
    }
    // What the boxes said, one line each.
    QString seen() const { return m_seen.join(QLatin1Char('\n')); }

private:
    QTimer m_timer;
    QStringList m_seen;
};

void acceptFile(QFileDialog *d, const QString &path)
{
    d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path); // typed: selectFile leaves a focused field alone
    static_cast<QDialog *>(d)->accept(); // accept() is protected in QFileDialog
}

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

// Statics of a cell as "id@z#hue" in drawing order (world-save items left out).
QStringList staticsAt(GLMapWidget &v, int x, int y)
{
    QStringList out;
    for (const Tile &t : v.blockCache().statics(x, y))
        if (t.isStatic())
            out << QStringLiteral("%1@%2#%3").arg(t.id()).arg(t.z()).arg(t.hue());
    return out;
}

// Everything a cell holds, as one line: land id/z, then its statics.
QString cellState(GLMapWidget &v, int x, int y)
{
    const Tile land = v.blockCache().land(x, y);
    return QStringLiteral("(%1, %2) land %3/%4 statics [%5]")
        .arg(x)
        .arg(y)
        .arg(land.id())
        .arg(land.z())
        .arg(staticsAt(v, x, y).join(QLatin1String(", ")));
}

// One step of the mouse wheel over the map view. The view leaves wheel events to the window;
// an event made here does not travel up from child to parent as the window system's do, so
// once the view has let it pass, it is handed to the window the way Qt would.
void wheel(mainWindow &w, int delta, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    GLMapWidget *v = w.view();
    const QPointF pos(v->width() / 2.0, v->height() / 2.0);
    QWheelEvent e(pos, v->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(v, &e);
    QVERIFY(!e.isAccepted());
    QWheelEvent up(w.mapFromGlobal(v->mapToGlobal(pos)), v->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                   mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &up);
}

// A land cell of Ilshenar as a map file holds it: tile id and z; (-1, -1) when unreadable.
QPair<int, int> landInFile(const QString &path, int x, int y)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {-1, -1};
    const qint64 at = qint64(blockNumber(x, y, facetBlocksY(kIlshenar))) * 196 + 4 + ((y % 8) * 8 + x % 8) * 3;
    f.seek(at);
    const QByteArray b = f.read(3);
    if (b.size() != 3)
        return {-1, -1};
    return {qFromLittleEndian<quint16>(b.constData()), int(qint8(b[2]))};
}

// Picks a palette file with Edit > Settings > Palette and shows the palette dock.
void openPalette(mainWindow &w, const QString &path)
{
    Answerer<QFileDialog> answer([&](QFileDialog *d) { acceptFile(d, path); });
    w.editSettingsPaletteAction->trigger();
    QCOMPARE(answer.count(), 1);
    QCOMPARE(w.palette()->fileName(), path);
    // The dock takes its room from the map once the layout has run.
    const int width = w.view()->width();
    w.windowPaletteAction->trigger();
    QVERIFY(w.paletteDock()->isVisible());
    QTRY_VERIFY(w.view()->width() < width);
}

// Chooses a palette tile the way a user does: the tab of its kind, its group in the category
// tree, then its icon, found by the label under it.
void choosePaletteTile(mainWindow &w, int kind, const QString &group, const QString &label)
{
    PaletteNew *p = w.palette();
    QTabBar *tabs = p->tabWidget7->tabBar();
    const int tab = kind == PaletteNew::Land ? 1 : 0;
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(tab).center());
    QCOMPARE(p->tabWidget7->currentIndex(), tab);
    QTreeWidget *tree = kind == PaletteNew::Land ? p->listLand : p->listStatic;
    const QList<QTreeWidgetItem *> groups = tree->findItems(group, Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(groups.size(), 1);
    tree->scrollToItem(groups.first());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(groups.first()).center());
    QListWidget *icons = kind == PaletteNew::Land ? p->iconLand : p->iconStatic;
    const QList<QListWidgetItem *> tiles = icons->findItems(label, Qt::MatchExactly);
    QCOMPARE(tiles.size(), 1);
    icons->scrollToItem(tiles.first());
    QTest::mouseClick(icons->viewport(), Qt::LeftButton, Qt::NoModifier, icons->visualItemRect(tiles.first()).center());
}

// The mean colour of an image, ignoring see-through pixels.
QRgb meanColour(const QImage &image)
{
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (qAlpha(c) == 0)
                continue;
            r += qRed(c);
            g += qGreen(c);
            b += qBlue(c);
            ++n;
        }
    }
    return n ? qRgb(int(r / n), int(g / n), int(b / n)) : qRgb(0, 0, 0);
}

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

} // namespace

class JourneysTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    // The long journey, in order.
    void startsOnTheSampleWorld();
    void switchesFacets();
    void zoomsAndScrolls();
    void selectsAndDeletes();
    void movesStaticsWithControlArrows();
    void paintsLandAndStatics();
    void placesAMulti();
    void clearsARectangle();
    void loadsAWorldSave();
    void savesIntoDifferenceFiles();
    void savesIntoMainFiles();
    void quitsAndStartsAgainWithEveryChange();

    // The road of one painted land tile, from the palette to the saved file and a new start.
    void paletteTilePaintedSavedAndShownAtTheNextStart();

private:
    bool journeyBroken();
    GLMapWidget &view() { return *m_window->view(); }
    // Draws a frame now, as the screen would show it; picking reads its walk.
    QImage frame() { return view().grabFramebuffer(); }
    // A key typed while the map has the focus. Keys reach the window's shortcuts only while it
    // is the active window; the virtual X server has no window manager to give the window
    // its activation back when a dialog closes, so the key does it first.
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        if (QApplication::activeWindow() != m_window.get()) {
            m_window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        }
        QTest::keyClick(&view(), Qt::Key(k), mods);
    }
    void click(const QPoint &p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QVERIFY2(view().rect().contains(p), "the point is outside the map view");
        QTest::mouseClick(&view(), Qt::LeftButton, mods, p);
    }
    // A window point on the static's picture: the middle of the 2 x 2 block of opaque
    // pixels nearest the middle of its image (a click on a transparent pixel picks nothing,
    // and grass blades are a pixel or two wide).
    QPoint onStatic(int x, int y, int id)
    {
        const QImage art = m_art->staticArt(id, 255).convertToFormat(QImage::Format_ARGB32);
        const int w = art.width(), h = art.height();
        const auto opaque = [&art](int px, int py) { return art.valid(px, py) && qAlpha(art.pixel(px, py)) > 200; };
        QPointF best(w / 2.0, h / 2.0);
        double nearest = 1e9;
        for (int py = 0; py + 1 < h; ++py)
            for (int px = 0; px + 1 < w; ++px) {
                const double d = std::hypot(px + 1 - w / 2.0, py + 1 - h / 2.0);
                if (d < nearest && opaque(px, py) && opaque(px + 1, py) && opaque(px, py + 1) && opaque(px + 1, py + 1)) {
                    nearest = d;
                    best = QPointF(px + 1, py + 1);
                }
            }
        // The image as drawn in flat mode: stretched over its rectangle, its top row highest.
        TileQuad q;
        mapgeometry::staticCorners(mapgeometry::Flat, w, h, 0, 0, q);
        const QPoint top = cellTop(view(), x, y);
        const double sx = q.c[0].x + best.x() * (q.c[1].x - q.c[0].x) / w;
        const double sy = q.c[2].y - best.y() * (q.c[2].y - q.c[0].y) / h;
        return windowPoint(view(), top.x() + sx, top.y() + sy);
    }
    // Edit > Find, the cell typed in, Find.
    void goTo(int x, int y)
    {
        m_window->editFindAction->trigger();
        FindWidget *find = m_window->findWidget();
        QVERIFY(find->isVisible());
        find->lineEditX->clear();
        find->lineEditY->clear();
        QTest::keyClicks(find->lineEditX, QString::number(x));
        QTest::keyClicks(find->lineEditY, QString::number(y));
        QTest::mouseClick(find->pushFind, Qt::LeftButton);
        find->hide();
        QCOMPARE(QPoint(view().currentX(), view().currentY()), QPoint(x, y));
    }
    QString file(const QString &name) const { return m_dir + QLatin1Char('/') + name; }
    // Keeps what the program now shows for a cell; the restart must show the same.
    void remember(int x, int y) { m_expected[{x, y}] = cellState(view(), x, y); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ArtStore> m_art;
    QString m_dir;
    std::unique_ptr<mainWindow> m_window;
    bool m_broken = false;
    QMap<Cell, QString> m_expected;
    QMap<QString, QByteArray> m_digests; // client files before the journey
};

void JourneysTest::initTestCase()
{
    // Qt's own file dialog, so it can be answered on any desktop.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    m_env = std::make_unique<TestEnvironment>();
    m_dir = m_env->copyOfSample(QStringLiteral("journey"));
    TestEnvironment::useDataDirectory(m_dir);
    m_art = std::make_unique<ArtStore>(); // the art is the same in every copy of the sample
    for (const QString &name : {QStringLiteral("map2.mul"), QStringLiteral("statics2.mul"),
                                QStringLiteral("staidx2.mul"), QStringLiteral("mapdif2.mul"),
                                QStringLiteral("stadif2.mul")})
        m_digests[name] = digest(file(name));
}

void JourneysTest::cleanupTestCase()
{
    m_window.reset();
    m_art.reset();
    m_env.reset();
}

void JourneysTest::cleanup()
{
    if (QTest::currentTestFailed())
        m_broken = true;
}

bool JourneysTest::journeyBroken()
{
    return m_broken || !m_window;
}

#define JOURNEY_STEP()                                                                                          \
    if (journeyBroken())                                                                                        \
    QSKIP("an earlier step of the journey failed")

void JourneysTest::startsOnTheSampleWorld()
{
    TestEnvironment::useDataDirectory(m_dir);
    m_window = std::make_unique<mainWindow>();
    mainWindow &w = *m_window;
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Felucca"));
    QCOMPARE(view().mapid(), 0);
    QVERIFY(w.fileFacetFeluccaAction->isChecked());
    QCOMPARE(w.statusField(7)->text(), QStringLiteral("Location X:    0 Y:   0"));
    QVERIFY(!view().hasUnsavedChanges());
}

void JourneysTest::switchesFacets()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    w.fileFacetMalasAction->trigger();
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Malas"));
    QCOMPARE(view().mapid(), 3);
    QCOMPARE(w.scrollHorz->maximum(), 320 * 8);
    QCOMPARE(w.scrollVert->maximum(), 256 * 8);

    w.fileFacetIlshenerAction->trigger();
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Ilshenar"));
    QCOMPARE(view().mapid(), kIlshenar);
    QCOMPARE(view().blockCache().blocksX(), 288);
    QCOMPARE(w.scrollHorz->maximum(), 288 * 8);
    QCOMPARE(w.scrollVert->maximum(), 200 * 8);
    QVERIFY(w.fileFacetIlshenerAction->isChecked());
    QVERIFY(!w.fileFacetMalasAction->isChecked() && !w.fileFacetFeluccaAction->isChecked());
}

void JourneysTest::zoomsAndScrolls()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    GLMapWidget &v = view();

    // The wheel over the map zooms in one step, "-" one step out, Shift doubles the step.
    wheel(w, 120);
    QCOMPARE(v.scale(), 1.0125);
    QCOMPARE(w.statusField(4)->text(), QStringLiteral("Scale: 1.0125"));
    key(Qt::Key_Minus);
    QCOMPARE(v.scale(), 1.0);
    wheel(w, -120, Qt::ShiftModifier);
    QCOMPARE(v.scale(), 0.975);
    key(Qt::Key_Plus, Qt::ShiftModifier);
    QCOMPARE(v.scale(), 1.0);
    QCOMPARE(w.statusField(4)->text(), QStringLiteral("Scale:     1"));

    goTo(80, 117);

    // Arrow keys, with Shift eight cells, and the scroll bar's arrow.
    key(Qt::Key_Right);
    key(Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(QPoint(v.currentX(), v.currentY()), QPoint(81, 125));
    key(Qt::Key_Up, Qt::ShiftModifier);
    w.scrollHorz->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(QPoint(v.currentX(), v.currentY()), QPoint(82, 117));
    QCOMPARE(w.statusField(7)->text(), QStringLiteral("Location X:   82 Y: 117"));

    // Statics on (Ctrl+S); the frame now has the centre cell in the middle of the view.
    key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(w.viewStaticsAction->isChecked());
    QVERIFY(v.staticsOn());
    frame();
    const GLMapWidget::CellHit middle = v.cellAt(v.width() / 2, v.height() / 2 + 22);
    QCOMPARE(QPoint(middle.x, middle.y), QPoint(82, 117));
}

void JourneysTest::selectsAndDeletes()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    GLMapWidget &v = view();
    BlockCache &cache = v.blockCache();

    // Land: one click selects the cell, Delete gives it tile 0 at its height.
    const Tile land = cache.land(82, 117);
    QVERIFY(land.id() != 0);
    const QPoint cell = landPoint(v, 82, 117);
    const QRgb before = frame().pixel(cell);
    click(cell);
    QCOMPARE(v.landSelection, (GLMapWidget::LandSelection{{82, {{117, land.id()}}}}));
    key(Qt::Key_Delete);
    QCOMPARE(cache.land(82, 117).id(), 0);
    QCOMPARE(cache.land(82, 117).z(), land.z());
    QVERIFY(v.landSelection.isEmpty());
    QVERIFY(frame().pixel(cell) != before);
    remember(82, 117);

    // Statics only (Shift+S on, Shift+L off), one click on a grass tuft, Delete.
    key(Qt::Key_S, Qt::ShiftModifier);
    key(Qt::Key_L, Qt::ShiftModifier);
    QCOMPARE(v.selectMode(), 2);
    QCOMPARE(w.statusField(3)->text(), QStringLiteral("Sel: Static "));
    QCOMPARE(staticsAt(v, 84, 117), QStringList{QStringLiteral("26@13#0")});
    frame();
    click(onStatic(84, 117, 26));
    GLMapWidget::StaticSelection tuft;
    tuft[84][117][13] = {26};
    QCOMPARE(v.staticSelection, tuft);
    key(Qt::Key_Delete);
    QVERIFY(staticsAt(v, 84, 117).isEmpty());
    QVERIFY(v.staticSelection.isEmpty());
    remember(84, 117);
}

void JourneysTest::movesStaticsWithControlArrows()
{
    JOURNEY_STEP();
    GLMapWidget &v = view();
    // A hued flower bush, moved up-right on the screen and then along x.
    const QStringList bush{QStringLiteral("25@10#361")};
    QCOMPARE(staticsAt(v, 80, 116), bush);
    QVERIFY(staticsAt(v, 82, 115).isEmpty());
    frame();
    click(onStatic(80, 116, 25));
    QCOMPARE(v.staticSelection.value(80).value(116).value(10), QList<int>{25});
    {
        StdoutCapture out;
        key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(staticsAt(v, 81, 115), bush);
        key(Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(out.text(), QStringLiteral("keyright\npagedown\n"));
    }
    QVERIFY(staticsAt(v, 80, 116).isEmpty());
    QVERIFY(staticsAt(v, 81, 115).isEmpty());
    QCOMPARE(staticsAt(v, 82, 115), bush);
    GLMapWidget::StaticSelection moved;
    moved[82][115][10] = {25};
    QCOMPARE(v.staticSelection, moved);
    // Where the bush now stands, a click finds it again.
    frame();
    key(Qt::Key_Escape);
    QVERIFY(v.staticSelection.isEmpty());
    click(onStatic(82, 115, 25));
    QCOMPARE(v.staticSelection, moved);
    key(Qt::Key_Escape);
    for (const Cell &c : {Cell{80, 116}, Cell{81, 115}, Cell{82, 115}})
        remember(c.first, c.second);
}

void JourneysTest::paintsLandAndStatics()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    GLMapWidget &v = view();
    BlockCache &cache = v.blockCache();
    openPalette(w, file(QStringLiteral("palette.xml")));

    // Land: the random snow set, one drag over three cells.
    choosePaletteTile(w, PaletteNew::Land, QStringLiteral("Snow"), QStringLiteral("snow"));
    QCOMPARE(v.paintIds(), (std::vector<int>{56, 57, 58, 59}));
    key(Qt::Key_Insert);
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("Land"));
    const QList<Cell> stroke{{86, 120}, {87, 120}, {88, 120}};
    const QString past = cellState(v, 89, 120);
    QList<int> heights;
    for (const Cell &c : stroke)
        heights << cache.land(c.first, c.second).z();
    frame();
    QTest::mousePress(&v, Qt::LeftButton, Qt::NoModifier, landPoint(v, 86, 120));
    QTest::mouseMove(&v, landPoint(v, 87, 120));
    QTest::mouseMove(&v, landPoint(v, 88, 120));
    QTest::mouseRelease(&v, Qt::LeftButton, Qt::NoModifier, landPoint(v, 88, 120));
    for (int i = 0; i < stroke.size(); ++i) {
        const Tile t = cache.land(stroke[i].first, stroke[i].second);
        QVERIFY2(t.id() >= 56 && t.id() <= 59, qPrintable(cellState(v, stroke[i].first, stroke[i].second)));
        QCOMPARE(t.z(), heights[i]);
        remember(stroke[i].first, stroke[i].second);
    }
    QCOMPARE(cellState(v, 89, 120), past);

    // A rock three above the ground: the statics tab, its tile, the height text.
    choosePaletteTile(w, PaletteNew::Statics, QStringLiteral("Rocks"), QStringLiteral("0x20"));
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("Static"));
    QTest::keyClicks(w.palette()->lineAlt, QStringLiteral("+3"));
    QCOMPARE(v.paintAlt(), QStringLiteral("+3"));
    QVERIFY(staticsAt(v, 87, 122).isEmpty());
    const int ground = cache.land(87, 122).z();
    frame();
    click(landPoint(v, 87, 122));
    QCOMPARE(staticsAt(v, 87, 122), QStringList{QStringLiteral("32@%1#0").arg(ground + 3)});
    remember(87, 122);
    key(Qt::Key_Insert);
    QVERIFY(!v.paintMode());
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("None"));
    const int width = v.width();
    w.windowPaletteAction->trigger();
    QVERIFY(!w.paletteDock()->isVisible());
    QTRY_VERIFY(v.width() > width);
}

void JourneysTest::placesAMulti()
{
    JOURNEY_STEP();
    GLMapWidget &v = view();
    // The tent of the sample's multi files (number 1), anchored at (80, 113): what each cell
    // must hold afterwards, read from the files themselves.
    QFile index(file(QStringLiteral("multi.idx"))), data(file(QStringLiteral("multi.mul")));
    QVERIFY(index.open(QIODevice::ReadOnly) && data.open(QIODevice::ReadOnly));
    const std::optional<QList<MultiComponent>> tent = readMulti(index, data, 1);
    QVERIFY(tent && !tent->isEmpty());
    const int base = v.blockCache().land(80, 113).z();
    QMap<Cell, QStringList> want;
    int placed = 0;
    for (const MultiComponent &c : *tent) {
        if (c.flags == 0)
            continue;
        want[{80 + c.dx, 113 + c.dy}] << QStringLiteral("%1@%2#0").arg(c.id).arg(base + c.dz);
        ++placed;
    }
    for (auto it = want.cbegin(); it != want.cend(); ++it)
        QVERIFY2(staticsAt(v, it.key().first, it.key().second).isEmpty(), qPrintable(cellState(v, it.key().first, it.key().second)));

    QString caption;
    Answerer<QueryWidget> answer([&](QueryWidget *q) {
        caption = q->windowTitle();
        q->value(QStringLiteral("1"));
        q->okButton();
    });
    frame();
    const QPoint anchor = landPoint(v, 80, 113);
    QVERIFY(v.rect().contains(anchor));
    menufixture::chooseAt(&v, anchor, {QStringLiteral("Import"), QStringLiteral("Multi")});
    QCOMPARE(answer.count(), 1);
    QCOMPARE(caption, QStringLiteral("Enter Multi ID"));
    int selected = 0;
    for (auto it = want.cbegin(); it != want.cend(); ++it) {
        QStringList have = staticsAt(v, it.key().first, it.key().second);
        QStringList expected = it.value();
        have.sort();
        expected.sort();
        QCOMPARE(have, expected);
        for (const QList<int> &ids : v.staticSelection.value(it.key().first).value(it.key().second))
            selected += ids.size();
        remember(it.key().first, it.key().second);
    }
    // The placed tent is the selection, ready to be moved.
    QCOMPARE(selected, placed);
    key(Qt::Key_Escape);
    QVERIFY(v.staticSelection.isEmpty());
}

void JourneysTest::clearsARectangle()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    GLMapWidget &v = view();
    QVERIFY(!staticsAt(v, 76, 117).isEmpty());
    QVERIFY(!staticsAt(v, 76, 118).isEmpty());
    const QString outside = cellState(v, 79, 118);
    const QString below = cellState(v, 77, 119);

    Answerer<ClearDialog> answer([](ClearDialog *d) {
        for (QLineEdit *e : {d->lineX, d->lineY, d->lineX_2, d->lineY_2})
            e->clear();
        QTest::keyClicks(d->lineX, QStringLiteral("76"));
        QTest::keyClicks(d->lineY, QStringLiteral("117"));
        QTest::keyClicks(d->lineX_2, QStringLiteral("78"));
        QTest::keyClicks(d->lineY_2, QStringLiteral("118"));
        d->checkLand->setChecked(true);
        d->checkStatics->setChecked(true);
        QTest::mouseClick(d->pushButton2, Qt::LeftButton);
    });
    w.editClearAction->trigger();
    QCOMPARE(answer.count(), 1);
    for (int x = 76; x <= 78; ++x) {
        for (int y = 117; y <= 118; ++y) {
            QCOMPARE(cellState(v, x, y), QStringLiteral("(%1, %2) land 0/0 statics []").arg(x).arg(y));
            remember(x, y);
        }
    }
    QCOMPARE(cellState(v, 79, 118), outside);
    QCOMPARE(cellState(v, 77, 119), below);
}

void JourneysTest::loadsAWorldSave()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    GLMapWidget &v = view();
    // A barrel marked to become a static, one lying on the ground, and one in a container.
    const QString save = m_env->root() + QStringLiteral("/journey.wsc");
    {
        QFile f(save);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        f.write("SECTION WORLDITEM\n{\nID 93\nX 88\nY 114\nZ 20\nCOLOR 33\nTYPE 255\n}\n"
                "SECTION WORLDITEM\n{\nID 93\nX 89\nY 115\nZ 16\nNAME barrel\n}\n"
                "SECTION WORLDITEM\n{\nID 26\nX 90\nY 115\nCONT 1234\n}\n");
    }
    QVERIFY(staticsAt(v, 88, 114).isEmpty());
    QVERIFY(v.blockCache().statics(89, 115).isEmpty());
    const QPoint item = onStatic(89, 115, kBarrel);
    QVERIFY(v.rect().contains(item));
    const QRgb ground = frame().pixel(item);

    BoxWatch boxes;
    QString caption;
    Answerer<QFileDialog> answer([&](QFileDialog *d) {
        caption = d->windowTitle();
        acceptFile(d, save);
    });
    w.fileWorld_Action->trigger();
    QCOMPARE(answer.count(), 1);
    QCOMPARE(caption, QStringLiteral("Select World File"));
    QCOMPARE(boxes.seen(), QString());

    QCOMPARE(staticsAt(v, 88, 114), QStringList{QStringLiteral("93@20#33")});
    const TileStack lying = v.blockCache().statics(89, 115);
    QCOMPARE(lying.size(), 1);
    QVERIFY(lying.at(0).isItem());
    QVERIFY(v.blockCache().statics(90, 115).isEmpty());
    // The copy beside the save leaves out only the item that became a static.
    QFile copy(save + QStringLiteral(".tsy"));
    QVERIFY(copy.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromLatin1(copy.readAll());
    QVERIFY(!text.contains(QLatin1String("X 88")));
    QVERIFY(text.contains(QLatin1String("X 89")) && text.contains(QLatin1String("CONT 1234")));

    // The lying barrel shows only with Dynamics on.
    QCOMPARE(frame().pixel(item), ground);
    w.viewDynamicsAction->trigger();
    QVERIFY(v.dynamicsOn());
    QVERIFY(frame().pixel(item) != ground);
    w.viewDynamicsAction->trigger();
    QCOMPARE(frame().pixel(item), ground);
    remember(88, 114);
    remember(89, 115);
}

void JourneysTest::savesIntoDifferenceFiles()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    GLMapWidget &v = view();
    QVERIFY(v.hasUnsavedChanges());
    BoxWatch boxes;
    w.fileSaveDiff_FilesAction->trigger();
    QCOMPARE(boxes.seen(), QString()); // Ilshenar has files of its own: no question
    QVERIFY(!v.hasUnsavedChanges());
    for (const QString &name : {QStringLiteral("map2.mul"), QStringLiteral("statics2.mul"), QStringLiteral("staidx2.mul")})
        QVERIFY2(digest(file(name)) == m_digests[name], qPrintable(name + " changed"));
    QVERIFY(digest(file(QStringLiteral("mapdif2.mul"))) != m_digests[QStringLiteral("mapdif2.mul")]);
    QVERIFY(digest(file(QStringLiteral("stadif2.mul"))) != m_digests[QStringLiteral("stadif2.mul")]);
    const int blocksY = facetBlocksY(kIlshenar);
    QVERIFY(v.facet(kIlshenar).landDifferenceList().contains(blockNumber(82, 117, blocksY)));
    QVERIFY(v.facet(kIlshenar).staticsDifferenceList().contains(blockNumber(88, 114, blocksY)));
    // What the program shows after the save is what it showed before.
    for (auto it = m_expected.cbegin(); it != m_expected.cend(); ++it)
        QCOMPARE(cellState(v, it.key().first, it.key().second), it.value());
    for (const QString &name : {QStringLiteral("mapdif2.mul"), QStringLiteral("mapdifl2.mul"),
                                QStringLiteral("stadif2.mul"), QStringLiteral("stadifi2.mul"),
                                QStringLiteral("stadifl2.mul")})
        m_digests[name] = digest(file(name));
}

void JourneysTest::savesIntoMainFiles()
{
    JOURNEY_STEP();
    mainWindow &w = *m_window;
    GLMapWidget &v = view();
    // Land selectable again (Shift+L on, Shift+S off); a cell of a block no save has
    // touched yet goes up two with F1.
    key(Qt::Key_L, Qt::ShiftModifier);
    key(Qt::Key_S, Qt::ShiftModifier);
    QCOMPARE(v.selectMode(), 1);
    const Tile land = v.blockCache().land(93, 111);
    QVERIFY(!v.facet(kIlshenar).landDifferenceList().contains(blockNumber(93, 111, facetBlocksY(kIlshenar))));
    frame();
    click(landPoint(v, 93, 111));
    QCOMPARE(v.landSelection, (GLMapWidget::LandSelection{{93, {{111, land.id()}}}}));
    key(Qt::Key_F1);
    key(Qt::Key_F1);
    QCOMPARE(v.blockCache().land(93, 111).z(), land.z() + 2);
    key(Qt::Key_Escape);
    remember(93, 111);

    BoxWatch boxes;
    w.fileSaveMul_FilesAction->trigger();
    QCOMPARE(boxes.seen(), QString());
    QVERIFY(!v.hasUnsavedChanges());
    QCOMPARE(landInFile(file(QStringLiteral("map2.mul")), 93, 111), qMakePair(land.id(), land.z() + 2));
    // The edits saved into the difference files went into the main files too; the
    // difference files stay as they were.
    QCOMPARE(landInFile(file(QStringLiteral("map2.mul")), 82, 117).first, 0);
    QCOMPARE(landInFile(file(QStringLiteral("map2.mul")), 77, 118), qMakePair(0, 0));
    for (const QString &name : {QStringLiteral("mapdif2.mul"), QStringLiteral("mapdifl2.mul"),
                                QStringLiteral("stadif2.mul"), QStringLiteral("stadifi2.mul"),
                                QStringLiteral("stadifl2.mul")})
        QVERIFY2(digest(file(name)) == m_digests[name], qPrintable(name + " changed"));
}

void JourneysTest::quitsAndStartsAgainWithEveryChange()
{
    JOURNEY_STEP();
    {
        BoxWatch boxes;
        QVERIFY(m_window->close()); // everything is saved: no question
        QCOMPARE(boxes.seen(), QString());
        m_window.reset();
    }

    m_window = std::make_unique<mainWindow>();
    mainWindow &w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The start comes back to the facet the last run left.
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Ilshenar"));
    w.fileFacetIlshenerAction->trigger();
    GLMapWidget &v = view();
    for (auto it = m_expected.cbegin(); it != m_expected.cend(); ++it)
        QCOMPARE(cellState(v, it.key().first, it.key().second), it.value());
    // The same facts, spelled out.
    QCOMPARE(v.blockCache().land(82, 117).id(), 0);
    QVERIFY(staticsAt(v, 84, 117).isEmpty());
    QCOMPARE(staticsAt(v, 82, 115), QStringList{QStringLiteral("25@10#361")});
    QVERIFY(v.blockCache().land(87, 120).id() >= 56 && v.blockCache().land(87, 120).id() <= 59);
    QCOMPARE(staticsAt(v, 87, 122).size(), 1);
    QVERIFY(staticsAt(v, 80, 113).contains(QStringLiteral("%1@%2#0").arg(kBarrel).arg(v.blockCache().land(80, 113).z())));
    QCOMPARE(v.blockCache().land(77, 118).id(), 0);
    QCOMPARE(staticsAt(v, 88, 114), QStringList{QStringLiteral("93@20#33")});
    // Items of a world save are shown, never saved.
    QVERIFY(v.blockCache().statics(89, 115).isEmpty());
    QVERIFY(!v.hasUnsavedChanges());
    QVERIFY(m_window->close());
    m_window.reset();
}

void JourneysTest::paletteTilePaintedSavedAndShownAtTheNextStart()
{
    const QString dir = m_env->copyOfSample(QStringLiteral("road"));
    TestEnvironment::useDataDirectory(dir);
    constexpr int kSnow = 56, x = 79, y = 113; // a grass cell without statics
    QRgb snow = 0, before = 0;
    int z = 0, grassId = -1;
    {
        m_window = std::make_unique<mainWindow>();
        mainWindow &w = *m_window;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.fileFacetIlshenerAction->trigger();
        // The palette dock takes its room from the map, so it comes first.
        openPalette(w, dir + QStringLiteral("/palette.xml"));
        goTo(x, y);
        GLMapWidget &v = view();
        const Tile grass = v.blockCache().land(x, y);
        QVERIFY(grass.id() != kSnow);
        grassId = grass.id();
        z = grass.z();
        snow = meanColour(v.landImage(kSnow, 0, 255));
        const QPoint cell = landPoint(v, x, y);
        before = frame().pixel(cell);
        QVERIFY2(distance(before, snow) > 120, qPrintable(describe(before) + " is near snow " + describe(snow)));

        choosePaletteTile(w, PaletteNew::Land, QStringLiteral("Snow"), QStringLiteral("0x38"));
        QCOMPARE(v.paintIds(), std::vector<int>{kSnow});
        key(Qt::Key_Insert);
        QVERIFY(v.paintMode());
        QCOMPARE(w.statusField(0)->text(), QStringLiteral("Land"));
        click(cell);
        QCOMPARE(v.blockCache().land(x, y).id(), kSnow);
        QCOMPARE(v.blockCache().land(x, y).z(), z);

        BoxWatch boxes;
        QAction *diffFiles = nullptr;
        for (QAction *a : w.saveMenu->actions())
            diffFiles = a->text() == QStringLiteral("Diff Files") ? a : diffFiles;
        QVERIFY(diffFiles);
        diffFiles->trigger();
        QVERIFY(!v.hasUnsavedChanges());
        QVERIFY(w.close());
        QCOMPARE(boxes.seen(), QString());
        m_window.reset();
    }
    // Into the difference files: the main file keeps the grass.
    QCOMPARE(landInFile(dir + QStringLiteral("/map2.mul"), x, y), qMakePair(grassId, z));

    m_window = std::make_unique<mainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->fileFacetIlshenerAction->trigger();
    goTo(x, y);
    QCOMPARE(view().blockCache().land(x, y).id(), kSnow);
    QCOMPARE(view().blockCache().land(x, y).z(), z);
    const QRgb after = frame().pixel(landPoint(view(), x, y));
    QVERIFY2(distance(after, snow) < 30, qPrintable(describe(after) + " is not snow " + describe(snow)));
    QVERIFY(m_window->close());
    m_window.reset();
}

QTEST_MAIN(JourneysTest)
#include "journeys_test.moc"
