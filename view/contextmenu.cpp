// The tile context menu: properties, altitude, hue, export, the Insert entries, and Copy
// and Paste. Every entry works on the point of the right press that opened the menu.
#include "dialogs/propwidget.h"
#include "tiles/tilenumber.h"
#include "view/glmapwidget.h"
#include "view/painting.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>

#include <algorithm>

namespace {

// What an entry acts on: the tiles under the point of the kinds the select mode takes, or a
// whole selection when one of the hits under the point is selected. What lies there of
// either kind is kept too, for the entries that say what the mode left out or that take
// the only kind they know.
struct Targets {
    GLMapWidget::LandSelection land;
    GLMapWidget::StaticSelection statics;
    bool staticsAreSelection = false;
    GLMapWidget::LandHits landThere;
    GLMapWidget::StaticHits staticsThere;
    bool empty() const { return land.isEmpty() && statics.isEmpty(); }
    bool nothingThere() const { return landThere.isEmpty() && staticsThere.isEmpty(); }
};

void fillTargets(GLMapWidget &view, Targets &t, const GLMapWidget::LandHits &land,
                 const GLMapWidget::StaticHits &statics)
{
    t.staticsAreSelection = (view.hitsInSelection({}, statics, 2) & 2) != 0;
    t.statics = t.staticsAreSelection ? view.staticSelection : statics;
    t.land = (view.hitsInSelection(land, {}, 1) & 1) ? view.landSelection : land;
}

Targets targetsAt(GLMapWidget &view, const QPoint &point)
{
    Targets t;
    const int n = view.pickPoint(point);
    if (n < 1)
        return t;
    view.collectHits(n, t.landThere, t.staticsThere, 3);
    GLMapWidget::LandHits land;
    GLMapWidget::StaticHits statics;
    view.collectHits(n, land, statics);
    fillTargets(view, t, land, statics);
    return t;
}

// For Properties and Altitude, which work on either kind: when the select mode takes
// nothing that lies under the point, the entry takes what is there. Otherwise the kind the
// mode leaves out is named in the status bar. False when nothing lies there at all (said
// too).
bool settleTargets(GLMapWidget &view, Targets &t, const QString &entry)
{
    if (t.nothingThere()) {
        emit view.statusMessage(QStringLiteral("%1: there is nothing under the pointer").arg(entry));
        return false;
    }
    if (t.empty()) {
        fillTargets(view, t, t.landThere, t.staticsThere);
        return true;
    }
    const bool staticsLeft = t.statics.isEmpty() && !t.staticsThere.isEmpty();
    const bool landLeft = t.land.isEmpty() && !t.landThere.isEmpty();
    if (staticsLeft || landLeft)
        emit view.statusMessage(QStringLiteral("%1: the %2 under the pointer is left out in \"%3\" mode")
                                    .arg(entry, staticsLeft ? QStringLiteral("static") : QStringLiteral("land"),
                                         GLMapWidget::selectModeName(view.selectMode())));
    return true;
}

// For Hue and Export, which know statics only: the statics the mode takes, else those
// under the point whatever the mode. False, and said, when there is none.
bool settleStatics(GLMapWidget &view, Targets &t, const QString &entry)
{
    if (t.statics.isEmpty() && !t.staticsThere.isEmpty()) {
        const GLMapWidget::LandSelection land = t.land;
        fillTargets(view, t, {}, t.staticsThere);
        t.land = land;
    }
    if (t.statics.isEmpty()) {
        emit view.statusMessage(QStringLiteral("%1: there is no static under the pointer").arg(entry));
        return false;
    }
    return true;
}

// The first static of the stack with that id and z; null when there is none.
const Tile *findStatic(const TileStack &stack, int id, int z)
{
    const auto it = std::find_if(stack.begin(), stack.end(), [&](const Tile &t) { return t.id() == id && t.z() == z; });
    return it == stack.end() ? nullptr : &*it;
}

} // namespace

