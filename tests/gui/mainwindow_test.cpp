// The main window: start-up state, settings, facet switching, status texts, input checks.
#include "app/mainwindow.h"
#include "dialogs/cleardialog.h"
#include "dialogs/findwidget.h"
#include "tools/palettenew.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QValidator>
#include <QtTest>

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void firstStartWithEmptySettings();
    void gridColourRoundTripsWithFullAlpha();
    void gridColourSettingReading_data();
    void gridColourSettingReading();
    void facetSwitchLowersScrollBarsAndCentre();
    void facetActionsFollowTheFacet();
    void statusFieldTexts();
    void cellInformationMessage();
    void clearRequestChecks_data();
    void clearRequestChecks();
    void missingDataDirectoryStartsNormally();
    void gotoRangesFollowTheFacet();
};

void MainWindowTest::firstStartWithEmptySettings()
{
    TestEnvironment env;
    mainWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Felucca"));
    QCOMPARE(w.gridColor(), QRgb(0xFFFFFFFFu));
    QCOMPARE(w.view()->gridColorRgba(), 0xFFFFFFFFu);
    QVERIFY(w.palette()->fileName().isEmpty());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!w.paletteDock()->isVisible());
    QVERIFY(!w.clipDock()->isVisible());
    QVERIFY(w.fileFacetFeluccaAction->isChecked());
    QVERIFY(w.viewElevationFlatAction->isChecked());
    QVERIFY(!w.viewDynamicsAction->isEnabled());
    QCOMPARE(w.scrollHorz->maximum(), 6144);
    QCOMPARE(w.scrollVert->maximum(), 4096);
    QVERIFY(w.width() >= 808 && w.height() >= 624);
    // Paste takes heights relative until told otherwise; the other choice is what the next
    // start takes.
    QVERIFY(w.editPasteHeightsRelativeAction->isChecked());
    QCOMPARE(w.view()->pasteHeights(), MapDocument::PasteHeights::Relative);
    w.editPasteHeightsAbsoluteAction->trigger();
    QVERIFY(!w.editPasteHeightsRelativeAction->isChecked());
    QCOMPARE(w.view()->pasteHeights(), MapDocument::PasteHeights::Absolute);
    mainWindow next;
    QVERIFY(next.editPasteHeightsAbsoluteAction->isChecked());
    QCOMPARE(next.view()->pasteHeights(), MapDocument::PasteHeights::Absolute);
}

void MainWindowTest::gridColourRoundTripsWithFullAlpha()
{
    TestEnvironment env;
    // What the colour command writes: the unsigned decimal, above the largest signed 32-bit value.
    const quint32 colour = 0xFF3080C0u;
    QSettings().setValue(QStringLiteral("Tessaryn/GridColor"), QString::number(colour));
    QCOMPARE(QSettings().value(QStringLiteral("Tessaryn/GridColor")).toString(), QStringLiteral("4281368768"));
    mainWindow w;
    QCOMPARE(quint32(w.gridColor()), colour);
    QCOMPARE(w.view()->gridColorRgba(), colour);
}

void MainWindowTest::gridColourSettingReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("colour");
    QTest::newRow("default -1 is opaque white") << "-1" << 0xFFFFFFFFu;
    QTest::newRow("unsigned above 2^31") << "4278190335" << 0xFF0000FFu;
    QTest::newRow("signed form of the same colour") << "-16776961" << 0xFF0000FFu;
    QTest::newRow("small value keeps zero alpha") << "255" << 0x000000FFu;
    QTest::newRow("garbage falls back to white") << "blue" << 0xFFFFFFFFu;
}

void MainWindowTest::gridColourSettingReading()
{
    QFETCH(QString, text);
    QFETCH(quint32, colour);
    QCOMPARE(quint32(gridColorFromSetting(text)), colour);
}

void MainWindowTest::facetSwitchLowersScrollBarsAndCentre()
{
    TestEnvironment env;
    mainWindow w;
    w.scrollHorz->setValue(6000);
    w.scrollVert->setValue(3000);
    QCOMPARE(w.view()->currentX(), 6000);
    w.fileMap2();
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Ilshenar"));
    QCOMPARE(w.scrollHorz->value(), 2304);
    QCOMPARE(w.scrollHorz->maximum(), 2304);
    QCOMPARE(w.scrollVert->value(), 1600);
    QCOMPARE(w.scrollVert->maximum(), 1600);
    QCOMPARE(w.view()->currentX(), 2304);
    QCOMPARE(w.view()->currentY(), 1600);
    QCOMPARE(w.view()->mapid(), 2);
    QCOMPARE(w.statusField(7)->text(), QStringLiteral("Location X: 2304 Y:1600"));
    w.fileMap3();
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Malas"));
    QCOMPARE(w.scrollHorz->maximum(), 2560);
    QCOMPARE(w.scrollVert->maximum(), 2048);
    w.fileMap1();
    QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Trammel"));
    QCOMPARE(w.scrollHorz->maximum(), 6144);
}

