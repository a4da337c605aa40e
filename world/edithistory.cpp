#include "world/edithistory.h"

qint64 EditCommand::cost() const
{
    qint64 c = qint64(sizeof(EditCommand));
    c += qint64(landBefore.size() + landAfter.size()) * qint64(sizeof(LandBlock) + 48);
    const auto statics = [](const std::map<int, StaticBlock> &m) {
        qint64 s = 0;
        for (const auto &[block, b] : m)
            s += qint64(sizeof(StaticBlock)) + 48 + qint64(b.tileCount()) * qint64(sizeof(Tile));
        return s;
    };
    c += statics(staticsBefore) + statics(staticsAfter);
    if (files) {
        for (const auto *m : {&files->staticsBefore, &files->staticsAfter})
            for (const QByteArray &b : *m)
                c += b.size() + 48;
        for (const auto *m : {&files->itemsBefore, &files->itemsAfter})
            for (const auto &cells : *m)
                for (const TileStack &s : cells)
                    c += 48 + qint64(s.size()) * qint64(sizeof(Tile));
    }
    return c;
}

void EditHistory::push(std::unique_ptr<EditCommand> step)
{
    while (int(m_steps.size()) > m_index) {
        m_bytes -= m_steps.back()->cost();
        m_steps.pop_back();
    }
    if (m_clean > m_index)
        m_clean = -1; // the saved state was among the undone steps: no way back to it
    m_bytes += step->cost();
    m_steps.push_back(std::move(step));
    ++m_index;
    trim();
}

void EditHistory::trim()
{
    // The newest step always stays, however large: it is the one a user reaches for.
    while (m_steps.size() > 1 && (int(m_steps.size()) > MaxSteps || m_bytes > MaxBytes)) {
        m_bytes -= m_steps.front()->cost();
        m_steps.pop_front();
        --m_index;
        m_clean = m_clean > 0 ? m_clean - 1 : -1;
    }
}

const EditCommand *EditHistory::takeBack()
{
    if (!canUndo())
        return nullptr;
    return m_steps[size_t(--m_index)].get();
}

const EditCommand *EditHistory::doAgain()
{
    if (!canRedo())
        return nullptr;
    return m_steps[size_t(m_index++)].get();
}
