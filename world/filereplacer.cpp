#include "world/filereplacer.h"
#include "world/backuplist.h"
#include "world/clientlayout.h"
#include "world/newfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <functional>
#include <future>
#include <mutex>
#include <utility>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <unistd.h>
#endif

namespace {

FileReplacer::StepHook g_hook;
QList<RecoveryReport> g_reports;

// The facet whose save wrote a set: its new files end in ".tsy" and the facet number.
QString facetOfSources(const QStringList &sources)
{
    for (const QString &s : sources) {
        const qsizetype at = s.lastIndexOf(QLatin1String(".tsy"));
        if (at >= 0 && s.size() == at + 5 && s.at(at + 4) >= QLatin1Char('0')
            && s.at(at + 4) < QLatin1Char('0' + ClientLayout::FacetCount))
            return ClientLayout::facetName(s.at(at + 4).unicode() - '0');
    }
    return QString();
}

void report(RecoveryReport::Outcome outcome, const QString &dir, const QStringList &sources, const QString &detail = {})
{
    RecoveryReport r;
    r.outcome = outcome;
    r.dir = dir;
    r.facet = facetOfSources(sources);
    r.detail = detail;
    // One word per directory and outcome: the four facets open the same directory.
    for (const RecoveryReport &e : std::as_const(g_reports))
        if (e.dir == r.dir && e.outcome == r.outcome && e.detail == r.detail)
            return;
    g_reports.append(r);
}

const char JournalHeader[] = "tessaryn save journal 1";

struct Entry {
    QString source;
    QString target;
    QString kept; // empty when there was no old target
    qint64 size = 0;
};

QString pathIn(const QString &dir, const QString &name)
{
    return dir + QLatin1Char('/') + name;
}

QString undoJournalName()
{
    return FileReplacer::journalName() + QStringLiteral(".undo");
}

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

QString systemReason()
{
#ifdef Q_OS_WIN
    return qt_error_string(int(GetLastError()));
#else
    return QString::fromLocal8Bit(std::strerror(errno));
#endif
}

// One step, never a moment without a file of the target's name.
bool renameOver(const QString &dir, const QString &from, const QString &to, QString *reason)
{
    const QString a = pathIn(dir, from), b = pathIn(dir, to);
#ifdef Q_OS_WIN
    const bool ok = MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(a).utf16()),
                                reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(b).utf16()),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    const bool ok = std::rename(QFile::encodeName(a).constData(), QFile::encodeName(b).constData()) == 0;
#endif
    if (!ok && reason)
        *reason = systemReason();
    return ok;
}

// A second name for the old target: a hard link costs nothing; file systems without links
// get a synced copy.
bool keepOld(const QString &dir, const Entry &e, QString *error)
{
    const QString target = pathIn(dir, e.target), kept = pathIn(dir, e.kept);
    QFile::remove(kept);
#ifdef Q_OS_WIN
    if (CreateHardLinkW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(kept).utf16()),
                        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()), nullptr))
        return true;
#else
    if (::link(QFile::encodeName(target).constData(), QFile::encodeName(kept).constData()) == 0)
        return true;
#endif
    QFile in(target);
    if (!in.open(QIODevice::ReadOnly))
        return setError(error, QStringLiteral("Could not keep the old ") + QDir::toNativeSeparators(target)
                                   + QStringLiteral(": ") + in.errorString());
    NewFile out(kept);
    if (!out.open())
        return setError(error, out.errorString());
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(4 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return setError(error, QStringLiteral("Could not read ") + QDir::toNativeSeparators(target)
                                       + QStringLiteral(": ") + in.errorString());
        if (!out.write(chunk))
            return setError(error, out.errorString());
    }
    if (!out.commit())
        return setError(error, out.errorString());
    return true;
}

QByteArray journalText(const char *state, const QList<Entry> &entries)
{
    QByteArray text = QByteArray(JournalHeader) + "\nstate " + state + '\n';
    for (const Entry &e : entries) {
        text += "pair\t" + e.source.toUtf8() + '\t' + e.target.toUtf8() + '\t' + e.kept.toUtf8() + '\t'
            + QByteArray::number(e.size) + '\n';
    }
    return text + "end\n";
}

