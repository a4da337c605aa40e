#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Puts a set of complete new files in the place of the client files they replace, so that
// the set is always all old or all new: statics data never sits beside the wrong index, and
// the five difference files always agree.
//
// Each target is replaced by one rename, so a target always exists, old or new. Between two
// renames the set is mixed; a journal in the data directory covers that window. It is
// written (and synced) before the first rename and lists every pair with the size of the
// new file and a second name under which the old file is kept (a hard link, or a copy where
// the file system has no links). Whoever finds a journal (the next open of the directory,
// after a crash or a power loss) finishes the set when every new file is still there or
// already in place, and otherwise puts the kept old files back. A rename that fails while
// the set is being replaced puts the already replaced targets back at once.
// What the settling of an interrupted save did, for the user to be told.
// BackupShown is no settling but told the same way: a facet opened with the backup of its
// edits that a main save of the facet sharing its files left (backuplist.h) shows them.
struct RecoveryReport {
    enum Outcome { Completed, PutBack, Damaged, Failed, Leftovers, BackupShown };
    Outcome outcome = Completed;
    QString dir;
    QString facet;         // "Felucca" ... taken from the new files' names; empty when unknown
    QString detail;        // the reason (Damaged, Failed); the backup's map file (BackupShown)
    QStringList leftovers; // names in dir (Leftovers)
    int blocks = 0;        // changed blocks the backup holds (BackupShown)
    QString by;            // the facet whose save wrote the backup (BackupShown)
};

struct Replacement {
    QString source; // name of the complete new file in the directory
    QString target; // name of the file it replaces
};

class FileReplacer
{
public:
    static QString journalName() { return QStringLiteral("tessaryn-save.journal"); }
    // Suffix of the second name the old file has while its set is replaced.
    static QString keptSuffix() { return QStringLiteral(".tsyold"); }

    // Replaces every target in dir by its source, in order. On failure the targets are as
    // they were, the sources still exist (those not yet moved) and error says which file
    // and why.
    static bool replace(const QString &dir, const QList<Replacement> &set, QString *error = nullptr);

    // True when dir holds the journal of a set that was not finished.
    static bool hasInterruptedSet(const QString &dir);
    // Finishes or undoes the set an interrupted save left in dir; true when there was none
    // or it is settled now. On failure the journal stays for the next attempt.
    static bool recover(const QString &dir, QString *error = nullptr);

    // Every settling since the last call, in order: recover records what it finished or put
    // back, and a journal it could not read or act on. The window tells the user of them.
    static QList<RecoveryReport> takeReports();
    // The message the user sees for a report.
    static QString reportText(const RecoveryReport &report);
    // Records that facet, opened from dir, shows the blocks changed blocks the backup file
    // (a name in dir) of a main save of facet by holds; told once per directory and facet.
    static void noteBackupShown(const QString &dir, int facet, int blocks, const QString &file, int by);

    // The choices for a damaged journal: put back every old file kept beside its target
    // (restoreKept), or take the files as they are (keepAsTheyAre). Both end with no journal
    // and no kept file in dir.
    static bool restoreKept(const QString &dir, QString *error = nullptr);
    static bool keepAsTheyAre(const QString &dir, QString *error = nullptr);

    // Files of this program's saves in dir that no journal covers: new files of a save that
    // was cut off before its journal (staged ones too), kept old files, a lone undo journal,
    // a backup without a whole list or with a retired one. A complete backup with its list
    // holds edits and is none of them. Empty while a journal is there (it covers them).
    // removeLeftovers deletes the names given.
    static QStringList leftovers(const QString &dir);
    // A finished set lets go of its kept old files and its journals on a thread of its own
    // (the last name of a large file takes the system a while to give up, cached pages and
    // all), while the saver deletes its working files. Everything here that looks at a
    // directory waits for that first (the reopen after a save does), and so does a fork;
    // this waits for it now.
    static void waitForCleanup();
    static bool removeLeftovers(const QString &dir, const QStringList &names, QString *error = nullptr);

    // For crash tests: called at each named step of a save ("new files", "journal",
    // "replaced 1", ...); a test process ends itself there. May also return false to make
    // a rename step fail as if the system had refused it.
    using StepHook = std::function<bool(const QString &step)>;
    static void setStepHook(StepHook hook);
    static bool step(const QString &name);
};

// Settles a save that was cut off in dir (see FileReplacer::recover). Facet::open calls it
// before it reads anything; a view may call it at start to tell the user about a failure.
inline bool recoverInterruptedSave(const QString &dir, QString *error = nullptr)
{
    return FileReplacer::recover(dir, error);
}
