#include "world/uopfile.h"
#include "world/newfile.h"

#include <QDir>
#include <QSet>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

constexpr quint32 rot(quint32 x, int k)
{
    return (x << k) | (x >> (32 - k));
}

void mix(quint32 &a, quint32 &b, quint32 &c)
{
    a -= c; a ^= rot(c, 4);  c += b;
    b -= a; b ^= rot(a, 6);  a += c;
    c -= b; c ^= rot(b, 8);  b += a;
    a -= c; a ^= rot(c, 16); c += b;
    b -= a; b ^= rot(a, 19); a += c;
    c -= b; c ^= rot(b, 4);  b += a;
}

void finalMix(quint32 &a, quint32 &b, quint32 &c)
{
    c ^= b; c -= rot(b, 14);
    a ^= c; a -= rot(c, 11);
    b ^= a; b -= rot(a, 25);
    c ^= b; c -= rot(b, 16);
    a ^= c; a -= rot(c, 4);
    b ^= a; b -= rot(a, 14);
    c ^= b; c -= rot(b, 24);
}

// Up to four bytes, little-endian, from p (n of them there).
quint32 word(const uchar *p, qsizetype n)
{
    quint32 v = 0;
    for (qsizetype i = 0; i < n && i < 4; ++i)
        v |= quint32(p[i]) << (8 * i);
    return v;
}

} // namespace

quint64 uopHash(QByteArrayView name)
{
    const auto *k = reinterpret_cast<const uchar *>(name.data());
    qsizetype length = name.size();
    quint32 a, b, c;
    a = b = c = 0xdeadbeefu + quint32(length);
    while (length > 12) {
        a += word(k, 4);
        b += word(k + 4, 4);
        c += word(k + 8, 4);
        mix(a, b, c);
        length -= 12;
        k += 12;
    }
    if (length > 0) {
        a += word(k, std::min<qsizetype>(length, 4));
        if (length > 4)
            b += word(k + 4, std::min<qsizetype>(length - 4, 4));
        if (length > 8)
            c += word(k + 8, length - 8);
        finalMix(a, b, c);
    }
    return (quint64(b) << 32) | c;
}

// ---- reading -----------------------------------------------------------------------------

namespace {

// The header and the tables are read with the system's own calls: a QFile costs more to open
// than the whole table takes to read, and the layout reads every map container's tables
// whenever a facet opens.
class TableReader
{
public:
    TableReader(const TableReader &) = delete;
    TableReader &operator=(const TableReader &) = delete;
#ifdef Q_OS_UNIX
    TableReader() = default;
    ~TableReader()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool open(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
            return failed();
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return failed();
        }
        m_size = qint64(st.st_size);
        return true;
    }
    bool readAt(qint64 offset, void *out, qint64 length)
    {
        auto *p = static_cast<char *>(out);
        while (length > 0) {
            const ssize_t n = ::pread(m_fd, p, size_t(length), off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? failed() : false;
            p += n;
            offset += n;
            length -= n;
        }
        return true;
    }
    QString errorString() const { return m_error; }

private:
    bool failed()
    {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    int m_fd = -1;
#else
    TableReader() = default;
    bool open(const QString &path)
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false;
        m_size = m_file.size();
        return true;
    }
    bool readAt(qint64 offset, void *out, qint64 length)
    {
        return m_file.seek(offset) && m_file.read(static_cast<char *>(out), length) == length;
    }
    QString errorString() const { return m_file.errorString(); }

private:
    QFile m_file;
#endif
public:
    qint64 size() const { return m_size; }

private:
    qint64 m_size = 0;
#ifdef Q_OS_UNIX
    QString m_error;
#endif
};

} // namespace

bool UopFile::open(const QString &path, QString *error)
{
    if (!readTables(path, error))
        return false;
    // Entries are read through the file; the tables are known now.
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        const QString why = m_file.errorString();
        close();
        return setError(error, QStringLiteral("Could not open ") + native(path) + QStringLiteral(": ") + why);
    }
    return true;
}

