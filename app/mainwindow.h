#pragma once
#include <QMainWindow>
#include <QRgb>
#include <vector>

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QScrollBar;
class QToolBar;
class ClientLayout;
class GLMapWidget;
class FindWidget;
class PaletteNew;
class multiclip;

// What the Clear Tiles dialog asked for; valid only when every corner is set, a kind is
// chosen and the corners are in order.
struct ClearRequest {
    int mode = -1; // 0 land, 1 statics, 2 both, -1 none
    int x1 = -1, y1 = -1, x2 = -1, y2 = -1;
    bool valid() const { return x1 >= 0 && x2 >= 0 && y1 >= 0 && y2 >= 0 && mode > -1 && x2 >= x1 && y2 >= y1; }
};
ClearRequest makeClearRequest(int x1, int y1, int x2, int y2, bool land, bool statics);

// Reads a grid colour as stored in the settings: a decimal of either sign, low 32 bits kept.
QRgb gridColorFromSetting(const QString &text);

// The one top-level window: map view with scroll bars, menus, tool bar, status fields, docks.
class mainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit mainWindow(QWidget *parent = nullptr);
    ~mainWindow() override;

    GLMapWidget *view() const { return m_view; }
    QScrollBar *scrollVert = nullptr;
    QScrollBar *scrollHorz = nullptr;
    QRgb gridColor() const { return m_gridColor; }
    QDockWidget *paletteDock() const { return m_paletteDock; }
    QDockWidget *clipDock() const { return m_clipDock; }
    PaletteNew *palette() const { return m_palette; }
    FindWidget *findWidget() const { return m_find; }
    QLabel *statusField(int i) const { return m_status[i]; }

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
        *fileWorld_Action, *viewDynamicsAction;

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
    virtual void showPalette(bool on);
    virtual void showClip(bool on);
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

    GLMapWidget *m_view = nullptr;
    FindWidget *m_find = nullptr;
    QDockWidget *m_paletteDock = nullptr;
    QDockWidget *m_clipDock = nullptr;
    PaletteNew *m_palette = nullptr;
    multiclip *m_clip = nullptr;
    QLabel *m_status[8] = {};
    bool m_vPressed = false;
    bool m_hPressed = false;
    QRgb m_gridColor = 0xFFFFFFFFu;
};
