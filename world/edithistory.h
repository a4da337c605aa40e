#pragma once
#include "world/tile.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <deque>
#include <map>
#include <memory>

// One undoable step of one facet: every block it touched as it was before and as it was
// after, so taking it back or doing it again is exact to the byte whatever the operation.
// A world save also changes what lies beside the blocks (the facet's items and the
// statics it appends to working files); those are kept as they were and as they became.
struct EditCommand {
    QString name;
    int facet = -1;
    std::map<int, LandBlock> landBefore, landAfter;
    std::map<int, StaticBlock> staticsBefore, staticsAfter;

    struct FileChange {
        QMap<int, QMap<CellKey, TileStack>> itemsBefore, itemsAfter;
        QMap<int, QByteArray> staticsBefore, staticsAfter; // block -> working-file bytes
    };
    std::unique_ptr<FileChange> files;

    // What the step keeps in memory, roughly: what bounds the history.
    qint64 cost() const;
    bool isEmpty() const { return landBefore.empty() && staticsBefore.empty() && !files; }
};

// The steps of one facet in order, with the position between done and undone ones and the
// position the facet's files were last saved at. Bounded by steps and by memory; the
// oldest steps go first.
class EditHistory
{
public:
    static constexpr int MaxSteps = 1000;
    static constexpr qint64 MaxBytes = qint64(256) << 20;

    // Adds a step after the done ones; the undone ones are dropped.
    void push(std::unique_ptr<EditCommand> step);
    bool canUndo() const { return m_index > 0; }
    bool canRedo() const { return m_index < int(m_steps.size()); }
    // The step undo takes back / redo does again; null when there is none. Moves the position.
    const EditCommand *takeBack();
    const EditCommand *doAgain();
    QString undoName() const { return canUndo() ? m_steps[size_t(m_index - 1)]->name : QString(); }
    QString redoName() const { return canRedo() ? m_steps[size_t(m_index)]->name : QString(); }
    int count() const { return int(m_steps.size()); }
    int index() const { return m_index; }
    qint64 bytes() const { return m_bytes; }

    // The current position is what the files hold now.
    void setClean() { m_clean = m_index; }
    // True when undo and redo have brought the facet back to what was saved (or to the
    // start when nothing was).
    bool isClean() const { return m_clean == m_index; }

private:
    void trim();

    std::deque<std::unique_ptr<EditCommand>> m_steps;
    int m_index = 0;
    int m_clean = 0; // -1 once the saved position has been dropped
    qint64 m_bytes = 0;
};