bool UopFile::readTables(const QString &path, QString *error)
{
    close();
    TableReader file;
    if (!file.open(path))
        return setError(error, QStringLiteral("Could not open ") + native(path) + QStringLiteral(": ")
                                   + file.errorString());
    m_size = file.size();
    auto refuse = [&](const QString &why) {
        close();
        return setError(error, native(path) + QStringLiteral(": ") + why);
    };
    uchar head[HeaderSize];
    if (!file.readAt(0, head, HeaderSize))
        return refuse(QStringLiteral("the file is shorter than a container header (%1 bytes)").arg(HeaderSize));
    if (qFromLittleEndian<quint32>(head) != Magic)
        return refuse(QStringLiteral("not a container file (no \"MYP\" at its start)"));
    m_version = qFromLittleEndian<quint32>(head + 4);
    m_signature = qFromLittleEndian<quint32>(head + 8);
    qint64 table = qint64(qFromLittleEndian<quint64>(head + 12) & 0x7FFFFFFFFFFFFFFFull);
    m_capacity = qFromLittleEndian<quint32>(head + 20);
    const quint32 declared = qFromLittleEndian<quint32>(head + 24);
    if (m_capacity == 0 || m_capacity > 1000000)
        return refuse(QStringLiteral("a table capacity of %1 entries").arg(m_capacity));

    const qint64 tableBytes = TableHeaderSize + qint64(m_capacity) * EntrySize;
    QSet<qint64> seen;
    QByteArray bytes;
    m_entries.reserve(qsizetype(std::min<quint32>(declared, 1u << 20)));
    while (table != 0) {
        if (seen.contains(table))
            return refuse(QStringLiteral("its tables form a loop at offset %1").arg(table));
        seen.insert(table);
        if (table < 0 || table > m_size - tableBytes)
            return refuse(QStringLiteral("a table at offset %1 ends past the end of the file (%2 bytes); "
                                         "the file is cut short")
                              .arg(table)
                              .arg(m_size));
        bytes.resize(tableBytes);
        if (!file.readAt(table, bytes.data(), tableBytes))
            return refuse(QStringLiteral("could not read the table at offset %1: %2").arg(table).arg(file.errorString()));
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
        const quint32 count = qFromLittleEndian<quint32>(p);
        if (count > m_capacity)
            return refuse(QStringLiteral("a table at offset %1 claims %2 entries in room for %3")
                              .arg(table)
                              .arg(count)
                              .arg(m_capacity));
        const qint64 next = qint64(qFromLittleEndian<quint64>(p + 4) & 0x7FFFFFFFFFFFFFFFull);
        // count is the used entries; unused ones are zero and may sit anywhere in the table.
        for (quint32 i = 0; i < m_capacity; ++i) {
            const uchar *e = p + TableHeaderSize + qsizetype(i) * EntrySize;
            UopEntry entry;
            entry.offset = qint64(qFromLittleEndian<quint64>(e));
            entry.headerLength = qFromLittleEndian<quint32>(e + 8);
            entry.compressedSize = qFromLittleEndian<quint32>(e + 12);
            entry.decompressedSize = qFromLittleEndian<quint32>(e + 16);
            entry.hash = qFromLittleEndian<quint64>(e + 20);
            entry.checksum = qFromLittleEndian<quint32>(e + 28);
            entry.compression = qFromLittleEndian<quint16>(e + 32);
            if (entry.offset == 0 && entry.hash == 0)
                continue;
            if (entry.offset < 0 || entry.dataOffset() > m_size - qint64(entry.compressedSize))
                return refuse(QStringLiteral("an entry's data (%1 bytes at offset %2) ends past the end of the "
                                             "file (%3 bytes); the file is cut short")
                                  .arg(entry.compressedSize)
                                  .arg(entry.dataOffset())
                                  .arg(m_size));
            if (entry.compression > 1)
                return refuse(QStringLiteral("an entry uses compression %1, which this program does not know")
                                  .arg(entry.compression));
            // Deflate cannot shrink data by more than about 1032 to 1: an entry claiming more is
            // damaged, and believing it would mean allocating gigabytes for a few bytes of input.
            if (entry.compression == 1 && qint64(entry.decompressedSize) > qint64(entry.compressedSize) * 1032 + 1024)
                return refuse(QStringLiteral("a compressed entry at offset %1 claims %2 bytes from %3")
                                  .arg(entry.offset)
                                  .arg(entry.decompressedSize)
                                  .arg(entry.compressedSize));
            if (entry.compression == 0 && entry.compressedSize != entry.decompressedSize)
                return refuse(QStringLiteral("a stored entry at offset %1 gives two different sizes")
                                  .arg(entry.offset));
            if (!m_entries.contains(entry.hash))
                m_entries.insert(entry.hash, entry);
        }
        table = next;
    }
    if (declared != quint32(m_entries.size()))
        return refuse(QStringLiteral("its header counts %1 entries, its tables hold %2")
                          .arg(declared)
                          .arg(m_entries.size()));
    return true;
}

bool UopFile::openForEntries(const QString &path, qint64 size)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    m_size = m_file.size();
    if (m_size != size) {
        close();
        return false;
    }
    return true;
}

