#include "world/facet.h"
#include "world/backuplist.h"
#include "world/datadirectory.h"
#include "world/filereplacer.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// Qt words a short write as "Unknown error" (the system call that came short set errno, Qt
// set nothing); the system's own reason is better.
QString reasonOf(const QFileDevice &file, int err)
{
    const QString text = file.errorString();
    if (err != 0 && (text.isEmpty() || text == QLatin1String("Unknown error")))
        return QString::fromLocal8Bit(std::strerror(err));
    return text;
}

// One step that replaces to, so the name always holds a whole file, old or new.
bool renameOver(const QString &from, const QString &to, QString *reason)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()), MOVEFILE_REPLACE_EXISTING))
        return true;
    *reason = qt_error_string(int(GetLastError()));
#else
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *reason = QString::fromLocal8Bit(std::strerror(errno));
#endif
    return false;
}

} // namespace

Facet::Facet(int facet, bool useDiff, std::shared_ptr<WorkingDirectory> store)
    : m_store(store ? std::move(store) : WorkingDirectory::create())
{
    open(facet, useDiff);
}

Facet::~Facet()
{
    if (!m_store->isKeptForRecovery())
        clearWorkingFiles();
    closeFiles();
}

int Facet::blocksX() const
{
    return m_layout.blocksX;
}

int Facet::blocksY() const
{
    return m_layout.blocksY;
}

int Facet::mainFileNumber() const
{
    return m_layout.mainNumber >= 0 ? m_layout.mainNumber : m_facet;
}

bool Facet::sharesMainFiles() const
{
    return (m_facet == 0 || m_facet == 1) && m_clientLayout && m_clientLayout->facet(1).sharesMain;
}

QString Facet::saveRefusal(int mode) const
{
    if (!m_clientLayout)
        return QStringLiteral("The facet's files are not open");
    const QString refusal = m_clientLayout->saveRefusal(m_facet, mode);
    if (!refusal.isEmpty())
        return refusal;
    // The size of the files written is the size they had when they were read; a file that
    // has changed since would be cut or padded by a save.
    const QString base = m_dir + QLatin1Char('/');
    const QFileInfo map(base + m_layout.mapFile);
    if (m_layout.present() && map.isFile() && !m_layout.mapIsUop && map.size() != m_layout.mapSize) {
        return QStringLiteral("%1 has changed size since it was opened (%2 bytes then, %3 now); open the "
                              "directory again before saving")
            .arg(QDir::toNativeSeparators(map.filePath()))
            .arg(m_layout.mapSize)
            .arg(map.size());
    }
    if (m_layout.mapIsUop && map.isFile() && map.size() != m_uopLandFileSize) {
        return QStringLiteral("%1 has changed size since it was opened (%2 bytes then, %3 now); open the "
                              "directory again before saving")
            .arg(QDir::toNativeSeparators(map.filePath()))
            .arg(m_uopLandFileSize)
            .arg(map.size());
    }
    const QFileInfo index(base + m_layout.staticsIndexFile());
    if (index.exists() && index.size() > qint64(blockCount()) * 12) {
        return QStringLiteral("%1 holds %2 records, but the map of %3 has %4 blocks")
            .arg(QDir::toNativeSeparators(index.filePath()))
            .arg(index.size() / 12)
            .arg(m_layout.name)
            .arg(blockCount());
    }
    return QString();
}

