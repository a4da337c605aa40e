#include "world/facetsaver.h"
#include "world/backuplist.h"
#include "world/blockcache.h"
#include "world/facet.h"
#include "world/filereplacer.h"
#include "world/newfile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// Feeds a facet's block counts into the save's progress.
class ProgressFeed
{
public:
    ProgressFeed(const SaveProgress &progress, qint64 total) : m_progress(progress), m_total(total) {}
    void attach(Facet &facet)
    {
        facet.setSaveProgress([this](int blocks) {
            m_done = std::min(m_done + blocks, m_total);
            if (m_progress)
                m_progress(m_done, m_total);
        });
    }
    void grow(qint64 blocks) { m_total += blocks; }
    void finish()
    {
        if (m_progress)
            m_progress(m_total, m_total);
    }

private:
    const SaveProgress &m_progress;
    qint64 m_total;
    qint64 m_done = 0;
};

// Detaches the progress feed and brings back the lists a failed saver left short.
struct FacetGuard {
    Facet *facet;
    ~FacetGuard()
    {
        if (facet) {
            facet->setSaveProgress(nullptr);
            facet->setStagedNewFiles(false);
        }
    }
};

// The backup a main save of Trammel leaves of Felucca's changes (or of Trammel's, the other
// way round) lies under the names that facet's own main save writes, with the list of the
// blocks it changed (backuplist.h).
struct Backup {
    bool present = false; // a file of the backup, or its list, lies there
    bool listed = false;  // a whole list of this facet with every file it names
    BackupList list;
};

Backup backupOf(const Facet &facet)
{
    Backup b;
    const QString dir = facet.dataDir();
    for (const QString &name : facet.backupFiles())
        b.present = b.present || QFileInfo::exists(dir + QLatin1Char('/') + name);
    if (b.list.read(dir, facet.backupListName())) {
        b.present = true;
        b.listed = b.list.facet == facet.facetNumber() && b.list.filesComplete(dir);
    }
    return b;
}

// True when the facet has a working file for every block the list names: a save that writes
// its main files then carries every edit of the backup.
bool coveredBy(const Facet &facet, const BackupList &list)
{
    for (int b : list.land)
        if (!facet.workingSet(Facet::LandKind).contains(b))
            return false;
    for (int b : list.statics)
        if (!facet.workingSet(Facet::StaticsKind).contains(b))
            return false;
    return true;
}

// A save that would write the backup's names again (that facet's main save, or another backup
// of it) goes ahead when the facet's working files cover every listed block: what it writes
// holds those edits. Otherwise (a backup of an older version has no list, or blocks lost
// their working files) it would replace the changes with a copy made without them, and is
// refused instead, the backup and every working file kept.
QString backupInTheWay(const Facet &facet, const Backup &backup)
{
    if (!backup.present || (backup.listed && coveredBy(facet, backup.list)))
        return QString();
    QStringList found;
    for (const QString &name : facet.backupFiles()) {
        if (QFileInfo::exists(facet.dataDir() + QLatin1Char('/') + name))
            found << name;
    }
    if (found.isEmpty())
        found << facet.backupListName();
    const QString name = ClientLayout::facetName(facet.facetNumber());
    return QStringLiteral("%1 in %2 hold changes of %3 kept by an earlier main save of the facet that shares its "
                          "files; this save would overwrite them. Nothing was written. Move them out of the "
                          "directory and save again.")
        .arg(found.join(QStringLiteral(", ")), QDir::toNativeSeparators(facet.dataDir()), name);
}

// Writes dir/name + the staged suffix whole; false with the reason.
bool writeStagedList(const QString &dir, const QString &name, const BackupList &list, QString *why)
{
    NewFile out(dir + QLatin1Char('/') + name + Facet::stagedSuffix());
    if (!out.open() || !out.write(list.text()) || !out.commit())
        return setError(why, out.errorString());
    return true;
}

