#include "tools/palettenew.h"
#include "tiles/tilenumber.h"
#include "tools/palettefile.h"
#include "app/waitcursor.h"
#include "tiles/artstore.h"
#include "ui_palettenew.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <cstdio>

namespace {

// How long one round of icon decoding may keep the event loop busy. Small enough that
// scrolling and clicking stay smooth while a large group fills in.
constexpr qint64 kBatchBudgetNs = 8'000'000;

constexpr int kIconSide = 64;
constexpr int kCategoryIconSide = 32;

} // namespace

PaletteGroupItem::PaletteGroupItem(QTreeWidget *tree, int group)
    : QTreeWidgetItem(tree, Type), m_group(group)
{
}

PaletteGroupItem::PaletteGroupItem(QTreeWidgetItem *parent, int group)
    : QTreeWidgetItem(parent, Type), m_group(group)
{
}

PaletteTileItem::PaletteTileItem(QListWidget *view, const PaletteEntry &entry)
    : QListWidgetItem(entry.label, view, Type), m_tiles(entry.tiles), m_iconId(entry.id)
{
    // The icon comes later, in a batch; the view lays the item out now. Sized for the icon and
    // its label from the start, it shows both once the icon is there, without a new layout.
    const QSize grid = view->gridSize();
    setSizeHint(grid.isValid() ? grid : view->iconSize() + QSize(16, 2 * view->fontMetrics().height()));
}

PaletteNew::PaletteNew(QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::PaletteNew>()), m_art(std::make_unique<ArtStore>())
{
    m_ui->setupUi(this);
    groupBox1 = m_ui->groupBox1;
    lineAlt = m_ui->lineAlt;
    tabWidget7 = m_ui->tabWidget7;
    splitter1 = m_ui->splitter1;
    splitter2 = m_ui->splitter2;
    listStatic = m_ui->listStatic;
    listLand = m_ui->listLand;
    iconStatic = m_ui->iconStatic;
    iconLand = m_ui->iconLand;
    resize(QSize(304, 551).expandedTo(minimumSizeHint()));

    for (QTreeWidget *list : {listStatic, listLand}) {
        connect(list, &QTreeWidget::itemClicked, this,
                [this](QTreeWidgetItem *item, int) { clicked(item); });
        connect(list, &QTreeWidget::currentItemChanged, this,
                [this](QTreeWidgetItem *current, QTreeWidgetItem *) { clicked(current); });
    }
    connect(lineAlt, &QLineEdit::textChanged, this, &PaletteNew::altChange);
    connect(iconLand, &QListWidget::itemClicked, this, &PaletteNew::paintLand);
    connect(iconStatic, &QListWidget::itemClicked, this, &PaletteNew::paintStatic);
    connect(iconLand, &QListWidget::itemDoubleClicked, this, &PaletteNew::doubleClickedLand);
    connect(iconStatic, &QListWidget::itemDoubleClicked, this, &PaletteNew::doubleClickedStatic);

    m_decodeTimer.setInterval(0);
    connect(&m_decodeTimer, &QTimer::timeout, this, &PaletteNew::decodeIconBatch);
    languageChange();
}

PaletteNew::~PaletteNew()
{
    // The views go down with the QWidget base, after our members; they must not call back.
    for (QObject *view : {static_cast<QObject *>(listStatic), static_cast<QObject *>(listLand),
                          static_cast<QObject *>(iconStatic), static_cast<QObject *>(iconLand),
                          static_cast<QObject *>(lineAlt)})
        view->disconnect(this);
}

int PaletteNew::parseNumber(const QString &text)
{
    // Read as every typed tile number of the program is.
    return ::readTileNumber(text);
}

std::vector<PaletteEntry> PaletteNew::entries(int kind, int group) const
{
    if (kind != Land && kind != Statics)
        return {};
    const auto found = m_entries[kind].find(group);
    return found == m_entries[kind].end() ? std::vector<PaletteEntry>() : found->second;
}

int PaletteNew::pendingIcons() const
{
    return m_queues[Land].remaining + m_queues[Statics].remaining;
}

void PaletteNew::setFile(const QString &fileName)
{
    m_file = fileName;
    m_fileDir = QFileInfo(fileName).absolutePath();
    for (int kind : {Land, Statics}) {
        clearIcons(kind);
        tree(kind)->clear();
        m_entries[kind].clear();
        m_shown[kind] = -1;
    }
    // The data directory may have changed since the last file; icons come from the current one.
    m_art = std::make_unique<ArtStore>();

    PaletteContent content;
    if (!PaletteFile::read(fileName, &content, &m_error))
        return;
    for (int kind : {Statics, Land})
        populateBox(content, kind);
}

