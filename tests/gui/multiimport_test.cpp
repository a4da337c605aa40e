// Multi import from the context menu on a small hand-made world: right presses at known
// cells, Import > Multi answered with a multi number, Import > Vey Multi answered with a
// ".mlt" file, and what ends up on the map and in the statics selection.
//
// The world, Ilshenar (facet 2), land id 3 at z 0 unless named: land (20, 20) z 10,
// (21, 20) z 40; static kOld at (22, 22) z 0. The data directory's multis:
//   0  missing (offset -1)
//   1  kA (0, 0, dz 0, flags 1), kB (1, 0, dz 7, flags 0x10), kC (0, 1, dz 0, flags 0)
//   2  kA (-5, 0, dz 0, flags 1), kB (1, 0, dz 0, flags 1)
//   3  kA (0, 0, dz 120), id 0x8001 (0, 1), kB (0, -1, dz -140), all flags 1
// and nothing past multi 3.
#include "gui/contextmenufixture.h"
#include "gui/viewfixture.h"
#include "support/testenv.h"

using namespace viewfixture;
using namespace menufixture;

namespace {

constexpr int kA = 100, kB = 101, kC = 102, kOld = 103;
constexpr int kW = 20, kH = 30;

using StaticSel = GLMapWidget::StaticSelection;

struct Part {
    int id, dx, dy, dz;
    quint32 flags;
};

QByteArray records(const QList<Part> &parts)
{
    QByteArray b;
    for (const Part &p : parts) {
        put16(b, p.id);
        put16(b, p.dx);
        put16(b, p.dy);
        put16(b, p.dz);
        put32(b, qint32(p.flags));
    }
    return b;
}

bool writeMultis(const QString &dir)
{
    const QList<QList<Part>> multis{
        {},
        {{kA, 0, 0, 0, 1}, {kB, 1, 0, 7, 0x10}, {kC, 0, 1, 0, 0}},
        {{kA, -5, 0, 0, 1}, {kB, 1, 0, 0, 1}},
        {{kA, 0, 0, 120, 1}, {0x8001, 0, 1, 0, 1}, {kB, 0, -1, -140, 1}},
    };
    QByteArray index, data;
    for (const QList<Part> &m : multis) {
        put32(index, m.isEmpty() ? -1 : qint32(data.size()));
        put32(index, qint32(m.size() * 12));
        put32(index, 0);
        data += records(m);
    }
    return writeFile(dir + "/multi.idx", index) && writeFile(dir + "/multi.mul", data);
}

using Stack = QList<QList<int>>;
using Cells = QList<Stack>;

// The statics of the cells around (20, 20) the multis reach.
Cells around(GLMapWidget &v)
{
    Cells out;
    for (int x = 19; x <= 21; ++x)
        for (int y = 19; y <= 21; ++y)
            out << staticsAt(v, x, y);
    return out;
}

} // namespace

class MultiImportTest : public QObject
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

    void multiThatIsNotThereKeepsTheSelection_data();
    void multiThatIsNotThereKeepsTheSelection();
    void multiPlacesFlaggedComponentsAsTheSelection();
    void componentsOutsideTheFacetAreSkipped();
    void heightsAreHeldAndIdsWithTheTopBitSkipped();
    void veyMultiAddsShownRecordsWithTheirHue();
    void exportedXmlIsPlacedAgain();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<GLMapWidget> m_view;
};

void MultiImportTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    World w;
    w.facet = 2;
    w.land = {{{20, 20}, {3, 10}}, {{21, 20}, {3, 40}}};
    w.statics = {{kOld, 22, 22, 0}};
    w.art = {{kA, solidStatic(kW, kH, kRed)}, {kB, solidStatic(kW, kH, kGreen)},
             {kC, solidStatic(kW, kH, kBlue)}, {kOld, solidStatic(kW, kH, kBlue)}};
    QVERIFY(writeWorld(dir, w));
    QVERIFY(writeMultis(dir));
    TestEnvironment::useDataDirectory(dir);
}

// Every test gets a view of its own: its own block cache and working files.
void MultiImportTest::init()
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
    m_view->staticSelection = oneStatic(22, 22, 0, kOld);
}

void MultiImportTest::multiThatIsNotThereKeepsTheSelection_data()
{
    QTest::addColumn<QString>("number");
    QTest::newRow("offset -1") << "0";
    QTest::newRow("past the index") << "9";
    QTest::newRow("cancelled") << QString();
}

void MultiImportTest::multiThatIsNotThereKeepsTheSelection()
{
    QFETCH(QString, number);
    GLMapWidget &v = *m_view;
    const Cells before = around(v);
    QString caption;
    answerQuery(number, &caption);
    chooseAt(&v, landPoint(v, 20, 20), {"Import", "Multi"});
    QCOMPARE(caption, QStringLiteral("Enter Multi ID"));
    QCOMPARE(around(v), before);
    QCOMPARE(v.staticSelection, oneStatic(22, 22, 0, kOld));
}

