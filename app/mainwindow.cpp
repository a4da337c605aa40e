#include "app/mainwindow.h"
#include "app/capture.h"
#include "app/overviewdock.h"
#include "app/waitcursor.h"
#include "dialogs/aboutwidget.h"
#include "dialogs/cleardialog.h"
#include "dialogs/helpcommand.h"
#include "dialogs/findwidget.h"
#include "tools/multiclip.h"
#include "tools/palettenew.h"
#include "view/glmapwidget.h"
#include "view/viewsave.h"
#include "world/clientlayout.h"
#include "world/datadirectory.h"
#include "world/recovery.h"
#include "world/terminationwatcher.h"
#include "world/directorylock.h"
#include "world/facet.h"
#include "world/filereplacer.h"

#include <QAction>
#include <QTimer>
#include <QSet>
#include <QCloseEvent>
#include <QActionGroup>
#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileInfo>
#include <QDockWidget>
#include <QFileInfo>
#include <QFrame>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {
const char *const kGridColorKey = "Tessaryn/GridColor";
const char *const kPaletteKey = "Tessaryn/PaletteFile";
const char *const kPasteHeightsKey = "Tessaryn/PasteHeights"; // "relative" or "absolute"
const char *const kGeometryKey = "Tessaryn/Window/Geometry";
const char *const kStateKey = "Tessaryn/Window/State";
const char *const kViewGroup = "Tessaryn/View";
const int kStateVersion = 1;
// The file a data directory may carry to say where it is first shown (the sample
// generator writes one beside its world).
const char *const kFirstViewFile = "first-view.ini";
// A palette that could not be read, and one being read: neither is read again at a start
// until the user chooses it again, so a file that fails (or takes the program down while it
// is read) cannot spoil every start.
const char *const kPaletteRefusedKey = "Tessaryn/PaletteRefused";
const char *const kPaletteReadingKey = "Tessaryn/PaletteReading";

// The view needs a positive scale; the keys and the wheel stay between these.
// Far enough out for the largest facet to fit a small window (the view draws the overview
// there); below kFineScale each zoom step multiplies instead of adding.
const double kMinScale = 0.002;
const double kFineScale = 0.0125;
const double kMaxScale = 8.0;

QIcon image(const char *name)
{
    return QIcon(QStringLiteral(":/images/") + QLatin1String(name));
}

QAction *makeAction(QObject *parent, const char *name, bool toggle, bool on = false)
{
    auto *a = new QAction(parent);
    a->setObjectName(QLatin1String(name));
    if (toggle) {
        a->setCheckable(true);
        a->setChecked(on);
    }
    return a;
}

void printWord(const char *word)
{
    std::printf("%s\n", word);
    std::fflush(stdout);
}
} // namespace

ClearRequest makeClearRequest(int x1, int y1, int x2, int y2, bool land, bool statics)
{
    ClearRequest r;
    r.x1 = x1;
    r.y1 = y1;
    r.x2 = x2;
    r.y2 = y2;
    r.mode = -1;
    if (land)
        r.mode = 0;
    if (statics)
        r.mode += 2;
    return r;
}

QString ClearRequest::problem() const
{
    if (x1 < 0 || y1 < 0 || x2 < 0 || y2 < 0)
        return QStringLiteral("Each corner needs a whole number in both of its fields; nothing was cleared.");
    if (mode < 0)
        return QStringLiteral("Choose Land, Statics or both; nothing was cleared.");
    if (x2 < x1)
        return QStringLiteral("The second corner's X (%1) is left of the first corner's (%2); nothing was cleared.")
            .arg(x2)
            .arg(x1);
    if (y2 < y1)
        return QStringLiteral("The second corner's Y (%1) is above the first corner's (%2); nothing was cleared.")
            .arg(y2)
            .arg(y1);
    return QString();
}

QRgb gridColorFromSetting(const QString &text)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return 0xFFFFFFFFu;
    return QRgb(quint32(quint64(v) & 0xFFFFFFFFu));
}

mainWindow::mainWindow(QWidget *parent) : mainWindow(StartOptions(), parent) {}

mainWindow::mainWindow(const StartOptions &options, QWidget *parent) : QMainWindow(parent), m_start(options)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(image("tz.png"));

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("qt_central_widget"));
    setCentralWidget(central);
    auto *mainLayout = new QHBoxLayout(central);
    mainLayout->setObjectName(QStringLiteral("mainWindowLayout"));
    mainLayout->setContentsMargins(11, 11, 11, 11);
    mainLayout->setSpacing(6);
    auto *layout1 = new QGridLayout;
    layout1->setObjectName(QStringLiteral("layout1"));
    layout1->setContentsMargins(0, 0, 0, 0);
    layout1->setSpacing(6);
    mainLayout->addLayout(layout1);

    m_view = new GLMapWidget(central);
    m_view->setObjectName(QStringLiteral("gLMapWidget1"));
    m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout1->addWidget(m_view, 0, 0);
    scrollVert = new QScrollBar(Qt::Vertical, central);
    scrollVert->setObjectName(QStringLiteral("scrollVert"));
    scrollVert->setRange(0, 4096);
    scrollVert->setPageStep(8);
    layout1->addWidget(scrollVert, 0, 1);
    scrollHorz = new QScrollBar(Qt::Horizontal, central);
    scrollHorz->setObjectName(QStringLiteral("scrollHorz"));
    scrollHorz->setRange(0, 6144);
    scrollHorz->setPageStep(8);
    layout1->addWidget(scrollHorz, 1, 0);

    createActions();
    createToolBar();
    createMenus();
    languageChange();
    const QSize hint = minimumSizeHint();
    resize(qMax(808, hint.width()), qMax(624, hint.height()));

    connect(scrollVert, &QScrollBar::sliderPressed, this, &mainWindow::scrollVPress);
    connect(scrollVert, &QScrollBar::sliderMoved, this, &mainWindow::scrollVTrack);
    connect(scrollVert, &QScrollBar::sliderReleased, this, &mainWindow::scrollVRelease);
    connect(scrollVert, &QScrollBar::valueChanged, this, &mainWindow::scrollV);
    connect(scrollHorz, &QScrollBar::sliderPressed, this, &mainWindow::scrollHPress);
    connect(scrollHorz, &QScrollBar::sliderMoved, this, &mainWindow::scrollHTrack);
    connect(scrollHorz, &QScrollBar::sliderReleased, this, &mainWindow::scrollHRelease);
    connect(scrollHorz, &QScrollBar::valueChanged, this, &mainWindow::scrollH);

    connect(m_view, &GLMapWidget::currentTile, this, &mainWindow::setCurrent);
    connect(m_view, &GLMapWidget::togglePaint, this, &mainWindow::togglePaint);
    connect(m_view, &GLMapWidget::paintModeChanged, this, qOverload<int>(&mainWindow::setPaint));
    // What the view has to say (why a gesture did nothing, a move under way) and the paint
    // tile Control+right-click took.
    connect(m_view, &GLMapWidget::statusMessage, this, [this](const QString &text) {
        statusBar()->showMessage(text, 10000);
    });
    connect(m_view, &GLMapWidget::gestureChanged, this, [this] { statusBar()->showMessage(m_view->gestureNote()); });
    connect(m_view, &GLMapWidget::paintTileTaken, this,
            [this](int type) { setPaint(m_view->paintMode() ? type : -1); });

    m_vPressed = m_hPressed = false;
    m_find = new FindWidget(this);
    connect(m_find, &FindWidget::setXY, this, &mainWindow::setMapXY);

    createStatusFields();
    createDocks();
    lockDataDirectory();
    // What the opening of the data directory settled (or could not) is told once the window is up.
    QTimer::singleShot(0, this, &mainWindow::tellInterruptedSaves);
    connect(windowMenu, &QMenu::aboutToShow, this, &mainWindow::aboutToShowWindow);
    connect(&m_view->document(), &MapDocument::historyChanged, this, &mainWindow::updateUndoActions);

    // Logout and shutdown end the run with SIGTERM: the edits go to the working folder,
    // which the next run offers back.
    auto *termination = new TerminationWatcher(this);
    connect(termination, &TerminationWatcher::terminationRequested, this, [this] {
        m_view->document().keepForRecovery();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, this, &mainWindow::offerRecovery);

    fileMap0();
    restoreSettings();
    applyStartOptions();
}

mainWindow::~mainWindow()
{
    // The docks are hidden as the window goes; their Window entries must not answer that
    // with calls into a window that is half gone.
    m_paletteDock->toggleViewAction()->disconnect(windowPaletteAction);
    m_clipDock->toggleViewAction()->disconnect(windowClippingAction);
    m_overviewDock->toggleViewAction()->disconnect(windowOverviewAction);
}

