// Main window commands: menu tree, tool bar, toggle rules, navigation keys, wheel, scroll bars.
#include "app/mainwindow.h"
#include "dialogs/findwidget.h"
#include "support/testenv.h"
#include "tools/palettenew.h"
#include "view/glmapwidget.h"

#include <QAction>
#include <QDockWidget>
#include <QEnterEvent>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QDialog>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

namespace {
QStringList entries(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->menu())
            out << QStringLiteral("[") + a->text() + QStringLiteral("]");
        else
            out << a->objectName();
    }
    return out;
}

void key(QWidget *w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, k, mods, text);
    QCoreApplication::sendEvent(w, &press);
}
} // namespace

class MainWindowCommandsTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); m_w = std::make_unique<mainWindow>(); }
    void cleanup() { m_w.reset(); m_env.reset(); }

    void menuTreeAndToolBarOrder();
    void findAndFlatDoNotShareAKey();
    void staticsOffDisablesDynamicsButKeepsItsMark();
    void terrainOffDisablesImageAndColour();
    void imageAndColourAreAPair();
    void projectionGroup();
    void selectionKinds();
    void closedDockShowsUncheckedInWindowMenu();
    void arrowKeysScrollAndClamp();
    void rotationAndTiltClamp();
    void zoomKeysAndWheel();
    void controlTakesPrecedenceOverShift();
    void unknownKeyTravelsOn();
    void sliderDragMovesViewOnceOnRelease();
    void printKeyStartsOneCapture();
    void undoNamesTheStepAndTextFieldsKeepTheirKeys();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<mainWindow> m_w;
};

void MainWindowCommandsTest::menuTreeAndToolBarOrder()
{
    mainWindow &w = *m_w;
    QStringList top;
    for (QAction *a : w.menuBar()->actions())
        top << a->text();
    QCOMPARE(top, (QStringList{"&File", "&Edit", "View", "Window", "&Help"}));
    QCOMPARE(entries(w.fileMenu->actions()),
             (QStringList{"[Facet]", "fileWorld_Action", "-", "[&Save]", "-", "fileCaptureAction", "-", "fileExitAction"}));
    QCOMPARE(entries(w.facetMenu->actions()),
             (QStringList{"fileFacetFeluccaAction", "fileFacetTrammelAction", "fileFacetIlshenerAction", "fileFacetMalasAction",
                              "fileFacetTokunoAction", "fileFacetTerMurAction"}));
    QCOMPARE(entries(w.saveMenu->actions()), (QStringList{"fileSaveMul_FilesAction", "fileSaveDiff_FilesAction"}));
    QCOMPARE(entries(w.editMenu->actions()),
             (QStringList{"editUndoAction", "editRedoAction", "-", "editCopyAction", "editPasteAction",
                          "editPasteHeightsRelativeAction", "editPasteHeightsAbsoluteAction", "-",
                          "[Selection]", "-", "editClearAction", "-",
                          "editFindAction", "-", "[Settings]"}));
    QCOMPARE(entries(w.settingsMenu->actions()),
             (QStringList{"editSettingsUO_DirectoryAction", "editSettingsPaletteAction", "editSettingsGrid_ColorAction"}));
    QCOMPARE(entries(w.viewMenu->actions()),
             (QStringList{"[Elevation]", "[Terrain]", "viewStaticsAction", "viewDynamicsAction", "viewGridAction",
                          "viewAltitudesAction", "viewClearAction"}));
    QCOMPARE(entries(w.terrainMenu->actions()),
             (QStringList{"viewTerrainEnableAction", "-", "viewTerrainImageAction", "viewTerrainColorAction"}));
    QCOMPARE(entries(w.windowMenu->actions()), (QStringList{"windowClippingAction", "windowPaletteAction", "windowOverviewAction"}));
    QCOMPARE(entries(w.helpMenu->actions()), (QStringList{"helpCommandsAction", "-", "helpAboutAction"}));
    QCOMPARE(entries(w.toolBar->actions()),
             (QStringList{"viewElevationFlatAction", "viewElevationIsometricAction", "viewElevation3DAction",
                          "editSelectionLandAction", "editSelectionStaticsAction", "-", "viewAltitudesAction",
                          "viewGridAction", "-", "viewStaticsAction", "viewTerrainEnableAction",
                          "viewTerrainImageAction", "viewTerrainColorAction", "-", "windowClippingAction", "-",
                          "windowPaletteAction", "-", "fileSaveDiff_FilesAction", "fileSaveMul_FilesAction"}));
    QCOMPARE(w.toolBar->windowTitle(), QStringLiteral("Tools"));
    QCOMPARE(w.fileWorld_Action->text(), QStringLiteral("World "));
    QCOMPARE(w.viewElevationIsometricAction->toolTip(), QStringLiteral("Client"));
}