void GLMapWidget::buildContextMenu()
{
    // Each entry carries its id and calls its menu's slot itself: a menu's triggered signal
    // also fires for the entries of its submenus, whose ids mean other things.
    const auto addEntry = [this](QMenu *menu, const QString &text, int id, void (GLMapWidget::*slot)(int)) {
        QAction *action = menu->addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, slot, id] { (this->*slot)(id); });
    };
    const auto addSubmenu = [](QMenu *menu, QMenu *sub, const QString &text, int id) {
        sub->setTitle(text);
        menu->addMenu(sub)->setData(id);
    };

    m_popMenu = new QMenu(this);
    m_popMenu->setObjectName(QStringLiteral("popMenu"));
    m_insertMenu = new QMenu(m_popMenu);
    m_insertMenu->setObjectName(QStringLiteral("insertMenu"));
    m_importMenu = new QMenu(m_popMenu);
    m_importMenu->setObjectName(QStringLiteral("importMenu"));

    addEntry(m_insertMenu, QStringLiteral("Land"), 0, &GLMapWidget::slotPopInsert);
    addEntry(m_insertMenu, QStringLiteral("Static"), 1, &GLMapWidget::slotPopInsert);
    addEntry(m_importMenu, QStringLiteral("Multi"), 0, &GLMapWidget::slotImportPop);
    addEntry(m_importMenu, QStringLiteral("Vey Multi"), 1, &GLMapWidget::slotImportPop);
    addEntry(m_importMenu, QStringLiteral("XML"), 2, &GLMapWidget::slotImportPop);

    addEntry(m_popMenu, QStringLiteral("Properties"), 0, &GLMapWidget::slotPop);
    addEntry(m_popMenu, QStringLiteral("Altitude"), 1, &GLMapWidget::slotPop);
    addEntry(m_popMenu, QStringLiteral("Hue"), 2, &GLMapWidget::slotPop);
    addSubmenu(m_popMenu, m_importMenu, QStringLiteral("Import"), 5);
    addEntry(m_popMenu, QStringLiteral("Export"), 3, &GLMapWidget::slotPop);
    addSubmenu(m_popMenu, m_insertMenu, QStringLiteral("Insert"), 4);
    addEntry(m_popMenu, QStringLiteral("Copy"), 6, &GLMapWidget::slotPop);
    addEntry(m_popMenu, QStringLiteral("Paste"), 7, &GLMapWidget::slotPop);
}

void GLMapWidget::contextMenuAt(const QPoint &pos)
{
    popupPoint = pos;
    m_popMenu->exec(QCursor::pos());
}

void GLMapWidget::slotPop(int id)
{
    switch (id) {
    case 0:
        showProperties(popupPoint);
        break;
    case 1:
        changeAltitude(popupPoint);
        break;
    case 2:
        changeHue(popupPoint);
        break;
    case 3:
        exportStatics(popupPoint);
        break;
    case 6:
        copySelection();
        break;
    case 7: {
        // Armed with its corner on the pressed cell; the pointer takes it on from there.
        const CellHit hit = cellAt(popupPoint.x(), popupPoint.y());
        armPaste(hit.isValid() ? QPoint(hit.x, hit.y) : QPoint(-1, -1));
        break;
    }
    default:
        break;
    }
}

void GLMapWidget::slotPopInsert(int id)
{
    if (id == 0)
        insertLand(popupPoint.x(), popupPoint.y(), false);
    else if (id == 1)
        insertStatic(popupPoint.x(), popupPoint.y(), false);
}

void GLMapWidget::showProperties(const QPoint &point)
{
    if (isBusy()) {
        runWhenIdle([this, point] { showProperties(point); });
        return;
    }
    Targets targets = targetsAt(*this, point);
    if (!settleTargets(*this, targets, QStringLiteral("Properties"))) {
        update();
        return;
    }
    staticfix statics;
    for (auto ix = targets.statics.cbegin(); ix != targets.statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const TileStack stack = m_cache.statics(ix.key(), iy.key());
            std::vector<Tile> &cell = statics[ix.key()][iy.key()];
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                for (const int id : iz.value()) {
                    // A static that is gone is listed as the empty tile: the dialog shows
                    // the entry and an edit of it finds nothing to change.
                    const Tile *t = findStatic(stack, id, iz.key());
                    cell.push_back(t ? *t : Tile());
                }
            }
        }
    }
    landfix land;
    for (auto ix = targets.land.cbegin(); ix != targets.land.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy)
            land[ix.key()][iy.key()] = m_cache.land(ix.key(), iy.key());

    // Modeless, one per kind: they stay open while the user goes on working, and each change
    // they apply arrives through slotProp.
    // The second one opens down and to the right of the first, so neither hides the other.
    PropWidget *first = nullptr;
    const auto open = [this, &first](const std::function<void(PropWidget *)> &fill) {
        auto *dialog = new PropWidget(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setModal(false);
        fill(dialog);
        connect(dialog, &PropWidget::tileChange, this, &GLMapWidget::slotProp);
        dialog->show();
        if (first) {
            const int step = std::max(32, dialog->frameGeometry().height() - dialog->geometry().height() + 8);
            dialog->move(first->pos() + QPoint(step, step));
        } else {
            first = dialog;
        }
    };
    if (!statics.empty())
        open([&statics](PropWidget *d) { d->initStaticData(statics); });
    if (!land.empty())
        open([&land](PropWidget *d) { d->initLandData(land); });
    update();
}

