// Cost of keeping edits undoable, each figure beside the same operation measured in the
// same run without the history recording it:
//  - a paint stroke over 1,000 cells (one step), written to the block cache directly and
//    painted through the document's paintLand as the view's stroke does it;
//  - a Delete of a 100 x 100 band of land and its statics;
//  - the undo of that Delete, against the Delete itself.
// Every figure is the fastest of several rounds, the variants taking turns, so a busy
// machine slows both alike. Usage: undo_bench [client directory with Ilshenar]; without one
// it writes a sample Ilshenar into a temporary directory first.
#include "sampleworld/sampleworld.h"
#include "world/datadirectory.h"
#include "world/mapdocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
constexpr int kFacet = 2;
constexpr int kRounds = 15;
constexpr int OX = 900, OY = 700;

void report(const char *name, double value, const char *unit, double baseline)
{
    std::printf("%s %.1f %s (baseline %.1f, ratio %.2f)\n", name, value, unit, baseline,
                baseline > 0 ? value / baseline : 0.0);
}

double micros(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1000.0;
}

void paintStroke(MapDocument &doc, int round)
{
    MapDocument::Edit stroke(doc, QStringLiteral("Paint"));
    // A drag over 1,000 cells: a diagonal walk through 25 rows of 40 cells.
    for (int i = 0; i < 1000; ++i)
        doc.cache().setLand(OX + i % 40 + i / 40, OY + i / 40, 2, 0x40 + (i + round) % 8, (i + round) % 20);
}

void paintStrokeThroughDocument(MapDocument &doc, int round)
{
    // The view opens the edit at the press and closes it at the release.
    doc.beginEdit(QStringLiteral("Paint"));
    const std::vector<int> ids{0x40, 0x41, 0x42, 0x43};
    const HeightChange height{HeightChange::By, round % 2 ? 1 : -1};
    for (int i = 0; i < 1000; ++i)
        doc.paintLand(OX + i % 40 + i / 40, OY + i / 40, ids, height);
    doc.endEdit();
}

void selectBand(MapDocument &doc)
{
    for (int x = OX; x < OX + 100; ++x) {
        for (int y = OY; y < OY + 100; ++y) {
            doc.landSelection()[x][y] = doc.cache().land(x, y).id();
            for (const Tile &t : doc.cache().statics(x, y))
                if (t.isStatic())
                    MapDocument::addSelected(doc.staticSelection(), x, y, t.z(), t.id());
        }
    }
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir scratch;
    qputenv("TEMP", scratch.path().toLocal8Bit());
    qputenv("TESSARYN_WORKING_DIR", (scratch.path() + QStringLiteral("/working")).toLocal8Bit());
    QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (dir.isEmpty()) {
        sampleworld::Options options;
        options.outDir = scratch.path() + QStringLiteral("/client");
        options.facets = {kFacet};
        QString error;
        if (!sampleworld::write(options, &error)) {
            std::fprintf(stderr, "undo_bench: %s\n", qPrintable(error));
            return 1;
        }
        dir = options.outDir;
    }
    setDataDirectory(dir);

    MapDocument doc;
    doc.setFacet(kFacet);
    // Every block of the band stays cached, as it does for a view showing it.
    doc.cache().setCapacity(400);

    double strokeOn = 1e300, strokeOff = 1e300;
    double docStrokeOn = 1e300, docStrokeOff = 1e300;
    double deleteOn = 1e300, deleteOff = 1e300, undo = 1e300;
    // Strokes first, then the Deletes: a step pushed after an undo drops the undone one,
    // which belongs to neither figure.
    for (int round = 0; round < kRounds; ++round) {
        doc.setRecording(false);
        strokeOff = std::min(strokeOff, micros([&] { paintStroke(doc, round); }));
        doc.setRecording(true);
        strokeOn = std::min(strokeOn, micros([&] { paintStroke(doc, round + 1); }));
        doc.setRecording(false);
        docStrokeOff = std::min(docStrokeOff, micros([&] { paintStrokeThroughDocument(doc, round); }));
        doc.setRecording(true);
        docStrokeOn = std::min(docStrokeOn, micros([&] { paintStrokeThroughDocument(doc, round + 1); }));
    }
    for (int round = 0; round < kRounds; ++round) {
        doc.setRecording(false);
        selectBand(doc);
        deleteOff = std::min(deleteOff, micros([&] { doc.deleteSelection(); }));
        doc.setRecording(true);
        selectBand(doc);
        deleteOn = std::min(deleteOn, micros([&] { doc.deleteSelection(); }));
        undo = std::min(undo, micros([&] { doc.undo(); }));
    }

    report("paint_stroke_1000_cells", strokeOn, "us", strokeOff);
    report("paint_stroke_1000_cells_document", docStrokeOn, "us", docStrokeOff);
    report("delete_band_100x100", deleteOn, "us", deleteOff);
    report("undo_delete_band_100x100", undo, "us", deleteOn);
    return 0;
}
