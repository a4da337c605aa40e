#pragma once
#include "tiles/tiledata.h"
#include "world/filefingerprint.h"
#include "world/clientlayout.h"
#include "world/indexfile.h"
#include "world/tile.h"
#include "world/uopfile.h"
#include "world/workingdirectory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QCoreApplication;

// One facet's client files: the main land and statics files, its difference files and
// their lists, and the working files of its changed blocks. Reads blocks with the
// precedence working file, difference files, main files.
class Facet
{
public:
    enum Kind { LandKind = 0, StaticsKind = 1 };

    // Opens the file set of facet. Working files go into store; without one the facet makes
    // a working directory of its own. The four facets of a view share one.
    Facet(int facet, bool useDiff = true, std::shared_ptr<WorkingDirectory> store = nullptr);
    ~Facet();
    Facet(const Facet &) = delete;
    Facet &operator=(const Facet &) = delete;

    // (Re)opens the file set of facet from the data directory as it is now, after settling a
    // save that was cut off there (recoverInterruptedSave). While the directory the files
    // are open from is gone, a reopen keeps them and the difference lists as read from them.
    void open(int facet, bool useDiff);
    void reopen() { open(m_facet, m_useDiff); }
    void closeFiles();

    int facetNumber() const { return m_facet; }
    // The data directory the files were opened from; saving writes beside them.
    QString dataDir() const { return m_dir; }
    bool usesDifferenceFiles() const { return m_useDiff; }
    // The N of map<N>, staidx<N> and statics<N>: 0 for Trammel on Felucca's files, the
    // facet number otherwise.
    int mainFileNumber() const;
    // True for Felucca and Trammel when the directory gives Trammel no main files of its own.
    bool sharesMainFiles() const;
    // What the directory held for this facet when it was opened.
    const FacetLayout &layout() const { return m_layout; }
    const ClientLayout &clientLayout() const { return *m_clientLayout; }
    int blocksX() const;
    int blocksY() const;
    int blockCount() const { return blocksX() * blocksY(); }
    // Why this facet must not be saved now into its main files (mode 0) or its difference
    // files (1): its files fit no layout, or changed size since they were opened. Names the
    // file; empty when the save may be made.
    QString saveRefusal(int mode = 0) const;

    // Block number -> byte offset in the land difference file.
    const QMap<qint32, qint64> &landDifferenceList() const { return m_landDiff; }
    // Block number -> record number in the statics difference index.
    const QMap<qint32, qint32> &staticsDifferenceList() const { return m_staticsDiff; }

    // The block's 196-byte land record from the difference or the main file. A record the
    // file cannot supply whole (missing file, past the end) reads as 196 zero bytes.
    QByteArray readLandRaw(int block);
    // The block's static records from the difference or the main files; empty when the
    // index has none for it or the records lie (even partly) past the end of the data file.
    QByteArray readStaticsRaw(int block);

    LandBlock loadLandBlock(int block, bool useEditStore);
    StaticBlock loadStaticBlock(int block, bool useEditStore, bool withItems);
    // Encode and keep as working files; false (and why, in error) when the file could not be
    // written.
    bool storeLandBlock(int block, const LandBlock &land, QString *error = nullptr);
    bool storeStaticBlock(int block, const StaticBlock &statics, QString *error = nullptr);

    // World-save items of this facet: block number -> cell -> items.
    QMap<int, QMap<CellKey, TileStack>> &items() { return m_items; }
    const QMap<int, QMap<CellKey, TileStack>> &items() const { return m_items; }

    // ---- edit store ----
    QString workingDirectory() const;
    // "514t0.tsy1": block, "t", kind, ".tsy", facet.
    static QString workingFileName(int block, int kind, int facet);
    QString workingFilePath(int block, int kind) const;
    // True and the file's bytes in out when this run wrote a working file for the block.
    bool readWorkingFile(int block, QByteArray &out, int kind);
    // Replaces the block's working file as a whole: a write that fails leaves the earlier
    // file (or none) as it was and the block out of the kind's set, and error names the file
    // and the system's reason.
    bool writeWorkingFile(int block, const QByteArray &data, int kind, QString *error = nullptr);
    // Blocks with a working file of kind on disk joined with the kind's difference list,
    // ascending. Blocks with a working file leave the in-memory difference list.
    QList<int> workingBlocks(int kind);
    // The entry point of saving: when the facet has working files, writes the new
    // files of mode (0 main, 1 difference) beside the old ones and then deletes the working
    // files; true when there were any. When a new file cannot be written, error says which
    // and why, the partial new files are gone and the working files stay.
    bool hasWorkingFiles(int mode, QString *error = nullptr);
    // Deletes this facet's working files and forgets them; false when one would not go.
    bool clearWorkingFiles(QString *error = nullptr);
    // True when the working directory holds a file of this facet (this run's or not).
    bool hasWorkingFilesOnDisk() const;
    const QSet<int> &workingSet(int kind) const { return kind == LandKind ? m_landWorking : m_staticsWorking; }

    // ---- saving ----
    // Lets events run (without user input) every 800 blocks of a save.
    void setApplication(QCoreApplication *app) { m_app = app; }
    // Told how many blocks the savers went through since it was last told.
    using SaveProgress = std::function<void(int blocks)>;
    void setSaveProgress(SaveProgress progress) { m_progress = std::move(progress); }

