#pragma once
#include <QMainWindow>
#include <QPoint>
#include <QRgb>
#include <optional>
#include <memory>
#include <vector>

class QAction;
class QDockWidget;
class OverviewWidget;
class QLabel;
class QMenu;
class QScrollBar;
class QToolBar;
class ClientLayout;
class GLMapWidget;
class FindWidget;
class PaletteNew;
class multiclip;
class DirectoryLock;
class QFrame;

// What the Clear Tiles dialog asked for; valid only when every corner is set, a kind is
// chosen and the corners are in order.
struct ClearRequest {
    int mode = -1; // 0 land, 1 statics, 2 both, -1 none
    int x1 = -1, y1 = -1, x2 = -1, y2 = -1;
    bool valid() const { return x1 >= 0 && x2 >= 0 && y1 >= 0 && y2 >= 0 && mode > -1 && x2 >= x1 && y2 >= y1; }
    // Why nothing is cleared, in the user's words; empty when valid.
    QString problem() const;
};
ClearRequest makeClearRequest(int x1, int y1, int x2, int y2, bool land, bool statics);

// Reads a grid colour as stored in the settings: a decimal of either sign, low 32 bits kept.
QRgb gridColorFromSetting(const QString &text);

// What the command line asks of one run. None of it is stored in the settings.
struct StartOptions {
    int facet = -1;                 // -1: the facet the window opens anyway
    std::optional<QPoint> position; // the cell to centre on
    QString paletteFile;            // empty: the palette chosen in the settings
};

// The one top-level window: map view with scroll bars, menus, tool bar, status fields, docks.
class mainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit mainWindow(QWidget *parent = nullptr);
    explicit mainWindow(const StartOptions &options, QWidget *parent = nullptr);
    ~mainWindow() override;

    GLMapWidget *view() const { return m_view; }
    QScrollBar *scrollVert = nullptr;
    QScrollBar *scrollHorz = nullptr;
    QRgb gridColor() const { return m_gridColor; }
    QDockWidget *paletteDock() const { return m_paletteDock; }
    QDockWidget *clipDock() const { return m_clipDock; }
    QDockWidget *overviewDock() const { return m_overviewDock; }
    OverviewWidget *overviewWidget() const { return m_overview; }
    PaletteNew *palette() const { return m_palette; }
    FindWidget *findWidget() const { return m_find; }
    QLabel *statusField(int i) const { return m_status[i]; }
    QLabel *clippingStatus() const { return m_clipStatus; }
    // What the user is told when a palette file cannot be read; error names the file.
    static QString paletteFailureText(const QString &error);
    // The banner of a window whose data directory another running Tessaryn holds.
    static QString lockedText(const QString &dir, qint64 pid, const QString &host);
    // False while another Tessaryn holds the data directory: the window is read-only.
    bool isReadOnly() const { return m_readOnly; }

    // The facets of later clients, created after the others; shown disabled when the data
    // directory has no map for them.
    QAction *fileFacetTokunoAction = nullptr, *fileFacetTerMurAction = nullptr;

    // Actions, in creation order.
    QAction *fileExitAction, *editFindAction, *helpAboutAction, *fileCaptureAction,
        *fileFacetIlshenerAction, *fileFacetTrammelAction, *fileFacetFeluccaAction,
        *fileFacetMalasAction, *viewElevationFlatAction, *viewElevationIsometricAction,
        *viewElevation3DAction, *viewStaticsAction, *viewGridAction, *windowClippingAction,
        *viewAltitudesAction, *editSelectionStaticsAction, *editSelectionLandAction,
        *helpCommandsAction, *editSettingsUO_DirectoryAction, *editSettingsPaletteAction,
        *windowPaletteAction, *fileSaveMul_FilesAction, *fileSaveDiff_FilesAction,
        *editClearAction, *viewClearAction, *editSettingsGrid_ColorAction,
        *viewTerrainEnableAction, *viewTerrainImageAction, *viewTerrainColorAction,
        *fileWorld_Action, *viewDynamicsAction, *windowOverviewAction;

    QToolBar *toolBar = nullptr;
    QMenu *fileMenu = nullptr, *editMenu = nullptr, *viewMenu = nullptr, *windowMenu = nullptr,
          *helpMenu = nullptr, *facetMenu = nullptr, *saveMenu = nullptr, *selectionMenu = nullptr,
          *settingsMenu = nullptr, *elevationMenu = nullptr, *terrainMenu = nullptr;

