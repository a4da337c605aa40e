#pragma once
#include <QByteArray>
#include <QList>
#include <QLockFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The working folders that runs which ended without saving (a crash, a kill, a logout) left
// for one data directory. Building it takes the lock of every such folder, so no other
// instance offers the same edits at the same time; folders of instances still running are
// never touched, and dead folders without working files are removed at once.
class Recovery
{
public:
    struct Block {
        int facet = -1;
        int kind = 0; // 0 land, 1 statics
        int block = -1;
        QByteArray bytes;
    };

    // ownRun is this run's working directory (never offered).
    Recovery(const QString &root, const QString &dataDir, const QString &ownRun);
    ~Recovery();
    Recovery(const Recovery &) = delete;
    Recovery &operator=(const Recovery &) = delete;

    // Changed blocks the earlier runs left (one per working file).
    int blockCount() const;
    bool isEmpty() const { return blockCount() == 0; }
    QStringList folders() const;
    // The working files' contents; a newer run's file of a block replaces an older run's.
    // A file that cannot be read is left out, and errors names it.
    QList<Block> blocks(QStringList *errors = nullptr) const;
    // Removes the folders and their files (after Recover or Discard).
    bool discard(QString *error = nullptr);
    // The question the window asks.
    static QString question(int blocks);

private:
    struct Run {
        QString path;
        std::unique_ptr<QLockFile> lock;
        QStringList files;
        qint64 modified = 0;
    };
    std::vector<Run> m_runs;
};

// Reads a working file's name ("514t0.tsy1"): false when it is not one.
bool parseWorkingFileName(const QString &name, int &block, int &kind, int &facet);