void MainWindowCommandsTest::findAndFlatDoNotShareAKey()
{
    mainWindow &w = *m_w;
    QMap<QKeySequence, QString> owner;
    for (QAction *a : w.findChildren<QAction *>()) {
        if (a->shortcut().isEmpty())
            continue;
        QVERIFY2(!owner.contains(a->shortcut()),
                 qPrintable(a->objectName() + " shares a key with " + owner.value(a->shortcut())));
        owner.insert(a->shortcut(), a->objectName());
    }
    QCOMPARE(w.editFindAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
    QVERIFY(!w.viewElevationFlatAction->shortcut().isEmpty());

    // The key really reaches Find (an ambiguous shortcut would reach nothing), and Flat's own key reaches Flat.
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.viewElevation3DAction->trigger();
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(w.findWidget()->isVisible());
    QCOMPARE(w.view()->mode(), 2);
    w.findWidget()->hide();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keySequence(&w, w.viewElevationFlatAction->shortcut());
    QCOMPARE(w.view()->mode(), 0);
    QVERIFY(!w.findWidget()->isVisible());
}

void MainWindowCommandsTest::staticsOffDisablesDynamicsButKeepsItsMark()
{
    mainWindow &w = *m_w;
    w.viewStaticsAction->setChecked(true);
    QVERIFY(w.viewDynamicsAction->isEnabled());
    QVERIFY(w.view()->staticsOn());
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: Ter/Sta"));
    w.viewDynamicsAction->setChecked(true);
    QVERIFY(w.view()->dynamicsOn());
    w.viewStaticsAction->setChecked(false);
    QVERIFY(!w.viewDynamicsAction->isEnabled());
    QVERIFY(w.viewDynamicsAction->isChecked());
    QVERIFY(w.view()->dynamicsOn());
    QVERIFY(!w.view()->staticsOn());
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: Terrain   "));
}

void MainWindowCommandsTest::terrainOffDisablesImageAndColour()
{
    mainWindow &w = *m_w;
    w.viewTerrainEnableAction->setChecked(false);
    QVERIFY(!w.view()->terrainOn());
    QVERIFY(!w.viewTerrainImageAction->isEnabled());
    QVERIFY(!w.viewTerrainColorAction->isEnabled());
    QVERIFY(w.viewTerrainImageAction->isChecked());
    QVERIFY(!w.viewTerrainColorAction->isChecked());
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: None   "));
    w.viewStaticsAction->setChecked(true);
    QCOMPARE(w.statusField(2)->text(), QStringLiteral("View: Static "));
}

void MainWindowCommandsTest::imageAndColourAreAPair()
{
    mainWindow &w = *m_w;
    // Clicking the checked Image leaves it checked and does not touch the view.
    w.viewTerrainImageAction->trigger();
    QVERIFY(w.viewTerrainImageAction->isChecked());
    QVERIFY(!w.viewTerrainColorAction->isChecked());
    QCOMPARE(w.view()->terrainMode(), 0);
    w.viewTerrainColorAction->trigger();
    QVERIFY(w.viewTerrainColorAction->isChecked());
    QVERIFY(!w.viewTerrainImageAction->isChecked());
    QCOMPARE(w.view()->terrainMode(), 1);
    w.viewTerrainColorAction->trigger();
    QVERIFY(w.viewTerrainColorAction->isChecked());
    QCOMPARE(w.view()->terrainMode(), 1);
    w.viewTerrainImageAction->trigger();
    QVERIFY(w.viewTerrainImageAction->isChecked());
    QVERIFY(!w.viewTerrainColorAction->isChecked());
    QCOMPARE(w.view()->terrainMode(), 0);
}

void MainWindowCommandsTest::projectionGroup()
{
    mainWindow &w = *m_w;
    w.viewElevation3DAction->trigger();
    QVERIFY(w.viewElevation3DAction->isChecked());
    QVERIFY(!w.viewElevationFlatAction->isChecked());
    QCOMPARE(w.view()->mode(), 2);
    QCOMPARE(w.statusField(1)->text(), QStringLiteral("3D"));
    // Clicking the checked one keeps it checked.
    w.viewElevation3DAction->trigger();
    QVERIFY(w.viewElevation3DAction->isChecked());
    w.viewElevationIsometricAction->trigger();
    QVERIFY(w.viewElevationIsometricAction->isChecked());
    QVERIFY(!w.viewElevation3DAction->isChecked());
    QCOMPARE(w.statusField(1)->text(), QStringLiteral("Iso"));
    QCOMPARE(w.view()->mode(), 1);
}

void MainWindowCommandsTest::selectionKinds()
{
    mainWindow &w = *m_w;
    w.editSelectionStaticsAction->setChecked(true);
    QCOMPARE(w.view()->selectMode(), 3);
    QCOMPARE(w.statusField(3)->text(), QStringLiteral("Sel: Lnd/Sta"));
    w.editSelectionLandAction->setChecked(false);
    QCOMPARE(w.view()->selectMode(), 2);
    w.editSelectionStaticsAction->setChecked(false);
    QCOMPARE(w.view()->selectMode(), 0);
    QCOMPARE(w.statusField(3)->text(), QStringLiteral("Sel: None   "));
}

void MainWindowCommandsTest::closedDockShowsUncheckedInWindowMenu()
{
    mainWindow &w = *m_w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.windowPaletteAction->setChecked(true);
    QVERIFY(w.paletteDock()->isVisible());
    w.paletteDock()->close(); // the dock's own close button
    QVERIFY(!w.paletteDock()->isVisible());
    // The tool-bar button is the same action: it must not stay pressed.
    QVERIFY(!w.windowPaletteAction->isChecked());
    emit w.windowMenu->aboutToShow();
    QVERIFY(!w.windowPaletteAction->isChecked());
    QVERIFY(!w.windowClippingAction->isChecked());
    w.windowPaletteAction->trigger();
    QVERIFY(w.paletteDock()->isVisible() && w.windowPaletteAction->isChecked());

    // Clipping goes on hiding part of the map with its dock closed: the status bar says so.
    QVERIFY(!w.clippingStatus()->isVisible());
    w.setAbove(true);
    w.setLandBelow(true);
    QVERIFY(w.clippingStatus()->isVisible());
    QCOMPARE(w.clippingStatus()->text(), QStringLiteral("Clipping: statics above, land below"));
    w.setAbove(false);
    w.setLandBelow(false);
    QVERIFY(!w.clippingStatus()->isVisible());
}

void MainWindowCommandsTest::arrowKeysScrollAndClamp()
{
    mainWindow &w = *m_w;
    const int h = 4096;
    w.scrollVert->setValue(h - 3);
    key(&w, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(w.scrollVert->value(), h);
    QCOMPARE(w.view()->currentY(), h);
    key(&w, Qt::Key_Up);
    QCOMPARE(w.view()->currentY(), h - 1);
    key(&w, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(w.view()->currentX(), 8);
    key(&w, Qt::Key_Left);
    key(&w, Qt::Key_Left);
    QCOMPARE(w.view()->currentX(), 6);
    QCOMPARE(w.statusField(7)->text(), QStringLiteral("Location X:    6 Y:4095"));
    w.scrollHorz->setValue(0);
    key(&w, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(w.view()->currentX(), 0);
}

void MainWindowCommandsTest::rotationAndTiltClamp()
{
    mainWindow &w = *m_w;
    w.view()->setDegree(358);
    key(&w, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(w.view()->degree(), 360.0);
    QCOMPARE(w.statusField(5)->text(), QStringLiteral("Rot: 360"));
    w.view()->setDegree(0.5);
    key(&w, Qt::Key_Home);
    QCOMPARE(w.view()->degree(), 0.0);
    w.view()->setDegree(50);
    key(&w, Qt::Key_Home, Qt::ShiftModifier);
    QCOMPARE(w.view()->degree(), 5.0);
    w.view()->setAngle(175);
    key(&w, Qt::Key_PageDown, Qt::ShiftModifier);
    QCOMPARE(w.view()->angle(), 180.0);
    QCOMPARE(w.statusField(6)->text(), QStringLiteral("Tilt: 180"));
    w.view()->setAngle(3);
    key(&w, Qt::Key_PageUp, Qt::ShiftModifier);
    QCOMPARE(w.view()->angle(), 0.0);
    key(&w, Qt::Key_PageDown);
    QCOMPARE(w.view()->angle(), 1.0);
}

void MainWindowCommandsTest::zoomKeysAndWheel()
{
    mainWindow &w = *m_w;
    w.show(); // laid out, so that the point of each widget below is its own
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // A wheel event as the window gets it from a child that left it: at a point of the window.
    auto wheelAt = [&w](QWidget *over, int delta, Qt::KeyboardModifiers mods) {
        const QPointF at = w.mapFromGlobal(over->mapToGlobal(QPointF(over->width() / 2.0, over->height() / 2.0)));
        QWheelEvent e(at, w.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&w, &e);
    };
    wheelAt(w.view(), 120, Qt::NoModifier);
    QCOMPARE(w.view()->scale(), 1.0125);
    QCOMPARE(w.statusField(4)->text(), QStringLiteral("Scale: 1.0125"));
    // One step per event, whatever the size of the delta.
    wheelAt(w.view(), -720, Qt::ShiftModifier);
    QCOMPARE(w.view()->scale(), 0.9875);
    // No direction, no zoom; a wheel over the status bar or the menu bar leaves the map alone.
    wheelAt(w.view(), 0, Qt::NoModifier);
    wheelAt(w.statusBar(), 120, Qt::NoModifier);
    wheelAt(w.menuBar(), 120, Qt::NoModifier);
    QCOMPARE(w.view()->scale(), 0.9875);
    key(&w, Qt::Key_Plus, Qt::ShiftModifier, QStringLiteral("+"));
    QCOMPARE(w.view()->scale(), 1.0125);
    key(&w, Qt::Key_Plus, Qt::KeypadModifier, QStringLiteral("+"));
    QCOMPARE(w.view()->scale(), 1.025);
    key(&w, Qt::Key_Minus, Qt::NoModifier, QStringLiteral("-"));
    QCOMPARE(w.view()->scale(), 1.0125);
    // "=" is "+" without Shift on US keyboards.
    key(&w, Qt::Key_Equal, Qt::NoModifier, QStringLiteral("="));
    QCOMPARE(w.view()->scale(), 1.025);
    key(&w, Qt::Key_Minus, Qt::NoModifier, QStringLiteral("-"));
    // The zoom never reaches zero or below.
    for (int i = 0; i < 200; ++i)
        key(&w, Qt::Key_Minus, Qt::ShiftModifier, QStringLiteral("-"));
    QVERIFY(w.view()->scale() > 0.0);
}

void MainWindowCommandsTest::controlTakesPrecedenceOverShift()
{
    mainWindow &w = *m_w;
    w.scrollVert->setValue(100);
    key(&w, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w.scrollVert->value(), 100);
    QCOMPARE(w.view()->currentY(), 100);
    const double degree = w.view()->degree();
    key(&w, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(w.view()->degree(), degree);
}

void MainWindowCommandsTest::unknownKeyTravelsOn()
{
    mainWindow &w = *m_w;
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(&w, &a);
    QVERIFY(!a.isAccepted());
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &f1);
    QVERIFY(f1.isAccepted());
}

void MainWindowCommandsTest::sliderDragMovesViewOnceOnRelease()
{
    mainWindow &w = *m_w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QScrollBar *bar = w.scrollHorz;
    // Grab the handle with the mouse and drag it to the right.
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Horizontal;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.pageStep = bar->pageStep();
    opt.singleStep = bar->singleStep();
    const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
    QVERIFY(handle.isValid());
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, handle.center());
    QTest::mouseMove(bar, handle.center() + QPoint(60, 0));
    QVERIFY(bar->value() > 0);
    // While dragging, only the location field follows.
    QCOMPARE(w.view()->currentX(), 0);
    QCOMPARE(w.statusField(7)->text(), QStringLiteral("Location X: %1 Y:   0").arg(bar->value(), 4));
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, handle.center() + QPoint(60, 0));
    QCOMPARE(w.view()->currentX(), bar->value());
}

void MainWindowCommandsTest::printKeyStartsOneCapture()
{
    mainWindow &w = *m_w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    int dialogs = 0;
    QStringList titles;
    // Answer every dialog that opens by cancelling it, counting them.
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++dialogs;
            titles << modal->windowTitle();
            static_cast<QDialog *>(modal)->reject();
        }
    });
    answer.start(50);
    QTest::keyClick(&w, Qt::Key_Print);
    QTest::qWait(300);
    QCOMPARE(dialogs, 1);
    QCOMPARE(titles, QStringList{QStringLiteral("Capture image")});
}