void Facet::open(int facet, bool useDiff)
{
    const QString dir = dataDirectory();
    // The data directory went away while the editor runs (renamed, a drive gone). The files
    // open from it still read what the facet showed; opened afresh they would be missing,
    // every block not in the cache would read empty, and a later save would write that
    // emptiness into the client files once the directory is back. So they stay open, with
    // the lists as they were read, until the directory is there again.
    if (m_filesOpen && facet == m_facet && useDiff == m_useDiff && dir == m_dir && !QFileInfo(dir).isDir()) {
        m_landDiff = m_landDiffRead;
        m_staticsDiff = m_staticsDiffRead;
        return;
    }
    m_facet = facet;
    m_useDiff = useDiff;
    closeFiles();
    m_landListName.clear();
    m_staticsListName.clear();
    m_landDiff.clear();
    m_staticsDiff.clear();
    m_landDiffRead.clear();
    m_staticsDiffRead.clear();
    m_dir = dir;
    m_shownBackupBlocks = 0;
    // A save cut off in this directory is settled before anything is read from it.
    recoverInterruptedSave(dir);
    m_fingerprint = FileFingerprint::take(dir, saveTargets(0) + saveTargets(1),
                                          {saveTargets(1).at(0), saveTargets(1).at(3)});
    m_tileData.openFile(dir + QStringLiteral("/tiledata.mul"));
    m_clientLayout = ClientLayout::refresh(dir);
    m_layout = m_clientLayout->facet(facet);
    m_uopLandFileSize = 0;
    if (facet < 0 || facet >= ClientLayout::FacetCount)
        return;

    // Block reads jump around the files; unbuffered reads fetch exactly one record.
    const auto mode = QIODevice::ReadOnly | QIODevice::Unbuffered;
    const QString n = QString::number(mainFileNumber());
    if (m_layout.mapIsUop) {
        m_land.setFileName(dir + QLatin1Char('/') + m_layout.mapFile);
        // The layout read the container's tables a moment ago; they are not read twice.
        if (m_uopLand.open(m_land.fileName(), m_layout.mapTables) || m_uopLand.open(m_land.fileName(), mainFileNumber()))
            m_uopLandFileSize = m_uopLand.tables()->fileSize;
    } else {
        m_land.setFileName(dir + QStringLiteral("/map") + n + QStringLiteral(".mul"));
        m_land.open(mode);
    }
    m_staticsIndex.open(QStringLiteral("staidx") + n + QStringLiteral(".mul"));
    m_statics.setFileName(dir + QStringLiteral("/statics") + n + QStringLiteral(".mul"));
    m_statics.open(mode);
    m_filesOpen = m_land.isOpen() || m_uopLand.isOpen() || m_statics.isOpen();
    showBackup();
    if (!useDiff)
        return;

    const QString f = QString::number(facet);
    m_landDiffFile.setFileName(dir + QStringLiteral("/mapdif") + f + QStringLiteral(".mul"));
    m_landDiffFile.open(mode);
    m_staticsDiffIndex.open(QStringLiteral("stadifi") + f + QStringLiteral(".mul"));
    m_staticsDiffFile.setFileName(dir + QStringLiteral("/stadif") + f + QStringLiteral(".mul"));
    m_staticsDiffFile.open(mode);
    m_landListName = dir + QStringLiteral("/mapdifl") + f + QStringLiteral(".mul");
    m_staticsListName = dir + QStringLiteral("/stadifl") + f + QStringLiteral(".mul");
    loadList(m_landListName, true);
    loadList(m_staticsListName, false);
    m_landDiffRead = m_landDiff;
    m_staticsDiffRead = m_staticsDiff;
}

QStringList Facet::backupFiles() const
{
    QStringList names;
    for (const QString &target : saveTargets(0))
        names << target + QStringLiteral(".tsy") + QString::number(m_facet);
    return names;
}

QString Facet::backupListName() const
{
    return backupFiles().at(0) + BackupList::suffix();
}

// While a complete backup of this facet's edits lies beside the main files, the facet reads
// its listed blocks from there: each one this run has no working file for yet gets one with
// the backup's bytes (land from the backup map, statics from its index and data), so the
// edits show and count as unsaved until a save of this facet takes them into its files.
void Facet::showBackup()
{
    if (!sharesMainFiles())
        return;
    BackupList list;
    if (!list.read(m_dir, backupListName()) || list.facet != m_facet || list.retired() || !list.filesComplete(m_dir)
        || !list.files.contains(backupFiles().at(0)))
        return;
    const QStringList names = backupFiles();
    const QString base = m_dir + QLatin1Char('/');
    QFile map(base + names.at(0)), data(base + names.at(1));
    IndexFile index;
    UopMap uopMap;
    const bool uop = m_layout.mapIsUop;
    if (uop ? !uopMap.open(map.fileName(), mainFileNumber()) : !map.open(QIODevice::ReadOnly))
        return;
    data.open(QIODevice::ReadOnly);
    index.open(names.at(2)); // by name, from the data directory
    QSet<int> shown;
    QByteArray raw;
    for (int b : std::as_const(list.land)) {
        if (b >= blockCount() || m_landWorking.contains(b))
            continue;
        raw.resize(LandBlock::RecordSize);
        const qint64 at = qint64(b) * LandBlock::RecordSize;
        const bool ok = uop ? uopMap.read(at, LandBlock::RecordSize, raw.data()) : readAt(map, at, LandBlock::RecordSize, raw);
        if (ok && writeWorkingFile(b, raw, LandKind))
            shown.insert(b);
    }
    for (int b : std::as_const(list.statics)) {
        if (b >= blockCount() || m_staticsWorking.contains(b))
            continue;
        const IndexRecord rec = index.record(b);
        if (rec.offset == -1)
            raw.clear(); // the backup has no statics there: the edit emptied the block
        else if (!readAt(data, rec.offset, rec.length, raw))
            continue;
        if (writeWorkingFile(b, raw, StaticsKind))
            shown.insert(b);
    }
    m_shownBackupBlocks = int(shown.size());
    if (!shown.isEmpty())
        FileReplacer::noteBackupShown(m_dir, m_facet, list.blockCount(), names.at(0), list.by);
}

