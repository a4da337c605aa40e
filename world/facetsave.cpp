// Saving a facet: the four savers that write new client files beside the old ones, and the
// working-file steps around them. Which files then replace which is facetsaver.cpp's part.
#include "world/facet.h"
#include "world/filereplacer.h"
#include "world/newfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

void putIndex(uchar *p, qint32 offset, qint32 length)
{
    qToLittleEndian<qint32>(offset, p);
    qToLittleEndian<qint32>(length, p + 4);
    qToLittleEndian<qint32>(0, p + 8);
}

// Drawing-order adjustment of every static id, asked of the tile data once per id.
class AdjustTable
{
public:
    explicit AdjustTable(TileData &tileData) : m_tileData(tileData) { m_adjust.fill(-1); }
    int operator()(quint16 id)
    {
        qint8 &a = m_adjust[id];
        if (a < 0)
            a = qint8(m_tileData.staticTile(id).adjust());
        return a;
    }

private:
    TileData &m_tileData;
    std::array<qint8, 65536> m_adjust;
};

// True when decoding the records and encoding the block again gives the same bytes: whole
// records, every x and y inside the block, cells in key order and, within a cell, drawing
// order (statics of equal sortZ keep their order, so non-decreasing sortZ is enough).
bool reencodesToItself(const uchar *p, qint64 size, AdjustTable &adjust)
{
    if (size % StaticBlock::RecordSize != 0)
        return false;
    int lastCell = -1, lastSortZ = 0;
    for (const uchar *end = p + size; p != end; p += StaticBlock::RecordSize) {
        const int x = qint8(p[2]), y = qint8(p[3]);
        if (x < 0 || x > 7 || y < 0 || y > 7)
            return false;
        const int cell = y * 8 + x;
        const int sortZ = qint8(p[4]) + adjust(qFromLittleEndian<quint16>(p));
        if (cell < lastCell || (cell == lastCell && sortZ < lastSortZ))
            return false;
        lastCell = cell;
        lastSortZ = sortZ;
    }
    return true;
}

// A read-only view of a whole client file: mapped when the system allows, read otherwise.
class FileBytes
{
public:
    explicit FileBytes(const QString &path) : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            return;
        m_size = m_file.size();
        if (m_size <= 0)
            return;
        m_data = m_file.map(0, m_size);
#ifdef Q_OS_UNIX
        if (m_data)
            posix_madvise(const_cast<uchar *>(m_data), size_t(m_size), POSIX_MADV_SEQUENTIAL);
#endif
        if (!m_data) {
            m_copy = m_file.readAll();
            m_data = reinterpret_cast<const uchar *>(m_copy.constData());
            m_size = m_copy.size();
        }
    }
    const uchar *data() const { return m_data; }
    qint64 size() const { return m_data ? m_size : 0; }
    // The bytes [offset, offset + length) when the file holds all of them.
    const uchar *range(qint64 offset, qint64 length) const
    {
        if (!m_data || offset < 0 || length < 0 || offset > m_size - length)
            return nullptr;
        return m_data + offset;
    }

private:
    QFile m_file;
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    QByteArray m_copy;
};

} // namespace

bool landBlocksEqual(const LandBlock &a, const LandBlock &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < 64; ++i) {
        const CellKey key = cellKeyAt(i);
        if (!a.contains(key))
            continue;
        if (!b.contains(key))
            return false;
        const Tile &ta = a.at(key), &tb = b.at(key);
        if (ta.z() != tb.z() || ta.id() != tb.id())
            return false;
    }
    return true;
}

bool staticBlocksEqual(const StaticBlock &a, const StaticBlock &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < 64; ++i) {
        const CellKey key = cellKeyAt(i);
        if (!a.contains(key))
            continue;
        if (!b.contains(key))
            return false;
        const TileStack &sa = a.at(key), &sb = b.at(key);
        if (sa.size() != sb.size())
            return false;
        for (int t = 0; t < sa.size(); ++t) {
            // A hue is part of the record the client reads: a static whose only change
            // is its hue is a change to save.
            if (sa[t] != sb[t] || sa[t].hue() != sb[t].hue())
                return false;
        }
    }
    return true;
}

// ---- working files around a save ----------------------------------------------------------