QString mainWindow::lockedText(const QString &dir, qint64 pid, const QString &host)
{
    const QString where = host.isEmpty() || host == DirectoryLock::thisHost() ? QString() : QStringLiteral(" on ") + host;
    return QStringLiteral("%1 is being edited by another Tessaryn (process %2%3); saving is off.")
        .arg(QDir::toNativeSeparators(dir))
        .arg(pid)
        .arg(where);
}

void mainWindow::lockDataDirectory()
{
    const QString dir = dataDirectory();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return;
    m_lock = std::make_unique<DirectoryLock>();
    QString error;
    if (m_lock->acquire(dir, &error)) {
        m_readOnly = false;
        if (m_lockBanner)
            m_lockBanner->hide();
        return;
    }
    const DirectoryLock::Holder &h = m_lock->holder();
    if (h.pid == 0 && !error.isEmpty())
        return; // a directory this program cannot write to: saving tells why
    m_readOnly = true;
    if (!m_lockBanner) {
        m_lockBanner = new QFrame(centralWidget());
        m_lockBanner->setObjectName(QStringLiteral("lockBanner"));
        m_lockBanner->setFrameShape(QFrame::StyledPanel);
        m_lockBanner->setAutoFillBackground(true);
        QPalette pal = m_lockBanner->palette();
        pal.setColor(QPalette::Window, QColor(255, 236, 160));
        pal.setColor(QPalette::WindowText, Qt::black);
        m_lockBanner->setPalette(pal);
        auto *row = new QHBoxLayout(m_lockBanner);
        auto *label = new QLabel(m_lockBanner);
        label->setObjectName(QStringLiteral("lockBannerText"));
        label->setWordWrap(true);
        row->addWidget(label, 1);
        auto *take = new QPushButton(tr("Take Over"), m_lockBanner);
        take->setObjectName(QStringLiteral("lockTakeOver"));
        row->addWidget(take);
        connect(take, &QPushButton::clicked, this, [this] {
            lockDataDirectory();
            if (m_readOnly)
                QMessageBox::information(this, tr("Take Over"),
                                         tr("The other Tessaryn still runs; saving can be taken over once it has ended."));
        });
        static_cast<QGridLayout *>(centralWidget()->layout()->itemAt(0)->layout())->addWidget(m_lockBanner, 2, 0, 1, 2);
    }
    m_lockBanner->findChild<QLabel *>(QStringLiteral("lockBannerText"))->setText(lockedText(dir, h.pid, h.host));
    m_lockBanner->show();
}

