#include "world/mapdocument.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/workingdirectory.h"

MapDocument::MapDocument(std::shared_ptr<WorkingDirectory> store, QObject *parent)
    : QObject(parent), m_store(store ? std::move(store) : WorkingDirectory::forDataDirectory(dataDirectory()))
{
    for (int i = 0; i < FacetCount; ++i) {
        m_facets[size_t(i)] = std::make_unique<Facet>(i, true, m_store);
        // Edits a backup of a shared main save holds are shown as unsaved changes.
        m_untracked[size_t(i)] = m_facets[size_t(i)]->shownBackupBlocks() > 0;
    }
    m_cache.setFacet(m_facets[0].get());
    m_cache.setRecorder(this);
    m_storeTimer.setSingleShot(true);
    m_storeTimer.setInterval(StoreDelay);
    connect(&m_storeTimer, &QTimer::timeout, this, [this] {
        QString why;
        if (!storeChanges(&why))
            emit storeFailed(why);
    });
}

MapDocument::~MapDocument()
{
    m_cache.setRecorder(nullptr);
    m_cache.setFacet(nullptr);
}

bool MapDocument::setFacet(int n, QString *error)
{
    if (n < 0 || n >= FacetCount)
        return false;
    // A gesture still open belongs to the facet it began on; its rest is a step of the new one.
    const QString open = finishOpen();
    const bool stored = m_cache.setFacet(m_facets[size_t(n)].get(), error);
    if (n != m_current) {
        m_landAside[size_t(m_current)] = std::move(m_land);
        m_staticsAside[size_t(m_current)] = std::move(m_statics);
        m_land = std::move(m_landAside[size_t(n)]);
        m_statics = std::move(m_staticsAside[size_t(n)]);
        m_landAside[size_t(n)].clear();
        m_staticsAside[size_t(n)].clear();
        m_current = n;
        emit historyChanged();
    }
    reopen(open);
    return stored;
}

const MapDocument::LandSelection &MapDocument::landSelection(int facet) const
{
    return facet == m_current ? m_land : m_landAside[size_t(facet)];
}

const MapDocument::StaticSelection &MapDocument::staticSelection(int facet) const
{
    return facet == m_current ? m_statics : m_staticsAside[size_t(facet)];
}

// ---- edits -------------------------------------------------------------------------------

void MapDocument::beginEdit(const QString &name)
{
    if (m_depth++ > 0)
        return;
    m_open = std::make_unique<EditCommand>();
    m_open->name = name;
    m_open->facet = m_current;
    m_lastLand = m_lastStatics = -1;
}

QString MapDocument::finishOpen()
{
    if (!m_open)
        return QString();
    const QString name = m_open->name;
    const int depth = m_depth;
    m_depth = 1;
    endEdit();
    m_depth = depth;
    return name;
}

void MapDocument::reopen(const QString &name)
{
    if (m_depth > 0 && !name.isNull()) {
        m_open = std::make_unique<EditCommand>();
        m_open->name = name;
        m_open->facet = m_current;
        m_lastLand = m_lastStatics = -1;
    }
}

void MapDocument::endEdit()
{
    if (m_depth == 0 || --m_depth > 0)
        return;
    std::unique_ptr<EditCommand> step = std::move(m_open);
    if (!step || step->isEmpty())
        return;
    for (auto &[block, before] : step->landBefore)
        step->landAfter.emplace(block, m_cache.landBlock(block));
    for (auto &[block, before] : step->staticsBefore)
        step->staticsAfter.emplace(block, m_cache.staticBlock(block));
    push(std::move(step));
    scheduleStore();
}

void MapDocument::landTouched(int block, const LandBlock &before)
{
    if (m_open && m_recording && m_open->facet == m_current) {
        // A stroke touches the same block cell after cell: one look-up per block it enters.
        if (block != m_lastLand)
            m_open->landBefore.try_emplace(block, before);
        m_lastLand = block;
    }
    else
        m_untracked[size_t(m_current)] = true;
}