    // The client files a save of mode replaces, in the order they are replaced: map, statics,
    // staidx (main); mapdifl, mapdif, stadif, stadifl, stadifi (difference). Names only.
    QStringList saveTargets(int mode) const;
    // Name of the new file written for target: target + ".tsy" + facet number (+ the staged suffix).
    QString newFileName(const QString &target) const;
    // The first of the files a save of this facet reads (main, statics index, the five
    // difference files) that is no longer as it was when the facet opened them; empty when
    // none changed.
    QString fileChangedOnDisk() const { return m_fingerprint.firstChanged(); }
    // Removes the new files of mode this facet wrote.
    void removeNewFiles(int mode) const;
    // While set, the savers write every new file under its new-file name + stagedSuffix(),
    // so that the names of a backup lying there (see backuplist.h) stay as they are until
    // the save's journaled set moves the new files in.
    void setStagedNewFiles(bool staged) { m_staged = staged; }
    static QString stagedSuffix() { return QStringLiteral(".next"); }

    // ---- the backup of a shared main save (backuplist.h) ----
    // The names a main save of the other facet that shares the main files gives this facet's
    // new main files, which stay as the backup of its edits: map, statics, staidx + ".tsy" +
    // facet number. Then the name of its list of changed blocks.
    QStringList backupFiles() const;
    QString backupListName() const;
    // Blocks the last open took from a complete backup with its list into working files,
    // because this run had none for them yet; 0 when it took none.
    int shownBackupBlocks() const { return m_shownBackupBlocks; }

    // Each saver writes its new files completely or not at all; false with the reason.
    bool saveMainFiles(QString *error = nullptr);
    bool saveDifferenceFiles(QString *error = nullptr);
    bool saveLandMain(QString *error = nullptr);
    bool saveStaticsMain(QString *error = nullptr);
    bool saveLandDifference(QString *error = nullptr, bool listedOnly = false);
    bool saveStaticsDifference(QString *error = nullptr, bool listedOnly = false);
    // A save into the main files does not make the difference files obsolete: the client
    // and this editor read a listed block from them first. When a block with a working file
    // is listed there, its difference record must carry the new content too, or the main
    // save's change would be hidden behind the old record. True when that is the case.
    bool workingBlocksListedInDifferences() const;
    // New difference files with the same lists as now, each listed block holding what it
    // reads with the working files: what follows saveMainFiles when the above is true.
    bool refreshDifferenceFiles(QString *error = nullptr);

private:
    // Names in the working directory that match filter, in the order sort gives (the
    // directory's own, by name, for NoSort).
    QStringList listWorkingFiles(const QString &filter, QDir::SortFlags sort = QDir::NoSort) const;
    static bool readAt(QFile &file, qint64 offset, qint64 length, QByteArray &out);
    bool readMainLand(qint64 offset, QByteArray &out);
    bool writeLandContainer(class NewFile &out);
    // Opens the new map and works out what each block is written from (see LandJob); with
    // detached, so that the writing needs nothing of the facet when that can be done.
    bool planLandMain(struct LandJob &job, bool detached, QString *error);
    // Tells the progress the land saver on its own thread made since the last call.
    void tellSideProgress();
    void loadList(const QString &path, bool land);
    void saveTick(int block);
    QString newFilePath(const QString &target) const;
    void showBackup();

    std::shared_ptr<WorkingDirectory> m_store;
    int m_facet = -1;
    QString m_dir;
    bool m_useDiff = false;
    QFile m_land;
    UopMap m_uopLand; // the map when it is a container
    qint64 m_uopLandFileSize = 0;
    std::shared_ptr<const ClientLayout> m_clientLayout;
    FacetLayout m_layout;
    QFile m_landDiffFile;
    IndexFile m_staticsIndex;
    QFile m_statics;
    IndexFile m_staticsDiffIndex;
    QFile m_staticsDiffFile;
    QString m_landListName;
    QString m_staticsListName;
    QMap<qint32, qint64> m_landDiff;
    QMap<qint32, qint32> m_staticsDiff;
    // The lists as read at the last open, for a reopen while the directory is gone.
    QMap<qint32, qint64> m_landDiffRead;
    QMap<qint32, qint32> m_staticsDiffRead;
    bool m_filesOpen = false;
    TileData m_tileData;
    QCoreApplication *m_app = nullptr;
    SaveProgress m_progress;
    int m_untold = 0;
    std::atomic<int> *m_sideProgress = nullptr; // blocks written by a saver on another thread
    int m_sideTold = 0;
    QSet<int> m_landWorking;
    QSet<int> m_staticsWorking;
    // What this run wrote into each working file, so a save reads it from memory instead of
    // opening hundreds of small files; up to WorkingCopyBudget bytes, the rest from disk.
    // Only the savers read them (m_saving): any other read takes the file as it is now.
    static constexpr qint64 WorkingCopyBudget = 64 << 20;
    QHash<int, QByteArray> m_workingCopies[2];
    qint64 m_workingCopyBytes = 0;
    bool m_saving = false;
    struct Saving;
    QMap<int, QMap<CellKey, TileStack>> m_items;
    FileFingerprint m_fingerprint;
    bool m_staged = false;
    int m_shownBackupBlocks = 0;
};

// Block comparison of the difference savers: the same cells, each with the same tile id and
// z (land); the same cells, each stack of the same size with equal tiles of the same hue in
// order (statics).
bool landBlocksEqual(const LandBlock &a, const LandBlock &b);
bool staticBlocksEqual(const StaticBlock &a, const StaticBlock &b);