bool mainWindow::savingAllowed()
{
    if (!m_readOnly)
        return true;
    auto *box = new QMessageBox(QMessageBox::Information, tr("Save"),
                                m_lockBanner->findChild<QLabel *>(QStringLiteral("lockBannerText"))->text(),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("savingOff"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
}

void mainWindow::createActions()
{
    fileExitAction = makeAction(this, "fileExitAction", false);
    editFindAction = makeAction(this, "editFindAction", false);
    editFindAction->setIcon(image("searchfind"));
    helpAboutAction = makeAction(this, "helpAboutAction", false);
    fileCaptureAction = makeAction(this, "fileCaptureAction", false);
    fileFacetIlshenerAction = makeAction(this, "fileFacetIlshenerAction", true, false);
    fileFacetTrammelAction = makeAction(this, "fileFacetTrammelAction", true, false);
    fileFacetFeluccaAction = makeAction(this, "fileFacetFeluccaAction", true, true);
    fileFacetMalasAction = makeAction(this, "fileFacetMalasAction", true, false);
    viewElevationFlatAction = makeAction(this, "viewElevationFlatAction", true, true);
    viewElevationFlatAction->setIcon(image("flatview.png"));
    viewElevationIsometricAction = makeAction(this, "viewElevationIsometricAction", true, false);
    viewElevationIsometricAction->setIcon(image("iso.png"));
    viewElevation3DAction = makeAction(this, "viewElevation3DAction", true, false);
    viewElevation3DAction->setIcon(image("3dview.png"));
    viewStaticsAction = makeAction(this, "viewStaticsAction", true, false);
    viewStaticsAction->setIcon(image("viewstaticson.png"));
    viewGridAction = makeAction(this, "viewGridAction", true, false);
    viewGridAction->setIcon(image("gridon.png"));
    windowClippingAction = makeAction(this, "windowClippingAction", true, false);
    windowClippingAction->setIcon(image("editcut"));
    viewAltitudesAction = makeAction(this, "viewAltitudesAction", true, false);
    viewAltitudesAction->setIcon(image("alton.png"));
    editSelectionStaticsAction = makeAction(this, "editSelectionStaticsAction", true, false);
    editSelectionStaticsAction->setIcon(image("selstaticon.png"));
    editSelectionLandAction = makeAction(this, "editSelectionLandAction", true, true);
    editSelectionLandAction->setIcon(image("selterrain.png"));
    helpCommandsAction = makeAction(this, "helpCommandsAction", false);
    editSettingsUO_DirectoryAction = makeAction(this, "editSettingsUO_DirectoryAction", false);
    editSettingsPaletteAction = makeAction(this, "editSettingsPaletteAction", false);
    windowPaletteAction = makeAction(this, "windowPaletteAction", true, false);
    windowPaletteAction->setIcon(image("palettetest.png"));
    windowOverviewAction = makeAction(this, "windowOverviewAction", true, false);
    fileSaveMul_FilesAction = makeAction(this, "fileSaveMul_FilesAction", false);
    fileSaveMul_FilesAction->setIcon(image("savetomul.png"));
    fileSaveDiff_FilesAction = makeAction(this, "fileSaveDiff_FilesAction", false);
    fileSaveDiff_FilesAction->setIcon(image("savetodif.png"));
    editClearAction = makeAction(this, "editClearAction", false);
    viewClearAction = makeAction(this, "viewClearAction", false);
    editSettingsGrid_ColorAction = makeAction(this, "editSettingsGrid_ColorAction", false);
    editSettingsGrid_ColorAction->setIcon(image("gridcolor.png"));
    viewTerrainEnableAction = makeAction(this, "viewTerrainEnableAction", true, true);
    viewTerrainEnableAction->setIcon(image("viewterrainon.png"));
    viewTerrainImageAction = makeAction(this, "viewTerrainImageAction", true, true);
    viewTerrainImageAction->setIcon(image("terrainimage.png"));
    viewTerrainColorAction = makeAction(this, "viewTerrainColorAction", true, false);
    viewTerrainColorAction->setIcon(image("terraincolor.png"));
    fileWorld_Action = makeAction(this, "fileWorld_Action", false);
    viewDynamicsAction = makeAction(this, "viewDynamicsAction", true, false);
    fileFacetTokunoAction = makeAction(this, "fileFacetTokunoAction", true, false);
    fileFacetTerMurAction = makeAction(this, "fileFacetTerMurAction", true, false);
    viewDynamicsAction->setEnabled(false);
    editUndoAction = makeAction(this, "editUndoAction", false);
    editCopyAction = makeAction(this, "editCopyAction", false);
    editPasteAction = makeAction(this, "editPasteAction", false);
    editPasteHeightsRelativeAction = makeAction(this, "editPasteHeightsRelativeAction", true, true);
    editPasteHeightsAbsoluteAction = makeAction(this, "editPasteHeightsAbsoluteAction", true, false);
    auto *pasteHeights = new QActionGroup(this);
    pasteHeights->setExclusive(true);
    pasteHeights->addAction(editPasteHeightsRelativeAction);
    pasteHeights->addAction(editPasteHeightsAbsoluteAction);
    if (QSettings().value(QLatin1String(kPasteHeightsKey)).toString() == QLatin1String("absolute"))
        editPasteHeightsAbsoluteAction->setChecked(true);
    editRedoAction = makeAction(this, "editRedoAction", false);

    connect(fileExitAction, &QAction::triggered, this, &mainWindow::fileExit);
    connect(editFindAction, &QAction::triggered, this, &mainWindow::editFind);
    connect(helpAboutAction, &QAction::triggered, this, &mainWindow::helpAbout);
    connect(fileCaptureAction, &QAction::triggered, this, &mainWindow::fileCapture);
    connect(fileFacetIlshenerAction, &QAction::triggered, this, &mainWindow::fileMap2);
    connect(fileFacetTrammelAction, &QAction::triggered, this, &mainWindow::fileMap1);
    connect(fileFacetFeluccaAction, &QAction::triggered, this, &mainWindow::fileMap0);
    connect(fileFacetMalasAction, &QAction::triggered, this, &mainWindow::fileMap3);
    connect(fileFacetTokunoAction, &QAction::triggered, this, &mainWindow::fileMap4);
    connect(fileFacetTerMurAction, &QAction::triggered, this, &mainWindow::fileMap5);
    connect(viewElevationFlatAction, &QAction::triggered, this, &mainWindow::elevationFlat);
    connect(viewElevationIsometricAction, &QAction::triggered, this, &mainWindow::elevationIoso);
    connect(viewElevation3DAction, &QAction::triggered, this, &mainWindow::elevation3D);
    connect(viewStaticsAction, &QAction::toggled, this, &mainWindow::setStatic);
    connect(viewGridAction, &QAction::toggled, this, &mainWindow::setGrid);
    connect(windowClippingAction, &QAction::toggled, this, &mainWindow::showClip);
    connect(viewAltitudesAction, &QAction::toggled, this, &mainWindow::setAltitude);
    connect(editSelectionStaticsAction, &QAction::toggled, this, &mainWindow::setSelectStatics);
    connect(editSelectionLandAction, &QAction::toggled, this, &mainWindow::setSelectLand);
    connect(helpCommandsAction, &QAction::triggered, this, &mainWindow::commandList);
    connect(editSettingsUO_DirectoryAction, &QAction::triggered, this, &mainWindow::setUODir);
    connect(editSettingsPaletteAction, &QAction::triggered, this,
            static_cast<void (mainWindow::*)()>(&mainWindow::setPalette));
    connect(windowPaletteAction, &QAction::toggled, this, &mainWindow::showPalette);
    connect(windowOverviewAction, &QAction::toggled, this, &mainWindow::showOverview);
    connect(fileSaveMul_FilesAction, &QAction::triggered, this, &mainWindow::fileSaveMul);
    connect(fileSaveDiff_FilesAction, &QAction::triggered, this, &mainWindow::fileSaveDiff);
    // One activation first runs the Clear Tiles dialog, then frees the cached textures.
    connect(editClearAction, &QAction::triggered, this, &mainWindow::ClearTile);
    connect(editClearAction, &QAction::triggered, this, &mainWindow::memClear);
    connect(editSettingsGrid_ColorAction, &QAction::triggered, this,
            static_cast<void (mainWindow::*)()>(&mainWindow::setGridColor));
    connect(viewTerrainEnableAction, &QAction::toggled, this, &mainWindow::setTerrain);
    connect(viewTerrainImageAction, &QAction::triggered, this, &mainWindow::setTerrainImage);
    connect(viewTerrainColorAction, &QAction::triggered, this, &mainWindow::setTerrainColor);
    connect(fileWorld_Action, &QAction::triggered, this, &mainWindow::fileWSC);
    connect(viewDynamicsAction, &QAction::toggled, this, &mainWindow::drawDynamic);
    connect(editUndoAction, &QAction::triggered, this, &mainWindow::editUndo);
    connect(editCopyAction, &QAction::triggered, this, [this] { m_view->copySelection(); });
    connect(editPasteAction, &QAction::triggered, this, [this] { m_view->armPaste(); });
    const auto takePasteHeights = [this] {
        const bool absolute = editPasteHeightsAbsoluteAction->isChecked();
        m_view->setPasteHeights(absolute ? MapDocument::PasteHeights::Absolute : MapDocument::PasteHeights::Relative);
        return absolute;
    };
    takePasteHeights();
    connect(pasteHeights, &QActionGroup::triggered, this, [takePasteHeights] {
        QSettings().setValue(QLatin1String(kPasteHeightsKey),
                             takePasteHeights() ? QStringLiteral("absolute") : QStringLiteral("relative"));
    });
    connect(editRedoAction, &QAction::triggered, this, &mainWindow::editRedo);
}

void mainWindow::createToolBar()
{
    toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("Tools"));
    addToolBar(Qt::TopToolBarArea, toolBar);
    toolBar->addAction(viewElevationFlatAction);
    toolBar->addAction(viewElevationIsometricAction);
    toolBar->addAction(viewElevation3DAction);
    toolBar->addAction(editSelectionLandAction);
    toolBar->addAction(editSelectionStaticsAction);
    toolBar->addSeparator();
    toolBar->addAction(viewAltitudesAction);
    toolBar->addAction(viewGridAction);
    toolBar->addSeparator();
    toolBar->addAction(viewStaticsAction);
    toolBar->addAction(viewTerrainEnableAction);
    toolBar->addAction(viewTerrainImageAction);
    toolBar->addAction(viewTerrainColorAction);
    toolBar->addSeparator();
    toolBar->addAction(windowClippingAction);
    toolBar->addSeparator();
    toolBar->addAction(windowPaletteAction);
    toolBar->addSeparator();
    toolBar->addAction(fileSaveDiff_FilesAction);
    toolBar->addAction(fileSaveMul_FilesAction);
}

void mainWindow::createMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));

    fileMenu = new QMenu(this);
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    facetMenu = new QMenu(fileMenu);
    facetMenu->addAction(fileFacetFeluccaAction);
    facetMenu->addAction(fileFacetTrammelAction);
    facetMenu->addAction(fileFacetIlshenerAction);
    facetMenu->addAction(fileFacetMalasAction);
    facetMenu->addAction(fileFacetTokunoAction);
    facetMenu->addAction(fileFacetTerMurAction);
    fileMenu->addMenu(facetMenu);
    fileMenu->addAction(fileWorld_Action);
    fileMenu->addSeparator();
    saveMenu = new QMenu(fileMenu);
    saveMenu->setIcon(image("filesave"));
    saveMenu->addAction(fileSaveMul_FilesAction);
    saveMenu->addAction(fileSaveDiff_FilesAction);
    fileMenu->addMenu(saveMenu);
    fileMenu->addSeparator();
    fileMenu->addAction(fileCaptureAction);
    fileMenu->addSeparator();
    fileMenu->addAction(fileExitAction);
    bar->addMenu(fileMenu);

    editMenu = new QMenu(this);
    editMenu->setObjectName(QStringLiteral("editMenu"));
    editMenu->addAction(editUndoAction);
    editMenu->addAction(editRedoAction);
    editMenu->addSeparator();
    editMenu->addAction(editCopyAction);
    editMenu->addAction(editPasteAction);
    editMenu->addAction(editPasteHeightsRelativeAction);
    editMenu->addAction(editPasteHeightsAbsoluteAction);
    editMenu->addSeparator();
    selectionMenu = new QMenu(editMenu);
    selectionMenu->addAction(editSelectionStaticsAction);
    selectionMenu->addAction(editSelectionLandAction);
    editMenu->addMenu(selectionMenu);
    editMenu->addSeparator();
    editMenu->addAction(editClearAction);
    editMenu->addSeparator();
    editMenu->addAction(editFindAction);
    editMenu->addSeparator();
    settingsMenu = new QMenu(editMenu);
    settingsMenu->addAction(editSettingsUO_DirectoryAction);
    settingsMenu->addAction(editSettingsPaletteAction);
    settingsMenu->addAction(editSettingsGrid_ColorAction);
    editMenu->addMenu(settingsMenu);
    bar->addMenu(editMenu);

    viewMenu = new QMenu(this);
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    elevationMenu = new QMenu(viewMenu);
    elevationMenu->addAction(viewElevationFlatAction);
    elevationMenu->addAction(viewElevationIsometricAction);
    elevationMenu->addAction(viewElevation3DAction);
    viewMenu->addMenu(elevationMenu);
    terrainMenu = new QMenu(viewMenu);
    terrainMenu->addAction(viewTerrainEnableAction);
    terrainMenu->addSeparator();
    terrainMenu->addAction(viewTerrainImageAction);
    terrainMenu->addAction(viewTerrainColorAction);
    viewMenu->addMenu(terrainMenu);
    viewMenu->addAction(viewStaticsAction);
    viewMenu->addAction(viewDynamicsAction);
    viewMenu->addAction(viewGridAction);
    viewMenu->addAction(viewAltitudesAction);
    viewMenu->addAction(viewClearAction);
    bar->addMenu(viewMenu);

    windowMenu = new QMenu(this);
    windowMenu->setObjectName(QStringLiteral("windowMenu"));
    windowMenu->addAction(windowClippingAction);
    windowMenu->addAction(windowPaletteAction);
    windowMenu->addAction(windowOverviewAction);
    bar->addMenu(windowMenu);

    helpMenu = new QMenu(this);
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    helpMenu->addAction(helpCommandsAction);
    helpMenu->addSeparator();
    helpMenu->addAction(helpAboutAction);
    bar->addMenu(helpMenu);
}

