#pragma once
#include "world/clientlayout.h"
#include "tiles/artstore.h"
#include "tiles/huetable.h"
#include "tiles/texturestore.h"
#include "tiles/tiledata.h"
#include "view/drawlist.h"
#include "view/glwidget.h"
#include "view/mapgeometry.h"
#include "view/overviewlayer.h"
#include "view/textureatlas.h"
#include "world/blockcache.h"
#include "world/mapdocument.h"
#include "world/tile.h"
#include "world/worldsave.h"

#include <QElapsedTimer>
#include <QHash>
#include <QOpenGLFramebufferObject>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QPointF>
#include <QString>

#include <array>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <vector>

class Facet;
class WorkingDirectory;

// The map view: one facet of the world around a centre cell, in flat, isometric or 3D
// projection. A frame walks the visible region back to front and turns every tile into an
// entry of a draw list (drawLand, drawStatic, ...), which is then submitted in a few
// vertex-array calls; the list and drawnQuads are what picking replays.
class GLMapWidget : public GLWidget
{
    Q_OBJECT
    // The map being edited: first, since the references below are bound to it.
    MapDocument m_doc;

public:
    // A static image as drawn: where it lives in the atlas and the size of the source image
    // before any conversion (0 x 0 when it could not be decoded).
    struct StaticTexture {
        TextureAtlas::Entry texture;
        int width = 0;
        int height = 0;
        // The alpha of the image as uploaded (rows as texture t runs): what picking tests.
        QImage alpha;
    };

    // Every land tile the last walk visited, in walk order, with its corners in scene units
    // (before the view transform): what the cell-under-point lookup searches.
    struct DrawnQuad {
        int x = 0;
        int y = 0;
        QPoint top, left, right, bottom;
        int id = -1;
    };

    // Numbers of the last walk, for tests and the benchmark.
    struct WalkStats {
        qint64 visited = 0;    // cells of the region, inside the facet or not
        qint64 inside = 0;     // cells inside the facet
        int eventPoints = 0;   // times pending events were let run
        int walks = 0;         // walks started since construction
        int frames = 0;        // frames drawn (drawFrame) since construction
        int reused = 0;        // of them, frames that drew the last walk's whole list again
        int parts = 0;         // frames the last walk took (1 when it was finished in one)
    };

    // A frame walks at least this many cells of the region; a region larger than that is
    // walked on in the frames that follow while each stays within FrameBudgetMs, the part
    // walked so far drawn over the overview.
    static constexpr qint64 FrameCells = 16384;
    static constexpr double FrameBudgetMs = 40.0;
    // A list of more items than this is drawn into a picture of its own over as many frames
    // as it takes: each frame draws at least this many, then goes on while the frame is under
    // FrameBudgetMs; the window shows the part drawn over the overview meanwhile, and the
    // whole picture once it is done (and again, without drawing, while the list stays).
    static constexpr std::size_t FrameItems = 24576;

    using LandSelection = MapDocument::LandSelection;
    using StaticSelection = MapDocument::StaticSelection;

    explicit GLMapWidget(QWidget *parent = nullptr);
    ~GLMapWidget() override;

    int currentX() const { return m_currentX; }
    int currentY() const { return m_currentY; }
    double angle() const { return m_angle; }
    int distance() const { return m_distance; }
    bool terrainOn() const { return m_terrainOn; }
    bool staticsOn() const { return m_staticsOn; }
    int terrainMode() const { return m_terrainMode; }
    bool dynamicsOn() const { return m_dynamicsOn; }
    bool altitudesOn() const { return m_altitudesOn; }
    int selectMode() const { return m_selectMode; }
    quint32 gridColorRgba() const { return m_gridRgba; }
    const std::array<float, 4> &gridColor() const { return m_gridColor; }
    const std::array<float, 4> &defaultColor() const { return m_defaultColor; }
    const ClipRange &landClip() const { return m_landClip; }
    const ClipRange &staticClip() const { return m_staticClip; }

