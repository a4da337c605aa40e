// The tile context menu on a small hand-made world: right presses sent to the view at the
// window positions of known cells, entries chosen in the real menus, and the questions, file
// dialogs and Properties dialogs they open answered as a user would. The small traps a map
// maker meets around the menu and the gestures run in a main window of their own, where the
// status bar tells what a gesture could not do.
//
// The world, Ilshenar (facet 2), centred on (20, 20), land id 3 at z 0 unless named, all in
// block 402 (cells 16..23):
//   land (20, 20) z 125, (17, 18) z 3;
//   statics kA at (18, 20) z 0, kB at (22, 18) z 0, kPlant at (23, 21) z 5 hue 0x0455;
//   every static a solid 20 x 30 image.
#include "app/mainwindow.h"
#include "dialogs/propwidget.h"
#include "gui/contextmenufixture.h"
#include "gui/viewfixture.h"
#include "support/testenv.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

using namespace viewfixture;
using namespace menufixture;

namespace {

constexpr int kA = 100, kB = 101, kPlant = 0x0E3E, kPlantHue = 0x0455;
constexpr int kW = 20, kH = 30;

using Stack = QList<QList<int>>;

QStringList lines(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class ContextMenuTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { m_env.reset(); }
    void init();
    void cleanup()
    {
        stopAnswering();
        m_view.reset();
    }

    void menusHoldTheEntriesInOrder();
    void propertiesOpensOneDialogPerKind();
    void propertiesApplyMovesTheSelectedStatic();
    void altitudeOnSelectedLand_data();
    void altitudeOnSelectedLand();
    void altitudeOnStaticsKeepsTheSelectionWithThem();
    void hueGoesToEverySelectedStatic();
    void exportWritesTheStaticsUnderThePoint();
    void exportWithNoStaticsAsksForNoFile();
    void failedExportIsReported();
    void insertEntriesWorkOnThePressPoint();
    void smallTrapsSayWhyOrAct_data();
    void smallTrapsSayWhyOrAct();

private:
    QPoint staticAt(int x, int y) { return staticPoint(*m_view, x, y, kW, kH); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void ContextMenuTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    World w;
    w.facet = 2;
    w.land = {{{20, 20}, {3, 125}}, {{17, 18}, {3, 3}}};
    w.statics = {{kA, 18, 20, 0}, {kB, 22, 18, 0}, {kPlant, 23, 21, 5, kPlantHue}};
    w.art = {{kA, solidStatic(kW, kH, kRed)}, {kB, solidStatic(kW, kH, kGreen)}, {kPlant, solidStatic(kW, kH, kBlue)}};
    QVERIFY(writeWorld(dir, w));
    // Felucca for the save question: Trammel has no main files, so the two share them.
    World felucca = w;
    felucca.facet = 0;
    QVERIFY(QDir().mkpath(m_env->root() + "/felucca"));
    QVERIFY(writeWorld(m_env->root() + "/felucca", felucca));
    TestEnvironment::useDataDirectory(dir);
}

// Every test gets a view of its own: its own block cache and working files.
void ContextMenuTest::init()
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

void ContextMenuTest::menusHoldTheEntriesInOrder()
{
    const auto entries = [](const QMenu *menu) {
        QList<QPair<QString, int>> out;
        for (const QAction *a : menu->actions())
            out.append({a->text(), a->data().toInt()});
        return out;
    };
    auto *pop = m_view->findChild<QMenu *>("popMenu");
    QVERIFY(pop);
    QCOMPARE(entries(pop), (QList<QPair<QString, int>>{
                               {"Properties", 0}, {"Altitude", 1}, {"Hue", 2}, {"Import", 5}, {"Export", 3}, {"Insert", 4},
                               {"Copy", 6}, {"Paste", 7}}));
    QCOMPARE(pop->actions()[3]->menu(), pop->findChild<QMenu *>("importMenu"));
    QCOMPARE(pop->actions()[5]->menu(), pop->findChild<QMenu *>("insertMenu"));
    QCOMPARE(entries(pop->actions()[3]->menu()), (QList<QPair<QString, int>>{{"Multi", 0}, {"Vey Multi", 1}, {"XML", 2}}));
    QCOMPARE(entries(pop->actions()[5]->menu()), (QList<QPair<QString, int>>{{"Land", 0}, {"Static", 1}}));
}

void ContextMenuTest::propertiesOpensOneDialogPerKind()
{
    GLMapWidget &v = *m_view;
    v.setSelectMode(3);
    chooseAt(&v, staticAt(18, 20), {"Properties"});
    QCOMPARE(v.popupPoint, staticAt(18, 20));

    // Statics first, then land; modeless, and deleted when closed.
    const QList<PropWidget *> dialogs = v.findChildren<PropWidget *>();
    QCOMPARE(dialogs.size(), 2);
    QCOMPARE(dialogs[0]->kind(), int(PropWidget::Statics));
    QCOMPARE(lines(dialogs[0]->listBox1), QStringList{"18,20,0,0x64"});
    QCOMPARE(dialogs[1]->kind(), int(PropWidget::Land));
    QCOMPARE(lines(dialogs[1]->listBox1), QStringList{"18,20,0x3"});
    for (PropWidget *d : dialogs)
        QVERIFY(d->isVisible() && !d->isModal() && d->testAttribute(Qt::WA_DeleteOnClose));

    // The land dialog's Apply reaches the map: tile and new height.
    dialogs[1]->lineAlt->setText("9");
    QTest::mouseClick(dialogs[1]->pushButton2, Qt::LeftButton);
    QCOMPARE(landAt(v, 18, 20), qMakePair(3, 9));
    QPointer<PropWidget> closed(dialogs[0]);
    closed->close();
    QTRY_VERIFY(!closed);
    QVERIFY(dialogs[1]->isVisible());
}

void ContextMenuTest::propertiesApplyMovesTheSelectedStatic()
{
    GLMapWidget &v = *m_view;
    v.setSelectMode(2);
    v.staticSelection = oneStatic(23, 21, 5, kPlant);
    v.staticSelection[18][20][0] = {kA};
    // On a selected static: the whole selection, in map order.
    chooseAt(&v, staticAt(23, 21), {"Properties"});
    auto *d = v.findChild<PropWidget *>();
    QVERIFY(d);
    QCOMPARE(lines(d->listBox1), (QStringList{"18,20,0,0x64", "23,21,5,0xe3e"}));

    d->listBox1->setCurrentRow(1);
    d->lineAlt->setText("7");
    QTest::mouseClick(d->pushButton2, Qt::LeftButton);
    QCOMPARE(staticsAt(v, 23, 21), (Stack{{kPlant, 7, kPlantHue}}));
    GLMapWidget::StaticSelection want = oneStatic(23, 21, 7, kPlant);
    want[18][20][0] = {kA};
    QCOMPARE(v.staticSelection, want);
}

void ContextMenuTest::altitudeOnSelectedLand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("z2020"); // from 125
    QTest::addColumn<int>("z1718"); // from 3

    QTest::newRow("raise, held at 127") << "+5" << 127 << 8;
    QTest::newRow("hexadecimal") << "0x10" << 16 << 16;
    QTest::newRow("above the top") << "200" << 127 << 127;
    QTest::newRow("lower") << "--3" << 122 << 0;
    QTest::newRow("raise hexadecimal") << " + 0x2 " << 127 << 5;
    QTest::newRow("negative height") << "-5" << -5 << -5;
    QTest::newRow("empty") << "  " << 125 << 3;
    QTest::newRow("cancelled") << QString() << 125 << 3;
}

void ContextMenuTest::altitudeOnSelectedLand()
{
    QFETCH(QString, text);
    QFETCH(int, z2020);
    QFETCH(int, z1718);
    GLMapWidget &v = *m_view;
    v.setSelectMode(1);
    v.landSelection[20][20] = 3;
    v.landSelection[17][18] = 3;
    QString caption;
    answerQuery(text, &caption);
    chooseAt(&v, landPoint(v, 20, 20), {"Altitude"});
    QCOMPARE(caption, QStringLiteral("Select Altitude"));
    QCOMPARE(landAt(v, 20, 20), qMakePair(3, z2020));
    QCOMPARE(landAt(v, 17, 18), qMakePair(3, z1718));
    QCOMPARE(landAt(v, 21, 20), qMakePair(3, 0));
}

void ContextMenuTest::altitudeOnStaticsKeepsTheSelectionWithThem()
{
    GLMapWidget &v = *m_view;
    v.setSelectMode(2);
    v.staticSelection = oneStatic(18, 20, 0, kA);
    answerQuery("--3");
    chooseAt(&v, staticAt(18, 20), {"Altitude"});
    QCOMPARE(staticsAt(v, 18, 20), (Stack{{kA, -3, 0}}));
    QCOMPARE(v.staticSelection, oneStatic(18, 20, -3, kA));

    answerQuery("200");
    chooseAt(&v, staticAt(18, 20), {"Altitude"});
    QCOMPARE(staticsAt(v, 18, 20), (Stack{{kA, 127, 0}}));
    QCOMPARE(v.staticSelection, oneStatic(18, 20, 127, kA));

    // An unselected static: only it changes, and the selection stays as it was.
    answerQuery("+2");
    chooseAt(&v, staticAt(22, 18), {"Altitude"});
    QCOMPARE(staticsAt(v, 22, 18), (Stack{{kB, 2, 0}}));
    QCOMPARE(staticsAt(v, 18, 20), (Stack{{kA, 127, 0}}));
    QCOMPARE(v.staticSelection, oneStatic(18, 20, 127, kA));
}

void ContextMenuTest::hueGoesToEverySelectedStatic()
{
    GLMapWidget &v = *m_view;
    v.setSelectMode(2);
    v.staticSelection = oneStatic(18, 20, 0, kA);
    v.staticSelection[23][21][5] = {kPlant};
    QString caption;
    answerQuery("0x21", &caption);
    chooseAt(&v, staticAt(18, 20), {"Hue"});
    QCOMPARE(caption, QStringLiteral("Select Hue"));
    QCOMPARE(staticsAt(v, 18, 20), (Stack{{kA, 0, 33}}));
    QCOMPARE(staticsAt(v, 23, 21), (Stack{{kPlant, 5, 33}}));
    QCOMPARE(staticsAt(v, 22, 18), (Stack{{kB, 0, 0}}));

    // Only the low 16 bits are kept.
    answerQuery("0x10026");
    chooseAt(&v, staticAt(18, 20), {"Hue"});
    QCOMPARE(staticsAt(v, 18, 20), (Stack{{kA, 0, 0x26}}));
}

void ContextMenuTest::exportWritesTheStaticsUnderThePoint()
{
    GLMapWidget &v = *m_view;
    v.setSelectMode(2);
    const QString a = m_env->root() + "/a.xml";
    QString caption;
    QStringList filters;
    answerFileDialog(a, &caption, &filters);
    chooseAt(&v, staticAt(23, 21), {"Export"});
    QCOMPARE(caption, QStringLiteral("Select Export File"));
    QCOMPARE(filters, (QStringList{"XML(*.xml)", "All(*.*)"}));
    QCOMPARE(readAll(a), QByteArray("<tessaryn>\n"
                                    "    <export>\n"
                                    "        <tile id=\"3646\" hue=\"1109\" x=\"23\" y=\"21\" z=\"5\" />\n"
                                    "    </export>\n"
                                    "</tessaryn>\n"));

    // On a selected static: the whole selection in map order; an entry whose static is gone
    // is written as id -1 with hue 0.
    v.staticSelection = oneStatic(23, 21, 5, kPlant);
    v.staticSelection[18][20][0] = {kA};
    v.staticSelection[19][19][-4] = {kB};
    const QString b = m_env->root() + "/b.xml";
    answerFileDialog(b);
    chooseAt(&v, staticAt(23, 21), {"Export"});
    QCOMPARE(readAll(b), QByteArray("<tessaryn>\n"
                                    "    <export>\n"
                                    "        <tile id=\"100\" hue=\"0\" x=\"18\" y=\"20\" z=\"0\" />\n"
                                    "        <tile id=\"-1\" hue=\"0\" x=\"19\" y=\"19\" z=\"-4\" />\n"
                                    "        <tile id=\"3646\" hue=\"1109\" x=\"23\" y=\"21\" z=\"5\" />\n"
                                    "    </export>\n"
                                    "</tessaryn>\n"));
}

void ContextMenuTest::exportWithNoStaticsAsksForNoFile()
{
    GLMapWidget &v = *m_view;
    // Export takes the statics under the point whatever the select mode; on bare land there
    // are none, and the status bar says so.
    v.setSelectMode(1);
    QSignalSpy said(&v, &GLMapWidget::statusMessage);
    const QString path = m_env->root() + "/none.xml";
    int dialogs = 0;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&dialogs, path] {
        if (auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            ++dialogs;
            typeFileName(d, path);
        }
    });
    watch.start(10);
    chooseAt(&v, landPoint(v, 21, 21), {"Export"});
    watch.stop();
    QCOMPARE(dialogs, 0);
    QCOMPARE(said.count(), 1);
    QCOMPARE(said[0][0].toString(), QStringLiteral("Export: there is no static under the pointer"));
    QVERIFY(!QFile::exists(path));
}

