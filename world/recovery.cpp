#include "world/recovery.h"
#include "world/workingdirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

bool parseWorkingFileName(const QString &name, int &block, int &kind, int &facet)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,7})t([01])\\.tsy([0-5])$"));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch())
        return false;
    block = m.captured(1).toInt();
    kind = m.captured(2).toInt();
    facet = m.captured(3).toInt();
    return true;
}

Recovery::Recovery(const QString &root, const QString &dataDir, const QString &ownRun)
{
    const QDir folder(WorkingDirectory::folderFor(root, dataDir));
    const QString own = ownRun.isEmpty() ? QString() : QFileInfo(ownRun).canonicalFilePath();
    for (const QFileInfo &info : folder.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (!own.isEmpty() && info.canonicalFilePath() == own)
            continue;
        Run run;
        run.path = info.absoluteFilePath();
        run.lock = std::make_unique<QLockFile>(QDir(run.path).filePath(WorkingDirectory::lockName()));
        // Time alone never makes a lock stale: an instance on another host that holds it
        // for days is still running. A lock of this host whose process is gone is stale.
        run.lock->setStaleLockTime(0);
        if (!run.lock->tryLock(0))
            continue; // a running instance
        int block, kind, facet;
        for (const QString &name : QDir(run.path).entryList(QDir::Files | QDir::Hidden))
            if (parseWorkingFileName(name, block, kind, facet))
                run.files.append(name);
        run.modified = info.lastModified().toMSecsSinceEpoch();
        if (run.files.isEmpty()) {
            run.lock->unlock();
            QDir(run.path).removeRecursively();
            continue;
        }
        m_runs.push_back(std::move(run));
    }
    std::sort(m_runs.begin(), m_runs.end(), [](const Run &a, const Run &b) { return a.modified < b.modified; });
}

Recovery::~Recovery() = default; // the locks go: a run that said Later offers them again

int Recovery::blockCount() const
{
    int n = 0;
    for (const Run &run : m_runs)
        n += int(run.files.size());
    return n;
}

QStringList Recovery::folders() const
{
    QStringList out;
    for (const Run &run : m_runs)
        out.append(run.path);
    return out;
}

QList<Recovery::Block> Recovery::blocks(QStringList *errors) const
{
    QList<Block> out;
    for (const Run &run : m_runs) {
        for (const QString &name : run.files) {
            Block b;
            parseWorkingFileName(name, b.block, b.kind, b.facet);
            QFile file(QDir(run.path).filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                if (errors)
                    errors->append(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()),
                                                                file.errorString()));
                continue;
            }
            b.bytes = file.readAll();
            // Older runs first, so the newest copy of a block wins.
            const auto same = std::find_if(out.begin(), out.end(), [&](const Block &o) {
                return o.facet == b.facet && o.kind == b.kind && o.block == b.block;
            });
            if (same != out.end())
                *same = b;
            else
                out.append(b);
        }
    }
    return out;
}

bool Recovery::discard(QString *error)
{
    bool ok = true;
    for (Run &run : m_runs) {
        run.lock->unlock();
        if (!QDir(run.path).removeRecursively()) {
            ok = false;
            if (error && error->isEmpty())
                *error = QStringLiteral("The folder %1 could not be removed.").arg(QDir::toNativeSeparators(run.path));
        }
    }
    m_runs.clear();
    return ok;
}

QString Recovery::question(int blocks)
{
    return QStringLiteral("Recover %1 changed blocks from an earlier run?").arg(blocks);
}