void mainWindow::languageChange()
{
    setWindowTitle(tr("Tessaryn"));
    struct Texts {
        QAction *action;
        const char *text, *menuText, *toolTip, *key;
    };
    // Find keeps Ctrl+F (its usual key in desktop programs); Flat moves to the free Ctrl+1,
    // beside Ctrl+3 for 3D, so no key is claimed twice.
    const Texts texts[] = {
        {fileExitAction, "Exit", "E&xit", nullptr, nullptr},
        {editFindAction, "Find", "&Find", nullptr, "Ctrl+F"},
        {helpAboutAction, "About", "&About", nullptr, nullptr},
        {fileCaptureAction, "Capture", "Capture", nullptr, "Print"},
        {fileFacetIlshenerAction, "Ilshenar", "Ilshenar", nullptr, nullptr},
        {fileFacetTrammelAction, "Trammel", "Trammel", nullptr, nullptr},
        {fileFacetFeluccaAction, "Felucca", "Felucca", nullptr, nullptr},
        {fileFacetMalasAction, "Malas", "Malas", nullptr, nullptr},
        {fileFacetTokunoAction, "Tokuno", "Tokuno", nullptr, nullptr},
        {fileFacetTerMurAction, "Ter Mur", "Ter Mur", nullptr, nullptr},
        {viewElevationFlatAction, "Flat", "Flat", nullptr, "Ctrl+1"},
        {viewElevationIsometricAction, "Isometric", "Isometric", "Client", "Ctrl+I"},
        {viewElevation3DAction, "3D", "3D", nullptr, "Ctrl+3"},
        {viewStaticsAction, "Statics", "Statics", nullptr, "Ctrl+S"},
        {viewGridAction, "Grid", "Grid", nullptr, "Ctrl+G"},
        {windowClippingAction, "Clipping", "Clipping", nullptr, nullptr},
        {viewAltitudesAction, "Altitudes", "Altitudes", nullptr, "Ctrl+A"},
        {editSelectionStaticsAction, "Statics", "Statics", "Select Statics", "Shift+S"},
        {editSelectionLandAction, "Land", "Land", "Select Land", "Shift+L"},
        {helpCommandsAction, "Commands", "Commands", nullptr, nullptr},
        {editSettingsUO_DirectoryAction, "UO Directory", "UO Directory", nullptr, nullptr},
        {editSettingsPaletteAction, "Palette", "Palette", nullptr, nullptr},
        {windowPaletteAction, "Palette", "Palette", nullptr, nullptr},
        {windowOverviewAction, "Overview", "Overview", nullptr, nullptr},
        {fileSaveMul_FilesAction, "Mul Files", "Mul Files", nullptr, nullptr},
        {fileSaveDiff_FilesAction, "Diff Files", "Diff Files", nullptr, nullptr},
        {editClearAction, "Clear", "Clear", nullptr, nullptr},
        {viewClearAction, "Clear", "Clear", nullptr, nullptr},
        {editSettingsGrid_ColorAction, "Grid Color", "Grid Color", nullptr, nullptr},
        {viewTerrainEnableAction, "Terrain", "Terrain", "Enable Terrain", "Ctrl+T"},
        {viewTerrainImageAction, "Image", "Image", "Terrain Image", nullptr},
        {viewTerrainColorAction, "Color", "Color", "Terrain Color", nullptr},
        {fileWorld_Action, "World ", "World ", nullptr, nullptr},
        {viewDynamicsAction, "Dynamics", "Dynamics", nullptr, nullptr},
    };
    for (const Texts &t : texts) {
        t.action->setIconText(tr(t.text));
        t.action->setText(tr(t.menuText));
        if (t.toolTip)
            t.action->setToolTip(tr(t.toolTip));
        t.action->setShortcut(t.key ? QKeySequence(QLatin1String(t.key)) : QKeySequence());
    }
    editUndoAction->setShortcuts(QKeySequence::Undo);
    editCopyAction->setText(tr("Copy"));
    editCopyAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    editPasteAction->setText(tr("Paste"));
    editPasteAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
    editPasteHeightsRelativeAction->setText(tr("Paste Heights Relative"));
    editPasteHeightsAbsoluteAction->setText(tr("Paste Heights Absolute"));
    editRedoAction->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    updateUndoActions();
    toolBar->setWindowTitle(tr("Tools"));
    facetMenu->setTitle(tr("Facet"));
    saveMenu->setTitle(tr("&Save"));
    selectionMenu->setTitle(tr("Selection"));
    settingsMenu->setTitle(tr("Settings"));
    elevationMenu->setTitle(tr("Elevation"));
    terrainMenu->setTitle(tr("Terrain"));
    fileMenu->setTitle(tr("&File"));
    editMenu->setTitle(tr("&Edit"));
    viewMenu->setTitle(tr("View"));
    windowMenu->setTitle(tr("Window"));
    helpMenu->setTitle(tr("&Help"));
}

void mainWindow::createStatusFields()
{
    m_clipStatus = new QLabel(statusBar());
    m_clipStatus->setObjectName(QStringLiteral("clipStatus"));
    statusBar()->addPermanentWidget(m_clipStatus, 0);
    m_clipStatus->hide();
    for (int i = 0; i < 8; ++i) {
        m_status[i] = new QLabel(statusBar());
        m_status[i]->setObjectName(QStringLiteral("statusField%1").arg(i + 1));
        statusBar()->addPermanentWidget(m_status[i], 0);
    }
    setPaint(-1);
    setElvMode(0);
    setViewMode(1);
    setSelMode(1);
    setScale(1.0);
    setRotation(0.0);
    setTilt(129.0);
    setXY(0, 0);
}

void mainWindow::createDocks()
{
    // Qt 6 pixmaps have no optimisation setting: they already keep the memory-lean form.
    m_paletteDock = new QDockWidget(this);
    m_paletteDock->setObjectName(QStringLiteral("paletteDock"));
    m_paletteDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                               QDockWidget::DockWidgetClosable);
    m_palette = new PaletteNew(m_paletteDock);

    QSettings settings;
    m_gridColor = gridColorFromSetting(settings.value(QLatin1String(kGridColorKey), QStringLiteral("-1")).toString());
    m_view->setGridColor(m_gridColor);
    const QString paletteFile = startPaletteFile();
    // Read once the window is up: whatever the file holds, the window comes first.
    if (!paletteFile.isEmpty())
        QTimer::singleShot(0, this, [this, paletteFile] { readStartPalette(paletteFile); });

    connect(m_palette, &PaletteNew::tileselect, this, &mainWindow::tileselect);
    connect(m_palette, &PaletteNew::paintsig, this, &mainWindow::tileClick);
    connect(m_palette, &PaletteNew::AltChange, m_view, &GLMapWidget::setPaintAlt);
    m_paletteDock->setWidget(m_palette);
    m_paletteDock->setWindowTitle(tr("Palette"));
    addDockWidget(Qt::RightDockWidgetArea, m_paletteDock);
    m_paletteDock->hide();

    m_clipDock = new QDockWidget(this);
    m_clipDock->setObjectName(QStringLiteral("clipDock"));
    m_clipDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                            QDockWidget::DockWidgetClosable);
    m_clip = new multiclip(m_clipDock);
    connect(m_clip, &multiclip::staticAbove, this, &mainWindow::setAbove);
    connect(m_clip, &multiclip::staticBelow, this, &mainWindow::setBelow);
    connect(m_clip, &multiclip::staticChangeBelow, this, &mainWindow::changeBelow);
    connect(m_clip, &multiclip::staticChangeAbove, this, &mainWindow::changeAbove);
    connect(m_clip, &multiclip::landAbove, this, &mainWindow::setLandAbove);
    connect(m_clip, &multiclip::landBelow, this, &mainWindow::setLandBelow);
    connect(m_clip, &multiclip::landChangeBelow, this, &mainWindow::changeLandBelow);
    connect(m_clip, &multiclip::landChangeAbove, this, &mainWindow::changeLandAbove);
    m_clipDock->setWidget(m_clip);
    m_clipDock->setWindowTitle(tr("Clipping"));
    addDockWidget(Qt::RightDockWidgetArea, m_clipDock);
    m_clipDock->hide();
    // A dock closed with its own button unchecks its Window entry and tool-bar button. The
    // dock's toggle action follows only real hiding, not a dock tabbed away behind another.
    connect(m_paletteDock->toggleViewAction(), &QAction::toggled, windowPaletteAction, &QAction::setChecked);
    connect(m_clipDock->toggleViewAction(), &QAction::toggled, windowClippingAction, &QAction::setChecked);

    // The whole facet, with what the view shows outlined; a click or drag moves the view.
    m_overviewDock = new QDockWidget(this);
    m_overviewDock->setObjectName(QStringLiteral("overviewDock"));
    m_overviewDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                                QDockWidget::DockWidgetClosable);
    m_overview = new OverviewWidget(m_view, m_overviewDock);
    connect(m_overview, &OverviewWidget::moveTo, this, &mainWindow::setMapXY);
    m_overviewDock->setWidget(m_overview);
    m_overviewDock->setWindowTitle(tr("Overview"));
    addDockWidget(Qt::RightDockWidgetArea, m_overviewDock);
    m_overviewDock->hide();
    connect(m_overviewDock->toggleViewAction(), &QAction::toggled, windowOverviewAction, &QAction::setChecked);
}

