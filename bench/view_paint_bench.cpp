// Painting by dragging across 200 cells of the sample world at scale 1 (flat, terrain
// images and statics): the time of one drag step, the mouse move that paints the cell and
// the repaint after it, against a baseline measured in the same run and interleaved with the
// steps: a plain frame of the same view with no edit. A step costs about one frame when the
// paint itself is lean and the frame after it redoes nothing it did not need to (no texture
// made again, no block decoded again). Painting statics picks under the pointer first (a
// walk of its own), so its step costs about two frames.
//
// Run under a display with OpenGL, e.g. xvfb-run -a -s "-screen 0 1280x1024x24".
#include "sampleworld/sampleworld.h"
#include "view/glmapwidget.h"
#include "world/datadirectory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLVersionFunctionsFactory>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace {

constexpr int kCells = 200;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double frame(GLMapWidget &view, QOpenGLFunctions_1_1 *gl)
{
    QElapsedTimer t;
    t.start();
    view.drawFrame();
    gl->glFinish();
    return t.nsecsElapsed() / 1e6;
}

// Window point in the middle of cell (x, y) in the flat view at scale 1, not turned.
QPoint cellPoint(const GLMapWidget &view, int x, int y)
{
    int sx = 0, sy = 0;
    GLMapWidget::cellOffset(x, y, view.currentX(), view.currentY(), sx, sy);
    return QPoint(view.width() / 2 + sx, view.height() / 2 - (sy - 22));
}

void mouse(GLMapWidget &view, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), view.mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &e);
}

// What a phase (the drag steps, or the plain frames between them) cost and made.
struct Phase {
    std::vector<double> times;
    int blocks = 0;   // blocks decoded
    int textures = 0; // textures made
};

int loads(GLMapWidget &view) { return view.blockCache().landLoads() + view.blockCache().staticLoads(); }
int textures(GLMapWidget &view) { return view.landTextureCount() + view.staticTextureCount(); }

// Runs one step of a phase, timing it and counting what it decoded and made.
template <typename F> void measure(GLMapWidget &view, Phase &phase, F step)
{
    const int b = loads(view), t = textures(view);
    QElapsedTimer timer;
    timer.start();
    step();
    phase.times.push_back(timer.nsecsElapsed() / 1e6);
    phase.blocks += loads(view) - b;
    phase.textures += textures(view) - t;
}

// One stroke over 200 distinct cells, a 20 x 10 patch around the centre row by row, with a
// plain frame before every step.
void drag(const char *name, GLMapWidget &view, QOpenGLFunctions_1_1 *gl)
{
    // What each cell holds before, to count the cells the stroke changed.
    const auto cellState = [&view](const QPoint &cell) {
        const Tile land = view.blockCache().land(cell.x(), cell.y());
        return std::array<int, 3>{land.id(), land.z(), view.blockCache().statics(cell.x(), cell.y()).size()};
    };
    std::vector<QPoint> cells;
    std::vector<std::array<int, 3>> before;
    for (int i = 0; i < kCells; ++i) {
        cells.emplace_back(view.currentX() - 10 + i % 20, view.currentY() - 5 + i / 20);
        before.push_back(cellState(cells.back()));
    }
    std::vector<QPoint> points;
    for (const QPoint &cell : cells)
        points.push_back(cellPoint(view, cell.x(), cell.y()));
    Phase steps, plain;
    for (int i = 0; i < kCells; ++i) {
        measure(view, plain, [&] { frame(view, gl); });
        measure(view, steps, [&] {
            if (i == 0)
                mouse(view, QEvent::MouseButtonPress, points[0], Qt::LeftButton, Qt::LeftButton);
            else
                mouse(view, QEvent::MouseMove, points[size_t(i)], Qt::NoButton, Qt::LeftButton);
            view.makeCurrent();
            frame(view, gl);
        });
    }
    mouse(view, QEvent::MouseButtonRelease, points.back(), Qt::LeftButton, Qt::NoButton);

    int changed = 0;
    for (int i = 0; i < kCells; ++i)
        changed += cellState(cells[size_t(i)]) != before[size_t(i)];
    const double step = median(steps.times), base = median(plain.times);
    std::printf("%s %.2f ms (baseline %.2f ms, %.2f)\n", name, step, base, step / base);
    std::printf("%s_cells_painted %d cells (stroke %d cells, %.2f)\n", name, changed, kCells,
                double(changed) / kCells);
    // The cells under the stroke are on screen, so their blocks are cached already; a new
    // texture is made at most once for each id of the set.
    std::printf("%s_blocks_decoded %d blocks (baseline %d blocks, -)\n", name, steps.blocks, plain.blocks);
    std::printf("%s_textures_made %d textures (baseline %d textures, -)\n", name, steps.textures, plain.textures);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("TessarynBench"));
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toLocal8Bit());
    const QString data = dir.filePath(QStringLiteral("client"));
    sampleworld::Options options;
    options.outDir = data;
    options.facets = {2};
    QString error;
    if (!sampleworld::write(options, &error)) {
        std::fprintf(stderr, "sample world: %s\n", qPrintable(error));
        return 1;
    }
    setDataDirectory(data);

    GLMapWidget view;
    view.resize(1024, 768);
    view.show();
    for (int i = 0; i < 20 && !view.isValid(); ++i)
        app.processEvents(QEventLoop::AllEvents, 50);
    view.setMapid(2);
    view.setCenter(facetBlocksX(2) * 8 / 2, facetBlocksY(2) * 8 / 2);
    view.setStatics(true);
    view.setMode(0);
    view.setScale(1.0);
    app.processEvents();

    view.makeCurrent();
    auto *gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(view.context());
    if (!gl) {
        std::fprintf(stderr, "no OpenGL 1.1 functions\n");
        return 1;
    }
    std::printf("window %dx%d, %s\n", view.width(), view.height(),
                reinterpret_cast<const char *>(gl->glGetString(GL_RENDERER)));
    frame(view, gl); // warm: blocks decoded, textures made
    frame(view, gl);
    // Frames are drawn here by hand. A paint step's update() would otherwise post a repaint
    // that the next hand-drawn frame's walk lets run, timing the window's composition
    // inside that frame but not inside the baseline's.
    view.setUpdatesEnabled(false);

    const std::vector<int> landSet{sampleworld::land::Grass, sampleworld::land::Sand, sampleworld::land::Rock};
    view.setPaint(0, landSet, QStringLiteral("+1"));
    view.switchPaintMode();
    drag("paint_drag_step_land_200_cells_flat_scale_1", view, gl);

    const std::vector<int> staticSet{sampleworld::item::Bush, sampleworld::item::Rock, sampleworld::item::Barrel};
    view.setPaint(1, staticSet, QString());
    drag("paint_drag_step_statics_200_cells_flat_scale_1", view, gl);
    view.doneCurrent();
    return 0;
}