void MapDocument::staticsTouched(int block, const StaticBlock &before)
{
    if (m_open && m_recording && m_open->facet == m_current) {
        if (block != m_lastStatics)
            m_open->staticsBefore.try_emplace(block, before);
        m_lastStatics = block;
    }
    else
        m_untracked[size_t(m_current)] = true;
}

void MapDocument::push(std::unique_ptr<EditCommand> step)
{
    // Told before the push: a step larger than the history's bound is dropped at once.
    const int facet = step->facet;
    const QList<int> blocks = touchedBlocks(*step);
    m_history[size_t(facet)].push(std::move(step));
    if (!blocks.isEmpty())
        emit blocksChanged(facet, blocks);
    emit historyChanged();
}

void MapDocument::tellBlocks(const EditCommand &step)
{
    const QList<int> blocks = touchedBlocks(step);
    if (!blocks.isEmpty())
        emit blocksChanged(step.facet, blocks);
}

QList<int> MapDocument::touchedBlocks(const EditCommand &step)
{
    std::set<int> blocks;
    for (const auto &[block, before] : step.landBefore)
        blocks.insert(block);
    for (const auto &[block, before] : step.staticsBefore)
        blocks.insert(block);
    if (step.files) {
        for (auto it = step.files->staticsBefore.cbegin(); it != step.files->staticsBefore.cend(); ++it)
            blocks.insert(it.key());
        for (auto it = step.files->itemsBefore.cbegin(); it != step.files->itemsBefore.cend(); ++it)
            blocks.insert(it.key());
        for (auto it = step.files->itemsAfter.cbegin(); it != step.files->itemsAfter.cend(); ++it)
            blocks.insert(it.key());
    }
    return QList<int>(blocks.begin(), blocks.end());
}

void MapDocument::apply(const EditCommand &step, bool after)
{
    if (step.files) {
        // The world save wrote its statics around the cache: the cache goes out first so
        // nothing it holds is written over the files afterwards.
        Facet &f = *m_facets[size_t(step.facet)];
        m_cache.flush();
        f.items() = after ? step.files->itemsAfter : step.files->itemsBefore;
        const QMap<int, QByteArray> &bytes = after ? step.files->staticsAfter : step.files->staticsBefore;
        for (auto it = bytes.cbegin(); it != bytes.cend(); ++it)
            f.writeWorkingFile(it.key(), it.value(), Facet::StaticsKind);
        m_cache.setFacet(&f); // decoded anew with the items as they are now
    }
    for (const auto &[block, b] : after ? step.landAfter : step.landBefore)
        m_cache.putLandBlock(block, b);
    for (const auto &[block, b] : after ? step.staticsAfter : step.staticsBefore)
        m_cache.putStaticBlock(block, b);
}

bool MapDocument::undo()
{
    const QString open = finishOpen();
    struct Reopen {
        MapDocument *doc;
        QString name;
        ~Reopen() { doc->reopen(name); }
    } later{this, open}; // ends the gesture under way first
    const EditCommand *step = m_history[size_t(m_current)].takeBack();
    if (!step)
        return false;
    apply(*step, false);
    scheduleStore();
    tellBlocks(*step);
    emit historyChanged();
    emit mapChanged();
    return true;
}

bool MapDocument::redo()
{
    const QString open = finishOpen();
    struct Reopen {
        MapDocument *doc;
        QString name;
        ~Reopen() { doc->reopen(name); }
    } later{this, open};
    const EditCommand *step = m_history[size_t(m_current)].doAgain();
    if (!step)
        return false;
    apply(*step, true);
    scheduleStore();
    tellBlocks(*step);
    emit historyChanged();
    emit mapChanged();
    return true;
}

void MapDocument::markSaved(int facet)
{
    if (facet < 0 || facet >= FacetCount)
        return;
    m_history[size_t(facet)].setClean();
    m_untracked[size_t(facet)] = false;
    emit historyChanged();
}

bool MapDocument::isModified(int facet) const
{
    return !m_history[size_t(facet)].isClean() || m_untracked[size_t(facet)];
}