QString mainWindow::startPaletteFile() const
{
    if (!m_start.paletteFile.isEmpty())
        return m_start.paletteFile;
    const QString chosen = QSettings().value(QLatin1String(kPaletteKey), QString()).toString();
    if (!chosen.isEmpty())
        return chosen;
    // Without a palette of the user's own, the one the run script offers (the sample
    // world's), so painting works on first start. It is not stored as the user's choice.
    return qEnvironmentVariable("TESSARYN_DEFAULT_PALETTE");
}

// ---- what the last run left ----

namespace {
// Where the view stands and how it draws: what a restart brings back.
struct ViewPlace {
    int facet = 0;
    int x = 0, y = 0;
    int projection = 0;
    double scale = 1.0;
    bool statics = false;
};

// Reads a place from the current group of settings; nothing when it is missing or names
// a facet, position, projection or scale this program cannot show.
std::optional<ViewPlace> readViewPlace(QSettings &settings, double defaultScale)
{
    bool ok[5] = {};
    ViewPlace p;
    p.facet = settings.value(QStringLiteral("Facet")).toInt(&ok[0]);
    p.x = settings.value(QStringLiteral("X")).toInt(&ok[1]);
    p.y = settings.value(QStringLiteral("Y")).toInt(&ok[2]);
    p.projection = settings.value(QStringLiteral("Projection")).toInt(&ok[3]);
    p.scale = settings.value(QStringLiteral("Scale"), defaultScale).toDouble(&ok[4]);
    p.statics = settings.value(QStringLiteral("Statics"), false).toBool();
    if (std::find(std::begin(ok), std::end(ok), false) != std::end(ok))
        return std::nullopt;
    if (p.facet < 0 || facetBlocksX(p.facet) <= 0 || p.projection < 0 || p.projection > 2
        || !(p.scale >= kMinScale && p.scale <= kMaxScale) || p.x < 0 || p.y < 0
        || p.x > facetBlocksX(p.facet) * 8 || p.y > facetBlocksY(p.facet) * 8)
        return std::nullopt;
    return p;
}
} // namespace

// The window comes back with the size, place and docks it had. The view comes back as the
// last run left it when that run showed the same data directory. Otherwise, when the
// directory is not the user's configured client (the sample world the run script offers,
// or one named on the command line), its first-view file says where to look, so a first
// start shows something other than the empty corner at (0, 0). A configured client without
// a remembered view opens as it always has: Felucca, flat, at the corner.
void mainWindow::restoreSettings()
{
    QSettings settings;
    restoreGeometry(settings.value(QLatin1String(kGeometryKey)).toByteArray());
    if (restoreState(settings.value(QLatin1String(kStateKey)).toByteArray(), kStateVersion)) {
        windowPaletteAction->setChecked(m_paletteDock->isVisibleTo(this));
        windowClippingAction->setChecked(m_clipDock->isVisibleTo(this));
        windowOverviewAction->setChecked(m_overviewDock->isVisibleTo(this));
    }

    const QString dir = dataDirectory();
    if (dir.isEmpty())
        return;
    std::optional<ViewPlace> place;
    settings.beginGroup(QLatin1String(kViewGroup));
    if (settings.value(QStringLiteral("Directory")).toString() == dir)
        place = readViewPlace(settings, m_view->scale());
    settings.endGroup();
    const DataDirectorySource source = dataDirectorySource();
    if (!place && (source == DataDirectorySource::Default || source == DataDirectorySource::ThisRun)) {
        const QString file = QDir(dir).filePath(QLatin1String(kFirstViewFile));
        if (QFileInfo::exists(file)) {
            QSettings firstView(file, QSettings::IniFormat);
            firstView.beginGroup(QStringLiteral("View"));
            place = readViewPlace(firstView, m_view->scale());
        }
    }
    if (!place)
        return;
    openFacet(place->facet);
    elevation(place->projection);
    viewStaticsAction->setChecked(place->statics);
    setScale(place->scale);
    m_view->setScale(place->scale);
    setMapXY(place->x, place->y);
}

void mainWindow::saveSettings() const
{
    QSettings settings;
    settings.setValue(QLatin1String(kGeometryKey), saveGeometry());
    settings.setValue(QLatin1String(kStateKey), saveState(kStateVersion));
    const QString dir = dataDirectory();
    if (dir.isEmpty())
        return;
    settings.beginGroup(QLatin1String(kViewGroup));
    settings.setValue(QStringLiteral("Directory"), dir);
    settings.setValue(QStringLiteral("Facet"), m_view->mapid());
    settings.setValue(QStringLiteral("X"), m_view->currentX());
    settings.setValue(QStringLiteral("Y"), m_view->currentY());
    settings.setValue(QStringLiteral("Projection"), m_view->mode());
    settings.setValue(QStringLiteral("Scale"), m_view->scale());
    settings.setValue(QStringLiteral("Statics"), viewStaticsAction->isChecked());
    settings.endGroup();
}

// The command line's wishes come last, over what was remembered.
void mainWindow::applyStartOptions()
{
    if (m_start.facet >= 0)
        openFacet(m_start.facet);
    if (m_start.position) {
        const int w = scrollHorz->maximum(), h = scrollVert->maximum();
        const int x = qBound(0, m_start.position->x(), w), y = qBound(0, m_start.position->y(), h);
        if (x != m_start.position->x() || y != m_start.position->y())
            std::fprintf(stderr, "tessaryn: %d,%d lies outside this facet (%d x %d cells); showing %d,%d\n",
                         m_start.position->x(), m_start.position->y(), w, h, x, y);
        setMapXY(x, y);
    }
}

void mainWindow::openFacet(int facet)
{
    using FacetCommand = void (mainWindow::*)();
    static const FacetCommand commands[] = {&mainWindow::fileMap0, &mainWindow::fileMap1, &mainWindow::fileMap2,
                                            &mainWindow::fileMap3, &mainWindow::fileMap4, &mainWindow::fileMap5};
    if (facet >= 0 && facet < int(std::size(commands)))
        (this->*commands[facet])();
    else
        fileMap(facet);
}

// ---- status fields ----

void mainWindow::setCurrent(int x, int y, int tile)
{
    QString text = QStringLiteral("X,Y:") + QString::number(x) + QLatin1Char(',') + QString::number(y)
                   + QStringLiteral(" Tile 0x") + QString::number(tile, 16);
    // Where the open facet has a map: the land's height, the topmost static of the cell and
    // what is selected.
    MapDocument &doc = m_view->document();
    BlockCache &cache = doc.cache();
    if (doc.facet(doc.currentFacet()).layout().present() && x >= 0 && y >= 0 && x < cache.blocksX() * 8
        && y < cache.blocksY() * 8) {
        text += QStringLiteral(" Z:%1").arg(cache.land(x, y).z());
        const TileStack statics = cache.statics(x, y);
        if (!statics.isEmpty()) {
            const Tile &top = statics.at(statics.size() - 1);
            text += QStringLiteral("  Top: 0x%1 %2 Z:%3 Hue:0x%4")
                        .arg(top.id(), 0, 16)
                        .arg(top.name().isEmpty() ? QStringLiteral("(no name)") : top.name())
                        .arg(top.z())
                        .arg(top.hue(), 0, 16);
        }
    }
    int land = 0, placed = 0;
    for (const auto &column : doc.landSelection())
        land += int(column.size());
    for (const auto &column : doc.staticSelection())
        for (const auto &cell : column)
            for (const QList<int> &ids : cell)
                placed += int(ids.size());
    if (land + placed > 0)
        text += QStringLiteral("  Selected: %1 land, %2 statics").arg(land).arg(placed);
    if (const QString note = m_view->gestureNote(); !note.isEmpty())
        text = note + QStringLiteral("  |  ") + text; // a move under way stays in sight
    statusBar()->showMessage(text);
}

void mainWindow::setPaint(int type)
{
    m_status[0]->setText(type == 0 ? tr("Land") : type == 1 ? tr("Static") : tr("None"));
}

void mainWindow::setElvMode(int m)
{
    static const char *const names[] = {"Flat", "Iso", "3D"};
    if (m >= 0 && m <= 2)
        m_status[1]->setText(tr(names[m]));
}

void mainWindow::setViewMode(int m)
{
    static const char *const names[] = {"View: None   ", "View: Terrain   ", "View: Static ", "View: Ter/Sta"};
    m_status[2]->setText(m >= 0 && m <= 3 ? QLatin1String(names[m]) : QString());
}

void mainWindow::setSelMode(int m)
{
    static const char *const names[] = {"Sel: None   ", "Sel: Land   ", "Sel: Static ", "Sel: Lnd/Sta"};
    m_status[3]->setText(m >= 0 && m <= 3 ? QLatin1String(names[m]) : QString());
}

