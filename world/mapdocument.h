#pragma once
#include "world/blockcache.h"
#include "world/clientlayout.h"
#include "world/edithistory.h"
#include "world/recovery.h"
#include "world/worldsave.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <array>
#include <memory>
#include <set>
#include <vector>

class Facet;
class WorkingDirectory;
struct CellPlacement;

// A new height worked out from a cell's own: kept, moved by an amount, or set to a height;
// the result is limited to -128..127.
struct HeightChange {
    enum Kind { Keep, By, To };
    Kind kind = Keep;
    qint64 amount = 0;
    int from(int z) const;
};

// The map being edited: the four facets, the block cache pointed at the current one, the
// selections of every facet and the history of every facet. Every change of the map is an
// edit: begun with a name, the blocks it touches recorded as they were when first touched
// and as they are when it ends, and kept as one step of the facet's history. What a view
// shows and how it turns input into calls is not its business.
//
// Changed blocks reach their working files a moment after each edit (StoreDelay), so a
// run that ends without saving leaves them in its working folder for the next run.
class MapDocument : public QObject, private BlockCache::Recorder
{
    Q_OBJECT
public:
    static constexpr int FacetCount = ClientLayout::FacetCount;
    using LandSelection = QMap<int, QMap<int, int>>;                     // x -> y -> id
    using StaticSelection = QMap<int, QMap<int, QMap<int, QList<int>>>>; // x -> y -> z -> ids

    static constexpr int StoreDelay = 1000; // ms from the end of an edit to its working files

    // Without a store, the working directory is this run's folder for the current data
    // directory in the per-user state folder.
    explicit MapDocument(std::shared_ptr<WorkingDirectory> store = nullptr, QObject *parent = nullptr);
    ~MapDocument() override;

    BlockCache &cache() { return m_cache; }
    const BlockCache &cache() const { return m_cache; }
    Facet &facet(int n) { return *m_facets[size_t(n)]; }
    std::array<std::unique_ptr<Facet>, FacetCount> &facets() { return m_facets; }
    const std::shared_ptr<WorkingDirectory> &store() const { return m_store; }
    int currentFacet() const { return m_current; }
    TileData &tileData() { return m_cache.tileData(); }

    // Makes facet n current: the cache, the selections and the history follow. An edit
    // still open ends first. False (and why) when changed blocks could not be stored; they
    // are kept for their facet.
    bool setFacet(int n, QString *error = nullptr);

    // The current facet's selections; one object each for the whole run, so a view may
    // hold references to them. The other facets' selections are kept aside.
    LandSelection &landSelection() { return m_land; }
    StaticSelection &staticSelection() { return m_statics; }
    const LandSelection &landSelection(int facet) const;
    const StaticSelection &staticSelection(int facet) const;

    // ---- edits ----
    // Nested edits join the outermost, which names the step. A step that touched nothing
    // is not kept.
    void beginEdit(const QString &name);
    void endEdit();
    bool editOpen() const { return m_depth > 0; }
    class Edit
    {
    public:
        Edit(MapDocument &doc, const QString &name) : m_doc(doc) { m_doc.beginEdit(name); }
        ~Edit() { m_doc.endEdit(); }
        Edit(const Edit &) = delete;
        Edit &operator=(const Edit &) = delete;

    private:
        MapDocument &m_doc;
    };
    // When false, edits change the map without becoming steps (what a measurement compares
    // the history's cost against).
    void setRecording(bool on) { m_recording = on; }

    // The operations on the selections. Land cells deleted get land id 0 and keep their z.
    void deleteSelection();
    // Moves (or copies) the selected statics by dx, dy; a static that would leave the facet
    // stays. The selection follows the statics.
    void moveStatics(int dx, int dy, bool copy);
    // Raises (lowers) the selected land and statics, limited to -128..127.
    void changeElevation(int delta);
    // mode 0 land, 1 statics, 2 both; corners are limited to the facet. Items stay.
    void clearRectangle(int mode, int x1, int y1, int x2, int y2);

    // The operations that place and change tiles (tileedits.cpp). Ids drawn from a set are
    // each equally likely; land ids are 0..16383, static ids 0..65534.
    static bool isLandId(int id) { return id >= 0 && id < 0x4000; }
    static bool isStaticId(int id) { return id >= 0 && id < 0xFFFF; }
    // One id of the set; -1 for an empty set.
    static int drawTile(const std::vector<int> &ids);
    // One cell of a paint stroke ("Paint"; the strokes of a view join an edit open from the
    // press to the release): a land tile drawn from ids, at height applied to the cell's
    // land height. A drawn id that is no land id paints nothing (false).
    bool paintLand(int x, int y, const std::vector<int> &ids, const HeightChange &height);
    // The same for a static, placed on the cell's land with hue 0 whatever stands there.
    bool paintStatic(int x, int y, const std::vector<int> &ids, const HeightChange &height);
    // The Insert entries ("Insert"): land tile id on every cell, each keeping its height, or
    // static id with hue 0 on the land of every cell. False (nothing changed) when id is out
    // of range.
    bool insertLand(const LandSelection &cells, int id);
    bool insertStatic(const LandSelection &cells, int id);
    // Every cell of the land selection gets a tile drawn from ids (type 0 land, else a
    // static with the tile data's hue) at height applied to its land height; nothing for an
    // empty set. "Apply to Selection".
    void applyToSelection(int type, const std::vector<int> &ids, const HeightChange &height);
    // Land and statics at new heights ("Altitude"). With statics being the static selection,
    // the selection becomes the statics moved, at their new heights.
    void setAltitude(const LandSelection &land, const StaticSelection &statics, const HeightChange &height,
                     bool staticsAreSelection);
    // The statics anew from the tile data with that hue at their heights ("Hue").
    void setHue(const StaticSelection &statics, quint16 hue);
    // One tile as the Properties dialog applies it ("Properties"): kind 0 the land of the
    // cell becomes id at newZ; otherwise the static id at oldZ takes newZ and hue, and the
    // selection follows it to its new height. A static no longer there is left alone.
    void setProperties(int kind, int x, int y, int id, int oldZ, int newZ, int hue);
    // The statics of a multi placed cell by cell ("Import Multi") and added to the static
    // selection, which is emptied first with replaceSelection. Progress is told in cells
    // now and then; the placement does not stop.
    void placeMulti(const std::vector<CellPlacement> &cells, bool replaceSelection,
                    const ReadProgress &progress = {});