bool writeJournal(const QString &dir, const QString &name, const QByteArray &text, QString *error)
{
    NewFile out(pathIn(dir, name));
    if (!out.open() || !out.write(text) || !out.commit())
        return setError(error, out.errorString());
    return true;
}

// A journal is written whole (NewFile) or not at all, so anything else is not ours.
bool readJournal(const QString &dir, bool *undo, QList<Entry> *entries, QString *error)
{
    const QString path = pathIn(dir, FileReplacer::journalName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return setError(error, QStringLiteral("Could not read ") + QDir::toNativeSeparators(path)
                                   + QStringLiteral(": ") + file.errorString());
    const QList<QByteArray> lines = file.readAll().split('\n');
    const QString bad = QStringLiteral("The file ") + QDir::toNativeSeparators(path)
        + QStringLiteral(" of an unfinished save is damaged; the client files of that save may not match.");
    if (lines.size() < 3 || lines[0] != JournalHeader || !lines[1].startsWith("state "))
        return setError(error, bad);
    const QByteArray state = lines[1].mid(6);
    if (state != "forward" && state != "undo")
        return setError(error, bad);
    *undo = state == "undo";
    bool ended = false;
    for (int i = 2; i < lines.size() && !ended; ++i) {
        if (lines[i] == "end") {
            ended = true;
            continue;
        }
        const QList<QByteArray> f = lines[i].split('\t');
        bool ok = false;
        Entry e;
        if (f.size() == 5 && f[0] == "pair") {
            e.source = QString::fromUtf8(f[1]);
            e.target = QString::fromUtf8(f[2]);
            e.kept = QString::fromUtf8(f[3]);
            e.size = f[4].toLongLong(&ok);
        }
        // Names only: a journal never reaches outside its directory.
        for (const QString &n : {e.source, e.target, e.kept})
            ok = ok && !n.contains(QLatin1Char('/')) && !n.contains(QLatin1Char('\\')) && n != QLatin1String("..");
        if (!ok || e.source.isEmpty() || e.target.isEmpty())
            return setError(error, bad);
        entries->append(e);
    }
    return ended ? true : setError(error, bad);
}

void removeJournals(const QString &dir)
{
    QFile::remove(pathIn(dir, FileReplacer::journalName()));
    QFile::remove(pathIn(dir, undoJournalName()));
    syncDirectory(dir);
}

void removeKept(const QString &dir, const QList<Entry> &entries)
{
    for (const Entry &e : entries) {
        if (!e.kept.isEmpty())
            QFile::remove(pathIn(dir, e.kept));
    }
}

// Puts the old files back: every target replaced so far gets its kept file again, and a
// target that did not exist before goes away once its new file has moved into it.
bool undo(const QString &dir, const QList<Entry> &entries, QString *error)
{
    bool ok = true;
    for (const Entry &e : entries) {
        const QString target = pathIn(dir, e.target);
        if (e.kept.isEmpty()) {
            if (!QFileInfo::exists(pathIn(dir, e.source)) && QFileInfo::exists(target) && !QFile::remove(target)) {
                ok = false;
                setError(error, QStringLiteral("Could not remove ") + QDir::toNativeSeparators(target));
            }
            continue;
        }
        if (!QFileInfo::exists(pathIn(dir, e.kept)))
            continue; // put back before
        QString reason;
        if (!renameOver(dir, e.kept, e.target, &reason)) {
            ok = false;
            setError(error, QStringLiteral("Could not put back the old ") + QDir::toNativeSeparators(target)
                                + QStringLiteral(": ") + reason);
        }
        // Renaming a link over the name it shares an inode with leaves both names.
        QFile::remove(pathIn(dir, e.kept));
    }
    if (!syncDirectory(dir, error))
        ok = false;
    return ok;
}

qint64 sizeOf(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : -1;
}

std::mutex g_cleanupMutex;
std::vector<std::future<void>> g_cleanups;

void waitForCleanups()
{
    std::vector<std::future<void>> running;
    {
        const std::lock_guard<std::mutex> lock(g_cleanupMutex);
        running.swap(g_cleanups);
    }
    for (std::future<void> &f : running)
        f.wait();
}

void startCleanup(std::function<void()> work)
{
#ifdef Q_OS_UNIX
    // A child made by fork has no cleanup thread: it would wait for it forever, and its
    // parent's cleanup could remove what the child is about to look at.
    static const bool registered = ::pthread_atfork(waitForCleanups, nullptr, nullptr) == 0;
    if (!registered) {
        work();
        return;
    }
#endif
    const std::lock_guard<std::mutex> lock(g_cleanupMutex);
    g_cleanups.push_back(std::async(std::launch::async, std::move(work)));
}

} // namespace