void mainWindow::setScale(double s)
{
    m_status[4]->setText(QStringLiteral("Scale: %1").arg(s, 5, 'g'));
}

void mainWindow::setRotation(double r)
{
    m_status[5]->setText(QStringLiteral("Rot: %1").arg(r, 3, 'g'));
}

void mainWindow::setTilt(double t)
{
    m_status[6]->setText(QStringLiteral("Tilt: %1").arg(t, 3, 'g'));
}

void mainWindow::setXY(int x, int y)
{
    m_status[7]->setText(QStringLiteral("Location X: %1 Y:%2").arg(x, 4).arg(y, 4));
}

// ---- commands ----

void mainWindow::memClear()
{
    m_view->clearTextures();
}

void mainWindow::setPalette()
{
    QSettings settings;
    const QString cur = settings.value(QLatin1String(kPaletteKey), QString()).toString();
    const QString name = QFileDialog::getOpenFileName(this, tr("Select Palette File"), cur,
                                                      tr("XML(*.xml);;All Files(*.*)")).simplified();
    const bool refused = settings.value(QLatin1String(kPaletteRefusedKey)).toString() == name;
    if (name.isEmpty() || (name == cur && !refused && m_palette->fileName() == name))
        return;
    settings.setValue(QLatin1String(kPaletteKey), name);
    settings.remove(QLatin1String(kPaletteRefusedKey));
    readPalette(name);
}

QString mainWindow::paletteFailureText(const QString &error)
{
    return QStringLiteral("The palette was not read.\n\n") + error
        + QStringLiteral("\n\nIt is not read at the next start; choose it again under Settings > Palette once it is mended.");
}

void mainWindow::readStartPalette(const QString &path)
{
    QSettings settings;
    if (settings.value(QLatin1String(kPaletteRefusedKey)).toString() == path)
        return;
    if (settings.value(QLatin1String(kPaletteReadingKey)).toString() == path) {
        // The last start did not come back from reading it.
        settings.remove(QLatin1String(kPaletteReadingKey));
        settings.setValue(QLatin1String(kPaletteRefusedKey), path);
        return;
    }
    readPalette(path);
}

bool mainWindow::readPalette(const QString &path)
{
    {
        QSettings settings;
        settings.setValue(QLatin1String(kPaletteReadingKey), path);
        settings.sync();
    }
    m_palette->setFile(path);
    QSettings settings;
    settings.remove(QLatin1String(kPaletteReadingKey));
    if (m_palette->lastError().isEmpty())
        return true;
    settings.setValue(QLatin1String(kPaletteRefusedKey), path);
    // Not exec(): the box must not hold up the start (or a test) while it waits.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Palette"), paletteFailureText(m_palette->lastError()),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("paletteFailure"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
}

