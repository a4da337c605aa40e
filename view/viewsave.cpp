#include "view/viewsave.h"
#include "app/waitcursor.h"
#include "world/blockcache.h"
#include "world/clientlayout.h"
#include "world/facet.h"
#include "world/facetsaver.h"
#include "world/filereplacer.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include <memory>

namespace {
bool g_running = false;

struct RunningFlag {
    RunningFlag() { g_running = true; }
    ~RunningFlag() { g_running = false; }
};

// "Yes" (default) and "No" (escape), parented to the view.
bool askConflict(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, savetexts::conflictCaption(), savetexts::conflictText(),
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("saveConflictBox"));
    QPushButton *yes = box.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void showFailure(QWidget *parent, const QString &error, const QString &dir = QString())
{
    const QString text = FileReplacer::hasInterruptedSet(dir) ? savetexts::failedUnsettledText(error)
                                                               : savetexts::failedText(error);
    FileReplacer::takeReports(); // told here, in the failure's own words
    QMessageBox box(QMessageBox::Warning, savetexts::failedCaption(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("saveFailedBox"));
    box.exec();
}
} // namespace

bool saveRunning()
{
    return g_running;
}

bool saveView(QWidget *parent, BlockCache &cache, Facet *facets[], int mapid, int mode)
{
    if (g_running || mapid < 0 || mapid >= ClientLayout::FacetCount || !facets[mapid])
        return false;
    RunningFlag running;
    // The savers read the edits from the working files, so one the edit store refused would
    // be missing from the new client files: nothing is written until every edit is there.
    // The refused ones stay in the cache and the next save tries them again.
    QString error;
    if (!cache.flush(&error)) {
        showFailure(parent, error);
        return false;
    }
    Facet &current = *facets[mapid];
    if (const QString refusal = current.saveRefusal(mode); !refusal.isEmpty()) {
        showFailure(parent, refusal); // asked nothing: there is nothing it could save
        return false;
    }
    // Only where Trammel has no main files of its own do the two facets share anything.
    const bool shared = mode == 0 && (mapid == 0 || mapid == 1) && current.sharesMainFiles();
    if (shared && !askConflict(parent))
        return false; // the flushed working files stay

    Facet *other = shared ? facets[1 - mapid] : nullptr;
    for (Facet *f : {&current, other}) {
        if (f)
            f->setApplication(QCoreApplication::instance());
    }

    bool ok;
    {
        WaitCursor wait;
        std::unique_ptr<QProgressDialog> progress;
        auto report = [&](qint64 done, qint64 total) {
            if (!progress) {
                progress = std::make_unique<QProgressDialog>(savetexts::progressText(), QString(), 0, 100, parent);
                progress->setObjectName(QStringLiteral("saveProgress"));
                progress->setWindowTitle(QStringLiteral("Save"));
                progress->setCancelButton(nullptr);
                progress->setMinimumDuration(500);
                progress->setWindowModality(Qt::WindowModal);
                progress->setAutoClose(false);
                progress->setAutoReset(false);
            }
            // Blocks, as the label says; the range follows a total that may grow.
            progress->setMaximum(int(std::min<qint64>(total, INT_MAX)));
            progress->setValue(int(std::min<qint64>(done, total)));
        };
        ok = saveFacet(cache, current, other, mode, report, &error);
    }
    if (!ok)
        showFailure(parent, error, current.dataDir());
    return ok;
}