    MapDocument &document() { return m_doc; }
    BlockCache &blockCache() { return m_cache; }
    Facet &facet(int n) { return *m_facets[size_t(n)]; }
    TileData &tileData() { return m_tileData; }

    // Editing operations driven by the main window.
    // Saves the current facet into its main files (0) or difference files (1); failures are
    // shown to the user and leave every edit in place.
    void save(int mode);
    // True when closing would lose something: a changed cached block or a working file of
    // any facet.
    bool hasUnsavedChanges() const;
    // Tells the user, in a box that does not wait, that edits cannot reach their working
    // files and why (they stay in memory). One box at a time.
    void warnAboutWorkingFiles(const QString &reason);
    void deleteTiles();
    void cancelAction();
    // The current facet's last step taken back, or done again (Edit > Undo / Redo).
    void undo();
    void redo();
    void moveStatics(int dx, int dy, bool copy);
    // ---- copy and paste (pasting.cpp) ----
    // Edit > Copy: the selection's land and statics onto the system clipboard as the
    // program's XML. Edit > Paste arms a paste of the clipboard's area: its cells follow the
    // cell under the pointer, starting at cell (the one under the pointer, or the last it
    // was over, when cell is none); a left click places it there as one step, Escape or a
    // right click drops it. pasteAt places the clipboard's area at a cell at once.
    void copySelection();
    void armPaste(const QPoint &cell = QPoint(-1, -1));
    void pasteAt(const QPoint &cell);
    bool pasteArmed() const { return m_pasteArmed; }
    // The cell the armed paste's corner is on.
    QPoint pasteAnchor() const { return m_pasteAnchor; }
    // The cells the last walk drew the armed paste's outline on, in walk order.
    std::vector<QPoint> pastePreviewCells() const;
    void setPasteHeights(MapDocument::PasteHeights heights) { m_pasteHeights = heights; }
    MapDocument::PasteHeights pasteHeights() const { return m_pasteHeights; }
    void changeElevation(int delta);
    // ---- painting (painting.cpp) ----
    int switchPaintMode();
    void setPaint(int type, const std::vector<int> &tiles, const QString &alt);
    void applyToSelection(int type, const std::vector<int> &tiles, const QString &alt);
    // x, y is a window position. With paint, the cell under it is painted from the paint
    // state; without, these are the context menu's Insert entries (the id is asked for).
    void insertLand(int x, int y, bool paint);
    void insertStatic(int x, int y, bool paint);
    bool paintMode() const { return m_paintOn; }
    int paintType() const { return m_paintType; }
    const std::vector<int> &paintIds() const { return m_paintIds; }
    const QString &paintAlt() const { return m_paintAlt; }
    QPoint lastPaintCell() const { return m_lastPaintCell; }
    // mode 0 land, 1 statics, 2 both; corners are limited to the facet.
    void clearTiles(int mode, int x1, int y1, int x2, int y2);
    // Reads a world save into the current facet and tells the user when it fails.
    void loadWorldSave(const QString &fileName);
    // What loadWorldSave does without the wait cursor and the message box.
    WorldSaveResult readWorldSaveFile(const QString &fileName, const ReadProgress &progress = {},
                                      const ConfirmComponents &confirm = {});
    // The text loadWorldSave shows when a world save was not loaded.
    static QString worldSaveFailureText(const QString &fileName, const QString &reason);
    // The question asked before a world save's multis place more than MaxUnaskedComponents.
    static QString worldSaveSizeQuestion(const QString &fileName, qint64 components);
    // Deletes every cached texture: land, statics and the altitude labels (which are not
    // made again until the GL set-up runs again).
    void clearTextures();

    // ---- geometry ----
    static void cellOffset(int x, int y, int cx, int cy, int &sx, int &sy)
    {
        mapgeometry::cellOffset(x, y, cx, cy, sx, sy);
    }
    // Corners of the land cell (x, y) holding tile; true when stretched over its
    // neighbours' heights, which come from the block cache.
    bool landQuad(int x, int y, const Tile &tile, TileQuad &quad, int mode);