public slots:
    virtual void setCurrent(int x, int y, int tile);
    virtual void memClear();
    virtual void setPalette();
    virtual void setUODir();
    virtual void commandList();
    virtual void fileSaveMul();
    virtual void fileSaveDiff();
    virtual void fileCapture();
    virtual void fileExit();
    virtual void editFind();
    virtual void helpAbout();
    virtual void fileMap0();
    virtual void fileMap1();
    virtual void fileMap2();
    virtual void fileMap3();
    virtual void fileMap4();
    virtual void fileMap5();
    virtual void fileMap(int facet);
    virtual void scrollVPress();
    virtual void scrollHPress();
    virtual void scrollVTrack(int v);
    virtual void scrollHTrack(int v);
    virtual void scrollVRelease();
    virtual void scrollHRelease();
    virtual void scrollV(int v);
    virtual void scrollH(int v);
    virtual void setMapXY(int x, int y);
    virtual void setXY(int x, int y);
    virtual void elevationFlat();
    virtual void elevationIoso();
    virtual void elevation3D();
    virtual void setGridColor();
    virtual void elevation(int mode);
    virtual void setStatic(bool on);
    virtual void setTerrain(bool on);
    virtual void setTerrainImage();
    virtual void setTerrainColor();
    virtual void setElvMode(int m);
    virtual void setGrid(bool on);
    virtual void setScale(float s);
    virtual void setRotation(int r);
    virtual void changeAbove(int v);
    virtual void changeBelow(int v);
    virtual void setAbove(bool on);
    virtual void setBelow(bool on);
    virtual void changeLandAbove(int v);
    virtual void changeLandBelow(int v);
    virtual void setLandAbove(bool on);
    virtual void setLandBelow(bool on);
    void showClipping(int which, bool on);
    virtual void showPalette(bool on);
    virtual void showClip(bool on);
    virtual void showOverview(bool on);
    virtual void setAngle(double a);
    virtual void setDistance(int d);
    virtual void aboutToShowWindow();
    virtual void setAltitude(bool on);
    virtual void setSelectStatics(bool on);
    virtual void setSelectLand(bool on);
    virtual void setSelectMode(int mode);
    virtual void rest();
    virtual void togglePaint();
    virtual void setScale(double s);
    virtual void setTilt(double t);
    virtual void setSelMode(int m);
    virtual void setRotation(double r);
    virtual void setViewMode(int m);
    virtual void tileselect(int type, std::vector<int> tiles, QString alt);
    virtual void tileClick(int type, std::vector<int> tiles, QString alt);
    virtual void setPaint(int type);
    virtual void ClearTile();
    virtual void fileWSC();
    virtual void drawDynamic(bool on);

    // Edit > Undo / Redo: the current facet's last step, named in the menu.
    void editUndo();
    void editRedo();
    // Asks "Recover N changed blocks from an earlier run?" when runs that ended without
    // saving left working files for this data directory (from the event loop at start).
    void offerRecovery();

public:
    QAction *editUndoAction = nullptr;
    QAction *editCopyAction = nullptr;
    QAction *editPasteAction = nullptr;
    // How Paste takes heights: over the target's land, or as copied; one of the two is
    // checked, and the choice is kept in the settings.
    QAction *editPasteHeightsRelativeAction = nullptr;
    QAction *editPasteHeightsAbsoluteAction = nullptr;
    QAction *editRedoAction = nullptr;

protected slots:
    virtual void languageChange();

protected:
    // Asks before unsaved changes are thrown away; "No" keeps the window open. Closing is
    // refused while a save is under way.
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    // Tells the user, once per data directory and run, what of its files cannot be read as
    // they should (which file, what was expected); the facets concerned are not saved.
    void tellLayoutOnce(const ClientLayout &layout);

    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusFields();
    void createDocks();
    // The palette file to read at start: the command line's, else the chosen one, else the
    // one the run script offers.
    QString startPaletteFile() const;
    // Window size, position, docks and the view as the last run left them; see the .cpp.
    void restoreSettings();
    void saveSettings() const;
    void applyStartOptions();
    // Switches to the facet through its command, so the caption follows.
    void openFacet(int facet);
    void updateUndoActions();
    // False while a text field has the keyboard: the map's editing keys are its keys then.
    bool mapTakesKeys() const;
    // The palette of the settings, read after the window is shown unless it failed before.
    void readStartPalette(const QString &path);
    // Reads a palette file into the palette dock; a failure is told in a box and remembered.
    bool readPalette(const QString &path);
    // Tells what settling interrupted saves did at the open of the data directory, asks
    // about a damaged journal and about leftover files.
    void tellInterruptedSaves();
    // Takes the data directory's lock, or shows the read-only banner naming its holder.
    void lockDataDirectory();
    // True unless the window is read-only, which it then tells.
    bool savingAllowed();
    // The scale one zoom step of step (+-0.0125, +-0.025 with Shift) makes of scale.
    static double zoomed(double scale, double step);

    GLMapWidget *m_view = nullptr;
    FindWidget *m_find = nullptr;
    QDockWidget *m_paletteDock = nullptr;
    QDockWidget *m_clipDock = nullptr;
    QDockWidget *m_overviewDock = nullptr;
    OverviewWidget *m_overview = nullptr;
    PaletteNew *m_palette = nullptr;
    multiclip *m_clip = nullptr;
    QLabel *m_status[8] = {};
    QLabel *m_clipStatus = nullptr;
    bool m_clipping[4] = {};
    bool m_vPressed = false;
    bool m_hPressed = false;
    QRgb m_gridColor = 0xFFFFFFFFu;
    StartOptions m_start;
    // A data directory chosen in this run; stored once the window really closes.
    QString m_nextDataDir;
    std::unique_ptr<DirectoryLock> m_lock;
    bool m_readOnly = false;
    QFrame *m_lockBanner = nullptr;
};