// A list is signed 32-bit block numbers; entry i names record i. The first entry of a
// block wins, and a trailing partial number is ignored.
void Facet::loadList(const QString &path, bool land)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    const qsizetype count = bytes.size() / 4;
    const uchar *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype i = 0; i < count; ++i, p += 4) {
        const qint32 block = qFromLittleEndian<qint32>(p);
        if (land) {
            if (!m_landDiff.contains(block))
                m_landDiff.insert(block, qint64(i) * LandBlock::RecordSize);
        } else if (!m_staticsDiff.contains(block) && i <= std::numeric_limits<qint32>::max()) {
            m_staticsDiff.insert(block, qint32(i));
        }
    }
}

void Facet::closeFiles()
{
    m_land.close();
    m_uopLand.close();
    m_landDiffFile.close();
    m_statics.close();
    m_staticsDiffFile.close();
    m_staticsIndex.close();
    m_staticsDiffIndex.close();
    m_filesOpen = false;
}

bool Facet::readAt(QFile &file, qint64 offset, qint64 length, QByteArray &out)
{
    if (!file.isOpen() || offset < 0 || length < 0 || offset > file.size() - length)
        return false;
    if (length == 0) {
        out.clear();
        return true;
    }
    out.resize(length);
    return file.seek(offset) && file.read(out.data(), length) == length;
}

bool Facet::readMainLand(qint64 offset, QByteArray &out)
{
    if (!m_uopLand.isOpen())
        return readAt(m_land, offset, LandBlock::RecordSize, out);
    out.resize(LandBlock::RecordSize);
    return m_uopLand.read(offset, LandBlock::RecordSize, out.data());
}

QByteArray Facet::readLandRaw(int block)
{
    QByteArray raw;
    bool ok;
    const auto it = m_landDiff.constFind(block);
    if (it != m_landDiff.constEnd())
        ok = readAt(m_landDiffFile, it.value(), LandBlock::RecordSize, raw);
    else
        ok = block >= 0 && readMainLand(qint64(block) * LandBlock::RecordSize, raw);
    if (!ok)
        return QByteArray(LandBlock::RecordSize, '\0');
    return raw;
}

QByteArray Facet::readStaticsRaw(int block)
{
    IndexRecord rec;
    QFile *data;
    const auto it = m_staticsDiff.constFind(block);
    if (it != m_staticsDiff.constEnd()) {
        rec = m_staticsDiffIndex.record(it.value());
        data = &m_staticsDiffFile;
    } else {
        rec = m_staticsIndex.record(block);
        data = &m_statics;
    }
    QByteArray raw;
    if (rec.offset == -1 || !readAt(*data, rec.offset, rec.length, raw))
        return QByteArray();
    return raw;
}

LandBlock Facet::loadLandBlock(int block, bool useEditStore)
{
    QByteArray raw;
    if (!useEditStore || !readWorkingFile(block, raw, LandKind) || raw.size() != LandBlock::RecordSize)
        raw = readLandRaw(block);
    return LandBlock::decode(raw, m_tileData);
}

StaticBlock Facet::loadStaticBlock(int block, bool useEditStore, bool withItems)
{
    QByteArray raw;
    if (!useEditStore || !readWorkingFile(block, raw, StaticsKind))
        raw = readStaticsRaw(block);
    StaticBlock statics = StaticBlock::decode(raw, m_tileData);
    if (withItems) {
        const auto it = m_items.constFind(block);
        if (it != m_items.constEnd()) {
            for (auto cell = it->cbegin(); cell != it->cend(); ++cell) {
                if (!isCellKey(cell.key()))
                    continue;
                statics.entry(cell.key()).insertAll(cell.value().begin(), cell.value().end());
            }
        }
    }
    return statics;
}