void MultiImportTest::multiPlacesFlaggedComponentsAsTheSelection()
{
    GLMapWidget &v = *m_view;
    answerQuery("0x1");
    chooseAt(&v, landPoint(v, 20, 20), {"Import", "Multi"});
    // At the anchor's land height plus dz, whatever the land under the component (40 at
    // (21, 20)); flags 0 keeps kC off the map.
    QCOMPARE(staticsAt(v, 20, 20), (Stack{{kA, 10, 0}}));
    QCOMPARE(staticsAt(v, 21, 20), (Stack{{kB, 17, 0}}));
    QVERIFY(staticsAt(v, 20, 21).isEmpty());
    StaticSel want = oneStatic(20, 20, 10, kA);
    want[21][20][17] = {kB};
    QCOMPARE(v.staticSelection, want);
    QCOMPARE(staticsAt(v, 22, 22), (Stack{{kOld, 0, 0}}));
}

void MultiImportTest::componentsOutsideTheFacetAreSkipped()
{
    GLMapWidget &v = *m_view;
    v.setCenter(4, 20);
    v.grabFramebuffer();
    answerQuery("2");
    chooseAt(&v, landPoint(v, 2, 20), {"Import", "Multi"});
    // dx -5 from x 2 lies off the facet; the next component is placed all the same.
    QCOMPARE(staticsAt(v, 3, 20), (Stack{{kB, 0, 0}}));
    QVERIFY(staticsAt(v, 2, 20).isEmpty());
    QCOMPARE(v.staticSelection, oneStatic(3, 20, 0, kB));
}

void MultiImportTest::heightsAreHeldAndIdsWithTheTopBitSkipped()
{
    GLMapWidget &v = *m_view;
    answerQuery("3");
    chooseAt(&v, landPoint(v, 20, 20), {"Import", "Multi"});
    QCOMPARE(staticsAt(v, 20, 20), (Stack{{kA, 127, 0}}));
    QVERIFY(staticsAt(v, 20, 21).isEmpty());
    QCOMPARE(staticsAt(v, 20, 19), (Stack{{kB, -128, 0}}));
    StaticSel want = oneStatic(20, 20, 127, kA);
    want[20][19][-128] = {kB};
    QCOMPARE(v.staticSelection, want);
}

void MultiImportTest::veyMultiAddsShownRecordsWithTheirHue()
{
    GLMapWidget &v = *m_view;
    // kA (0, 0, dz 2) shown with hue 0x26; kB (1, 0) not shown; then a record cut short.
    const QString path = m_env->root() + "/house.mlt";
    QVERIFY(writeFile(path, QByteArray::fromHex("6400 0000 0000 0200 0100 2600"
                                                "6500 0100 0000 0000 0000 2600"
                                                "6600 0000 0100 00")));
    QString caption;
    QStringList filters;
    answerFileDialog(path, &caption, &filters);
    chooseAt(&v, landPoint(v, 20, 20), {"Import", "Vey Multi"});
    QCOMPARE(caption, QStringLiteral("Select Vey Multi File"));
    QCOMPARE(filters, (QStringList{"MLT (*.mlt)", "All file (*.*)"}));
    QCOMPARE(staticsAt(v, 20, 20), (Stack{{kA, 12, 0x26}}));
    QVERIFY(staticsAt(v, 21, 20).isEmpty());
    QVERIFY(staticsAt(v, 20, 21).isEmpty());
    // Added to what was selected.
    StaticSel want = oneStatic(22, 22, 0, kOld);
    want[20][20][12] = {kA};
    QCOMPARE(v.staticSelection, want);
}

void MultiImportTest::exportedXmlIsPlacedAgain()
{
    GLMapWidget &v = *m_view;
    // The selected static on the land at 0, written as Copy and Export write it.
    const QByteArray xml = v.document().copySelection();
    QVERIFY(!xml.isEmpty());
    const QString path = m_env->root() + "/area.xml";
    QVERIFY(writeFile(path, xml));
    QString caption;
    QStringList filters;
    answerFileDialog(path, &caption, &filters);
    chooseAt(&v, landPoint(v, 20, 20), {"Import", "XML"});
    QCOMPARE(caption, QStringLiteral("Select Exported XML File"));
    QCOMPARE(filters, (QStringList{"XML (*.xml)", "All file (*.*)"}));
    // Its corner on the pressed cell, as high over that cell's land (10) as it was over its own.
    QCOMPARE(staticsAt(v, 20, 20), (Stack{{kOld, 10, 0}}));
    QCOMPARE(staticsAt(v, 22, 22), (Stack{{kOld, 0, 0}}));
    QCOMPARE(v.document().undoName(), QStringLiteral("Paste"));
    QVERIFY(v.document().undo());
    QVERIFY(staticsAt(v, 20, 20).isEmpty());
}

QTEST_MAIN(MultiImportTest)
#include "multiimport_test.moc"