void mainWindow::tellInterruptedSaves()
{
    QList<RecoveryReport> reports = FileReplacer::takeReports();
    const QString dir = dataDirectory();
    const QStringList left = FileReplacer::leftovers(dir);
    if (!left.isEmpty()) {
        RecoveryReport r;
        r.outcome = RecoveryReport::Leftovers;
        r.dir = dir;
        r.leftovers = left;
        reports.append(r);
    }
    for (const RecoveryReport &r : std::as_const(reports)) {
        const bool question = r.outcome == RecoveryReport::Damaged || r.outcome == RecoveryReport::Leftovers;
        const bool backup = r.outcome == RecoveryReport::BackupShown;
        auto *box = new QMessageBox(question ? QMessageBox::Question : r.outcome == RecoveryReport::Failed
                                                                            ? QMessageBox::Warning
                                                                            : QMessageBox::Information,
                                    backup ? tr("Kept Changes") : tr("Interrupted Save"), FileReplacer::reportText(r),
                                    QMessageBox::NoButton, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(backup ? QStringLiteral("keptChanges") : QStringLiteral("interruptedSave"));
        if (!question) {
            box->addButton(QMessageBox::Ok);
            box->open();
            continue;
        }
        // Not exec(): the start goes on, and the answer acts when it comes.
        QPushButton *first = box->addButton(r.outcome == RecoveryReport::Damaged ? tr("Restore Old Files") : tr("Remove"),
                                            QMessageBox::AcceptRole);
        QPushButton *second = box->addButton(r.outcome == RecoveryReport::Damaged ? tr("Keep Files") : tr("Keep"),
                                             QMessageBox::RejectRole);
        box->setDefaultButton(second);
        box->setEscapeButton(second);
        connect(box, &QMessageBox::buttonClicked, this, [this, r, first](QAbstractButton *clicked) {
            QString error;
            bool ok = true;
            if (r.outcome == RecoveryReport::Leftovers) {
                if (clicked == first)
                    ok = FileReplacer::removeLeftovers(r.dir, r.leftovers, &error);
            } else {
                ok = clicked == first ? FileReplacer::restoreKept(r.dir, &error) : FileReplacer::keepAsTheyAre(r.dir, &error);
                // The facets read the files as they are now.
                for (int f = 0; f < 4; ++f)
                    m_view->facet(f).reopen();
                m_view->blockCache().setFacet(m_view->blockCache().facet());
                m_view->update();
            }
            if (!ok)
                QMessageBox::warning(this, tr("Interrupted Save"), error);
        });
        box->open();
    }
}

void mainWindow::setUODir()
{
    const QString cur = dataDirectory();
    QString dir = QFileDialog::getExistingDirectory(this, tr("Select UO Directory"), cur,
                                                    QFileDialog::ShowDirsOnly);
    if (dir.isEmpty() || dir == cur)
        return;
    dir = QDir::cleanPath(dir);
    QString why;
    if (!isClientDirectory(dir, &why)) {
        QMessageBox refused(QMessageBox::Warning, tr("Select UO Directory"), why, QMessageBox::Ok, this);
        refused.setObjectName(QStringLiteral("uoDirectoryRefused"));
        refused.exec();
        return;
    }
    QMessageBox box(QMessageBox::Question, tr("Tessaryn Registry Change"),
                    tr("Changing the Tessaryn UO Directory requires an application restart. Continue?"),
                    QMessageBox::NoButton, this);
    QPushButton *yes = box.addButton(tr("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(tr("&No"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(static_cast<QAbstractButton *>(nullptr));
    box.exec();
    if (box.clickedButton() != yes)
        return;
    // Stored only if the window really goes: "No" to unsaved changes keeps the old world
    // open, and the old directory with it.
    m_nextDataDir = dir;
    if (!close())
        m_nextDataDir.clear();
}

void mainWindow::commandList()
{
    HelpCommand dialog(this);
    dialog.exec();
}

void mainWindow::fileSaveMul()
{
    if (savingAllowed())
        m_view->save(0);
}

void mainWindow::fileSaveDiff()
{
    if (savingAllowed())
        m_view->save(1);
}

void mainWindow::fileCapture()
{
    QString written;
    if (saveCapture(this, [this] { return m_view->grabFramebuffer(); }, &written))
        statusBar()->showMessage(QStringLiteral("Image saved to %1").arg(QDir::toNativeSeparators(written)), 10000);
}

void mainWindow::fileExit()
{
    close();
}

void mainWindow::closeEvent(QCloseEvent *event)
{
    if (m_view->isBusy() || saveRunning()) {
        // A save or a walk is letting events run; the window goes once it is over.
        event->ignore();
        return;
    }
    if (m_view->hasUnsavedChanges()) {
        QMessageBox box(QMessageBox::Question, savetexts::closeCaption(), savetexts::closeText(),
                        QMessageBox::NoButton, this);
        box.setObjectName(QStringLiteral("closeQuestionBox"));
        QPushButton *yes = box.addButton(tr("&Yes"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(tr("&No"), QMessageBox::NoRole);
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        box.exec();
        if (box.clickedButton() != yes) {
            event->ignore();
            return;
        }
    }
    saveSettings();
    if (!m_nextDataDir.isEmpty())
        setDataDirectory(m_nextDataDir);
    event->accept();
}

void mainWindow::editUndo()
{
    m_view->undo();
}

void mainWindow::editRedo()
{
    m_view->redo();
}

void mainWindow::updateUndoActions()
{
    const MapDocument &doc = m_view->document();
    editUndoAction->setEnabled(doc.canUndo());
    editRedoAction->setEnabled(doc.canRedo());
    editUndoAction->setText(doc.canUndo() ? tr("Undo %1").arg(doc.undoName()) : tr("Undo"));
    editRedoAction->setText(doc.canRedo() ? tr("Redo %1").arg(doc.redoName()) : tr("Redo"));
}

void mainWindow::offerRecovery()
{
    const std::unique_ptr<Recovery> recovery = m_view->document().findRecoverable();
    if (!recovery || recovery->isEmpty())
        return;
    QMessageBox box(QMessageBox::Question, tr("Recover Changes"), Recovery::question(recovery->blockCount()),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("recoveryBox"));
    box.setInformativeText(tr("An earlier run ended without saving them. Recovered blocks become unsaved "
                              "changes you can undo; Later asks again at the next start."));
    QPushButton *recover = box.addButton(tr("Recover"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
    QPushButton *later = box.addButton(tr("Later"), QMessageBox::RejectRole);
    box.setDefaultButton(recover);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == recover) {
        QStringList unread;
        m_view->document().recover(recovery->blocks(&unread));
        m_view->update();
        if (!unread.isEmpty()) {
            QMessageBox::warning(this, tr("Recover Changes"),
                                 tr("These working files could not be read and were left out:\n") + unread.join('\n'));
            return; // their folders stay for another try
        }
    }
    if (box.clickedButton() == recover || box.clickedButton() == discard) {
        QString why;
        if (!recovery->discard(&why))
            QMessageBox::warning(this, tr("Recover Changes"), why);
    }
}

bool mainWindow::mapTakesKeys() const
{
    // Text fields (line edits, spin boxes, text edits) take input-method text; the keys
    // they pass on are still typed into them, not meant for the map.
    const QWidget *focus = QApplication::focusWidget();
    return !focus || focus == m_view || !focus->testAttribute(Qt::WA_InputMethodEnabled);
}

void mainWindow::editFind()
{
    m_find->show();
    m_find->raise();
    m_find->activateWindow();
}

void mainWindow::helpAbout()
{
    AboutWidget dialog(this);
    dialog.exec();
}

void mainWindow::fileMap0()
{
    fileMap(0);
    setWindowTitle(tr("Tessaryn: Felucca"));
}

void mainWindow::fileMap1()
{
    fileMap(1);
    setWindowTitle(tr("Tessaryn: Trammel"));
}

void mainWindow::fileMap2()
{
    fileMap(2);
    setWindowTitle(tr("Tessaryn: Ilshenar"));
}

void mainWindow::fileMap3()
{
    fileMap(3);
    setWindowTitle(tr("Tessaryn: Malas"));
}

void mainWindow::tellLayoutOnce(const ClientLayout &layout)
{
    static QSet<QString> told;
    const QStringList warnings = layout.warnings();
    if (warnings.isEmpty() || told.contains(layout.directory()))
        return;
    told.insert(layout.directory());
    // Not modal: the map stays usable for what can be read; saving the facets concerned is
    // refused with the same words.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Client Files"),
                                QStringLiteral("Some client files cannot be read as they should:\n\n")
                                    + warnings.join(QStringLiteral("\n\n"))
                                    + QStringLiteral("\n\nThe facets concerned are not saved until the files are "
                                                     "put right."),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("layoutWarning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    QTimer::singleShot(0, box, &QWidget::show);
}

void mainWindow::fileMap4()
{
    fileMap(4);
    setWindowTitle(tr("Tessaryn: Tokuno"));
}

void mainWindow::fileMap5()
{
    fileMap(5);
    setWindowTitle(tr("Tessaryn: Ter Mur"));
}

void mainWindow::fileMap(int facet)
{
    m_find->setMap(facet);
    QAction *const facetActions[] = {fileFacetFeluccaAction, fileFacetTrammelAction, fileFacetIlshenerAction,
                                     fileFacetMalasAction,   fileFacetTokunoAction,  fileFacetTerMurAction};
    if (facet >= 0 && facet < ClientLayout::FacetCount) {
        for (int i = 0; i < ClientLayout::FacetCount; ++i)
            facetActions[i]->setChecked(i == facet);
    }
    // A facet whose map the directory does not hold cannot be chosen (Tokuno and Ter Mur exist
    // only in later clients' directories; a directory may hold any subset of the others).
    const auto layout = ClientLayout::of(dataDirectory());
    for (int i = 0; i < ClientLayout::FacetCount; ++i)
        facetActions[i]->setEnabled(layout->facet(i).present());
    tellLayoutOnce(*layout);
    const int w = facetBlocksX(facet) * 8;
    const int h = facetBlocksY(facet) * 8;
    if (scrollVert->value() > h)
        scrollVert->setValue(h);
    scrollVert->setMaximum(h);
    if (scrollHorz->value() > w)
        scrollHorz->setValue(w);
    scrollHorz->setMaximum(w);
    {
        WaitCursor wait;
        m_view->setMapid(facet);
    }
    setXY(scrollHorz->value(), scrollVert->value());
    m_view->update();
}

// ---- scroll bars and position ----

void mainWindow::scrollVPress() { m_vPressed = true; }
void mainWindow::scrollHPress() { m_hPressed = true; }
void mainWindow::scrollVTrack(int v) { setXY(scrollHorz->value(), v); }
void mainWindow::scrollHTrack(int v) { setXY(v, scrollVert->value()); }

void mainWindow::scrollVRelease()
{
    m_vPressed = false;
    m_view->setCenter(scrollHorz->value(), scrollVert->value());
    setXY(scrollHorz->value(), scrollVert->value());
}

void mainWindow::scrollHRelease()
{
    m_hPressed = false;
    m_view->setCenter(scrollHorz->value(), scrollVert->value());
    setXY(scrollHorz->value(), scrollVert->value());
}

void mainWindow::scrollV(int v)
{
    if (m_vPressed)
        return;
    m_view->setCenter(scrollHorz->value(), v);
    setXY(scrollHorz->value(), v);
}

void mainWindow::scrollH(int v)
{
    if (m_hPressed)
        return;
    m_view->setCenter(v, scrollVert->value());
    setXY(v, scrollVert->value());
}

void mainWindow::setMapXY(int x, int y)
{
    scrollHorz->setValue(x);
    scrollVert->setValue(y);
    setXY(x, y);
    WaitCursor wait;
    m_view->setCenter(x, y);
}

// ---- projection and what is drawn ----

void mainWindow::elevationFlat() { elevation(0); }
void mainWindow::elevationIoso() { elevation(1); }
void mainWindow::elevation3D() { elevation(2); }

void mainWindow::elevation(int mode)
{
    if (mode >= 0 && mode <= 2) {
        viewElevationFlatAction->setChecked(mode == 0);
        viewElevationIsometricAction->setChecked(mode == 1);
        viewElevation3DAction->setChecked(mode == 2);
    }
    WaitCursor wait;
    setElvMode(mode);
    m_view->setMode(mode);
}

void mainWindow::setGridColor()
{
    const QColor chosen = QColorDialog::getColor(QColor::fromRgba(m_gridColor), this, QString(),
                                                 QColorDialog::ShowAlphaChannel);
    if (!chosen.isValid())
        return;
    m_gridColor = chosen.rgba();
    QSettings().setValue(QLatin1String(kGridColorKey), QString::number(quint32(m_gridColor)));
    m_view->setGridColor(m_gridColor);
}

void mainWindow::setStatic(bool on)
{
    WaitCursor wait;
    setViewMode((viewTerrainEnableAction->isChecked() ? 1 : 0) + (on ? 2 : 0));
    m_view->setStatics(on);
    viewDynamicsAction->setEnabled(on);
}

void mainWindow::setTerrain(bool on)
{
    WaitCursor wait;
    setViewMode((viewStaticsAction->isChecked() ? 2 : 0) + (on ? 1 : 0));
    m_view->setTerrain(on);
    viewTerrainColorAction->setEnabled(on);
    viewTerrainImageAction->setEnabled(on);
}

void mainWindow::setTerrainImage()
{
    if (viewTerrainImageAction->isChecked() && viewTerrainColorAction->isChecked()) {
        viewTerrainColorAction->setChecked(false);
        m_view->setTerrainMode(0);
    } else {
        viewTerrainImageAction->setChecked(true);
    }
}

void mainWindow::setTerrainColor()
{
    if (viewTerrainImageAction->isChecked() && viewTerrainColorAction->isChecked()) {
        viewTerrainImageAction->setChecked(false);
        m_view->setTerrainMode(1);
    } else {
        viewTerrainColorAction->setChecked(true);
    }
}

void mainWindow::setGrid(bool on)
{
    WaitCursor wait;
    m_view->setGrid(on);
}

void mainWindow::setScale(float s)
{
    WaitCursor wait;
    m_view->setScale(s);
}

void mainWindow::setRotation(int r)
{
    WaitCursor wait;
    m_view->setDegree(r);
}

void mainWindow::changeAbove(int v) { m_view->setStaticAbove(v); }
void mainWindow::changeBelow(int v) { m_view->setStaticBelow(v); }
void mainWindow::setAbove(bool on) { m_view->enableStaticAbove(on); showClipping(0, on); }
void mainWindow::setBelow(bool on) { m_view->enableStaticBelow(on); showClipping(1, on); }
void mainWindow::changeLandAbove(int v) { m_view->setLandAbove(v); }
void mainWindow::changeLandBelow(int v) { m_view->setLandBelow(v); }
void mainWindow::setLandAbove(bool on) { m_view->enableLandAbove(on); showClipping(2, on); }
void mainWindow::setLandBelow(bool on) { m_view->enableLandBelow(on); showClipping(3, on); }

// Clipping hides part of the map whether or not its dock is open: the status bar says so.
void mainWindow::showClipping(int which, bool on)
{
    m_clipping[which] = on;
    static const char *const names[] = {"statics above", "statics below", "land above", "land below"};
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        if (m_clipping[i])
            parts << QLatin1String(names[i]);
    m_clipStatus->setText(QStringLiteral("Clipping: ") + parts.join(QLatin1String(", ")));
    m_clipStatus->setVisible(!parts.isEmpty());
}

void mainWindow::showPalette(bool on) { m_paletteDock->setVisible(on); }
void mainWindow::showClip(bool on) { m_clipDock->setVisible(on); }
void mainWindow::showOverview(bool on) { m_overviewDock->setVisible(on); }
void mainWindow::setAngle(double a) { m_view->setAngle(a); }
void mainWindow::setDistance(int d) { m_view->setDistance(d); }

void mainWindow::aboutToShowWindow()
{
    windowClippingAction->setChecked(m_clipDock->isVisible());
    windowPaletteAction->setChecked(m_paletteDock->isVisible());
    windowOverviewAction->setChecked(m_overviewDock->isVisible());
}

void mainWindow::setAltitude(bool on)
{
    WaitCursor wait;
    m_view->setAltitudes(on);
}

void mainWindow::setSelectStatics(bool on)
{
    setSelectMode((editSelectionLandAction->isChecked() ? 1 : 0) + (on ? 2 : 0));
}

void mainWindow::setSelectLand(bool on)
{
    setSelectMode((editSelectionStaticsAction->isChecked() ? 2 : 0) + (on ? 1 : 0));
}

void mainWindow::setSelectMode(int mode)
{
    setSelMode(mode);
    m_view->setSelectMode(mode);
}

void mainWindow::rest()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 3);
}

void mainWindow::togglePaint()
{
    const bool wasOn = m_view->paintMode();
    setPaint(m_view->switchPaintMode());
    if (wasOn || m_view->paintMode())
        return;
    // Paint mode could not come on: say why.
    statusBar()->showMessage(m_view->movePending()
                                 ? tr("Paint mode waits for the move under way: place it, or Escape cancels it")
                                 : tr("Paint mode needs a tile: choose one in the palette first"),
                             10000);
}

void mainWindow::tileselect(int type, std::vector<int> tiles, QString alt)
{
    m_view->applyToSelection(type, tiles, alt);
    m_view->update();
}

void mainWindow::tileClick(int type, std::vector<int> tiles, QString alt)
{
    m_view->setPaint(type, tiles, alt);
    if (m_view->paintMode())
        setPaint(type);
}

void mainWindow::ClearTile()
{
    std::unique_ptr<ClearDialog> dialog(new ClearDialog(this));
    if (dialog->exec() != QDialog::Accepted)
        return;
    const ClearRequest r = makeClearRequest(dialog->getX1(), dialog->getY1(), dialog->getX2(),
                                            dialog->getY2(), dialog->getLand(), dialog->getStatics());
    if (!r.valid()) {
        QMessageBox::information(this, tr("Clear Tiles"), r.problem());
        return;
    }
    WaitCursor wait;
    m_view->clearTiles(r.mode, r.x1, r.y1, r.x2, r.y2);
}

void mainWindow::fileWSC()
{
    const QString name = QFileDialog::getOpenFileName(this, tr("Select World File"), QString(),
                                                      tr("Lonewolf (*.wsc);;All files(*.*)"));
    if (!name.isEmpty())
        m_view->loadWorldSave(name);
}

void mainWindow::drawDynamic(bool on)
{
    m_view->setDrawDynamics(on);
}

// ---- keys and wheel ----

void mainWindow::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool control = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const int key = event->key();

    struct Move {
        int key, dx, dy;
        const char *word;
    };
    static const Move moves[] = {
        {Qt::Key_Up, -1, -1, "keyup"},     {Qt::Key_Down, 1, 1, "keydown"},
        {Qt::Key_Left, -1, 1, "keyleft"},  {Qt::Key_Right, 1, -1, "keyright"},
        {Qt::Key_PageUp, 0, -1, "pageup"}, {Qt::Key_PageDown, 1, 0, "pagedown"},
        {Qt::Key_Home, -1, 0, "keyhome"},  {Qt::Key_End, 0, 1, "keyend"},
    };
    const bool mapKeys = mapTakesKeys();
    if (control) {
        for (const Move &m : moves) {
            if (m.key == key) {
                if (!mapKeys)
                    return;
                m_view->moveStatics(m.dx, m.dy, false);
                printWord(m.word);
                m_view->update();
                return;
            }
        }
    }

    const int step = shift ? 8 : 1;
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        scrollVert->setValue(scrollVert->value() + (key == Qt::Key_Up ? -step : step));
        m_view->setCenter(scrollHorz->value(), scrollVert->value());
        setXY(scrollHorz->value(), scrollVert->value());
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
        scrollHorz->setValue(scrollHorz->value() + (key == Qt::Key_Left ? -step : step));
        m_view->setCenter(scrollHorz->value(), scrollVert->value());
        setXY(scrollHorz->value(), scrollVert->value());
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const double delta = (shift ? 10.0 : 1.0) * (key == Qt::Key_PageUp ? -1 : 1);
        const double tilt = qBound(0.0, m_view->angle() + delta, 180.0);
        setTilt(tilt);
        m_view->setAngle(tilt);
        return;
    }
    case Qt::Key_Home: {
        const double r = qMax(0.0, m_view->degree() - (shift ? 45.0 : 1.0));
        setRotation(r);
        m_view->setDegree(r);
        return;
    }
    case Qt::Key_End: {
        const double r = qMin(360.0, m_view->degree() + (shift ? 45.0 : 1.0));
        setRotation(r);
        m_view->setDegree(r);
        return;
    }
    case Qt::Key_Plus:
    case Qt::Key_Equal: // "+" without Shift on keyboards that have both on one key
    case Qt::Key_Minus: {
        const double step = (shift ? 0.025 : 0.0125) * (key == Qt::Key_Minus ? -1 : 1);
        const double s = zoomed(m_view->scale(), step);
        setScale(s);
        m_view->setScale(s);
        return;
    }
    case Qt::Key_F1:
        if (mapKeys)
            m_view->changeElevation(1);
        return;
    case Qt::Key_F2:
        if (mapKeys)
            m_view->changeElevation(-1);
        return;
    case Qt::Key_Delete:
        if (mapKeys)
            m_view->deleteTiles();
        return;
    case Qt::Key_Escape:
        m_view->cancelAction();
        return;
    case Qt::Key_Insert:
        if (mapKeys)
            togglePaint();
        return;
    case Qt::Key_Print:
        fileCapture();
        return;
    default:
        event->ignore();
        QMainWindow::keyPressEvent(event);
    }
}

double mainWindow::zoomed(double scale, double step)
{
    // Steps of 0.0125 (0.025 with Shift) down to kFineScale; below it each step is a factor
    // of 1.25 (1.5), so the far zoom that shows a whole facet is a few steps away.
    const double factor = 1.0 + 20.0 * std::abs(step);
    double s = scale + step;
    if (step < 0 && s < kFineScale - 1e-9)
        s = scale > kFineScale + 1e-9 ? kFineScale : scale / factor;
    else if (step > 0 && scale < kFineScale - 1e-9)
        s = std::min(kFineScale, scale * factor);
    return qBound(kMinScale, s, kMaxScale);
}

void mainWindow::wheelEvent(QWheelEvent *event)
{
    // Only a wheel turned over the map zooms it; over the tool bars, the status bar or a dock
    // it does nothing here.
    QWidget *under = childAt(event->position().toPoint());
    if (!under || (under != m_view && !m_view->isAncestorOf(under))) {
        event->ignore();
        return;
    }
    double step = (event->modifiers() & Qt::ShiftModifier) ? 0.025 : 0.0125;
    const QPoint d = event->angleDelta();
    const int delta = d.y() != 0 ? d.y() : d.x();
    if (delta == 0) { // the end of a touchpad gesture, say: no direction, no zoom
        event->accept();
        return;
    }
    if (delta < 0)
        step = -step;
    const double s = zoomed(m_view->scale(), step);
    setScale(s);
    m_view->setScale(s);
    event->accept();
}