    // ---- the frame ----
    // Walks the region around (cx, cy) and fills the draw list and drawnQuads. Outside a
    // paint event it lets pending events run every 2000 visited cells. Needs the context
    // current (textures are made as tiles first appear).
    void drawMap(int mode, int cx, int cy, int blocksX, int blocksY);
    // Clears, sets the view transform, walks and draws: what paintGL does. Needs the
    // context current (makeCurrent()).
    void drawFrame();
    // The last walk reached the end of its region (a frame's walk may take a few frames).
    bool walkFinished() const { return m_walkCursor.done; }
    // The last frame showed its list whole: the walk is finished and all of it drawn (far
    // out: every overview texture in sight built and uploaded).
    bool frameWhole() const { return m_walkCursor.done && !m_scenePartial && !m_overviewPartial; }
    // The list size above which a frame draws through its own picture, and a frame's budget
    // (FrameItems and FrameBudgetMs unless set): with budget 0 every frame walks FrameCells
    // and draws one part, whatever the machine's speed.
    void setFrameLimits(std::size_t items, double budgetMs)
    {
        m_frameItems = items;
        m_frameBudgetMs = budgetMs;
    }
    const DrawList &drawList() const { return m_drawList; }
    const std::vector<DrawnQuad> &drawnQuads() const { return m_drawnQuads; }
    const WalkStats &walkStats() const { return m_stats; }
    // The whole facet at a colour per cell (overviewlayer.*): what frames below
    // OverviewLayer::DetailScale draw instead of walking the cells, and the Overview dock shows.
    OverviewLayer &overview() { return *m_overview; }
    // What the window shows now, as the walk plans and the overview take it.
    mapgeometry::ViewSpec viewSpec(int mode) const;

    // ---- terrain ----
    // The 32 x 32 square a 44 x 44 land diamond becomes: turned 45 degrees, the middle
    // cut out. With blackTransparent, pure black pixels become fully transparent.
    static QImage squareFromDiamond(const QImage &diamond, int alpha, bool blackTransparent);
    QImage landImage(int id, int hue, int alpha);
    TextureAtlas::Entry landTexture(int id, int hue, int alpha);
    void drawLand(int sx, int sy, const Tile &tile, const TileQuad &quad, bool selected);
    void drawAltitude(int sx, int sy, const Tile &tile, const TileQuad &quad);
    void drawGridCell(int sx, int sy, const TileQuad &quad);
    void buildAltitudeTextures();
    int landTextureCount() const { return int(m_landTextures.size()); }
    int staticTextureCount() const { return int(m_staticTextures.size()); }
    int altitudeTextureCount() const { return int(m_altitudeTextures.size()); }

    // ---- statics ----
    StaticTexture staticTexture(const Tile &tile);
    StaticTexture staticQuad(const Tile &tile, TileQuad &quad);
    void drawStatic(int sx, int sy, const Tile &tile, bool selected, int x, int y);

    // ---- selection ----
    bool isLandSelected(int x, int y) const;
    bool isStaticSelected(int x, int y, int z, int id) const;
    // The current facet's selections, held by the document (each facet has its own).
    LandSelection &landSelection = m_doc.landSelection();
    StaticSelection &staticSelection = m_doc.staticSelection();

    // ---- picking (picking.cpp) ----
    // What a pick hit, in the shapes of the two selections.
    using LandHits = LandSelection;
    using StaticHits = StaticSelection;
    // The land cell under a window point and its land tile id; all -1 when there is none.
    struct CellHit {
        int x = -1;
        int y = -1;
        int id = -1;
        bool isValid() const { return x != -1 && y != -1; }
    };
    static constexpr int SelectBufferWords = 100000;