void GLMapWidget::changeAltitude(const QPoint &point)
{
    if (isBusy()) {
        runWhenIdle([this, point] { changeAltitude(point); });
        return;
    }
    Targets targets = targetsAt(*this, point);
    if (!settleTargets(*this, targets, QStringLiteral("Altitude"))) {
        update();
        return;
    }
    const std::optional<QString> answer = painting::ask(this, QStringLiteral("Select Altitude"));
    QString text = answer ? answer->simplified() : QString();
    if (text.isEmpty()) {
        update();
        return;
    }
    // "+n" raises by n and "--n" lowers by n; anything else is the new height. n is a typed
    // tile number, so "0x" hexadecimal is taken too.
    bool relative = false;
    if (text.startsWith(QLatin1Char('+'))) {
        relative = true;
        text.remove(0, 1);
    } else if (text.startsWith(QLatin1String("--"))) {
        relative = true;
        text.remove(0, 1);
    }
    const std::optional<int> number = parseTileNumber(text);
    if (!number) {
        painting::showNotANumber(this, QStringLiteral("Select Altitude"), *answer);
        update();
        return;
    }
    m_doc.setAltitude(targets.land, targets.statics, {relative ? HeightChange::By : HeightChange::To, *number},
                      targets.staticsAreSelection);
    update();
}

void GLMapWidget::changeHue(const QPoint &point)
{
    if (isBusy()) {
        runWhenIdle([this, point] { changeHue(point); });
        return;
    }
    Targets targets = targetsAt(*this, point);
    if (!settleStatics(*this, targets, QStringLiteral("Hue"))) {
        update();
        return;
    }
    const std::optional<QString> answer = painting::ask(this, QStringLiteral("Select Hue"));
    if (!answer || answer->simplified().isEmpty()) {
        update();
        return;
    }
    const std::optional<int> number = parseTileNumber(*answer);
    if (!number) {
        painting::showNotANumber(this, QStringLiteral("Select Hue"), *answer);
        update();
        return;
    }
    m_doc.setHue(targets.statics, quint16(*number & 0xFFFF));
    update();
}

void GLMapWidget::exportStatics(const QPoint &point)
{
    if (isBusy()) {
        runWhenIdle([this, point] { exportStatics(point); });
        return;
    }
    Targets targets = targetsAt(*this, point);
    if (!settleStatics(*this, targets, QStringLiteral("Export")))
        return;
    // Qt's own dialog: the same on every desktop, and one a test can answer.
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Select Export File"), QString(),
                                                          QStringLiteral("XML(*.xml);;All(*.*)"), nullptr,
                                                          QFileDialog::DontUseNativeDialog);
    if (fileName.isEmpty())
        return;

    QByteArray text = "<tessaryn>\n    <export>\n";
    for (auto ix = targets.statics.cbegin(); ix != targets.statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const TileStack stack = m_cache.statics(ix.key(), iy.key());
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                for (const int id : iz.value()) {
                    // A static that is gone is still written, as id -1 with hue 0.
                    const Tile *t = findStatic(stack, id, iz.key());
                    text += QStringLiteral("        <tile id=\"%1\" hue=\"%2\" x=\"%3\" y=\"%4\" z=\"%5\" />\n")
                                .arg(t ? t->id() : -1)
                                .arg(t ? t->hue() : 0)
                                .arg(ix.key())
                                .arg(iy.key())
                                .arg(iz.key())
                                .toLatin1();
                }
            }
        }
    }
    text += "    </export>\n</tessaryn>\n";

    // Written beside the old file and renamed over it, so a failure leaves that file whole.
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return;
    // Not exec(): the box must not hold up the caller (or a test) while it waits.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Select Export File"),
                                QStringLiteral("The export file %1 could not be written.\n%2")
                                    .arg(QDir::toNativeSeparators(fileName), file.errorString()),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("exportFailure"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void GLMapWidget::slotProp(int id, int x, int y, int oldZ, int hue, int newZ, int kind)
{
    if (isBusy()) {
        // A dialog's Apply can arrive while a walk lets events run; the walk reads the cells.
        runWhenIdle([=, this] { slotProp(id, x, y, oldZ, hue, newZ, kind); });
        return;
    }
    m_doc.setProperties(kind, x, y, id, oldZ, newZ, hue);
    update(); // the map shows what the dialog changed
}
