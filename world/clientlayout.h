#pragma once
// What a client data directory holds, worked out once from the files themselves: which
// facets it has and in which files, how large each facet is, which tile-data and art
// layout it uses. Client generations differ in all of these; every reader, saver and size
// limit of the program asks this object instead of assuming one generation.
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

struct UopMapTables;

// n with its thousands grouped by commas ("89,915,392"), as the messages about files give sizes.
QString groupedNumber(qint64 n);

enum class TileDataLayout {
    Missing,
    Early,   // 26- and 37-byte records, 32-bit flags
    Later,   // 30- and 41-byte records, 64-bit flags
    Unknown, // a size that fits neither
};

enum class ArtSource { Missing, Mul, Uop };

struct FacetLayout {
    int facet = -1;
    QString name;              // "Felucca"
    int mainNumber = -1;       // the N of map<N>, staidx<N>, statics<N>
    bool sharesMain = false;   // Trammel on Felucca's files (early clients)
    bool mapIsUop = false;
    QString mapFile;           // file name in the directory; empty when the facet has no map
    qint64 mapSize = 0;        // bytes of the map's block run (of all chunks for a container)
    qint64 staticsIndexSize = -1; // bytes of staidx<N>.mul, -1 when absent
    bool hasStaticsData = false;
    bool hasDifferences = false;
    int blocksX = 0, blocksY = 0;
    bool sizeFromMap = false;  // false: the size table's, there being no map that gives it
    QString problem;           // why this facet cannot be saved; empty when it can
    QStringList notes;         // worth telling, not stopping a save
    // A container map's tables as detection read them; the facet reads the map through them.
    std::shared_ptr<const UopMapTables> mapTables;

    bool present() const { return !mapFile.isEmpty(); }
    qint64 blockCount() const { return qint64(blocksX) * blocksY; }
    QString staticsIndexFile() const { return QStringLiteral("staidx%1.mul").arg(mainNumber); }
    QString staticsDataFile() const { return QStringLiteral("statics%1.mul").arg(mainNumber); }
};

class ClientLayout
{
public:
    static constexpr int FacetCount = 6;

    // Looks at dir now. Never fails: what cannot be read is described in the result.
    static ClientLayout detect(const QString &dir);
    // The layout of dir as detected last in this run (detected now the first time).
    static std::shared_ptr<const ClientLayout> of(const QString &dir);
    // Detects dir anew and keeps that for of(); what Facet::open does for its directory.
    static std::shared_ptr<const ClientLayout> refresh(const QString &dir);

    static QString facetName(int facet);
    // The early clients' size table, also the size of a facet that has no map.
    static int tableBlocksX(int facet);
    static int tableBlocksY(int facet);
    // Widths (in blocks) a map of facet may have across the client generations.
    static QList<int> knownWidths(int facet);
    static qint64 tileDataSize(TileDataLayout layout, int staticGroups);

    QString directory() const { return m_dir; }
    bool directoryReadable() const { return m_readable; }
    // A facet number outside 0..5 gives a facet without files or size.
    const FacetLayout &facet(int f) const;
    TileDataLayout tileData() const { return m_tileData; }
    qint64 tileDataBytes() const { return m_tileDataSize; }
    ArtSource art() const { return m_art; }
    // 12 bytes in early clients, 16 with the 64-bit tile data.
    int multiComponentSize() const { return m_tileData == TileDataLayout::Later ? 16 : 12; }
    bool hasRadarColours() const { return m_radarcol; }

    // Why a save of facet (mode 0 main files, 1 difference files) must not be made, naming the
    // file and what was expected; empty when it may be made. A facet without a map takes no
    // main save (there is nothing of the right size to write into), but its difference files
    // may be written: they replace nothing of the main files.
    QString saveRefusal(int facet, int mode = 0) const;
    // What the user is told once when the directory is opened: every file that cannot be read
    // as it should, with what was expected. Empty for a directory without surprises.
    QStringList warnings() const { return m_warnings; }

private:
    QString m_dir;
    bool m_readable = false;
    QList<FacetLayout> m_facets;
    FacetLayout m_none;
    TileDataLayout m_tileData = TileDataLayout::Missing;
    qint64 m_tileDataSize = 0;
    ArtSource m_art = ArtSource::Missing;
    bool m_radarcol = false;
    QString m_dirProblem;
    QString m_tileDataProblem;
    QStringList m_warnings;
};
