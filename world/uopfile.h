#pragma once
// The client's container files ("map0LegacyMUL.uop", "artLegacyMUL.uop"): named entries in
// chained tables, found by a 64-bit hash of their lower-case names (the names themselves are
// not stored). Entries are stored or zlib-compressed.
#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>

#include <map>
#include <memory>

// hashlittle2 of lookup3 with both initial values 0: (secondary << 32) | primary.
quint64 uopHash(QByteArrayView name);

struct UopEntry {
    qint64 offset = 0;         // of the entry's metadata
    quint32 headerLength = 0;  // metadata bytes before the data
    quint32 compressedSize = 0;
    quint32 decompressedSize = 0;
    quint64 hash = 0;
    quint32 checksum = 0;
    quint16 compression = 0;   // 0 stored, 1 zlib

    qint64 dataOffset() const { return offset + headerLength; }
};

// Reads the tables once when opened; entries are then looked up by hash without file access.
// Every entry is checked against the file's size when it is opened, so a cut-off file is
// refused as a whole instead of reading short later.
class UopFile
{
public:
    static constexpr quint32 Magic = 0x0050594D;
    static constexpr int HeaderSize = 28;
    static constexpr int EntrySize = 34;
    static constexpr int TableHeaderSize = 12;

    UopFile() = default;
    UopFile(const UopFile &) = delete;
    UopFile &operator=(const UopFile &) = delete;

    // False and the reason (naming the file) when it cannot be read exactly.
    bool open(const QString &path, QString *error = nullptr);
    // Reads and checks the header and the tables only, leaving the file closed: find() then
    // knows every entry, read() none.
    bool readTables(const QString &path, QString *error = nullptr);
    // Opens path for reading entries already known (from an earlier open of the same file)
    // without reading its tables again: find() knows no entry then. False when the file
    // cannot be opened or no longer has size bytes.
    bool openForEntries(const QString &path, qint64 size);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    qint64 fileSize() const { return m_size; }

    quint32 version() const { return m_version; }
    quint32 signature() const { return m_signature; }
    quint32 tableCapacity() const { return m_capacity; }
    int entryCount() const { return int(m_entries.size()); }

    const UopEntry *find(quint64 hash) const;
    const UopEntry *find(QByteArrayView name) const { return find(uopHash(name)); }
    // The entry's bytes, decompressed; false and the reason when they cannot be had exactly.
    bool read(const UopEntry &entry, QByteArray &out, QString *error = nullptr);
    // Bytes [from, from + length) of the decompressed entry. Stored entries read only those.
    bool readPart(const UopEntry &entry, qint64 from, qint64 length, char *out, QString *error = nullptr);

private:
    QFile m_file;
    qint64 m_size = 0;
    quint32 m_version = 0, m_signature = 0, m_capacity = 0;
    QHash<quint64, UopEntry> m_entries;
};

class NewFile;

// Writes the header and the tables of a container holding entries (hash, size) in the order
// given, stored, in tables of capacity entries, with the data placed back to back after the
// tables in the same order. The caller then writes exactly those bytes, in that order.
struct UopWriteEntry {
    quint64 hash;
    quint32 size;
};
bool writeUopHead(NewFile &file, const QList<UopWriteEntry> &entries, quint32 capacity, quint32 version = 5,
                  quint32 signature = 0xFD23EC43);

// What the tables of a map container say, once checked: its chunks in block order and the
// container's own header values. Shared between the layout that detected the map and the
// facet that reads it, so the tables are read once.
struct UopMapTables {
    QList<UopEntry> chunks;
    qint64 size = 0;     // bytes of the map's block run
    qint64 fileSize = 0; // of the container when its tables were read
    quint32 capacity = 0, version = 0, signature = 0;
};

// A map in a container: its chunks of 4096 blocks, named "build/map<N>legacymul/<chunk>.dat".
// Presents the chunks as the one byte run a map<N>.mul would hold.
class UopMap
{
public:
    static constexpr int ChunkBlocks = 4096;
    static QByteArray chunkName(int fileNumber, int chunk);
    // uopHash of chunkName.
    static quint64 chunkHash(int fileNumber, int chunk);

    // Reads the container's tables and finds chunks 0, 1, ... until one is missing. False (and
    // why) when the file is not a container, an entry lies past its end, or a chunk other than
    // the last is not 4096 whole blocks.
    bool open(const QString &path, int fileNumber, QString *error = nullptr);
    // Opens path with tables read before (tables() of an earlier open of the same file);
    // false when the file cannot be opened or is no longer the size it had then.
    bool open(const QString &path, std::shared_ptr<const UopMapTables> tables);
    // The checked tables of path's map without keeping the file open; null (and why) when
    // open would refuse it.
    static std::shared_ptr<const UopMapTables> readTables(const QString &path, int fileNumber, QString *error = nullptr);
    void close();
    bool isOpen() const { return m_uop.isOpen(); }
    QString path() const { return m_uop.path(); }
    qint64 size() const { return m_tables ? m_tables->size : 0; }
    int chunkCount() const { return m_tables ? int(m_tables->chunks.size()) : 0; }
    const UopEntry &chunk(int i) const { return m_tables->chunks.at(i); }
    quint32 tableCapacity() const { return m_tables ? m_tables->capacity : 0; }
    quint32 version() const { return m_tables ? m_tables->version : 0; }
    quint32 signature() const { return m_tables ? m_tables->signature : 0; }
    // The checked tables of the open map, for another open of the same file.
    std::shared_ptr<const UopMapTables> tables() const { return m_tables; }
    // length bytes at offset of the map's byte run; false when they are not all there.
    bool read(qint64 offset, qint64 length, char *out);

private:
    bool openTables(const QString &path, int fileNumber, bool forReading, QString *error);

    UopFile m_uop;
    std::shared_ptr<const UopMapTables> m_tables;
    // Decompressed zlib chunks, kept once read: map reads come back to the same chunks.
    std::map<int, QByteArray> m_inflated;
};
