// The tile context menu on a small hand-made world: right presses sent to the view at the
// window positions of known cells, entries chosen in the real menus, and the questions, file
// dialogs and Properties dialogs they open answered as a user would.
//
// The world, Ilshenar (facet 2), centred on (20, 20), land id 3 at z 0 unless named, all in
// block 402 (cells 16..23):
//   land (20, 20) z 125, (17, 18) z 3;
//   statics kA at (18, 20) z 0, kB at (22, 18) z 0, kPlant at (23, 21) z 5 hue 0x0455;
//   every static a solid 20 x 30 image.
#include "dialogs/propwidget.h"
#include "gui/contextmenufixture.h"
#include "gui/viewfixture.h"
#include "support/testenv.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

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
                               {"Properties", 0}, {"Altitude", 1}, {"Hue", 2}, {"Import", 5}, {"Export", 3}, {"Insert", 4}}));
    QCOMPARE(pop->actions()[3]->menu(), pop->findChild<QMenu *>("importMenu"));
    QCOMPARE(pop->actions()[5]->menu(), pop->findChild<QMenu *>("insertMenu"));
    QCOMPARE(entries(pop->actions()[3]->menu()), (QList<QPair<QString, int>>{{"Multi", 0}, {"Vey Multi", 1}}));
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
    v.setSelectMode(1); // statics are not picked: nothing under the point to export
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
    chooseAt(&v, staticAt(23, 21), {"Export"});
    watch.stop();
    QCOMPARE(dialogs, 0);
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

QTEST_MAIN(ContextMenuTest)
#include "contextmenu_test.moc"