void UopFile::close()
{
    m_file.close();
    m_entries.clear();
    m_size = 0;
    m_version = m_signature = m_capacity = 0;
}

const UopEntry *UopFile::find(quint64 hash) const
{
    const auto it = m_entries.constFind(hash);
    return it == m_entries.constEnd() ? nullptr : &it.value();
}

bool UopFile::read(const UopEntry &entry, QByteArray &out, QString *error)
{
    QByteArray raw(qsizetype(entry.compressedSize), Qt::Uninitialized);
    if (!m_file.seek(entry.dataOffset()) || m_file.read(raw.data(), raw.size()) != raw.size())
        return setError(error, QStringLiteral("Could not read ") + native(path()) + QStringLiteral(": ")
                                   + m_file.errorString());
    if (entry.compression == 0) {
        out = std::move(raw);
        return true;
    }
    // qUncompress wants the expected size first, as four big-endian bytes.
    QByteArray framed(4, Qt::Uninitialized);
    qToBigEndian<quint32>(entry.decompressedSize, framed.data());
    framed += raw;
    out = qUncompress(framed);
    if (out.size() != qsizetype(entry.decompressedSize))
        return setError(error, native(path()) + QStringLiteral(": a compressed entry at offset %1 does not inflate to "
                                                                 "its %2 bytes")
                                                    .arg(entry.offset)
                                                    .arg(entry.decompressedSize));
    return true;
}

bool UopFile::readPart(const UopEntry &entry, qint64 from, qint64 length, char *out, QString *error)
{
    if (from < 0 || length < 0 || from > qint64(entry.decompressedSize) - length)
        return setError(error, QStringLiteral("past the end of an entry"));
    if (entry.compression == 0) {
        if (!m_file.seek(entry.dataOffset() + from) || m_file.read(out, length) != length)
            return setError(error, QStringLiteral("Could not read ") + native(path()) + QStringLiteral(": ")
                                       + m_file.errorString());
        return true;
    }
    QByteArray all;
    if (!read(entry, all, error))
        return false;
    std::memcpy(out, all.constData() + from, size_t(length));
    return true;
}

// ---- maps ----------------------------------------------------------------------------------

QByteArray UopMap::chunkName(int fileNumber, int chunk)
{
    // Looked up once per chunk at every open: built directly, not through QString::arg.
    char name[64];
    const int n = std::snprintf(name, sizeof name, "build/map%dlegacymul/%08d.dat", fileNumber, chunk);
    return QByteArray(name, n);
}

quint64 UopMap::chunkHash(int fileNumber, int chunk)
{
    // Every open looks up each chunk by name; the names of the client's maps are hashed once
    // per run (file numbers 0 to 9, 256 chunks each: more than the largest facet has).
    constexpr int Numbers = 10, Chunks = 256;
    static const std::vector<quint64> known = [] {
        std::vector<quint64> hashes(size_t(Numbers) * Chunks);
        for (int n = 0; n < Numbers; ++n)
            for (int c = 0; c < Chunks; ++c)
                hashes[size_t(n) * Chunks + size_t(c)] = uopHash(chunkName(n, c));
        return hashes;
    }();
    if (fileNumber >= 0 && fileNumber < Numbers && chunk >= 0 && chunk < Chunks)
        return known[size_t(fileNumber) * Chunks + size_t(chunk)];
    return uopHash(chunkName(fileNumber, chunk));
}

bool UopMap::open(const QString &path, int fileNumber, QString *error)
{
    return openTables(path, fileNumber, true, error);
}

std::shared_ptr<const UopMapTables> UopMap::readTables(const QString &path, int fileNumber, QString *error)
{
    UopMap map;
    return map.openTables(path, fileNumber, false, error) ? map.m_tables : nullptr;
}

