#pragma once
#include "tiles/tiledata.h"
#include "world/indexfile.h"
#include "world/tile.h"
#include "world/workingdirectory.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

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

    // (Re)opens the file set of facet from the data directory as it is now.
    void open(int facet, bool useDiff);
    void reopen() { open(m_facet, m_useDiff); }
    void closeFiles();

    int facetNumber() const { return m_facet; }
    bool usesDifferenceFiles() const { return m_useDiff; }
    // 0 for Felucca and Trammel, which share the main files, the facet number otherwise.
    int mainFileNumber() const { return m_facet == 1 ? 0 : m_facet; }
    int blocksX() const;
    int blocksY() const;
    int blockCount() const { return blocksX() * blocksY(); }

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
    // Encode and keep as working files; false when the file could not be written.
    bool storeLandBlock(int block, const LandBlock &land);
    bool storeStaticBlock(int block, const StaticBlock &statics);

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
    bool writeWorkingFile(int block, const QByteArray &data, int kind);
    // Blocks with a working file of kind on disk joined with the kind's difference list,
    // ascending. Blocks with a working file leave the in-memory difference list.
    QList<int> workingBlocks(int kind);
    // Saves into the main (mode 0) or difference files (mode 1) when the facet has working
    // files, then deletes them; true when there were any.
    bool hasWorkingFiles(int mode);
    void clearWorkingFiles();
    const QSet<int> &workingSet(int kind) const { return kind == LandKind ? m_landWorking : m_staticsWorking; }

    // ---- saving ----
    void setApplication(QCoreApplication *app) { m_app = app; }
    void saveMainFiles();
    void saveDifferenceFiles();
    void saveLandMain();
    void saveStaticsMain();
    void saveLandDifference();
    void saveStaticsDifference();

private:
    QStringList listWorkingFiles(const QString &filter) const;
    static bool readAt(QFile &file, qint64 offset, qint64 length, QByteArray &out);
    void loadList(const QString &path, bool land);

    std::shared_ptr<WorkingDirectory> m_store;
    int m_facet = -1;
    bool m_useDiff = false;
    QFile m_land;
    QFile m_landDiffFile;
    IndexFile m_staticsIndex;
    QFile m_statics;
    IndexFile m_staticsDiffIndex;
    QFile m_staticsDiffFile;
    QString m_landListName;
    QString m_staticsListName;
    QMap<qint32, qint64> m_landDiff;
    QMap<qint32, qint32> m_staticsDiff;
    TileData m_tileData;
    QCoreApplication *m_app = nullptr;
    QSet<int> m_landWorking;
    QSet<int> m_staticsWorking;
    QMap<int, QMap<CellKey, TileStack>> m_items;
};
