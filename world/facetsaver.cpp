#include "world/facetsaver.h"
#include "world/blockcache.h"
#include "world/facet.h"
#include "world/filereplacer.h"

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
        if (facet)
            facet->setSaveProgress(nullptr);
    }
};

// The backup a main save of Trammel leaves of Felucca's changes (or of Trammel's, the other
// way round) lies under the names that facet's own main save writes. A save that would write
// them again (that facet's main save, or another backup of it) would replace those changes
// with a copy made without them; it is refused instead, the backup and every working file
// kept. What the files hold is for the user to take into the facet.
QString backupInTheWay(const Facet &facet)
{
    QStringList found;
    for (const QString &target : facet.saveTargets(0)) {
        if (QFileInfo::exists(facet.dataDir() + QLatin1Char('/') + facet.newFileName(target)))
            found << facet.newFileName(target);
    }
    if (found.isEmpty())
        return QString();
    const QString name = ClientLayout::facetName(facet.facetNumber());
    return QStringLiteral("%1 in %2 hold changes of %3 kept by an earlier main save of the facet that shares its "
                          "files; this save would overwrite them. Nothing was written. Move them out of the "
                          "directory and save again.")
        .arg(found.join(QStringLiteral(", ")), QDir::toNativeSeparators(facet.dataDir()), name);
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
    if (mode == 0 && current.sharesMainFiles()) {
        QString inTheWay = had ? backupInTheWay(current) : QString();
        if (inTheWay.isEmpty() && otherHad)
            inTheWay = backupInTheWay(*sharedOther);
        if (!inTheWay.isEmpty())
            return setError(error, inTheWay);
    }
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
    if (otherHad) {
        // The other facet's new main files are its backup; they are written but never moved.
        if (!sharedOther->saveMainFiles(&why)) {
            sharedOther->removeNewFiles(0);
            return failed(why);
        }
    }
    if (sharedOther)
        sharedOther->closeFiles();
    FileReplacer::step(QStringLiteral("new files"));

    if (had) {
        QList<Replacement> set;
        for (const QString &target : current.saveTargets(mode))
            set.append({current.newFileName(target), target});
        if (refreshDiff) {
            for (const QString &target : current.saveTargets(1))
                set.append({current.newFileName(target), target});
        }
        if (changedOnDisk())
            return false;
        if (!FileReplacer::replace(dir, set, &why))
            return failed(why);
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