void MainWindowTest::facetActionsFollowTheFacet()
{
    TestEnvironment env;
    QAction *facets[6];
    {
        // Without a data directory no facet has a map: every entry is shown disabled.
        mainWindow w;
        QAction *all[] = {w.fileFacetFeluccaAction, w.fileFacetIlshenerAction, w.fileFacetTokunoAction};
        for (QAction *a : all)
            QVERIFY(!a->isEnabled());
    }
    // The small sample holds Ilshenar and Malas only.
    TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
    mainWindow w;
    QAction *const list[] = {w.fileFacetFeluccaAction, w.fileFacetTrammelAction, w.fileFacetIlshenerAction,
                             w.fileFacetMalasAction,   w.fileFacetTokunoAction,  w.fileFacetTerMurAction};
    std::copy(std::begin(list), std::end(list), facets);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(facets[i]->isEnabled(), i == 2 || i == 3);
    for (int f : {2, 3, 2}) {
        facets[f]->trigger();
        for (int i = 0; i < 6; ++i)
            QCOMPARE(facets[i]->isChecked(), i == f);
    }
    // Clicking the checked facet again leaves it checked.
    facets[2]->trigger();
    QVERIFY(facets[2]->isChecked());
    // An unknown facet number changes no check mark.
    w.fileMap(7);
    QVERIFY(facets[2]->isChecked());
}

void MainWindowTest::statusFieldTexts()
{
    TestEnvironment env;
    mainWindow w;
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("None"));
    QCOMPARE(w.statusField(1)->text(), QStringLiteral("Flat"));
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: Terrain   "));
    QCOMPARE(w.statusField(3)->text(), QStringLiteral("Sel: Land   "));
    QCOMPARE(w.statusField(4)->text(), QStringLiteral("Scale:     1"));
    QCOMPARE(w.statusField(5)->text(), QStringLiteral("Rot:   0"));
    QCOMPARE(w.statusField(6)->text(), QStringLiteral("Tilt: 129"));
    QCOMPARE(w.statusField(7)->text(), QStringLiteral("Location X:    0 Y:   0"));

    w.setPaint(0);
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("Land"));
    w.setPaint(1);
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("Static"));
    w.setPaint(5);
    QCOMPARE(w.statusField(0)->text(), QStringLiteral("None"));
    w.setElvMode(2);
    QCOMPARE(w.statusField(1)->text(), QStringLiteral("3D"));
    w.setElvMode(7);
    QCOMPARE(w.statusField(1)->text(), QStringLiteral("3D"));
    w.setViewMode(0);
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: None   "));
    w.setViewMode(2);
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: Static "));
    w.setViewMode(3);
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: Ter/Sta"));
    w.setViewMode(7);
    QCOMPARE(w.statusField(2)->text(), QString());
    w.setSelMode(0);
    QCOMPARE(w.statusField(3)->text(), QStringLiteral("Sel: None   "));
    w.setSelMode(2);
    QCOMPARE(w.statusField(3)->text(), QStringLiteral("Sel: Static "));
    w.setSelMode(3);
    QCOMPARE(w.statusField(3)->text(), QStringLiteral("Sel: Lnd/Sta"));
    w.setScale(1.0125);
    QCOMPARE(w.statusField(4)->text(), QStringLiteral("Scale: 1.0125"));
    w.setRotation(45.0);
    QCOMPARE(w.statusField(5)->text(), QStringLiteral("Rot:  45"));
    w.setXY(12345, 7);
    QCOMPARE(w.statusField(7)->text(), QStringLiteral("Location X: 12345 Y:   7"));
}

void MainWindowTest::cellInformationMessage()
{
    TestEnvironment env;
    mainWindow w;
    w.setCurrent(100, 200, 0x3e);
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("X,Y:100,200 Tile 0x3e"));
    w.setCurrent(1, 2, -5);
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("X,Y:1,2 Tile 0x-5"));

    // On a facet with a map: the land's z, the cell's topmost static and the selection.
    TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
    mainWindow sample;
    sample.fileMap2();
    BlockCache &cache = sample.view()->document().cache();
    QPoint cell(-1, -1);
    for (int x = 0; x < 400 && cell.x() < 0; ++x)
        for (int y = 0; y < 400 && cell.x() < 0; ++y)
            if (cache.statics(x, y).size() >= 2 && !cache.statics(x, y).at(cache.statics(x, y).size() - 1).name().isEmpty())
                cell = QPoint(x, y);
    QVERIFY(cell.x() >= 0);
    const Tile land = cache.land(cell.x(), cell.y());
    const TileStack stack = cache.statics(cell.x(), cell.y());
    const Tile top = stack.at(stack.size() - 1);
    sample.view()->document().landSelection()[cell.x()][cell.y()] = land.id();
    sample.setCurrent(cell.x(), cell.y(), land.id());
    QCOMPARE(sample.statusBar()->currentMessage(),
             QStringLiteral("X,Y:%1,%2 Tile 0x%3 Z:%4  Top: 0x%5 %6 Z:%7 Hue:0x%8  Selected: 1 land, 0 statics")
                 .arg(cell.x())
                 .arg(cell.y())
                 .arg(land.id(), 0, 16)
                 .arg(land.z())
                 .arg(top.id(), 0, 16)
                 .arg(top.name())
                 .arg(top.z())
                 .arg(top.hue(), 0, 16));
}