void PaletteNew::populateBox(PaletteContent &content, int kind)
{
    const std::vector<PaletteCategory> &categories = content.categories[size_t(kind)];
    std::vector<PaletteGroupItem *> items(categories.size(), nullptr);
    for (size_t i = 0; i < categories.size(); ++i) {
        const PaletteCategory &c = categories[i];
        PaletteGroupItem *item = c.parent < 0 ? new PaletteGroupItem(tree(kind), c.group)
                                              : new PaletteGroupItem(items[size_t(c.parent)], c.group);
        items[i] = item;
        item->setText(0, c.name);
        if (c.group < 0 && !c.image.isEmpty()) {
            // Relative image paths belong with the palette file, wherever the program runs.
            const QImage image(QFileInfo(c.image).isRelative() ? QDir(m_fileDir).filePath(c.image) : c.image);
            if (!image.isNull())
                item->setIcon(0, QPixmap::fromImage(image.scaled(kCategoryIconSide, kCategoryIconSide,
                                                                 Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        }
    }
    m_entries[kind] = std::move(content.entries[size_t(kind)]);
}

void PaletteNew::clicked(QTreeWidgetItem *item)
{
    if (!item || item->type() != PaletteGroupItem::Type)
        return;
    // The kind follows the tree the item lives in: a tree can change its current item while
    // the other tab is shown, and its group ids mean nothing in the other kind.
    const int kind = item->treeWidget() == listLand ? Land : Statics;
    const int group = static_cast<PaletteGroupItem *>(item)->group();
    if (group == -1 || group == m_shown[kind])
        return;
    m_shown[kind] = group;
    clearIcons(kind);

    const auto found = m_entries[kind].find(group);
    if (found == m_entries[kind].end() || found->second.empty())
        return;
    // The items appear at once with their labels; their icons follow in batches.
    QListWidget *view = iconView(kind);
    IconQueue &queue = m_queues[kind];
    queue.items.reserve(found->second.size());
    for (const PaletteEntry &entry : found->second)
        queue.items.push_back(new PaletteTileItem(view, entry));
    queue.remaining = int(queue.items.size());
    if (!m_waitCursor)
        m_waitCursor = std::make_unique<WaitCursor>();
    m_decodeTimer.start();
}

void PaletteNew::clearIcons(int kind)
{
    m_queues[kind] = IconQueue();
    iconView(kind)->clear();
    if (pendingIcons() == 0) {
        m_decodeTimer.stop();
        m_waitCursor.reset();
    }
}

void PaletteNew::decodeIcon(int kind, PaletteTileItem *item)
{
    const QImage image = kind == Land ? m_art->landArt(item->iconId(), 255)
                                      : m_art->staticArt(item->iconId(), 255);
    if (!image.isNull())
        item->setIcon(QPixmap::fromImage(
            image.scaled(kIconSide, kIconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    item->m_iconPending = false;
    --m_queues[kind].remaining;
}

void PaletteNew::decodeIconBatch()
{
    QElapsedTimer clock;
    clock.start();
    const auto inBudget = [&clock] { return clock.nsecsElapsed() < kBatchBudgetNs; };

    const int first = tabWidget7->currentIndex() == 0 ? Statics : Land;
    for (int kind : {first, 1 - first}) {
        IconQueue &queue = m_queues[kind];
        QListWidget *view = iconView(kind);
        if (view->isVisible()) {
            // What is on screen is decoded whole, whatever the budget: a screenful is a few
            // dozen icons, and the user is looking at them. Finding them is cheap.
            const QRect port = view->viewport()->rect();
            for (size_t i = queue.next; i < queue.items.size(); ++i) {
                PaletteTileItem *item = queue.items[i];
                if (item->m_iconPending && view->visualItemRect(item).intersects(port))
                    decodeIcon(kind, item);
            }
        }
        for (; queue.next < queue.items.size() && inBudget(); ++queue.next) {
            PaletteTileItem *item = queue.items[queue.next];
            if (item->m_iconPending)
                decodeIcon(kind, item);
        }
        if (queue.remaining == 0)
            queue = IconQueue();
    }
    if (pendingIcons() == 0) {
        m_decodeTimer.stop();
        m_waitCursor.reset();
    }
}

void PaletteNew::emitTile(void (PaletteNew::*signal)(int, std::vector<int>, QString), int type,
                          QListWidgetItem *item)
{
    if (!item || item->type() != PaletteTileItem::Type)
        return;
    emit(this->*signal)(type, static_cast<PaletteTileItem *>(item)->tiles(), lineAlt->text().simplified());
}

void PaletteNew::paintLand(QListWidgetItem *item)
{
    emitTile(&PaletteNew::paintsig, Land, item);
}

void PaletteNew::paintStatic(QListWidgetItem *item)
{
    emitTile(&PaletteNew::paintsig, Statics, item);
}

void PaletteNew::doubleClickedLand(QListWidgetItem *item)
{
    emitTile(&PaletteNew::tileselect, Land, item);
}

void PaletteNew::doubleClickedStatic(QListWidgetItem *item)
{
    if (item && item->type() == PaletteTileItem::Type) {
        std::printf("Data size is %zu\n", static_cast<PaletteTileItem *>(item)->tiles().size());
        std::fflush(stdout);
    }
    emitTile(&PaletteNew::tileselect, Statics, item);
}

void PaletteNew::altChange(const QString &text)
{
    emit AltChange(text.simplified());
}

void PaletteNew::languageChange()
{
    m_ui->retranslateUi(this);
}

void PaletteNew::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QWidget::changeEvent(event);
}