void FileReplacer::waitForCleanup()
{
    waitForCleanups();
}

void FileReplacer::setStepHook(StepHook hook)
{
    g_hook = std::move(hook);
}

bool FileReplacer::step(const QString &name)
{
    return !g_hook || g_hook(name);
}

bool FileReplacer::hasInterruptedSet(const QString &dir)
{
    waitForCleanups();
    return !dir.isEmpty() && QFileInfo::exists(pathIn(dir, journalName()));
}

bool FileReplacer::replace(const QString &dir, const QList<Replacement> &set, QString *error)
{
    waitForCleanups();
    QList<Entry> entries;
    for (const Replacement &r : set) {
        Entry e;
        e.source = r.source;
        e.target = r.target;
        e.size = sizeOf(pathIn(dir, r.source));
        if (e.size < 0)
            return setError(error, QStringLiteral("Could not replace ") + QDir::toNativeSeparators(pathIn(dir, r.target))
                                       + QStringLiteral(": its new file ") + r.source + QStringLiteral(" is missing"));
        if (QFileInfo::exists(pathIn(dir, r.target)))
            e.kept = r.target + keptSuffix();
        entries.append(e);
    }

    // Both journals first: turning back later is one rename, which needs no free space.
    if (!writeJournal(dir, undoJournalName(), journalText("undo", entries), error)
        || !writeJournal(dir, journalName(), journalText("forward", entries), error)) {
        removeJournals(dir);
        return false;
    }
    step(QStringLiteral("journal"));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (!entries[i].kept.isEmpty() && !keepOld(dir, entries[i], error)) {
            removeKept(dir, entries);
            removeJournals(dir);
            return false;
        }
    }
    if (!syncDirectory(dir, error)) {
        removeKept(dir, entries);
        removeJournals(dir);
        return false;
    }
    step(QStringLiteral("kept"));

    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        QString reason;
        bool ok = step(QStringLiteral("replace ") + QString::number(i + 1));
        if (!ok)
            reason = QStringLiteral("Refused");
        else
            ok = renameOver(dir, e.source, e.target, &reason);
        if (!ok) {
            setError(error, QStringLiteral("Could not replace ") + QDir::toNativeSeparators(pathIn(dir, e.target))
                                + QStringLiteral(": ") + reason);
            QString undoReason;
            if (!renameOver(dir, undoJournalName(), journalName(), &undoReason)
                || !undo(dir, entries, &undoReason)) {
                // The journal stays; the next open of the directory tries again.
                if (error)
                    *error += QStringLiteral("\nThe old files could not all be put back: ") + undoReason;
                return false;
            }
            removeJournals(dir);
            return false;
        }
        step(QStringLiteral("replaced ") + QString::number(i + 1));
    }
    syncDirectory(dir);
    step(QStringLiteral("replaced all"));
    // The set is complete and durable; a journal found before the cleanup is done only
    // finishes it again.
    startCleanup([dir, entries] {
        removeKept(dir, entries);
        removeJournals(dir);
    });
    return true;
}