    // Replays the walk in selection mode under the window rectangle (y downwards) with the
    // view transform the frame uses. The number of hit records; -1 when the selection
    // buffer overflowed, or when no pick could run (no GL yet, or a walk or save under way).
    // A static is hit only where its image is opaque inside the rectangle: a band takes the
    // statics one of whose opaque pixels lies in it, never one whose transparent margin
    // merely overlaps it.
    int pickRect(int x1, int y1, int x2, int y2);
    // The pick of a click at a window point: the land under the small click rectangle around
    // it, and the statics whose image is opaque at the pointer's own pixel.
    int pickPoint(const QPoint &pos);
    // Sorts the last pick's records into the maps, keeping the kinds selectMode allows.
    // hits -1 leaves both maps untouched.
    void collectHits(int hits, LandHits &land, StaticHits &statics) const;
    // The same keeping the kinds of kinds (selectMode's bits) instead.
    void collectHits(int hits, LandHits &land, StaticHits &statics, int kinds) const;
    // The select mode's name as the status bar shows it ("Sel: Land").
    static QString selectModeName(int mode);
    // The land cell under a window point (needs GL): from the quads of the last walk, or far
    // out, where the overview is drawn instead, from the view's geometry and the overview's
    // lifted ground (overviewCellAt).
    CellHit cellAt(int wx, int wy);
    // The same for a scene point: the first quad of the last walk that holds it.
    CellHit cellAtScene(double px, double py) const;
    // The rubber band in window space over the frame; paintGL calls it while a band is on.
    void drawBand();
    bool bandActive() const { return m_bandActive; }
    QPointF bandStart() const { return m_bandStart; }
    QPointF bandEnd() const { return m_bandEnd; }

    // ---- selection gestures (selection.cpp) ----
    // Shift gesture: every hit flips in or out of the selection.
    void toggleHits(const LandHits &land, const StaticHits &statics);
    // Insert from the tile menu: asks for an id and writes it, land or static, on the cells of
    // the pick's hits (the whole land selection when the press is on it).
    void insertTyped(int hits, bool land);
    // 0 when no hit is selected; +1 for a selected land hit (which 0 or 1), +2 for a
    // selected static hit (which 0 or 2).
    int hitsInSelection(const LandHits &land, const StaticHits &statics, int which) const;
    bool movePending() const { return m_movePending; }
    bool moveArmed() const { return m_moveArmed; }
    QPoint moveFrom() const { return m_moveFrom; }
    QPoint moveTo() const { return m_moveTo; }
    QPoint hoverCell() const { return m_hoverCell; }

    // ---- tile context menu ----
    // The window point of the right press that opened the menu; every entry works on it.
    QPoint popupPoint;
    void showProperties(const QPoint &point);
    void changeAltitude(const QPoint &point);
    void changeHue(const QPoint &point);
    void exportStatics(const QPoint &point);

    // ---- re-entrancy ----
    // True while a walk (a frame or a pick) or a save is under way. Events let run inside
    // the walk must not start another one.
    bool isBusy() const { return m_busy > 0; }
    // Runs action now, or, while busy, once the view is idle again (from the event loop,
    // in the order asked).
    void runWhenIdle(std::function<void()> action);

public slots:
    void setMapid(int id) override;
    void setCenter(int x, int y);
    void setTerrain(bool on);
    void setStatics(bool on);
    void setTerrainMode(int mode);
    void setDrawDynamics(bool on);
    void setAltitudes(bool on);
    void setGridColor(quint32 rgba);
    void setAngle(double a);
    void setDistance(int d);
    void setStaticAbove(int v);
    void setStaticBelow(int v);
    void enableStaticAbove(bool on);
    void enableStaticBelow(bool on);
    void setLandAbove(int v);
    void setLandBelow(int v);
    void enableLandAbove(bool on);
    void enableLandBelow(bool on);
    void setSelectMode(int mode);
    void setPaintAlt(const QString &alt);
    void initGLResources() override;

    // ---- tile context menu (contextmenu.cpp) and multi import (multiimport.cpp) ----
    void slotPop(int id);
    void slotPopInsert(int id);
    virtual void slotImportPop(int id);
    void slotProp(int id, int x, int y, int oldZ, int hue, int newZ, int kind);