bool Facet::hasWorkingFilesOnDisk() const
{
    // The first such name answers it: no list of hundreds of names, sorted, to throw away.
    if (!m_store->isValid())
        return false;
    QDirIterator it(m_store->path(), {QStringLiteral("*.tsy") + QString::number(m_facet)},
                    QDir::Files | QDir::Hidden | QDir::CaseSensitive);
    return it.hasNext();
}

bool Facet::hasWorkingFiles(int mode, QString *error)
{
    const bool any = hasWorkingFilesOnDisk();
    if (any) {
        const bool saved = mode == 0 ? saveMainFiles(error) : mode == 1 ? saveDifferenceFiles(error) : true;
        if (!saved) {
            // The lists lost their working blocks to workingBlocks; read them again.
            reopen();
            return any;
        }
    }
    clearWorkingFiles();
    return any;
}

bool Facet::clearWorkingFiles(QString *error)
{
    bool ok = true;
    const QStringList names = listWorkingFiles(QStringLiteral("*.tsy") + QString::number(m_facet), QDir::Unsorted);
#ifdef Q_OS_UNIX
    // Hundreds of files after a save: each goes by its name in the open directory, without a
    // file object and a walk of the whole path per file. One that will not go is tried again
    // below, for the system's reason in the message.
    const int dirFd = names.isEmpty() ? -1 : ::open(QFile::encodeName(m_store->path()).constData(),
                                                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    for (const QString &name : names) {
#ifdef Q_OS_UNIX
        if (dirFd >= 0 && ::unlinkat(dirFd, QFile::encodeName(name).constData(), 0) == 0)
            continue;
#endif
        QFile file(m_store->filePath(name));
        if (!file.remove() && ok) {
            ok = false;
            setError(error, QStringLiteral("Could not delete ") + QDir::toNativeSeparators(file.fileName())
                                + QStringLiteral(": ") + file.errorString());
        }
    }
#ifdef Q_OS_UNIX
    if (dirFd >= 0)
        ::close(dirFd);
#endif
    m_landWorking.clear();
    m_staticsWorking.clear();
    m_workingCopies[0].clear();
    m_workingCopies[1].clear();
    m_workingCopyBytes = 0;
    return ok;
}

// ---- names ---------------------------------------------------------------------------------

QStringList Facet::saveTargets(int mode) const
{
    const QString mul = QStringLiteral(".mul");
    if (mode == 0) {
        const QString n = QString::number(mainFileNumber());
        // A container map is written as a container again, under its own name.
        const QString map = m_layout.mapIsUop ? m_layout.mapFile : QStringLiteral("map") + n + mul;
        return {map, QStringLiteral("statics") + n + mul, QStringLiteral("staidx") + n + mul};
    }
    const QString f = QString::number(m_facet);
    return {QStringLiteral("mapdifl") + f + mul, QStringLiteral("mapdif") + f + mul, QStringLiteral("stadif") + f + mul,
            QStringLiteral("stadifl") + f + mul, QStringLiteral("stadifi") + f + mul};
}

QString Facet::newFileName(const QString &target) const
{
    return target + QStringLiteral(".tsy") + QString::number(m_facet) + (m_staged ? stagedSuffix() : QString());
}

QString Facet::newFilePath(const QString &target) const
{
    return m_dir + QLatin1Char('/') + newFileName(target);
}

void Facet::removeNewFiles(int mode) const
{
    for (const QString &target : saveTargets(mode))
        QFile::remove(newFilePath(target));
}

void Facet::saveTick(int block)
{
    ++m_untold;
    if (block % 800 != 799)
        return;
    if (m_progress)
        m_progress(m_untold);
    m_untold = 0;
    tellSideProgress();
    // Repaints and timers only: a click or key that arrives now waits until the save is over,
    // so it cannot start an edit, a pick or another save in the middle of this one. One pass
    // over what is pending, not up to a second: a view that keeps posting events would
    // otherwise hold every 800 blocks for the full second.
    if (m_app)
        m_app->processEvents(QEventLoop::ExcludeUserInputEvents);
}

// ---- savers --------------------------------------------------------------------------------

// While a saver runs, the working files are read from the copies this run kept of them.
struct Facet::Saving {
    explicit Saving(Facet &facet) : facet(facet), was(facet.m_saving) { facet.m_saving = true; }
    ~Saving() { facet.m_saving = was; }
    Facet &facet;
    bool was;
};

// The new map of a main save. Header b, then the 64 cells of the block as it reads with its
// working file. Decoding a land record and encoding it again gives back its cells unchanged
// (ids are read and written as the same 16 bits), so a block without a working file is its
// stored record with the header rewritten; only blocks with working files or difference
// records go through the facet. Runs of stored records that lie back to back in the old file
// go out together: copied by the system when their headers already are their block numbers
// (any map this editor wrote), else read with one call into the new file's buffer, where
// only their headers are touched.
//
// Everything the writing needs from the facet is worked out first, so that when no block
// has to be read through it while writing (no compressed chunks, a readable old map), the
// writing runs on a thread of its own beside the statics saver.
struct LandJob {
    std::unique_ptr<NewFile> out;
    QFile main;
    qint64 fileSize = 0;    // 0: no readable old map
    qint64 mainBytes = 0;   // the blocks' bytes in it (a container's blocks, or the file)
    int blocks = 0;
    bool container = false;
    // Container: per chunk, where block 0 would lie were the whole map laid out like that chunk
    // (negative for a chunk placed early in the file); Compressed for a compressed chunk.
    static constexpr qint64 Compressed = std::numeric_limits<qint64>::min();
    std::vector<qint64> chunkBase;
    std::vector<bool> special;     // blocks that read through the facet
    QHash<int, QByteArray> records; // on a thread of its own: those blocks' records, read before
    std::function<void(int, char *)> readThrough; // otherwise: reads one of them
    std::function<void(int, int)> done;           // blocks [b, b + n) are written
    QString error;

    qint64 storedAt(int b) const
    {
        constexpr qint64 Record = LandBlock::RecordSize;
        qint64 at = b * Record;
        if (container) {
            const size_t c = size_t(b / UopMap::ChunkBlocks);
            if (c >= chunkBase.size() || chunkBase[c] == Compressed)
                return -1;
            at += chunkBase[c];
        }
        return fileSize > 0 && at >= 0 && at <= fileSize - Record ? at : -1;
    }

    bool failWith(const QString &why)
    {
        out->cancel();
        error = why;
        return false;
    }

    bool run()
    {
        constexpr qint64 Record = LandBlock::RecordSize;
        // Only to look at record headers; the records themselves go through the file.
        const uchar *mapped = fileSize > 0 ? main.map(0, fileSize) : nullptr;
        const int half = blocks / 2;
        for (int b = 0; b < blocks;) {
            // A run ends after the middle block, at a block that needs more, where the stored
            // records stop following one another, and every 8192 blocks (1.5 MiB).
            int end = std::min(blocks, (b / 8192 + 1) * 8192);
            if (b <= half)
                end = std::min(end, half + 1);
            const qint64 at = special[size_t(b)] ? -1 : storedAt(b);
            int n = 0;
            if (at >= 0) {
                n = 1;
                while (b + n < end && !special[size_t(b + n)] && storedAt(b + n) == at + n * Record)
                    ++n;
            }
            if (n > 0) {
                int same = 0;
                while (mapped && same < n && qFromLittleEndian<qint32>(mapped + at + qint64(same) * Record) == b + same)
                    ++same;
#ifdef Q_OS_UNIX
                if (same == n) {
                    if (!out->copyFrom(main.handle(), at, n * Record))
                        return failWith(out->errorString());
                    done(b, n);
                    b += n;
                    continue;
                }
#endif
                char *to = out->reserve(n * Record);
                if (!to)
                    return failWith(out->errorString());
                if (!main.seek(at) || main.read(to, n * Record) != n * Record) {
                    // The file could not give them in one piece: each on its own then.
                    for (int i = 0; i < n; ++i)
                        through(b + i, to + i * Record);
                }
                for (int i = 0; i < n; ++i)
                    qToLittleEndian<qint32>(b + i, to + i * Record);
                done(b, n);
                b += n;
                continue;
            }
            char *to = out->reserve(Record);
            if (!to)
                return failWith(out->errorString());
            if (special[size_t(b)] || b * Record < mainBytes)
                through(b, to); // a working file, a difference, a compressed chunk, a cut record
            else
                std::memset(to, 0, LandBlock::RecordSize); // past the end: the decoder's empty land
            qToLittleEndian<qint32>(b, to);
            done(b, 1);
            ++b;
        }
        if (!out->commit()) {
            error = out->errorString();
            return false;
        }
        return true;
    }

    // One block as it reads through the facet: its working file, or the difference file, or a
    // compressed chunk; a block the old file does not hold whole reads as empty land.
    void through(int b, char *to)
    {
        if (readThrough) {
            readThrough(b, to);
            return;
        }
        const auto it = records.constFind(b);
        if (it != records.constEnd())
            std::memcpy(to, it->constData(), LandBlock::RecordSize);
        else
            std::memset(to, 0, LandBlock::RecordSize);
    }
};

bool Facet::saveMainFiles(QString *error)
{
    if (const QString refusal = saveRefusal(); !refusal.isEmpty())
        return setError(error, refusal);
    Saving saving(*this);
    LandJob land;
    if (!planLandMain(land, true, error))
        return false;
    if (land.readThrough)
        return (land.run() || setError(error, land.error)) && saveStaticsMain(error);
    // The map is written on a thread of its own while this one writes the statics (and keeps
    // the window painted); the thread only counts its blocks, told with the statics' ticks.
    std::atomic<int> landDone{0};
    land.done = [&landDone](int, int n) { landDone.fetch_add(n, std::memory_order_relaxed); };
    m_sideProgress = &landDone;
    m_sideTold = 0;
    bool landOk = false;
    std::atomic<bool> landFinished{false};
    std::thread writer([&] {
        landOk = land.run();
        landFinished.store(true, std::memory_order_release);
    });
    const bool staticsOk = saveStaticsMain(error);
    FileReplacer::step(QStringLiteral("writing"));
    while (!landFinished.load(std::memory_order_acquire)) {
        // The statics are done and the map is not yet: the window stays painted meanwhile.
        if (m_app)
            m_app->processEvents(QEventLoop::ExcludeUserInputEvents);
        tellSideProgress();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    writer.join();
    tellSideProgress();
    m_sideProgress = nullptr;
    if (!landOk)
        return setError(error, land.error);
    return staticsOk;
}

void Facet::tellSideProgress()
{
    if (!m_sideProgress)
        return;
    const int now = m_sideProgress->load(std::memory_order_relaxed);
    if (m_progress && now > m_sideTold)
        m_progress(now - m_sideTold);
    m_sideTold = now;
}

bool Facet::saveDifferenceFiles(QString *error)
{
    if (const QString refusal = saveRefusal(1); !refusal.isEmpty())
        return setError(error, refusal);
    Saving saving(*this);
    return saveLandDifference(error) && saveStaticsDifference(error);
}

bool Facet::workingBlocksListedInDifferences() const
{
    if (!m_useDiff)
        return false;
    for (int b : m_landWorking)
        if (m_landDiff.contains(b))
            return true;
    for (int b : m_staticsWorking)
        if (m_staticsDiff.contains(b))
            return true;
    return false;
}

bool Facet::refreshDifferenceFiles(QString *error)
{
    Saving saving(*this);
    return saveLandDifference(error, true) && saveStaticsDifference(error, true);
}

// Blocks read through the facet before a land saver on its own thread starts: beyond these
// it writes in line (a long difference list would otherwise be held twice in memory).
constexpr int DetachedRecordLimit = 65536;

bool Facet::planLandMain(LandJob &job, bool detached, QString *error)
{
    job.out = std::make_unique<NewFile>(newFilePath(saveTargets(0).at(0)));
    NewFile &out = *job.out;
    if (!out.open())
        return setError(error, out.errorString());
    job.blocks = blockCount();
    if (m_layout.mapIsUop && !writeLandContainer(out)) {
        out.cancel();
        return setError(error, out.errorString());
    }
    job.main.setFileName(m_land.fileName());
    const bool readable = job.main.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && job.main.size() > 0;
    job.fileSize = readable ? job.main.size() : 0;
    job.container = m_uopLand.isOpen();
    job.mainBytes = job.container ? m_uopLand.size() : job.fileSize;
    bool compressed = false;
    if (job.container) {
        for (int c = 0; c < m_uopLand.chunkCount(); ++c) {
            const UopEntry &chunk = m_uopLand.chunk(c);
            compressed = compressed || chunk.compression != 0;
            job.chunkBase.push_back(chunk.compression != 0
                                        ? LandJob::Compressed
                                        : chunk.dataOffset() - qint64(c) * UopMap::ChunkBlocks * LandBlock::RecordSize);
        }
    }
    const int blocks = job.blocks;
    job.special.assign(size_t(std::max(blocks, 0)), !readable);
    int specials = 0;
    auto mark = [&](int b) {
        if (b >= 0 && b < blocks && !job.special[size_t(b)]) {
            job.special[size_t(b)] = true;
            ++specials;
        }
    };
    for (int b : m_landWorking)
        mark(b);
    for (auto it = m_landDiff.cbegin(); it != m_landDiff.cend(); ++it)
        mark(it.key());
    QByteArray record(LandBlock::RecordSize, '\0');
    auto readThrough = [this, record](int b, char *to) mutable {
        if (m_landWorking.contains(b)) {
            record.fill('\0');
            loadLandBlock(b, true).encodeInto(record);
        } else {
            record = readLandRaw(b);
        }
        std::memcpy(to, record.constData(), LandBlock::RecordSize);
    };
    if (detached && readable && !compressed && specials <= DetachedRecordLimit) {
        for (int b = 0; b < blocks; ++b) {
            if (job.special[size_t(b)]) {
                QByteArray &r = job.records[b];
                r.resize(LandBlock::RecordSize);
                readThrough(b, r.data());
            }
        }
        return true;
    }
    job.readThrough = readThrough;
    const int half = blocks / 2;
    job.done = [this, half](int b, int n) {
        for (int i = b; i < b + n; ++i) {
            saveTick(i);
            if (i == half)
                FileReplacer::step(QStringLiteral("writing"));
        }
    };
    return true;
}

bool Facet::saveLandMain(QString *error)
{
    LandJob job;
    if (!planLandMain(job, false, error))
        return false;
    return job.run() || setError(error, job.error);
}

// The header and tables of a container with the chunks of this facet's blocks, named and
// hashed as the client's, in tables of the size the old container had. The blocks follow.
bool Facet::writeLandContainer(NewFile &out)
{
    const int blocks = blockCount();
    QList<UopWriteEntry> entries;
    for (int c = 0; qint64(c) * UopMap::ChunkBlocks < blocks; ++c) {
        const int n = std::min(UopMap::ChunkBlocks, blocks - c * UopMap::ChunkBlocks);
        entries.append({UopMap::chunkHash(mainFileNumber(), c), quint32(n * LandBlock::RecordSize)});
    }
    const bool known = m_uopLand.isOpen();
    return writeUopHead(out, entries, known ? m_uopLand.tableCapacity() : 1000, known ? m_uopLand.version() : 5,
                        known ? m_uopLand.signature() : 0xFD23EC43);
}

// Per block, the index record (-1, -1, 0) for a block without tiles, else (d, 7 x tiles, 0)
// with the records at d in cell-key order and drawing order. Stored records that already
// are in that order (the normal case) are copied as they are; anything else (a working file,
// records out of order, bad cells, a partial record) goes through the decoder and encoder.
bool Facet::saveStaticsMain(QString *error)
{
    const QStringList targets = saveTargets(0);
    NewFile data(newFilePath(targets.at(1)));
    NewFile index(newFilePath(targets.at(2)));
    if (!data.open())
        return setError(error, data.errorString());
    if (!index.open())
        return setError(error, index.errorString());

    const FileBytes mainData(m_statics.fileName());
    const FileBytes mainIndex(m_dir + QLatin1Char('/') + m_staticsIndex.fileName());
    // The index as the facet's reader sees it: whole records only, as many as it counted.
    const qint64 indexCount = std::min<qint64>(m_staticsIndex.count(), mainIndex.size() / 12);
    AdjustTable adjust(m_tileData);

    const int blocks = blockCount();
    std::vector<bool> special(size_t(std::max(blocks, 0)), false);
    for (int b : m_staticsWorking)
        if (b >= 0 && b < blocks)
            special[size_t(b)] = true;
    for (auto it = m_staticsDiff.cbegin(); it != m_staticsDiff.cend(); ++it)
        if (it.key() >= 0 && it.key() < blocks)
            special[size_t(it.key())] = true;
    QByteArray indexBytes(qsizetype(blocks) * 12, Qt::Uninitialized);
    uchar *ip = reinterpret_cast<uchar *>(indexBytes.data());
    QByteArray records;
    // Records copied as they are and lying back to back in the old file go out in one write.
    const uchar *run = nullptr;
    qint64 runLength = 0;
    auto writeRun = [&] {
        const bool ok = runLength == 0 || data.write(reinterpret_cast<const char *>(run), runLength);
        runLength = 0;
        return ok;
    };
    for (int b = 0; b < blocks; ++b, ip += 12) {
        const uchar *raw = nullptr;
        qint64 length = 0;
        bool direct = false;
        if (!special[size_t(b)] && b < indexCount) {
            const uchar *rec = mainIndex.data() + qint64(b) * 12;
            const qint32 offset = qFromLittleEndian<qint32>(rec);
            const qint32 len = qFromLittleEndian<qint32>(rec + 4);
            // The reader's rules: offset -1, or records not wholly inside the file, read empty.
            raw = offset == -1 ? nullptr : mainData.range(offset, len);
            length = raw ? len : 0;
            direct = true;
        }
        const bool copied = direct && reencodesToItself(raw, length, adjust);
        if (!copied) {
            records = loadStaticBlock(b, true, false).encode();
            raw = reinterpret_cast<const uchar *>(records.constData());
            length = records.size();
        }
        if (length == 0) {
            putIndex(ip, -1, -1);
        } else {
            putIndex(ip, qint32(data.pos() + runLength), qint32(length));
            bool ok = true;
            if (copied && runLength > 0 && run + runLength == raw) {
                runLength += length;
            } else if (copied) {
                ok = writeRun();
                run = raw;
                runLength = length;
            } else {
                ok = writeRun() && data.write(reinterpret_cast<const char *>(raw), length);
            }
            if (!ok) {
                data.cancel();
                return setError(error, data.errorString());
            }
        }
        saveTick(b);
    }
    if (!writeRun()) {
        data.cancel();
        return setError(error, data.errorString());
    }
    if (!index.write(indexBytes) || !data.commit() || !index.commit()) {
        const QString why = data.failed() ? data.errorString() : index.errorString();
        data.cancel();
        index.cancel();
        QFile::remove(data.path());
        return setError(error, why);
    }
    return true;
}

bool Facet::saveLandDifference(QString *error, bool listedOnly)
{
    // Taken before workingBlocks, which takes blocks with working files off the list.
    const QList<qint32> listed = m_landDiff.keys();
    const QStringList targets = saveTargets(1);
    NewFile list(newFilePath(targets.at(0)));
    NewFile records(newFilePath(targets.at(1)));
    if (!list.open())
        return setError(error, list.errorString());
    if (!records.open())
        return setError(error, records.errorString());
    QByteArray record(LandBlock::RecordSize, '\0');
    // A listed block without a working file keeps its record: decoding and encoding it again
    // gives back its cells unchanged, so it is copied with its header rewritten. That keeps
    // the cost of a save with the blocks changed, not with the blocks listed before.
    const FileBytes oldRecords(m_landDiffFile.fileName());
    bool ok = true;
    for (int b : workingBlocks(LandKind)) {
        const bool wasListed = std::binary_search(listed.cbegin(), listed.cend(), qint32(b));
        if (listedOnly && !wasListed) {
            saveTick(b);
            continue;
        }
        if (const auto it = m_landDiff.constFind(b);
            it != m_landDiff.constEnd() && !m_landWorking.contains(b) && oldRecords.data()) {
            if (const uchar *stored = oldRecords.range(it.value(), LandBlock::RecordSize))
                std::memcpy(record.data(), stored, LandBlock::RecordSize);
            else
                record.fill('\0'); // past the end: read as empty land
            qToLittleEndian<qint32>(b, record.data());
            ok = list.writeInt32(b) && records.write(record);
            if (!ok)
                break;
            saveTick(b);
            continue;
        }
        const LandBlock before = loadLandBlock(b, false);
        const LandBlock after = loadLandBlock(b, true);
        if (listedOnly || !landBlocksEqual(before, after) || m_landDiff.contains(b)) {
            record.fill('\0');
            after.encodeInto(record);
            qToLittleEndian<qint32>(b, record.data());
            ok = list.writeInt32(b) && records.write(record);
            if (!ok)
                break;
        }
        saveTick(b);
    }
    if (!ok || !list.commit() || !records.commit()) {
        const QString why = list.failed() ? list.errorString() : records.errorString();
        list.cancel();
        records.cancel();
        QFile::remove(list.path());
        return setError(error, why);
    }
    return true;
}

bool Facet::saveStaticsDifference(QString *error, bool listedOnly)
{
    const QList<qint32> listed = m_staticsDiff.keys();
    const QStringList targets = saveTargets(1);
    NewFile data(newFilePath(targets.at(2)));
    NewFile list(newFilePath(targets.at(3)));
    NewFile index(newFilePath(targets.at(4)));
    for (NewFile *f : {&data, &list, &index}) {
        if (!f->open())
            return setError(error, f->errorString());
    }
    char rec[12];
    // As for land: a listed block without a working file whose records are already in the
    // order encode writes is copied as it is.
    const FileBytes oldData(m_staticsDiffFile.fileName());
    const FileBytes oldIndex(m_dir + QLatin1Char('/') + m_staticsDiffIndex.fileName());
    const qint64 oldCount = std::min<qint64>(m_staticsDiffIndex.count(), oldIndex.size() / 12);
    AdjustTable adjust(m_tileData);
    bool ok = true;
    for (int b : workingBlocks(StaticsKind)) {
        const bool wasListed = std::binary_search(listed.cbegin(), listed.cend(), qint32(b));
        if (listedOnly && !wasListed) {
            saveTick(b);
            continue;
        }
        // A difference file that is missing or empty reads as empty blocks, as in readStaticsRaw.
        if (const auto it = m_staticsDiff.constFind(b); it != m_staticsDiff.constEnd() && !m_staticsWorking.contains(b)) {
            const uchar *raw = nullptr;
            qint64 length = 0;
            if (it.value() >= 0 && it.value() < oldCount) {
                const uchar *p = oldIndex.data() + qint64(it.value()) * 12;
                const qint32 offset = qFromLittleEndian<qint32>(p);
                const qint32 len = qFromLittleEndian<qint32>(p + 4);
                raw = offset == -1 ? nullptr : oldData.range(offset, len);
                length = raw ? len : 0;
            }
            if (reencodesToItself(raw, length, adjust)) {
                if (length == 0) {
                    putIndex(reinterpret_cast<uchar *>(rec), -1, -1);
                } else {
                    putIndex(reinterpret_cast<uchar *>(rec), qint32(data.pos()), qint32(length));
                    ok = data.write(reinterpret_cast<const char *>(raw), length);
                }
                ok = ok && list.writeInt32(b) && index.write(rec, 12);
                if (!ok)
                    break;
                saveTick(b);
                continue;
            }
        }
        const StaticBlock before = loadStaticBlock(b, false, true);
        const StaticBlock after = loadStaticBlock(b, true, false);
        if (listedOnly || !staticBlocksEqual(before, after) || m_staticsDiff.contains(b)) {
            if (after.isEmpty()) {
                putIndex(reinterpret_cast<uchar *>(rec), -1, -1);
            } else {
                // Cells in key order and stacks in drawing order: what encode writes.
                const QByteArray bytes = after.encode();
                putIndex(reinterpret_cast<uchar *>(rec), qint32(data.pos()), qint32(bytes.size()));
                ok = data.write(bytes);
            }
            ok = ok && list.writeInt32(b) && index.write(rec, 12);
            if (!ok)
                break;
        }
        saveTick(b);
    }
    if (!ok || !data.commit() || !list.commit() || !index.commit()) {
        QString why;
        for (NewFile *f : {&data, &list, &index}) {
            if (why.isEmpty() && f->failed())
                why = f->errorString();
            f->cancel();
        }
        for (int i = 2; i < 5; ++i)
            QFile::remove(newFilePath(targets.at(i)));
        return setError(error, why);
    }
    return true;
}