void MainWindowCommandsTest::undoNamesTheStepAndTextFieldsKeepTheirKeys()
{
    mainWindow &w = *m_w;
    GLMapWidget &v = *w.view();
    QCOMPARE(w.editUndoAction->text(), QStringLiteral("Undo"));
    QVERIFY(!w.editUndoAction->isEnabled());
    QCOMPARE(w.editUndoAction->shortcuts(), QKeySequence::keyBindings(QKeySequence::Undo));
    QCOMPARE(w.editRedoAction->shortcuts(),
             (QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))}));

    v.landSelection[5][5] = v.blockCache().land(5, 5).id();
    const int z = v.blockCache().land(5, 5).z();
    key(&w, Qt::Key_F1);
    QCOMPARE(v.blockCache().land(5, 5).z(), z + 1);
    QCOMPARE(w.editUndoAction->text(), QStringLiteral("Undo Raise"));
    w.editUndoAction->trigger();
    QCOMPARE(v.blockCache().land(5, 5).z(), z);
    QCOMPARE(w.editRedoAction->text(), QStringLiteral("Redo Raise"));
    QVERIFY(!v.hasUnsavedChanges()); // back where the facet was opened
    w.editRedoAction->trigger();
    QCOMPARE(v.blockCache().land(5, 5).z(), z + 1);

    // Typing in the palette's altitude field: F1, Delete and Insert are not the map's.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.showPalette(true);
    QLineEdit *alt = w.palette()->lineAlt;
    w.activateWindow();
    alt->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(alt));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&v, &enter);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(alt)); // the pointer over the map
    key(&w, Qt::Key_F1);
    key(&w, Qt::Key_Delete);
    key(&w, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(v.blockCache().land(5, 5).z(), z + 1);
    QCOMPARE(v.landSelection.size(), 1);
    v.setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(&v));
    key(&w, Qt::Key_Delete);
    QVERIFY(v.landSelection.isEmpty());
    QCOMPARE(w.editUndoAction->text(), QStringLiteral("Undo Delete"));
}

QTEST_MAIN(MainWindowCommandsTest)
#include "mainwindow_commands_test.moc"