void ContextMenuTest::failedExportIsReported()
{
    GLMapWidget &v = *m_view;
    v.setSelectMode(2);
    const QString path = m_env->root() + "/missing/b.xml";
    answerFileDialog(path);
    chooseAt(&v, staticAt(23, 21), {"Export"});
    QTRY_VERIFY(v.findChild<QMessageBox *>("exportFailure"));
    QPointer<QMessageBox> box = v.findChild<QMessageBox *>("exportFailure");
    QCOMPARE(box->windowTitle(), QStringLiteral("Select Export File"));
    QCOMPARE(box->text(), QStringLiteral("The export file %1 could not be written.\nNo such file or directory")
                              .arg(QDir::toNativeSeparators(path)));
    QVERIFY(!QFile::exists(path));
    box->accept();
    QTRY_VERIFY(!box);
}

void ContextMenuTest::insertEntriesWorkOnThePressPoint()
{
    GLMapWidget &v = *m_view;
    QString caption;
    // Land ids stop below 16384, static ids below 0xFFFF.
    answerQuery("16384", &caption);
    chooseAt(&v, landPoint(v, 21, 21), {"Insert", "Land"});
    QCOMPARE(caption, QStringLiteral("Enter Land Tile ID"));
    QCOMPARE(landAt(v, 21, 21), qMakePair(3, 0));
    answerQuery("0xFFFF", &caption);
    chooseAt(&v, landPoint(v, 21, 21), {"Insert", "Static"});
    QCOMPARE(caption, QStringLiteral("Enter Static Tile ID"));
    QVERIFY(staticsAt(v, 21, 21).isEmpty());

    // Valid ids reach the cell under the press.
    answerQuery("7");
    chooseAt(&v, landPoint(v, 21, 21), {"Insert", "Land"});
    QCOMPARE(landAt(v, 21, 21), qMakePair(7, 0));
    answerQuery("0x64");
    chooseAt(&v, landPoint(v, 20, 20), {"Insert", "Static"});
    QCOMPARE(staticsAt(v, 20, 20), (Stack{{kA, 125, 0}}));
}