bool FileReplacer::recover(const QString &dir, QString *error)
{
    if (!hasInterruptedSet(dir))
        return true;
    bool undoing = false;
    QList<Entry> entries;
    QString why;
    if (!readJournal(dir, &undoing, &entries, &why)) {
        report(RecoveryReport::Damaged, dir, {}, why);
        return setError(error, why);
    }
    QStringList sources;
    for (const Entry &e : std::as_const(entries))
        sources << e.source;
    const auto failed = [&](const QString &reason) {
        report(RecoveryReport::Failed, dir, sources, reason);
        return setError(error, reason);
    };

    if (!undoing) {
        // Forward when every new file is still waiting or already in place.
        bool forward = true;
        for (const Entry &e : entries) {
            if (sizeOf(pathIn(dir, e.source)) == e.size)
                continue;
            if (!QFileInfo::exists(pathIn(dir, e.source)) && sizeOf(pathIn(dir, e.target)) == e.size)
                continue;
            forward = false;
        }
        if (forward) {
            for (const Entry &e : entries) {
                if (!QFileInfo::exists(pathIn(dir, e.source)))
                    continue;
                QString reason;
                if (!renameOver(dir, e.source, e.target, &reason)) {
                    return failed(QStringLiteral("Could not finish replacing ")
                                  + QDir::toNativeSeparators(pathIn(dir, e.target)) + QStringLiteral(": ") + reason);
                }
            }
            if (!syncDirectory(dir, &why))
                return failed(why);
            removeKept(dir, entries);
            removeJournals(dir);
            report(RecoveryReport::Completed, dir, sources);
            return true;
        }
        QString reason;
        if (!writeJournal(dir, journalName(), journalText("undo", entries), &reason))
            return failed(reason);
    }
    if (!undo(dir, entries, &why))
        return failed(why);
    removeJournals(dir);
    // The new files of an undone set are of no use any more.
    for (const Entry &e : std::as_const(entries))
        QFile::remove(pathIn(dir, e.source));
    report(RecoveryReport::PutBack, dir, sources);
    return true;
}

QList<RecoveryReport> FileReplacer::takeReports()
{
    return std::exchange(g_reports, {});
}

void FileReplacer::noteBackupShown(const QString &dir, int facet, int blocks, const QString &file, int by)
{
    RecoveryReport r;
    r.outcome = RecoveryReport::BackupShown;
    r.dir = dir;
    r.facet = ClientLayout::facetName(facet);
    r.detail = file;
    r.blocks = blocks;
    r.by = ClientLayout::facetName(by);
    for (const RecoveryReport &e : std::as_const(g_reports))
        if (e.dir == r.dir && e.outcome == r.outcome && e.facet == r.facet)
            return;
    g_reports.append(r);
}

QString FileReplacer::reportText(const RecoveryReport &r)
{
    const QString of = r.facet.isEmpty() ? QStringLiteral("an interrupted save") : QStringLiteral("an interrupted save of ") + r.facet;
    const QString Of = of.left(1).toUpper() + of.mid(1);
    const QString where = QDir::toNativeSeparators(r.dir);
    switch (r.outcome) {
    case RecoveryReport::Completed:
        return Of + QStringLiteral(" was completed: the client files in %1 hold what it saved.").arg(where);
    case RecoveryReport::PutBack:
        return Of + QStringLiteral(" could not be completed and was undone: the client files in %1 are as they were before it.").arg(where);
    case RecoveryReport::Damaged:
        return r.detail + QStringLiteral("\n\nRestore the old files from the copies kept beside them, or keep the files as they are?");
    case RecoveryReport::Failed:
        return Of + QStringLiteral(" in %1 could not be settled: %2\n\nThe client files of that save may be partly old "
                                   "and partly new. Nothing is saved until it is settled; the next start tries again.")
                        .arg(where, r.detail);
    case RecoveryReport::Leftovers:
        return QStringLiteral("Files left by an interrupted save of this program were found in %1:\n\n%2\n\n"
                              "No save needs them. Remove them?")
            .arg(where, r.leftovers.join(QLatin1Char('\n')));
    case RecoveryReport::BackupShown:
        return QStringLiteral("%1 has %2 kept in %3 by a main save of %4. They are shown as unsaved changes of %1; "
                              "save %1 to write them into its files.")
            .arg(r.facet,
                 r.blocks == 1 ? QStringLiteral("1 changed block") : QStringLiteral("%1 changed blocks").arg(r.blocks),
                 QDir::toNativeSeparators(pathIn(r.dir, r.detail)), r.by);
    }
    return QString();
}