    // The land of the land selection and the statics of the static selection as the
    // program's XML (the shape of the tile menu's Export, the area's corner and its land
    // height on the export element); empty when nothing is selected.
    QByteArray copySelection();
    // How a paste takes the heights of what it places: Relative keeps them over the land
    // under the area's corner, which is now the target's land; Absolute keeps the heights
    // as they were copied.
    enum class PasteHeights { Relative, Absolute };
    // Places such a text with its corner on (tx, ty) as one step ("Paste"), heights taken
    // as the mode says (an Export without a corner keeps its heights either way). Cells off
    // the facet are left out. The number of tiles placed; -1 and why when the text holds
    // nothing to paste.
    int pasteArea(const QByteArray &xml, int tx, int ty, PasteHeights heights, QString *error = nullptr);
    // The cells such a text covers, as offsets from its corner, in ascending x then y, each
    // once: what a paste at a cell would touch there. Empty (and why) when it holds nothing
    // to paste.
    static std::vector<QPoint> areaCells(const QByteArray &xml, QString *error = nullptr);

    // Reads a world save into the current facet as one step.
    WorldSaveResult loadWorldSave(const QString &fileName, const ReadProgress &progress = {},
                                  const ConfirmComponents &confirm = {});

    // ---- history of the current facet ----
    EditHistory &history(int facet) { return m_history[size_t(facet)]; }
    const EditHistory &history(int facet) const { return m_history[size_t(facet)]; }
    bool canUndo() const { return m_history[size_t(m_current)].canUndo(); }
    bool canRedo() const { return m_history[size_t(m_current)].canRedo(); }
    QString undoName() const { return m_history[size_t(m_current)].undoName(); }
    QString redoName() const { return m_history[size_t(m_current)].redoName(); }
    bool undo();
    bool redo();

    // The facet's files now hold what it shows (after a save that wrote it).
    void markSaved(int facet);
    // True when a facet differs from its files: a step since the save point, a change made
    // around the history, or blocks that could not reach their working files.
    bool hasUnsavedChanges() const;
    bool isModified(int facet) const;

    // ---- working files ----
    // Writes changed blocks to their working files now (the store timer does it a moment
    // after every edit). False and why when the edit store refused.
    bool storeChanges(QString *error = nullptr);
    // Milliseconds from the end of an edit to its working files (StoreDelay unless set).
    void setStoreDelay(int ms) { m_storeTimer.setInterval(ms); }
    // For the end of a run the system asks for: changed blocks are written out, and the
    // working folder stays for the next run to offer.
    bool keepForRecovery(QString *error = nullptr);
    // Makes the recovered blocks changes of this run, one step per facet named "Recover";
    // the number of blocks taken.
    int recover(const QList<Recovery::Block> &blocks);
    // Folders of earlier runs for the data directory of this document.
    std::unique_ptr<Recovery> findRecoverable() const;

    // Helpers the selection gestures share with the operations.
    static void addSelected(StaticSelection &sel, int x, int y, int z, int id);
    static int findSelectedStatic(const TileStack &stack, int id, int z);

signals:
    // A step was added, undone or redone, or a save point set: the Undo and Redo texts change.
    void historyChanged();
    // The map changed by undo, redo or recovery (the view repaints).
    void mapChanged();
    // Changed blocks could not reach their working files; they stay in memory.
    void storeFailed(const QString &reason);
    // The land or statics of these blocks of facet changed: told for every step as it is
    // kept, undone or redone (ascending, each block once).
    void blocksChanged(int facet, const QList<int> &blocks);

private:
    void landTouched(int block, const LandBlock &before) override;
    void staticsTouched(int block, const StaticBlock &before) override;
    void apply(const EditCommand &step, bool after);
    // Ends the edit under way as a step of its own (its name, or a null text when none).
    QString finishOpen();
    // Opens a new step of that name while edit scopes are still open.
    void reopen(const QString &name);
    void push(std::unique_ptr<EditCommand> step);
    void tellBlocks(const EditCommand &step);
    static QList<int> touchedBlocks(const EditCommand &step);
    void scheduleStore();

    std::shared_ptr<WorkingDirectory> m_store;
    std::array<std::unique_ptr<Facet>, FacetCount> m_facets;
    BlockCache m_cache;
    int m_current = 0;
    LandSelection m_land;
    StaticSelection m_statics;
    std::array<LandSelection, FacetCount> m_landAside;
    std::array<StaticSelection, FacetCount> m_staticsAside;
    std::array<EditHistory, FacetCount> m_history;
    std::array<bool, FacetCount> m_untracked{};

    int m_depth = 0;
    bool m_recording = true;
    std::unique_ptr<EditCommand> m_open;
    int m_lastLand = -1;    // the block the open edit recorded last, per kind
    int m_lastStatics = -1;
    QTimer m_storeTimer;
};