    // What the pointer is in the middle of, for the status bar: an armed paste, a prepared
    // or armed move; empty when nothing.
    QString gestureNote() const;

signals:
    void currentTile(int x, int y, int tile);
    // A word for the status bar: why a gesture or a menu entry did nothing, or what it did
    // instead.
    void statusMessage(const QString &text);
    // Control+right-click took the paint tile from the map: the kind it took (0 land, 1 static).
    void paintTileTaken(int type);
    // An armed paste, or the prepared or armed move, began or ended (gestureNote tells which).
    void gestureChanged();
    void togglePaint();
    // Paint mode was switched by the view itself (Escape): the kind now painted, or -1.
    void paintModeChanged(int type);
    // A frame was drawn (the centre, scale, turn or facet may have changed).
    void framePainted();

protected:
    void paintGL() override;
    void resizeGL(int w, int h) override;
    void enterEvent(QEnterEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

    // Where painting and the tile context menu join the gestures. paintAt: a left press
    // while paint mode is on (instead of selecting); paintDragTo: a left-button drag while
    // paint mode is on; paintReleased: a release that ends no band while paint mode is on;
    // pickPaintTile: a right press with Control alone; contextMenuAt: any other right
    // press. Positions are window coordinates.
    virtual void paintAt(const QPoint &pos, Qt::KeyboardModifiers modifiers);
    virtual void paintDragTo(const QPoint &pos);
    virtual void paintReleased();
    virtual void pickPaintTile(const QPoint &pos);
    virtual void contextMenuAt(const QPoint &pos);
    // Ends the paint stroke under way, if any (a release, Escape, losing the pointer).
    void endStroke();

private:
    class BusyScope;
    // Creates the context menu and its submenus (contextmenu.cpp); once, from the constructor.
    void buildContextMenu();
    friend class BusyScope;

    void scheduleIdleWork();
    void runDeferred();
    // The modelview of a frame: the 3D eye, then scale and rotation.
    void applyViewTransform();
    // The orthographic box of the window, depth units to either side.
    void applyProjection(double depth);
    // What a walk in this projection covers with the view as it stands.
    mapgeometry::WalkPlan walkPlanFor(int mode) const;

    // A mouse event as the gestures read it, kept by value so a press that arrives while
    // a walk is under way can wait for it to end.
    struct MouseInput {
        QPointF pos;
        Qt::MouseButton button = Qt::NoButton;
        Qt::MouseButtons buttons;          // after the event, as Qt gives them
        Qt::KeyboardModifiers modifiers;
        // The buttons held before the event and the modifiers: what "the event state is
        // exactly Control" looks at.
        bool stateIs(Qt::MouseButtons held, Qt::KeyboardModifiers mods) const
        {
            return (buttons & ~Qt::MouseButtons(button)) == held && modifiers == mods;
        }
    };
    static MouseInput mouseInput(const QMouseEvent *event);
    void press(const MouseInput &in);
    void move(const MouseInput &in);
    void release(const MouseInput &in);
    void doubleClick(const MouseInput &in);
    void prepareMove(const QPoint &pos);
    void completeMove(const MouseInput &in);
    void startBand(const QPointF &pos);
    // Drops a prepared or armed move, saying so when why is not empty.
    void dropMove(const QString &why);
    // The walk of a pick under the window rectangle; statics count only where their image is
    // opaque inside the GL window region [x0, x1) x [y0, y1) (device pixels, y upwards).
    int pickWalk(int x1, int y1, int x2, int y2, const std::array<double, 4> &opaqueRegion);
    // The GL window region of a window rectangle, in device pixels.
    std::array<double, 4> glRegion(double x1, double y1, double x2, double y2) const;
    // Draws the last walk's list again without walking: a frame asked for while a save runs
    // (all of it), or the frame timed by `frame` (in parts, when the list is large).
    void submitLastList(const QElapsedTimer *frame = nullptr);
    // The picture a large list is drawn into (see FrameItems): whether this frame draws
    // through it, and that frame's part of the list, drawn into it; true once all is in.
    bool drawsThroughScene();
    bool fillScene(const QElapsedTimer *frame);
    // Sets (on) or clears the tests that decide what covers what while a list is drawn: the
    // depth and alpha tests in 3D, nothing in the painted projections.
    void listCoverage(bool on);
    // The picture over the window: whole (colours and depth as drawn), or the part drawn
    // so far over what the window holds.
    void showScene(bool whole);
    void postNextPart();
    void reportHover(const QPoint &pos);
    // cellAt far out: the cell of the facet the overview draws under the window point, and
    // its land tile id from the block cache.
    CellHit overviewCellAt(int wx, int wy);
    // The armed paste (pasting.cpp): dropped, saying why when why is not empty; placed on
    // the cell under a window point; a cell of the walk noted for its outline when the
    // area covers it; the outlines drawn over the frame.
    void cancelPaste(const QString &why);
    void placeArmedPaste(const QPoint &pos);
    void placePaste(const QByteArray &xml, const QPoint &cell);
    void notePasteCell(int x, int y, int sx, int sy, const TileQuad &quad);
    void drawPastePreview();
    void letEventsRun();
    int landZ(int x, int y, int fallback);
    // Everything that decides what a walk puts in the draw list. A frame whose state is
    // the one the list was walked for draws the list again instead of walking.
    struct ListKey {
        const void *facet = nullptr;
        int mapid = 0, mode = 0, cx = 0, cy = 0, blocksX = 0, blocksY = 0;
        double scale = 0, degree = 0, angle = 0;
        int distance = 0, width = 0, height = 0;
        bool terrain = false, statics = false, dynamics = false, altitudes = false, grid = false;
        int terrainMode = 0;
        quint32 gridRgba = 0;
        std::array<int, 8> clips{};
        quint64 edits = 0, textures = 0;
        LandSelection land;
        StaticSelection staticsSelected;
        bool pasteArmed = false;
        QPoint pasteAnchor;
        QByteArray pasteXml;
        bool operator==(const ListKey &o) const;
    };
    ListKey listKey(int mode, int cx, int cy, int blocksX, int blocksY) const;
    // A walk in two halves: beginWalk clears the list and plans the region, continueWalk
    // visits its cells from where the walk stands, until the end or, with limit, until at
    // least limit cells were visited and budgetMs have passed; true once the region is done.
    void beginWalk(int mode, int cx, int cy, int blocksX, int blocksY);
    bool continueWalk(qint64 limit, double budgetMs);
    DrawList::Vertex vertex(float x, float y, float z, float u, float v, const std::array<quint8, 4> &rgba) const;

    // The document's facets and cache under the names the view's code reads.
    std::array<std::unique_ptr<Facet>, MapDocument::FacetCount> &m_facets = m_doc.facets();
    BlockCache &m_cache = m_doc.cache();
    TileData m_tileData;
    bool m_uploadsPosted = false; // an update for the overview textures still to upload
    OverviewLayer *m_overview = nullptr; // a child of the view
    ArtStore m_art;
    TextureStore m_textures;
    HueTable m_hues;

    int m_currentX = 0;
    int m_currentY = 0;
    bool m_terrainOn = true;
    bool m_staticsOn = false;
    int m_terrainMode = 0;
    bool m_dynamicsOn = false;
    bool m_altitudesOn = false;
    quint32 m_gridRgba = 0xFFFFFFFFu;
    std::array<float, 4> m_gridColor{1, 1, 1, 1};
    std::array<float, 4> m_defaultColor{1, 1, 1, 1};
    double m_angle = 129.0;
    int m_distance = 4;
    ClipRange m_staticClip;
    ClipRange m_landClip;
    int m_selectMode = 1;
    bool m_paintOn = false;
    int m_paintType = -1;
    std::vector<int> m_paintIds;
    QString m_paintAlt;
    QPoint m_lastPaintCell{-1, -1};
    bool m_strokeOpen = false; // a paint stroke is one edit, from the press to the release

    // The context menu and its Insert and Import submenus (children of the view).
    class QMenu *m_popMenu = nullptr;
    class QMenu *m_insertMenu = nullptr;
    class QMenu *m_importMenu = nullptr;

    // Texture caches: (id << 16 | hue) -> atlas entry; z -> label.
    TextureAtlas m_atlas;
    TextureAtlas m_labelAtlas;
    QHash<qint64, TextureAtlas::Entry> m_landTextures;
    QHash<qint64, StaticTexture> m_staticTextures;
    QMap<int, TextureAtlas::Entry> m_altitudeTextures;
    bool m_glReady = false;

    // The walk's output and state.
    DrawList m_drawList;
    std::vector<DrawnQuad> m_drawnQuads;
    // Each static entry of the list and the texture it samples (its key in m_staticTextures).
    struct DrawnStatic {
        quint32 entry = 0;
        qint64 key = 0;
    };
    std::vector<DrawnStatic> m_drawnStatics;
    // Statics of the last pick that are opaque in its region: (x, y, z, id).
    std::set<std::array<int, 4>> m_opaqueHits;
    int m_walking = 0; // walks under way (a frame's or a pick's), inside the busy time
    WalkStats m_stats;
    // The walk under way or last finished: its key, plan, place and the cells it visited.
    ListKey m_listKey;
    bool m_listKeyValid = false;
    mapgeometry::WalkPlan m_walkPlan;
    mapgeometry::WalkCursor m_walkCursor{std::numeric_limits<int>::min(), 0, true};
    int m_walkMode = 0, m_walkCx = 0, m_walkCy = 0, m_walkWidth = 0, m_walkHeight = 0;
    qint64 m_walkCount = 0;
    bool m_nextPartPosted = false;
    // The picture of the list (FrameItems), the list it holds and how much of it.
    std::unique_ptr<QOpenGLFramebufferObject> m_scene;
    ListKey m_sceneKey;
    bool m_sceneKeyValid = false;
    std::size_t m_sceneIndex = 0;
    bool m_scenePartial = false; // the last frame showed only part of its list
    bool m_overviewPartial = false; // the last frame, far out, lacked textures still to come
    std::size_t m_frameItems = FrameItems;
    double m_frameBudgetMs = FrameBudgetMs;
    // Grows whenever the textures the list samples go away.
    quint64 m_textureGeneration = 0;
    DrawList::Entry m_names; // the cell names of the tile being drawn
    std::array<quint8, 4> m_defaultRgba{255, 255, 255, 255};
    bool m_inPaint = false;
    // Two recently used land blocks for neighbour heights, valid while the cache loads
    // nothing (only a load can evict).
    struct LandMemo {
        int block = -1;
        const LandBlock *data = nullptr;
    };
    std::array<LandMemo, 2> m_landMemo;
    int m_landMemoLoads = -1;
    int m_landMemoNext = 0;

    // Picking and the gesture state.
    std::vector<quint32> m_selectBuffer;
    bool m_bandActive = false;
    QPointF m_bandStart;
    QPointF m_bandEnd;
    bool m_movePending = false;
    bool m_moveArmed = false;
    QPoint m_moveFrom{-1, -1};
    QPoint m_moveTo{-1, -1};
    QPoint m_hoverCell{-1, -1};
    // The armed paste: its text, its cells from the corner, where the corner is now, and
    // the land quads of its cells the last walk met (scene corners, 3D heights).
    bool m_pasteArmed = false;
    QByteArray m_pasteXml;
    std::set<std::pair<int, int>> m_pasteCells;
    QPoint m_pasteAnchor{-1, -1};
    struct PasteQuad {
        QPoint cell;
        std::array<std::array<float, 3>, 4> corners; // top, left, bottom, right
    };
    std::vector<PasteQuad> m_pasteQuads;
    MapDocument::PasteHeights m_pasteHeights = MapDocument::PasteHeights::Relative;

    int m_busy = 0;
    bool m_repaintWanted = false;
    bool m_idleWorkPosted = false;
    std::deque<std::function<void()>> m_deferred;
};