void MainWindowTest::clearRequestChecks_data()
{
    QTest::addColumn<QStringList>("corners");
    QTest::addColumn<bool>("land");
    QTest::addColumn<bool>("statics");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("problem");
    const QStringList ok{"10", "20", "30", "40"};
    const QString numbers = "Each corner needs a whole number in both of its fields; nothing was cleared.";
    QTest::newRow("land only") << ok << true << false << 0 << true << "";
    QTest::newRow("statics only") << ok << false << true << 1 << true << "";
    QTest::newRow("both") << ok << true << true << 2 << true << "";
    QTest::newRow("neither") << ok << false << false << -1 << false << "Choose Land, Statics or both; nothing was cleared.";
    QTest::newRow("x2 before x1") << QStringList{"30", "20", "10", "40"} << true << false << 0 << false
                                  << "The second corner's X (10) is left of the first corner's (30); nothing was cleared.";
    QTest::newRow("y2 before y1") << QStringList{"10", "40", "30", "20"} << true << false << 0 << false
                                  << "The second corner's Y (20) is above the first corner's (40); nothing was cleared.";
    QTest::newRow("empty field") << QStringList{"10", "", "30", "40"} << true << true << 2 << false << numbers;
    QTest::newRow("not a number") << QStringList{"-", "20", "30", "40"} << true << true << 2 << false << numbers;
    QTest::newRow("one cell") << QStringList{"5", "5", "5", "5"} << false << true << 1 << true << "";
}

void MainWindowTest::clearRequestChecks()
{
    QFETCH(QStringList, corners);
    QFETCH(bool, land);
    QFETCH(bool, statics);
    QFETCH(int, mode);
    QFETCH(bool, valid);
    // The dialog reads each corner field as a decimal, -1 when it holds none.
    ClearDialog dialog;
    QLineEdit *fields[] = {dialog.lineX, dialog.lineY, dialog.lineX_2, dialog.lineY_2};
    for (int i = 0; i < 4; ++i)
        fields[i]->setText(corners[i]);
    dialog.checkLand->setChecked(land);
    dialog.checkStatics->setChecked(statics);
    const ClearRequest r = makeClearRequest(dialog.getX1(), dialog.getY1(), dialog.getX2(),
                                            dialog.getY2(), dialog.getLand(), dialog.getStatics());
    QFETCH(QString, problem);
    QCOMPARE(r.mode, mode);
    QCOMPARE(r.valid(), valid);
    QCOMPARE(r.problem(), problem);
}

void MainWindowTest::missingDataDirectoryStartsNormally()
{
    TestEnvironment env;
    const QString missing = env.root() + QStringLiteral("/no-such-client");
    TestEnvironment::useDataDirectory(missing);
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.fileMap2();
        w.fileMap0();
        QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Felucca"));
    }
    // Nothing was created where the client directory should be.
    QVERIFY(!QDir(missing).exists());
}

void MainWindowTest::gotoRangesFollowTheFacet()
{
    TestEnvironment env;
    mainWindow w;
    FindWidget *find = w.findWidget();
    QSignalSpy spy(find, &FindWidget::setXY);
    int pos = 0;
    QString x = QStringLiteral("6144");
    QCOMPARE(find->lineEditX->validator()->validate(x, pos), QValidator::Acceptable);
    w.fileMap2();
    QCOMPARE(find->lineEditX->validator()->validate(x, pos), QValidator::Intermediate);
    x = QStringLiteral("2304");
    QCOMPARE(find->lineEditX->validator()->validate(x, pos), QValidator::Acceptable);
    find->lineEditX->setText(QStringLiteral("100"));
    find->lineEditY->setText(QString());
    find->clickFind();
    QCOMPARE(spy.count(), 0);
    find->lineEditY->setText(QStringLiteral("200"));
    find->clickFind();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 100);
    QCOMPARE(w.view()->currentX(), 100);
    QCOMPARE(w.view()->currentY(), 200);
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