QList<int> sorted(const QSet<int> &set)
{
    QList<int> list(set.cbegin(), set.cend());
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

bool saveFacet(BlockCache &cache, Facet &current, Facet *sharedOther, int mode, const SaveProgress &progress,
               QString *error)
{
    if (mode != 0 && mode != 1)
        return setError(error, QStringLiteral("Unknown kind of save"));
    if (mode != 0 || !current.sharesMainFiles())
        sharedOther = nullptr; // Trammel with files of its own shares nothing with Felucca
    // A facet whose files fit no layout (or that has none) is never written: its blocks would
    // be cut to, or padded out to, a size the client does not have.
    if (const QString refusal = current.saveRefusal(mode); !refusal.isEmpty())
        return setError(error, refusal);
    // Edits that could not reach their working files would be missing from the new files.
    QString flushError;
    if (!cache.flush(&flushError))
        return setError(error, flushError);

    const QString dir = current.dataDir();
    // A set an earlier save could not settle comes first; nothing is written on top of it.
    if (!recoverInterruptedSave(dir, error))
        return false;

    const bool had = current.hasWorkingFilesOnDisk();
    const bool otherHad = sharedOther && sharedOther->hasWorkingFilesOnDisk();
    // Only where two facets share the main files are there backups to keep.
    const bool sharing = current.sharesMainFiles();
    const Backup currentBackup = sharing && had ? backupOf(current) : Backup();
    const Backup otherBackup = otherHad ? backupOf(*sharedOther) : Backup();
    if (mode == 0 && sharing) {
        QString inTheWay = backupInTheWay(current, currentBackup);
        if (inTheWay.isEmpty() && otherHad)
            inTheWay = backupInTheWay(*sharedOther, otherBackup);
        if (!inTheWay.isEmpty())
            return setError(error, inTheWay);
    }
    // A save that takes every edit of the facet's backup into its files retires the backup:
    // a main save (its new files replace the main files) or a difference save (the edits go
    // into the difference files) of the facet whose working files cover the list.
    const bool retire = currentBackup.present && currentBackup.listed && coveredBy(current, currentBackup.list);
    // New files that would have the backup's names are written under staged names, and moved
    // to their places in the journaled set: the backup stays whole until then.
    if (mode == 0 && currentBackup.present)
        current.setStagedNewFiles(true);
    if (sharedOther)
        sharedOther->setStagedNewFiles(true);
    QStringList stagedLists; // names in dir
    const qint64 perFacet = mode == 0 ? 2 * qint64(current.blockCount()) : 0;
    ProgressFeed feed(progress, (had ? perFacet : 0) + (otherHad ? perFacet : 0));
    FacetGuard currentGuard{&current}, otherGuard{sharedOther};
    feed.attach(current);
    if (sharedOther)
        feed.attach(*sharedOther);

    // A main save whose changed blocks are listed in the difference files writes those files
    // anew as well (same lists, new contents), in the same set as the main files.
    const bool refreshDiff = mode == 0 && had && current.workingBlocksListedInDifferences();
    auto failed = [&](const QString &why) {
        current.removeNewFiles(mode);
        if (refreshDiff)
            current.removeNewFiles(1);
        // The other facet's new files are staged: what goes is never a backup in place.
        if (sharedOther)
            sharedOther->removeNewFiles(0);
        for (const QString &name : std::as_const(stagedLists))
            QFile::remove(dir + QLatin1Char('/') + name + Facet::stagedSuffix());
        current.reopen();
        if (sharedOther)
            sharedOther->reopen();
        return setError(error, why);
    };

    // Another editor (or program) that saved into these files since they were read would
    // lose its save to new files made from the old lists; nothing is written on top of it.
    const auto changedOnDisk = [&] {
        const QString changed = current.fileChangedOnDisk();
        if (changed.isEmpty())
            return false;
        failed(QStringLiteral("The client file %1 was changed on disk after this editor read it, by another program "
                              "or another Tessaryn. Nothing was written over it. The map now reads the files as "
                              "they are; save again to add your changes to them.")
                   .arg(changed));
        return true;
    };
    if (had && changedOnDisk())
        return false;

    QString why;
    if (had) {
        if (mode == 1)
            feed.grow(current.landDifferenceList().size() + current.staticsDifferenceList().size()
                      + current.workingSet(Facet::LandKind).size() + current.workingSet(Facet::StaticsKind).size());
        if (!(mode == 0 ? current.saveMainFiles(&why) : current.saveDifferenceFiles(&why)))
            return failed(why);
        if (refreshDiff && !current.refreshDifferenceFiles(&why))
            return failed(why);
    }
    current.closeFiles();
    QList<Replacement> set;
    if (otherHad) {
        // The other facet's new main files are its backup; they are written but never moved
        // into its main files, only to the backup's names, with the list of its edits.
        if (!sharedOther->saveMainFiles(&why)) {
            sharedOther->removeNewFiles(0);
            return failed(why);
        }
        BackupList list;
        list.facet = sharedOther->facetNumber();
        list.by = current.facetNumber();
        list.land = sorted(sharedOther->workingSet(Facet::LandKind));
        list.statics = sorted(sharedOther->workingSet(Facet::StaticsKind));
        for (const QString &target : sharedOther->saveTargets(0)) {
            const QString staged = sharedOther->newFileName(target);
            list.files << staged.chopped(Facet::stagedSuffix().size());
            list.sizes << QFileInfo(dir + QLatin1Char('/') + staged).size();
            set.append({staged, list.files.last()});
        }
        stagedLists << sharedOther->backupListName();
        if (!writeStagedList(dir, sharedOther->backupListName(), list, &why)) {
            sharedOther->removeNewFiles(0);
            return failed(why);
        }
        set.append({sharedOther->backupListName() + Facet::stagedSuffix(), sharedOther->backupListName()});
    }
    if (sharedOther)
        sharedOther->closeFiles();
    FileReplacer::step(QStringLiteral("new files"));

    QList<Replacement> own;
    if (had) {
        for (const QString &target : current.saveTargets(mode))
            own.append({current.newFileName(target), target});
        if (refreshDiff) {
            for (const QString &target : current.saveTargets(1))
                own.append({current.newFileName(target), target});
        }
        if (retire) {
            // A retired list in the same set: should the save be cut off after it, the
            // backup no longer counts as holding edits.
            BackupList retired;
            retired.facet = current.facetNumber();
            retired.by = current.facetNumber();
            stagedLists << current.backupListName();
            if (!writeStagedList(dir, current.backupListName(), retired, &why))
                return failed(why);
            own.append({current.backupListName() + Facet::stagedSuffix(), current.backupListName()});
        }
    }
    set = own + set;
    if (had && changedOnDisk())
        return false;
    if (!set.isEmpty() && !FileReplacer::replace(dir, set, &why))
        return failed(why);
    if (retire) {
        // The backup's edits are in the facet's files now: the list goes first, then the
        // files it named.
        QFile::remove(dir + QLatin1Char('/') + current.backupListName());
        syncDirectory(dir);
        for (const QString &name : current.backupFiles())
            QFile::remove(dir + QLatin1Char('/') + name);
        syncDirectory(dir);
    }

    // Everything is in the client's files now; the working files have done their part.
    current.clearWorkingFiles();
    if (sharedOther) {
        sharedOther->clearWorkingFiles();
        sharedOther->reopen();
    }
    current.reopen();
    feed.finish();
    return true;
}

bool hasUnsavedChanges(const BlockCache &cache, Facet *const facets[], int count)
{
    if (!cache.changedLand().empty() || !cache.changedStatics().empty() || cache.hasUnstoredChanges())
        return true;
    for (int i = 0; i < count; ++i) {
        if (facets[i] && facets[i]->hasWorkingFilesOnDisk())
            return true;
    }
    return false;
}