void ContextMenuTest::smallTrapsSayWhyOrAct_data()
{
    QTest::addColumn<QString>("trap");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("status");
    QTest::newRow("Hue in Sel: Land takes the static under the press")
        << "hue on a static, Sel: Land" << "asked Select Hue; (18, 20) [100 0 33]" << "";
    QTest::newRow("Hue on bare land says there is no static")
        << "hue on land" << "asked nothing; (21, 21) []" << "Hue: there is no static under the pointer";
    QTest::newRow("Properties in Sel: Land names the static it leaves out")
        << "properties on a static, Sel: Land" << "dialogs: land"
        << "Properties: the static under the pointer is left out in \"Sel: Land\" mode";
    QTest::newRow("Properties of both kinds: two dialogs apart, Apply repaints")
        << "properties on a static, Sel: Lnd/Sta" << "dialogs: statics land; apart; repainted; (18, 20) [100 7 0]" << "";
    QTest::newRow("Control+right-click in Sel: Static takes the static, field 0 follows")
        << "take a static" << "field Land; paint 1 [100]; field Static" << "";
    QTest::newRow("Control+right-click in Sel: Land takes the land, field 0 follows")
        << "take land" << "field Static; paint 0 [3]; field Land" << "";
    QTest::newRow("Control+right-click in Sel: None says why")
        << "take in Sel: None" << "paint -1 []" << "Control+right-click takes no tile in \"Sel: None\" mode";
    QTest::newRow("Insert with no palette tile says so")
        << "insert without a tile" << "paint off; field None" << "Paint mode needs a tile: choose one in the palette first";
    QTest::newRow("A press on a selected static shows it; a click elsewhere goes on selecting")
        << "click elsewhere after a prepared move"
        << "prepared, open hand, noted; land {21: 21}, statics none, not pending, arrow" << "";
    QTest::newRow("The armed move shows; Escape cancels and says so")
        << "armed move" << "armed, pointing hand, noted; not pending, arrow" << "Move cancelled";
    QTest::newRow("Shift+drag shows the band and toggles what it covers")
        << "shift band" << "band shown to the pointer; land {20: 20, 21: 21}"
        << "X,Y:21,21 Tile 0x3 Z:0  Selected: 1 land, 0 statics"; // the hover line of the drag
    QTest::newRow("Copy and paste carry an area through the clipboard; its outline follows the pointer in "
                  "flat and isometric views until a click places it; Undo takes it back")
        << "copy and paste"
        << "clipboard <tessaryn>; armed at (21, 21), cross, noted; "
           "flat: (24, 22) (24, 23) then (20, 25) (20, 26); isometric: (24, 22) (24, 23) then (20, 25) (20, 26); "
           "placed: (21, 21) [100 0 0], one step Paste, not armed, arrow; undone (21, 21) [], no step"
        << "Pasted 3 tiles at 21, 21";
    QTest::newRow("An armed paste changes nothing: Escape drops it, and so does a right click after the tile "
                  "menu's Paste armed it on the pressed cell")
        << "paste cancelled"
        << "escape: not armed, arrow; menu: armed at (21, 21); right click: not armed, no menu; (21, 21) [], no step"
        << "Paste cancelled";
    QTest::newRow("The save question keeps the view's picture")
        << "save question" << "asked Save Conflict; picture kept" << "";
}