namespace {
// Names of the client files a save replaces, whatever the facet.
bool isSaveTarget(const QString &name)
{
    static const QRegularExpression target(QStringLiteral("^(map|statics|staidx|mapdifl|mapdif|stadif|stadifl|stadifi)[0-9]+\\.mul$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return target.match(name).hasMatch();
}

// Names a save replaces and so may keep under a second name: the client files, and a backup
// of a shared main save with its list.
bool isKeptTarget(const QString &name)
{
    static const QRegularExpression backup(QStringLiteral("^(.+)\\.tsy[0-9](\\.blocks)?$"));
    const QRegularExpressionMatch m = backup.match(name);
    return isSaveTarget(m.hasMatch() ? m.captured(1) : name);
}
} // namespace

bool FileReplacer::restoreKept(const QString &dir, QString *error)
{
    waitForCleanups();
    bool ok = true;
    const QStringList kept = QDir(dir).entryList({QStringLiteral("*") + keptSuffix()}, QDir::Files);
    for (const QString &name : kept) {
        const QString target = name.left(name.size() - keptSuffix().size());
        if (!isKeptTarget(target))
            continue;
        QString reason;
        if (!renameOver(dir, name, target, &reason)) {
            ok = false;
            setError(error, QStringLiteral("Could not put back the old ") + QDir::toNativeSeparators(pathIn(dir, target))
                                + QStringLiteral(": ") + reason);
        }
        QFile::remove(pathIn(dir, name)); // a link renamed over its own inode stays
    }
    if (!ok)
        return false;
    removeJournals(dir);
    return true;
}

bool FileReplacer::keepAsTheyAre(const QString &dir, QString *error)
{
    waitForCleanups();
    const QStringList kept = QDir(dir).entryList({QStringLiteral("*") + keptSuffix()}, QDir::Files);
    for (const QString &name : kept)
        if (isKeptTarget(name.left(name.size() - keptSuffix().size())))
            QFile::remove(pathIn(dir, name));
    removeJournals(dir);
    if (hasInterruptedSet(dir))
        return setError(error, QStringLiteral("Could not remove ") + QDir::toNativeSeparators(pathIn(dir, journalName())));
    return true;
}

QStringList FileReplacer::leftovers(const QString &dir)
{
    waitForCleanups();
    if (dir.isEmpty() || hasInterruptedSet(dir))
        return {};
    QStringList found;
    const QStringList names = QDir(dir).entryList(QDir::Files, QDir::Name);
    // A complete backup with a list that names edits is kept, list and files.
    QSet<QString> held;
    for (const QString &name : names) {
        BackupList list;
        if (name.endsWith(BackupList::suffix()) && list.read(dir, name) && !list.retired() && list.filesComplete(dir)) {
            held.insert(name);
            for (const QString &file : std::as_const(list.files))
                held.insert(file);
        }
    }
    for (const QString &name : names) {
        if (held.contains(name))
            continue;
        if (name == undoJournalName()) {
            found << name;
            continue;
        }
        if (name.endsWith(keptSuffix())) {
            if (isKeptTarget(name.left(name.size() - keptSuffix().size())))
                found << name;
            continue;
        }
        // <target>.tsy<N>, its list <target>.tsy<N>.blocks, each also staged (+ ".next").
        QString base = name;
        if (base.endsWith(QLatin1String(".next")))
            base.chop(5);
        if (base.endsWith(BackupList::suffix()))
            base.chop(BackupList::suffix().size());
        const qsizetype at = base.lastIndexOf(QLatin1String(".tsy"));
        if (at > 0 && base.size() == at + 5 && base.at(at + 4).isDigit() && isSaveTarget(base.left(at)))
            found << name;
    }
    return found;
}

bool FileReplacer::removeLeftovers(const QString &dir, const QStringList &names, QString *error)
{
    waitForCleanups();
    bool ok = true;
    for (const QString &name : names) {
        QFile file(pathIn(dir, name));
        if (file.exists() && !file.remove() && ok) {
            ok = false;
            setError(error, QStringLiteral("Could not remove ") + QDir::toNativeSeparators(file.fileName())
                                + QStringLiteral(": ") + file.errorString());
        }
    }
    syncDirectory(dir);
    return ok;
}