bool MapDocument::hasUnsavedChanges() const
{
    for (int f = 0; f < FacetCount; ++f)
        if (isModified(f))
            return true;
    return false;
}

// ---- working files -----------------------------------------------------------------------

void MapDocument::scheduleStore()
{
    if (!m_storeTimer.isActive())
        m_storeTimer.start();
}

bool MapDocument::storeChanges(QString *error)
{
    m_storeTimer.stop();
    return m_cache.writeChanged(error);
}

bool MapDocument::keepForRecovery(QString *error)
{
    finishOpen();
    const bool ok = storeChanges(error);
    m_store->keepForRecovery();
    return ok;
}

std::unique_ptr<Recovery> MapDocument::findRecoverable() const
{
    if (m_store->root().isEmpty())
        return nullptr; // a directory under TEMP: earlier runs' folders are not ours to know
    return std::make_unique<Recovery>(m_store->root(), m_store->dataDirectory(), m_store->path());
}

int MapDocument::recover(const QList<Recovery::Block> &blocks)
{
    finishOpen();
    int taken = 0;
    for (int f = 0; f < FacetCount; ++f) {
        auto step = std::make_unique<EditCommand>();
        step->name = QStringLiteral("Recover");
        step->facet = f;
        Facet &facet = *m_facets[size_t(f)];
        const bool current = f == m_current;
        for (const Recovery::Block &b : blocks) {
            if (b.facet != f || b.block < 0 || b.block >= facet.blockCount())
                continue;
            if (b.kind == Facet::LandKind) {
                if (b.bytes.size() != LandBlock::RecordSize)
                    continue; // cut short by the crash: not a block
                const LandBlock after = LandBlock::decode(b.bytes, tileData());
                step->landBefore.try_emplace(b.block, current ? m_cache.landBlock(b.block)
                                                              : facet.loadLandBlock(b.block, true));
                step->landAfter.insert_or_assign(b.block, after);
                if (current)
                    m_cache.putLandBlock(b.block, after);
                else
                    facet.storeLandBlock(b.block, after);
            } else {
                StaticBlock after = StaticBlock::decode(b.bytes, tileData());
                step->staticsBefore.try_emplace(b.block, current ? m_cache.staticBlock(b.block)
                                                                 : facet.loadStaticBlock(b.block, true, true));
                if (current)
                    m_cache.putStaticBlock(b.block, after);
                else
                    facet.storeStaticBlock(b.block, after);
                step->staticsAfter.insert_or_assign(b.block, std::move(after));
            }
            ++taken;
        }
        if (!step->isEmpty())
            push(std::move(step));
    }
    scheduleStore();
    emit mapChanged();
    return taken;
}

// ---- world save --------------------------------------------------------------------------

WorldSaveResult MapDocument::loadWorldSave(const QString &fileName, const ReadProgress &progress,
                                           const ConfirmComponents &confirm)
{
    WorldSaveResult result;
    finishOpen();
    Facet &f = *m_facets[size_t(m_current)];
    // Flush before reading: statics made from TYPE 255 items are appended to working files,
    // and a changed block flushed afterwards would overwrite them. Setting the facet again
    // also drops the unchanged cached blocks, so they are decoded anew with the new items.
    if (!m_cache.setFacet(&f)) {
        result.error = m_cache.lastError();
        return result;
    }
    auto files = std::make_unique<EditCommand::FileChange>();
    files->itemsBefore = f.items();
    result = readWorldSave(f, fileName, tileData(), progress, confirm, &files->staticsBefore);
    if (!result.ok)
        return result;
    files->itemsAfter = f.items();
    for (auto it = files->staticsBefore.cbegin(); it != files->staticsBefore.cend(); ++it) {
        QByteArray now;
        f.readWorkingFile(it.key(), now, Facet::StaticsKind);
        files->staticsAfter.insert(it.key(), now);
    }
    m_cache.setFacet(&f); // the items of the save are drawn from the next fetch on
    auto step = std::make_unique<EditCommand>();
    step->name = QStringLiteral("World Save");
    step->facet = m_current;
    step->files = std::move(files);
    push(std::move(step));
    return result;
}