// Each trap as a user meets it: what the map and the view show afterwards, and the message
// the status bar shows at the end.
void ContextMenuTest::smallTrapsSayWhyOrAct()
{
    QFETCH(QString, trap);
    QFETCH(QString, outcome);
    QFETCH(QString, status);
    mainWindow w;
    w.resize(900, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    GLMapWidget &v = *w.view();
    v.setMapid(2);
    v.setTerrainMode(1);
    v.setStatics(true);
    v.setCenter(20, 20);
    v.setSelectMode(3);
    v.grabFramebuffer();
    const QPoint onA = staticPoint(v, 18, 20, kW, kH);
    const QPoint grass = landPoint(v, 21, 21);
    QLabel *field0 = w.statusField(0);

    const auto mouse = [&v](QEvent::Type type, const QPoint &p, Qt::MouseButton button, Qt::MouseButtons buttons,
                            Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent e(type, QPointF(p), v.mapToGlobal(QPointF(p)), button, buttons, mods);
        QCoreApplication::sendEvent(&v, &e);
    };
    const auto click = [&](const QPoint &p) {
        mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    };
    const auto key = [&w](int k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &e);
    };
    const auto cell = [&v](int x, int y) {
        QStringList parts;
        for (const QList<int> &t : staticsAt(v, x, y))
            parts << QStringLiteral("%1 %2 %3").arg(t[0]).arg(t[1]).arg(t[2]);
        return QStringLiteral("(%1, %2) [%3]").arg(x).arg(y).arg(parts.join(", "));
    };
    const auto paint = [&v] {
        QStringList ids;
        for (const int id : v.paintIds())
            ids << QString::number(id);
        return QStringLiteral("paint %1 [%2]").arg(v.paintType()).arg(ids.join(' '));
    };
    const auto landSel = [&v] {
        QStringList parts;
        for (auto ix = v.landSelection.cbegin(); ix != v.landSelection.cend(); ++ix)
            for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy)
                parts << QStringLiteral("%1: %2").arg(ix.key()).arg(iy.key());
        return QStringLiteral("{%1}").arg(parts.join(", "));
    };
    const auto dialogs = [&v] {
        QStringList kinds;
        for (PropWidget *d : v.findChildren<PropWidget *>())
            if (d->isVisible())
                kinds << (d->kind() == PropWidget::Land ? "land" : "statics");
        kinds.sort(); // "land" < "statics"; shown the other way below when both are there
        std::reverse(kinds.begin(), kinds.end());
        return kinds;
    };
    // The armed paste's corner, and the cells the frame outlines once the pointer is at p.
    const auto armedAt = [&v] {
        return v.pasteArmed() ? QStringLiteral("armed at (%1, %2)").arg(v.pasteAnchor().x()).arg(v.pasteAnchor().y())
                              : QStringLiteral("not armed");
    };
    const auto outlineAt = [&](const QPoint &p) {
        mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
        v.grabFramebuffer();
        std::vector<QPoint> cells = v.pastePreviewCells();
        std::sort(cells.begin(), cells.end(),
                  [](const QPoint &a, const QPoint &b) { return std::pair(a.x(), a.y()) < std::pair(b.x(), b.y()); });
        QStringList parts;
        for (const QPoint &c : cells)
            parts << QStringLiteral("(%1, %2)").arg(c.x()).arg(c.y());
        return parts.join(' ');
    };
    const auto oneStep = [&v](int before) {
        const bool one = v.document().history(2).count() == before + 1;
        return one ? ", one step " + v.document().undoName() : QStringLiteral(", not one step");
    };
    const auto ctrlRight = [&](const QPoint &p) {
        mouse(QEvent::MouseButtonPress, p, Qt::RightButton, Qt::RightButton, Qt::ControlModifier);
        mouse(QEvent::MouseButtonRelease, p, Qt::RightButton, Qt::NoButton, Qt::ControlModifier);
    };

    const std::map<QString, std::function<QString()>> traps{
        {"hue on a static, Sel: Land",
         [&] {
             v.setSelectMode(1);
             QString caption;
             answerQuery("0x21", &caption);
             chooseAt(&v, onA, {"Hue"});
             return QStringLiteral("asked %1; %2").arg(caption, cell(18, 20));
         }},
        {"hue on land",
         [&] {
             QString caption;
             answerQuery("0x21", &caption);
             chooseAt(&v, grass, {"Hue"});
             return QStringLiteral("asked %1; %2").arg(caption.isEmpty() ? "nothing" : caption, cell(21, 21));
         }},
        {"properties on a static, Sel: Land",
         [&] {
             v.setSelectMode(1);
             chooseAt(&v, onA, {"Properties"});
             return QStringLiteral("dialogs: %1").arg(dialogs().join(' '));
         }},
        {"properties on a static, Sel: Lnd/Sta",
         [&] {
             chooseAt(&v, onA, {"Properties"});
             QString out = QStringLiteral("dialogs: %1").arg(dialogs().join(' '));
             const QList<PropWidget *> open = v.findChildren<PropWidget *>();
             if (open.size() == 2) {
                 const QPoint a = open[0]->pos(), b = open[1]->pos();
                 out += (a - b).manhattanLength() >= 32 ? "; apart" : "; on top of each other";
             }
             for (PropWidget *d : open) {
                 if (d->kind() != PropWidget::Statics)
                     continue;
                 const int walks = v.walkStats().walks;
                 d->lineAlt->setText("7");
                 d->applyButton();
                 out += QTest::qWaitFor([&] { return v.walkStats().walks > walks; }, 5000) ? "; repainted"
                                                                                           : "; not repainted";
             }
             return out + "; " + cell(18, 20);
         }},
        {"take a static",
         [&] {
             v.setPaint(0, {7}, QString());
             key(Qt::Key_Insert);
             QString out = "field " + field0->text();
             v.setSelectMode(2);
             ctrlRight(onA);
             return out + "; " + paint() + "; field " + field0->text();
         }},
        {"take land",
         [&] {
             v.setPaint(1, {kA}, QString());
             key(Qt::Key_Insert);
             QString out = "field " + field0->text();
             v.setSelectMode(1);
             ctrlRight(onA); // on the static: Sel: Land takes the land under it
             return out + "; " + paint() + "; field " + field0->text();
         }},
        {"take in Sel: None",
         [&] {
             v.setSelectMode(0);
             ctrlRight(onA);
             return paint();
         }},
        {"insert without a tile",
         [&] {
             key(Qt::Key_Insert);
             return QStringLiteral("paint %1; field %2").arg(v.paintMode() ? "on" : "off", field0->text());
         }},
        {"click elsewhere after a prepared move",
         [&] {
             v.staticSelection = oneStatic(18, 20, 0, kA);
             mouse(QEvent::MouseButtonPress, onA, Qt::LeftButton, Qt::LeftButton);
             mouse(QEvent::MouseButtonRelease, onA, Qt::LeftButton, Qt::NoButton);
             QString out = v.movePending() ? "prepared" : "not prepared";
             out += v.cursor().shape() == Qt::OpenHandCursor ? ", open hand" : ", no cursor";
             out += w.statusBar()->currentMessage() == v.gestureNote() && !v.gestureNote().isEmpty() ? ", noted"
                                                                                                      : ", not noted";
             click(grass);
             return out + QStringLiteral("; land %1, statics %2, %3, %4")
                              .arg(landSel(), v.staticSelection.isEmpty() ? "none" : "some",
                                   v.movePending() ? "pending" : "not pending",
                                   v.cursor().shape() == Qt::ArrowCursor ? "arrow" : "other cursor");
         }},
        {"armed move",
         [&] {
             v.staticSelection = oneStatic(18, 20, 0, kA);
             mouse(QEvent::MouseButtonPress, onA, Qt::LeftButton, Qt::LeftButton);
             mouse(QEvent::MouseButtonRelease, onA, Qt::LeftButton, Qt::NoButton);
             mouse(QEvent::MouseButtonDblClick, onA, Qt::LeftButton, Qt::LeftButton);
             mouse(QEvent::MouseButtonRelease, onA, Qt::LeftButton, Qt::NoButton);
             QString out = v.moveArmed() ? "armed" : "not armed";
             out += v.cursor().shape() == Qt::PointingHandCursor ? ", pointing hand" : ", no cursor";
             out += w.statusBar()->currentMessage().startsWith("Moving the selected statics") ? ", noted"
                                                                                              : ", not noted";
             key(Qt::Key_Escape);
             return out + QStringLiteral("; %1, %2").arg(v.movePending() ? "pending" : "not pending",
                                                         v.cursor().shape() == Qt::ArrowCursor ? "arrow" : "other cursor");
         }},
        {"shift band",
         [&] {
             v.landSelection[20][20] = 3;
             const QPoint from = landPoint(v, 21, 21), to = landPoint(v, 21, 21, 4, 4);
             mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
             mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
             QString out = v.bandActive() && v.bandEnd() == QPointF(to) ? "band shown to the pointer" : "no band";
             mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
             return out + "; land " + landSel();
         }},
        {"copy and paste",
         [&] {
             // Two cells of land, one of them with a static: the outline covers both.
             v.landSelection[18][20] = 3;
             v.landSelection[18][21] = 3;
             v.staticSelection = oneStatic(18, 20, 0, kA);
             w.editCopyAction->trigger();
             QString out = "clipboard " + QGuiApplication::clipboard()->text().left(10);
             QCursor::setPos(v.mapToGlobal(grass));
             mouse(QEvent::MouseMove, grass, Qt::NoButton, Qt::NoButton);
             w.editPasteAction->trigger();
             out += "; " + armedAt();
             out += v.cursor().shape() == Qt::CrossCursor ? ", cross" : ", other cursor";
             out += w.statusBar()->currentMessage() == "Click to place the pasted area; Escape or a right click cancels"
                 ? ", noted"
                 : ", not noted";
             for (const int mode : {mapgeometry::Flat, mapgeometry::Isometric}) {
                 v.setMode(mode);
                 out += mode == mapgeometry::Flat ? "; flat: " : "; isometric: ";
                 out += outlineAt(landPoint(v, 24, 22)) + " then " + outlineAt(landPoint(v, 20, 25));
             }
             v.setMode(mapgeometry::Flat);
             mouse(QEvent::MouseMove, grass, Qt::NoButton, Qt::NoButton);
             const int steps = v.document().history(2).count();
             click(grass);
             out += "; placed: " + cell(21, 21) + oneStep(steps) + QStringLiteral(", %1, %2")
                        .arg(v.pasteArmed() ? "armed" : "not armed",
                             v.cursor().shape() == Qt::ArrowCursor ? "arrow" : "other cursor");
             w.editUndoAction->trigger();
             return out + "; undone " + cell(21, 21) + (v.document().history(2).canUndo() ? ", a step" : ", no step");
         }},
        {"paste cancelled",
         [&] {
             v.landSelection[18][20] = 3;
             v.staticSelection = oneStatic(18, 20, 0, kA);
             w.editCopyAction->trigger();
             v.landSelection.clear();
             v.staticSelection.clear();
             mouse(QEvent::MouseMove, grass, Qt::NoButton, Qt::NoButton);
             w.editPasteAction->trigger();
             key(Qt::Key_Escape);
             QString out = QStringLiteral("escape: %1, %2")
                               .arg(v.pasteArmed() ? "armed" : "not armed",
                                    v.cursor().shape() == Qt::ArrowCursor ? "arrow" : "other cursor");
             chooseAt(&v, grass, {"Paste"});
             out += "; menu: " + armedAt();
             // Should the press open the menu instead, it is closed again and said.
             auto menuShown = std::make_shared<bool>(false);
             QTimer::singleShot(1000, &v, [menuShown] {
                 while (QWidget *popup = QApplication::activePopupWidget()) {
                     *menuShown = true;
                     popup->close();
                 }
             });
             rightClick(&v, landPoint(v, 24, 22));
             QTest::qWait(1100);
             out += QStringLiteral("; right click: %1, %2")
                        .arg(v.pasteArmed() ? "armed" : "not armed", *menuShown ? "a menu" : "no menu");
             return out + "; " + cell(21, 21) + (v.document().history(2).canUndo() ? ", a step" : ", no step");
         }},
        {"save question",
         [&] {
             TestEnvironment::useDataDirectory(m_env->root() + "/felucca");
             GLMapWidget felucca;
             TestEnvironment::useDataDirectory(m_env->root() + "/client");
             felucca.resize(480, 360);
             felucca.show();
             if (!QTest::qWaitForWindowExposed(&felucca))
                 return QStringLiteral("no window");
             felucca.setMapid(0);
             felucca.setTerrainMode(1);
             felucca.setStatics(true);
             felucca.setCenter(20, 20);
             const QImage before = felucca.grabFramebuffer();
             QString title;
             bool kept = false;
             whenModal<QMessageBox>([&](QMessageBox *box) {
                 title = box->windowTitle();
                 kept = felucca.grabFramebuffer() == before;
                 for (QAbstractButton *b : box->buttons())
                     if (b->text() == "No")
                         b->click();
             });
             felucca.save(0);
             return QStringLiteral("asked %1; %2").arg(title, kept ? "picture kept" : "picture lost");
         }},
    };
    const auto it = traps.find(trap);
    QVERIFY2(it != traps.end(), qPrintable(trap));
    QCOMPARE(it->second(), outcome);
    QCOMPARE(w.statusBar()->currentMessage(), status);
}

QTEST_MAIN(ContextMenuTest)
#include "contextmenu_test.moc"