bool Facet::storeLandBlock(int block, const LandBlock &land, QString *error)
{
    // Start from the block's current bytes so its header is carried over.
    QByteArray raw;
    if (!readWorkingFile(block, raw, LandKind) || raw.size() != LandBlock::RecordSize)
        raw = readLandRaw(block);
    land.encodeInto(raw);
    return writeWorkingFile(block, raw, LandKind, error);
}

bool Facet::storeStaticBlock(int block, const StaticBlock &statics, QString *error)
{
    return writeWorkingFile(block, statics.encode(), StaticsKind, error);
}

// ---- edit store --------------------------------------------------------------------------

QString Facet::workingDirectory() const
{
    return m_store->path();
}

QString Facet::workingFileName(int block, int kind, int facet)
{
    return QString::number(block) + QLatin1Char('t') + QString::number(kind) + QStringLiteral(".tsy")
        + QString::number(facet);
}

QString Facet::workingFilePath(int block, int kind) const
{
    return m_store->filePath(workingFileName(block, kind, m_facet));
}

bool Facet::readWorkingFile(int block, QByteArray &out, int kind)
{
    const QSet<int> &set = kind == LandKind ? m_landWorking : m_staticsWorking;
    if (!set.contains(block))
        return false;
    const QHash<int, QByteArray> &copies = m_workingCopies[kind == LandKind ? 0 : 1];
    if (const auto it = copies.constFind(block); m_saving && it != copies.constEnd()) {
        out = it.value();
        return true;
    }
    QFile file(workingFilePath(block, kind));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    out = file.readAll();
    return true;
}

bool Facet::writeWorkingFile(int block, const QByteArray &data, int kind, QString *error)
{
    if (!m_store->ensure())
        return setError(error, m_store->errorString());
    const QString path = workingFilePath(block, kind);
    // Written under a second name and renamed over the working file: a disk that takes only
    // part of the bytes leaves the earlier file whole, not a torn one that would read back
    // as a different block (a short statics file is a block with fewer statics).
    const QString part = path + QStringLiteral(".part");
    QFile file(part);
    QString reason;
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        errno = 0;
        const bool whole = file.write(data) == data.size();
        const int err = errno;
        if (!whole)
            reason = reasonOf(file, err);
        file.close();
        if (reason.isEmpty() && file.error() != QFileDevice::NoError)
            reason = file.errorString();
        if (reason.isEmpty())
            renameOver(part, path, &reason);
        if (!reason.isEmpty())
            QFile::remove(part);
    } else {
        reason = file.errorString();
    }
    if (!reason.isEmpty()) {
        return setError(error, QStringLiteral("Could not write the working file ") + QDir::toNativeSeparators(path)
                                   + QStringLiteral(": ") + reason);
    }
    (kind == LandKind ? m_landWorking : m_staticsWorking).insert(block);
    QHash<int, QByteArray> &copies = m_workingCopies[kind == LandKind ? 0 : 1];
    if (const auto it = copies.find(block); it != copies.end()) {
        m_workingCopyBytes -= it.value().size();
        copies.erase(it);
    }
    if (m_workingCopyBytes + data.size() <= WorkingCopyBudget) {
        copies.insert(block, data);
        m_workingCopyBytes += data.size();
    }
    return true;
}

QStringList Facet::listWorkingFiles(const QString &filter, QDir::SortFlags sort) const
{
    if (!m_store->isValid())
        return {};
    return QDir(m_store->path()).entryList({filter}, QDir::Files | QDir::Hidden | QDir::CaseSensitive, sort);
}

QList<int> Facet::workingBlocks(int kind)
{
    const QStringList names = listWorkingFiles(QStringLiteral("*t") + QString::number(kind)
                                               + QStringLiteral(".tsy") + QString::number(m_facet));
    QList<int> result;
    QSet<int> seen;
    for (const QString &name : names) {
        bool ok = false;
        const int block = name.left(name.indexOf(QLatin1Char('t'))).toInt(&ok, 10);
        if (!ok || seen.contains(block))
            continue; // not a name this program writes
        seen.insert(block);
        if (kind == LandKind)
            m_landDiff.remove(block);
        else
            m_staticsDiff.remove(block);
        result.append(block);
    }
    if (kind == LandKind)
        result.append(m_landDiff.keys());
    else
        result.append(m_staticsDiff.keys());
    std::sort(result.begin(), result.end());
    return result;
}