bool UopMap::openTables(const QString &path, int fileNumber, bool forReading, QString *error)
{
    close();
    if (!(forReading ? m_uop.open(path, error) : m_uop.readTables(path, error)))
        return false;
    auto tables = std::make_shared<UopMapTables>();
    tables->fileSize = m_uop.fileSize();
    tables->capacity = m_uop.tableCapacity();
    tables->version = m_uop.version();
    tables->signature = m_uop.signature();
    QList<UopEntry> &chunks = tables->chunks;
    constexpr qint64 chunkBytes = qint64(ChunkBlocks) * 196;
    for (int i = 0;; ++i) {
        const UopEntry *e = m_uop.find(chunkHash(fileNumber, i));
        if (!e)
            break;
        if (!chunks.isEmpty() && chunks.last().decompressedSize != chunkBytes) {
            const int last = int(chunks.size()) - 1;
            const qint64 size = chunks.last().decompressedSize;
            close();
            return setError(error, native(path)
                                       + QStringLiteral(": chunk %1 holds %2 bytes, not the %3 of 4096 blocks, and "
                                                        "is not the last")
                                             .arg(last)
                                             .arg(size)
                                             .arg(chunkBytes));
        }
        chunks.append(*e);
        tables->size += e->decompressedSize;
    }
    if (chunks.isEmpty()) {
        close();
        return setError(error, native(path) + QStringLiteral(": no map chunk (\"%1\") in the container")
                                                  .arg(QString::fromLatin1(chunkName(fileNumber, 0))));
    }
    if (chunks.size() < m_uop.entryCount()) {
        const int count = int(chunks.size()), entries = m_uop.entryCount();
        close();
        return setError(error, native(path) + QStringLiteral(": %1 entries, of which only chunks 0 to %2 follow one "
                                                             "another; a chunk is missing")
                                                  .arg(entries)
                                                  .arg(count - 1));
    }
    m_tables = std::move(tables);
    return true;
}

bool UopMap::open(const QString &path, std::shared_ptr<const UopMapTables> tables)
{
    close();
    if (!tables || !m_uop.openForEntries(path, tables->fileSize))
        return false;
    m_tables = std::move(tables);
    return true;
}

void UopMap::close()
{
    m_uop.close();
    m_tables.reset();
    m_inflated.clear();
}

bool UopMap::read(qint64 offset, qint64 length, char *out)
{
    constexpr qint64 chunkBytes = qint64(ChunkBlocks) * 196;
    if (!isOpen() || offset < 0 || length < 0 || offset > size() - length)
        return false;
    while (length > 0) {
        const int c = int(offset / chunkBytes);
        const qint64 within = offset - qint64(c) * chunkBytes;
        const UopEntry &e = m_tables->chunks.at(c);
        const qint64 n = std::min<qint64>(length, qint64(e.decompressedSize) - within);
        if (e.compression == 0) {
            if (!m_uop.readPart(e, within, n, out))
                return false;
        } else {
            auto it = m_inflated.find(c);
            if (it == m_inflated.end()) {
                QByteArray bytes;
                if (!m_uop.read(e, bytes))
                    return false;
                it = m_inflated.emplace(c, std::move(bytes)).first;
            }
            std::memcpy(out, it->second.constData() + within, size_t(n));
        }
        out += n;
        offset += n;
        length -= n;
    }
    return true;
}

// ---- writing -------------------------------------------------------------------------------

bool writeUopHead(NewFile &file, const QList<UopWriteEntry> &entries, quint32 capacity, quint32 version,
                  quint32 signature)
{
    capacity = std::max<quint32>(capacity, 1);
    constexpr qint64 firstTable = 0x200;
    const qint64 tables = std::max<qint64>(1, (entries.size() + capacity - 1) / capacity);
    const qint64 tableBytes = UopFile::TableHeaderSize + qint64(capacity) * UopFile::EntrySize;
    QByteArray head(firstTable + tables * tableBytes, '\0');
    auto *p = reinterpret_cast<uchar *>(head.data());
    qToLittleEndian<quint32>(UopFile::Magic, p);
    qToLittleEndian<quint32>(version, p + 4);
    qToLittleEndian<quint32>(signature, p + 8);
    qToLittleEndian<quint64>(quint64(firstTable), p + 12);
    qToLittleEndian<quint32>(capacity, p + 20);
    qToLittleEndian<quint32>(quint32(entries.size()), p + 24);
    qint64 data = head.size();
    for (qint64 t = 0; t < tables; ++t) {
        uchar *table = p + firstTable + t * tableBytes;
        const qint64 first = t * capacity;
        const qint64 count = std::min<qint64>(capacity, entries.size() - first);
        qToLittleEndian<quint32>(quint32(count), table);
        qToLittleEndian<quint64>(t + 1 < tables ? quint64(firstTable + (t + 1) * tableBytes) : 0, table + 4);
        for (qint64 i = 0; i < count; ++i) {
            const UopWriteEntry &w = entries.at(first + i);
            uchar *e = table + UopFile::TableHeaderSize + i * UopFile::EntrySize;
            qToLittleEndian<quint64>(quint64(data), e);
            qToLittleEndian<quint32>(0, e + 8);
            qToLittleEndian<quint32>(w.size, e + 12);
            qToLittleEndian<quint32>(w.size, e + 16);
            qToLittleEndian<quint64>(w.hash, e + 20);
            qToLittleEndian<quint32>(0, e + 28);
            qToLittleEndian<quint16>(0, e + 32);
            data += w.size;
        }
    }
    return file.write(head);
}
